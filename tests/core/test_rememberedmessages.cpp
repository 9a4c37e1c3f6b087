// Away messages kept across runs: each run is a fresh Program on the simulated client, wired
// to the file as the main window wires it.

#include "core/program.h"
#include "core/rememberedmessages.h"
#include "platform/messenger/sim/simmessenger.h"

#include "support/fakemainview.h"
#include "support/memorystore.h"
#include "support/printers.h"
#include "support/texts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLockFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <memory>

using namespace zelmo;

namespace {

using test::Ann;
using test::Bob;
const QString Cy = QStringLiteral("cy@zelmo.test");
const QString Dee = QStringLiteral("dee@zelmo.test");
const QString Odd = QStringLiteral("Back at 5\r\nRückruf: ☎ 😀 \"q\" \\ \t \u2028 שלום\u0000end");

struct ProgramRun {
    ProgramRun(sim::SimMessenger &sim, test::MemoryStore &store, const QString &path)
        : program{view, &sim, store, nullptr}
        , remembered{program.state(), store, AwayMessageFile(path)}
    {
        program.state().onAwayMessagesChanged = [this] { reported << remembered.tableChanged(); };
        program.start();
        warning = remembered.restore();
    }
    void set(const QString &logon, const QString &text, qint16 i)
    {
        program.state().SetMessage(logon, text, i);
    }
    // Each entry as "logon=message".
    QStringList entries()
    {
        QStringList all;
        for (qint32 i = 0; i < program.state().awayMessages.entryCount(); ++i)
            all << program.state().awayMessages.entry(i)->logonName + '=' +
                       program.state().awayMessages.entry(i)->message;
        return all;
    }

    test::FakeMainView view;
    Program program;
    RememberedMessages remembered;
    QString warning;
    QStringList reported;
};

class RememberedMessagesTest : public testing::Test {
protected:
    RememberedMessagesTest() { ::umask(022); }

    std::unique_ptr<ProgramRun> start(const QStringList &logons)
    {
        QList<sim::SimContact> contacts;
        for (const QString &logon : logons)
            contacts.append({logon, logon, 2, {ListKind::AllContacts, ListKind::Users}});
        sim.setContacts(contacts);
        return std::make_unique<ProgramRun>(sim, store, path);
    }
    QByteArray fileBytes() const
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void writeFile(const QByteArray &bytes) const
    {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size());
    }

    QTemporaryDir dir;
    // A folder that does not exist yet: the first save makes it.
    QString path = dir.filePath(QStringLiteral("data/away-messages.json"));
    sim::SimMessenger sim;
    test::MemoryStore store;
};

TEST_F(RememberedMessagesTest, MessagesComeBackByLogonNameExactlyAndOnlyTheUserReadsThem)
{
    auto first = start({Ann, Bob, Cy});
    EXPECT_TRUE(first->remembered.setEnabled(true).isEmpty());
    EXPECT_EQ(store.values.value("Zelmo Extensions/Settings/RememberAwayMessages"), "1");
    first->set(Bob, Odd, 1);
    first->set(Cy, QStringLiteral("later"), 2);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    const QJsonDocument json = QJsonDocument::fromJson(fileBytes());
    EXPECT_EQ(json["version"].toInt(), 1);
    EXPECT_EQ(json["messages"][0]["logon"].toString(), Bob); // sorted by logon name
    first.reset();

    auto second = start({Cy, Ann, Bob});
    EXPECT_TRUE(second->warning.isEmpty());
    EXPECT_EQ(second->entries(), QStringList({Cy + "=later", "=", Bob + '=' + Odd, "="}));
}

TEST_F(RememberedMessagesTest, AContactWhoLeftKeepsTheMessageOneDeletedLosesIt)
{
    auto first = start({Ann, Bob});
    first->remembered.setEnabled(true);
    first->set(Ann, QStringLiteral("for Ann"), 0);
    first->set(Bob, QStringLiteral("for Bob"), 1);
    first.reset();

    auto second = start({Bob, Cy});
    EXPECT_EQ(second->entries(), QStringList({Bob + "=for Bob", "=", "="}));
    // A copy for another account, running at the same time, shares the file.
    sim::SimMessenger other;
    other.setContacts({{Dee, Dee, 2, {ListKind::AllContacts}}});
    ProgramRun(other, store, path).set(Dee, QStringLiteral("for Dee"), 0);
    {
        // Another copy saving: this one's save waits, is told, and goes with the next save.
        QLockFile otherSaving(path + ".lock");
        ASSERT_TRUE(otherSaving.lock());
        second->set(Cy, QStringLiteral("for Cy"), 1);
        EXPECT_TRUE(second->reported.last().contains("another copy")) << second->reported.last();
    }
    second->program.state().DeleteMessage(Bob);
    second.reset();

    EXPECT_EQ(start({Ann, Bob, Cy, Dee})->entries(),
              QStringList({Ann + "=for Ann", "=", Cy + "=for Cy", Dee + "=for Dee", "="}));
}

