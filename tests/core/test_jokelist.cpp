#include "core/appstate.h"
#include "core/jokelist.h"

#include "support/printers.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using zelmo::JokeList;

namespace {

class JokeFile : public testing::Test {
protected:
    // Writes bytes to blonde.txt in a fresh folder and loads them.
    JokeList load(const QByteArray &bytes)
    {
        QFile file(path());
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        file.close();
        JokeList jokes;
        EXPECT_TRUE(jokes.load(path()));
        return jokes;
    }

    QStringList all(const JokeList &jokes)
    {
        QStringList out;
        for (int i = 1; i <= jokes.jokeCount(); ++i)
            out << jokes.at(i).value_or(QStringLiteral("<none>"));
        return out;
    }

    QString path() const { return m_dir.filePath(QStringLiteral("blonde.txt")); }

    QTemporaryDir m_dir;
};

TEST_F(JokeFile, LinesPairUpInFileOrder)
{
    const JokeList jokes = load("Q1\r\nA1\r\nQ2\r\nA2\r\n");
    EXPECT_EQ(all(jokes), QStringList({"Q1\r\nA1", "Q2\r\nA2"}));
    EXPECT_EQ(jokes.at(0), std::nullopt);
    EXPECT_EQ(jokes.at(3), std::nullopt);
}

TEST_F(JokeFile, AnEmptyLineDropsItsPairAndShiftsThePairingAfterIt)
{
    EXPECT_EQ(all(load("Q1\r\nA1\r\n\r\nQ2\r\nA2\r\n")), QStringList({"Q1\r\nA1"}));
    // The partnerless last line is ignored too.
    EXPECT_EQ(all(load("Q1\r\nA1\r\nQ2\r\n")), QStringList({"Q1\r\nA1"}));
}

TEST_F(JokeFile, ALineOfBlanksIsText)
{
    EXPECT_EQ(all(load("Q1\r\n   \r\n")), QStringList({"Q1\r\n   "}));
}

TEST_F(JokeFile, EveryKindOfLineEndEndsALine)
{
    EXPECT_EQ(all(load("Q1\nA1\nQ2\nA2")), QStringList({"Q1\r\nA1", "Q2\r\nA2"}));
    EXPECT_EQ(all(load("Q1\rA1\rQ2\r\nA2\n")), QStringList({"Q1\r\nA1", "Q2\r\nA2"}));
    // CR then CR LF is two line ends: an empty line between.
    EXPECT_EQ(all(load("Q1\r\r\nA1\r\nQ2\r\n")), QStringList({"A1\r\nQ2"}));
}

TEST_F(JokeFile, BytesAreDecodedAndInvalidOnesReplaced)
{
    const JokeList jokes = load("Caf\xc3\xa9?\r\nBad \xff byte\r\n");
    EXPECT_EQ(jokes.at(1), QString::fromUtf8("Caf\xc3\xa9?\r\nBad ") + QChar(0xFFFD) + " byte");
}

TEST_F(JokeFile, MissingOrUnreadableFileLoadsNothing)
{
    JokeList jokes;
    EXPECT_FALSE(jokes.load(m_dir.filePath(QStringLiteral("missing.txt"))));
    EXPECT_FALSE(jokes.load(m_dir.path()));
    EXPECT_EQ(jokes.jokeCount(), 0);
    EXPECT_EQ(jokes.at(1), std::nullopt);
}

TEST_F(JokeFile, LoadingStopsAtTheCap)
{
    QByteArray bytes;
    for (int i = 0; i < JokeList::MaxJokes + 10; ++i)
        bytes += "q\na\n";
    const JokeList jokes = load(bytes);
    EXPECT_EQ(jokes.jokeCount(), JokeList::MaxJokes);
    EXPECT_EQ(jokes.at(JokeList::MaxJokes), QStringLiteral("q\r\na"));
}

TEST(ShippedJokeFile, LoadsAtLeastThirtyJokes)
{
    // The build also copies the file beside the test programs.
    const QString root = qEnvironmentVariable("ZELMO_SOURCE_DIR");
    const QString path = root.isEmpty()
                             ? QDir(QCoreApplication::applicationDirPath()).filePath("blonde.txt")
                             : QDir(root).filePath(QStringLiteral("resources/blonde.txt"));
    JokeList jokes;
    ASSERT_TRUE(jokes.load(path)) << path.toStdString();
    EXPECT_GE(jokes.jokeCount(), 30);
    for (int i = 1; i <= jokes.jokeCount(); ++i)
        EXPECT_EQ(jokes.at(i)->count(QStringLiteral("\r\n")), 1) << "joke " << i;
}

TEST(RandomNumbers, DrawsStayWithinOneToMax)
{
    zelmo::RandomNumbers random;
    QSet<int> seen;
    for (int i = 0; i < 300; ++i) {
        EXPECT_EQ(random.randomNumber(1), 1);
        EXPECT_EQ(random.randomNumber(0), 1);
        EXPECT_EQ(random.randomNumber(-5), 1);
        const int r = random.randomNumber(3);
        ASSERT_GE(r, 1);
        ASSERT_LE(r, 3);
        seen.insert(r);
    }
    EXPECT_EQ(seen.size(), 3);
}

TEST_F(JokeFile, PrintChatupLineGivesTheOnlyJokeOrNothing)
{
    zelmo::AppState state;
    state.programFolder = m_dir.path();
    state.loadJokes();
    EXPECT_EQ(state.randomJoke(), std::nullopt);

    load("Only\r\nOne\r\n");
    state.loadJokes();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(state.randomJoke(), QStringLiteral("Only\r\nOne"));
}

} // namespace
