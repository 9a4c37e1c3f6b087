#include "platform/messenger/sim/simlog.h"
#include "platform/messenger/sim/simmessenger.h"
#include "platform/messenger/sim/simscript.h"
#include "platform/messenger/sim/simtools.h"

#include "core/reply.h"
#include "messenger/messengererror.h"
#include "support/printers.h"
#include "support/waituntil.h"
#include "support/texts.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace zelmo;
using namespace zelmo::sim;
using zelmo::test::drainEvents;
using zelmo::test::waitUntil;
using Action = ScriptEvent::Action;

namespace {

const QString &kAnn = test::BuiltInAnn;

QList<ScriptEvent> parse(const QString &script)
{
    QString error;
    const auto events = parseScript(script, QStringLiteral("s.txt"), &error);
    EXPECT_TRUE(events.has_value()) << error;
    return events.value_or(QList<ScriptEvent>{});
}

QString parseError(const QString &script)
{
    QString error;
    EXPECT_FALSE(parseScript(script, QStringLiteral("s.txt"), &error).has_value()) << script;
    return error;
}

QString readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QStringLiteral("<none>");
}

void writeFile(const QString &path, const QByteArray &content)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(content);
}

} // namespace

TEST(SimScript, ReadsEveryActionInTimeOrder)
{
    const auto events = parse(QStringLiteral("# a demo\r\n"
                                             "\n"
                                             "   # indented comment\n"
                                             "2 signout\r\n"
                                             "0.5\tann.moss@example.net\tsays |help|\n"
                                             "1 ann.moss@example.net says  Hi\\r\\nC:\\\\x\\t!\n"
                                             "1 ann.moss@example.net state 34\n"
                                             "0 ben@example.org name  Ben \\n B\n"
                                             "3 lose-connection\n"
                                             "2.5 signin"));
    ASSERT_EQ(events.size(), 7);
    QList<int> times;
    QList<Action> actions;
    for (const ScriptEvent &e : events) {
        times << e.atMs;
        actions << e.action;
    }
    EXPECT_EQ(times, (QList<int>{0, 500, 1000, 1000, 2000, 2500, 3000}));
    EXPECT_EQ(actions, (QList<Action>{Action::Name, Action::Says, Action::Says, Action::State,
                                      Action::SignOut, Action::SignIn, Action::LoseConnection}));

    EXPECT_EQ(events[0].logon, QStringLiteral("ben@example.org"));
    EXPECT_EQ(events[0].text, QStringLiteral(" Ben \n B")) << "leading blank kept";
    EXPECT_EQ(events[1].text, QStringLiteral("|help|"));
    EXPECT_EQ(events[1].line, 5);
    EXPECT_EQ(events[2].text, QStringLiteral(" Hi\r\nC:\\x\t!"));
    EXPECT_EQ(events[3].state, 34);
    EXPECT_EQ(events[3].logon, kAnn);
}

TEST(SimScript, ReadsTimesToTheMillisecond)
{
    const QList<QPair<QString, int>> cases{
        {"0.1", 100},  {".25", 250},   {"2.", 2000},     {"007", 7000},
        {"0.0005", 1}, {"0.00049", 0}, {"1.9996", 2000}, {"2000000", 2000000000},
    };
    for (const auto &c : cases) {
        const auto events = parse(c.first + QStringLiteral(" signin"));
        ASSERT_EQ(events.size(), 1) << c.first;
        EXPECT_EQ(events[0].atMs, c.second) << c.first;
    }
    EXPECT_TRUE(parseError(QStringLiteral("2000000.001 signin")).contains("too large"));
    EXPECT_TRUE(parseError(QStringLiteral("99999999999999999999 signin")).contains("too large"));
}

TEST(SimScript, BadLinesNameFileLineAndReason)
{
    const QList<QPair<QString, QString>> cases{
        {"x signout", "bad time 'x'"},
        {"1e3 signout", "bad time '1e3'"},
        {"1.2.3 signout", "bad time"},
        {"nan signout", "bad time"},
        {"-1 signout", "negative time '-1'"},
        {"1 ann sayz hello", "unknown action 'sayz'"},
        {"1 ann says", "missing text after 'says'"},
        {"1 ann says ", "missing text after 'says'"},
        {"1 ann name", "missing name after 'name'"},
        {"1 ann state", "missing state code"},
        {"1 ann state away", "bad state code 'away'"},
        {"1 ann state -2", "bad state code"},
        {"1 ann state 2 3", "unexpected text"},
        {"1 signout now", "unexpected text after 'signout'"},
        {"1 says hello", "missing logon name before 'says'"},
        {"1 ann", "missing action after 'ann'"},
        {"1", "missing action"},
        {"1 ann says a\\qb", "unknown escape '\\q'"},
        {"1 ann says a\\", "lone backslash"},
    };
    for (const auto &c : cases) {
        const QString error = parseError(QStringLiteral("0 signin\n\n") + c.first + "\n1 signout");
        EXPECT_TRUE(error.startsWith(QStringLiteral("s.txt:3: "))) << error;
        EXPECT_TRUE(error.contains(c.second)) << error << " / expected: " << c.second;
    }

    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("missing.txt"));
    QString error;
    EXPECT_FALSE(loadScript(missing, &error).has_value());
    EXPECT_TRUE(error.startsWith(missing + QStringLiteral(": "))) << error;
}