TEST_F(RememberedMessagesTest, AnUnreadableFileIsMovedAsideUntouchedAndTheTableStartsEmpty)
{
    store.values.insert("Zelmo Extensions/Settings/RememberAwayMessages", "1");
    const QList<QByteArray> broken = {"",
                                      R"({"version": 1, "messages": [)",
                                      "[]",
                                      R"({"messages": []})",
                                      R"({"version": 2, "messages": []})",
                                      R"({"version": 1, "messages": [{"logon": "a"}]})",
                                      R"({"version": 1, "messages": [{"logon": "a", "message": "1"},
                                       {"logon": "a", "message": "2"}]})"};
    QStringList asides;
    for (const QByteArray &bytes : broken) {
        SCOPED_TRACE(bytes.toStdString());
        writeFile(bytes);
        auto run = start({QStringLiteral("a"), Bob});
        const QString aside = run->warning.section(" were moved to ", 1).section(". The", 0, 0);
        EXPECT_TRUE(run->warning.startsWith("The away messages kept in " + path +
                                            " could not be read and were moved to " + aside))
            << run->warning;
        QFile moved(aside);
        ASSERT_TRUE(moved.open(QIODevice::ReadOnly)) << aside;
        EXPECT_EQ(moved.readAll(), bytes);
        EXPECT_FALSE(asides.contains(aside)); // several in one second: none written over
        asides << aside;
        EXPECT_EQ(run->entries(), QStringList({"=", "=", "="}));
        run->set(Bob, QStringLiteral("fresh"), 1);
        EXPECT_TRUE(fileBytes().contains("fresh"));
    }
}

TEST_F(RememberedMessagesTest, OffByDefaultTurningOffDeletesAndFailuresAreToldOnce)
{
    auto run = start({Ann, Bob});
    run->set(Ann, QStringLiteral("hi"), 0);
    EXPECT_FALSE(QFile::exists(path));

    store.writable = false;
    EXPECT_FALSE(run->remembered.setEnabled(true).isEmpty());
    EXPECT_FALSE(run->remembered.enabled());
    store.writable = true;
    // Turned on, the table as it is now is kept at once, over what an earlier run left.
    writeFile(R"({"version": 1, "messages": [{"logon": "x", "message": "stale"}]})");
    EXPECT_TRUE(run->remembered.setEnabled(true).isEmpty());
    EXPECT_TRUE(fileBytes().contains("hi") && !fileBytes().contains("stale"));

    // The data folder cannot be made: the first failure is told, the ones that follow not.
    QDir(dir.path()).rename(QStringLiteral("data"), QStringLiteral("moved"));
    QFile(dir.filePath(QStringLiteral("data"))).open(QIODevice::WriteOnly);
    run->reported.clear();
    run->set(Ann, QStringLiteral("one"), 0);
    run->set(Bob, QStringLiteral("two"), 1);
    ASSERT_EQ(run->reported.size(), 2);
    EXPECT_TRUE(run->reported[0].startsWith("The away messages could not be saved in " + path));
    EXPECT_TRUE(run->reported[1].isEmpty());
    EXPECT_EQ(run->remembered.lastError(), run->reported[0]);
    QFile::remove(dir.filePath(QStringLiteral("data")));
    run->program.state().DeleteMessage(Ann);
    EXPECT_TRUE(run->remembered.lastError().isEmpty());
    EXPECT_TRUE(fileBytes().contains("two"));

    EXPECT_TRUE(run->remembered.setEnabled(false).isEmpty());
    EXPECT_FALSE(QFile::exists(path));
    run->set(Ann, QStringLiteral("again"), 0);
    EXPECT_FALSE(QFile::exists(path));
}

} // namespace