TEST(SimScriptRunner, PlaysEventsAtTheirTimesThroughTheClient)
{
    SimMessenger sim;
    QStringList seen;
    qint64 logoffAt = -1;
    QElapsedTimer clock;
    QObject::connect(&sim, &MessengerObject::OnTextReceived,
                     [&](IMSessionPtr, UserPtr u, const QString &, const QString &text, bool *) {
                         seen << u->GetLogonName() + QStringLiteral(" says ") + text;
                     });
    QObject::connect(&sim, &MessengerObject::OnUserStateChanged, [&](UserPtr u, qint32, bool *) {
        seen << QStringLiteral("state %1").arg(u->GetState());
    });
    QObject::connect(&sim, &MessengerObject::OnUserFriendlyNameChangeResult,
                     [&](qint32, UserPtr u, const QString &) { seen << u->GetFriendlyName(); });
    QObject::connect(&sim, &MessengerObject::OnLogoff, [&] {
        seen << QStringLiteral("logoff");
        logoffAt = clock.elapsed();
    });

    ScriptRunner runner(sim, parse(QStringLiteral("0.03 signout\n"
                                                  "0.02 ann.moss@example.net state 34\n"
                                                  "0 stranger@example.com says hi\n"
                                                  "0.01 ann.moss@example.net name Annie\n"
                                                  "0.02 nobody@example.com state 2\n"
                                                  "0.02 nobody@example.com name X\n")));
    QSignalSpy finished(&runner, &ScriptRunner::finished);
    drainEvents();
    EXPECT_TRUE(seen.isEmpty()) << "nothing before start()";

    clock.start();
    runner.start();
    ASSERT_TRUE(waitUntil([&] { return finished.count() == 1 && seen.size() >= 4; }));
    drainEvents();
    EXPECT_EQ(seen, (QStringList{"stranger@example.com says hi", "Annie", "state 34", "logoff"}))
        << "strangers' states and names change nothing";
    EXPECT_GE(logoffAt, 30);
    EXPECT_EQ(runner.played(), 6);
    EXPECT_TRUE(runner.isFinished());

    // Starting again plays it from the top.
    sim.signIn();
    seen.clear();
    runner.start();
    ASSERT_TRUE(waitUntil([&] { return finished.count() == 2 && seen.size() >= 4; }));
    EXPECT_EQ(seen.first(), QStringLiteral("stranger@example.com says hi"));
}

TEST(SimScriptRunner, EmptyScriptFinishesFromTheEventLoop)
{
    SimMessenger sim;
    ScriptRunner runner(sim, {});
    QSignalSpy finished(&runner, &ScriptRunner::finished);
    runner.start();
    EXPECT_EQ(finished.count(), 0);
    EXPECT_TRUE(waitUntil([&] { return finished.count() == 1; }));
}

class SimLogTest : public testing::Test {
protected:
    SimLogTest()
    {
        auto buffer = std::make_unique<QBuffer>();
        buffer->open(QIODevice::WriteOnly);
        m_buffer = buffer.get();
        log = std::make_unique<SimLog>(sim, std::move(buffer));
    }

    QStringList records() const
    {
        QString text = QString::fromUtf8(m_buffer->data());
        EXPECT_TRUE(text.isEmpty() || text.endsWith(QLatin1Char('\n')));
        text.chop(1);
        return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
    }

    SimMessenger sim;
    std::unique_ptr<SimLog> log;

private:
    QBuffer *m_buffer = nullptr;
};

TEST_F(SimLogTest, RecordsWhatIsSentAtTheMomentItIsSent)
{
    Reply maroon(sim.sessionWith(kAnn), ReplyColour::DarkBlue);
    Reply black(sim.sessionWith(QStringLiteral("ben.ortiz@example.org")), ReplyColour::Black);
    ASSERT_TRUE(maroon.send(QStringLiteral("|help| a\\b\tc")));
    ASSERT_TRUE(black.send(QStringLiteral("Hello\r\nthere")));
    sim.SetLocalState(LocalState::Away);
    sim.GetServices()->GetPrimaryService()->SetFriendlyName(QStringLiteral(" New Nick"));
    // No event loop ran: the records are written from inside the calls.
    EXPECT_EQ(records(), (QStringList{
                             "send ann.moss@example.net CO=800000 |help| a\\\\b\\tc",
                             "send ben.ortiz@example.org CO=0 Hello\\r\\nthere",
                             "state 34",
                             "name  New Nick",
                         }));
}

TEST_F(SimLogTest, FailedCallsWriteNothing)
{
    sim.failures().failAlways(Operation::SendText);
    EXPECT_FALSE(Reply(sim.sessionWith(kAnn)).send(QStringLiteral("lost")));
    sim.failures().clearAll();
    EXPECT_THROW(sim.SetLocalState(12345), MessengerError);
    sim.signOut();
    EXPECT_FALSE(Reply(sim.sessionWith(kAnn)).send(QStringLiteral("lost")));
    EXPECT_THROW(sim.GetServices()->GetPrimaryService()->SetFriendlyName("x"), MessengerError);
    EXPECT_TRUE(records().isEmpty()) << records().join(" | ");
}

TEST_F(SimLogTest, EveryRecordStaysOnOneLineAndSplitsOnSpaces)
{
    // A logon with a blank, a spaced CO value, controls and a Unicode line separator.
    const auto odd = sim.sessionWith(QStringLiteral("odd name"));
    odd->SendText(QStringLiteral("X-MMS-IM-Format: FN=A; CO = 00ff00 ;CS=0"),
                  QStringLiteral("a\x01\x0b") + QChar(0x2028) + QStringLiteral("b é"), 2);
    odd->SendText(QStringLiteral("MIME-Version: 1.0\r\n\r\n"), QString(), 2);
    EXPECT_EQ(records(), (QStringList{"send odd\\sname CO=00ff00 a\\x01\\x0b\\u2028b é",
                                      "send odd\\sname CO=- "}));
}

TEST(SimLog, FileGetsEachRecordAtOnce)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sent.log"));
    writeFile(path, "old content\n");
    SimMessenger sim;
    QString error;
    const auto log = SimLog::open(sim, path, &error);
    ASSERT_TRUE(log) << error;
    EXPECT_EQ(readAll(path), QString()) << "an old log is emptied";

    sim.SetLocalState(LocalState::Busy);
    EXPECT_EQ(readAll(path), QStringLiteral("state 10\n"));
    Reply(sim.sessionWith(kAnn), ReplyColour::Black).send(QStringLiteral("ok"));
    EXPECT_EQ(readAll(path), QStringLiteral("state 10\nsend ann.moss@example.net CO=0 ok\n"));

    const QString bad = dir.filePath(QStringLiteral("no/such/folder/sent.log"));
    EXPECT_FALSE(SimLog::open(sim, bad, &error));
    EXPECT_TRUE(error.startsWith(bad + QStringLiteral(": "))) << error;
}

TEST(SimLog, SessionOutlivingItsClientSendsQuietly)
{
    std::shared_ptr<SimSession> session;
    UserCollectionPtr view; // keeps the client's data, so the session still sends
    {
        SimMessenger sim;
        session = sim.sessionWith(kAnn);
        view = sim.GetList(ListKind::Users);
    }
    session->SendText(QStringLiteral("H"), QStringLiteral("late"), 2);
    EXPECT_EQ(session->sentTexts(), QStringList{"late"});
}

TEST(SimScriptTools, BadScriptFailsBeforeTheLogIsTouched)
{
    QTemporaryDir dir;
    const QString script = dir.filePath(QStringLiteral("script.txt"));
    const QString logPath = dir.filePath(QStringLiteral("sent.log"));
    writeFile(script, "# demo\n1 ann.moss@example.net sayz hi\n");
    writeFile(logPath, "kept\n");
    SimMessenger sim;
    QString error;
    EXPECT_FALSE(SimTools::create(sim, script, logPath, &error));
    EXPECT_EQ(error, script + QStringLiteral(":2: unknown action 'sayz' (expected says, state or "
                                             "name after a logon name, or signout, signin or "
                                             "lose-connection)"));
    EXPECT_EQ(readAll(logPath), QStringLiteral("kept\n"));

    const auto none = SimTools::create(sim, QString(), QString(), &error);
    ASSERT_TRUE(none);
    EXPECT_EQ(none->script(), nullptr);
    EXPECT_EQ(none->log(), nullptr);
    none->startScript();
}

TEST(SimScriptTools, ScriptDrivesTheClientAndTheLogFollows)
{
    QTemporaryDir dir;
    const QString script = dir.filePath(QStringLiteral("script.txt"));
    const QString logPath = dir.filePath(QStringLiteral("sent.log"));
    writeFile(script, "0 ann.moss@example.net says ping\n");
    SimMessenger sim;
    // Stands in for the program: answers every message.
    QObject::connect(&sim, &MessengerObject::OnTextReceived,
                     [](IMSessionPtr s, UserPtr, const QString &, const QString &text, bool *) {
                         Reply(s, ReplyColour::Black).send(text + QStringLiteral(" back"));
                     });
    QString error;
    const auto tools = SimTools::create(sim, script, logPath, &error);
    ASSERT_TRUE(tools) << error;
    drainEvents();
    EXPECT_EQ(readAll(logPath), QString()) << "the script waits for startScript()";
    tools->startScript();
    EXPECT_TRUE(waitUntil([&] {
        return readAll(logPath) == QStringLiteral("send ann.moss@example.net CO=0 ping back\n");
    })) << readAll(logPath);
}
