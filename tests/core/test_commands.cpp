// The remote commands as a contact meets them: a message goes into the simulated client, the
// program's whole wiring handles it, and the replies come back on the contact's session.

#include "core/commands.h"
#include "core/pendingevents.h"
#include "core/program.h"
#include "core/soundplayer.h"
#include "platform/messenger/sim/simmessenger.h"

#include "support/fakemainview.h"
#include "support/memorystore.h"
#include "support/printers.h"
#include "support/waituntil.h"
#include "support/texts.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTimer>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace zelmo;
using namespace std::chrono_literals;
using sim::Operation;

namespace {

using test::Ann;
using test::AwayDone;
using test::BackDone;
using test::Bob;
using test::Declined;
using test::Footer;
const QString NotChanged = Commands::statusNotChangedText();

class FakeSound : public SoundPlayer {
public:
    bool playSync(const QString &path) override
    {
        played << path;
        return true;
    }
    QStringList played;
};

class CommandsTest : public testing::Test {
protected:
    CommandsTest()
    {
        sim.setConfirmDelay(0);
        sim.setContacts({
            {Ann, QStringLiteral("Ann"), 2, {ListKind::AllContacts, ListKind::Users}},
            {Bob, QStringLiteral("Bob"), 34, {ListKind::AllContacts, ListKind::Users}},
            {QStringLiteral("cy@zelmo.test"), QStringLiteral("Cy"), 1, {ListKind::Users}},
            // Listed as a user and as blocked: it counts twice.
            {QStringLiteral("dee@zelmo.test"),
             QStringLiteral("Dee"),
             10,
             {ListKind::Users, ListKind::Blocked}},
            {QStringLiteral("eve@zelmo.test"), QStringLiteral("Eve"), 0, {ListKind::Blocked}},
        });
        program.state().programFolder =
            QDir(qEnvironmentVariable("ZELMO_SOURCE_DIR")).filePath(QStringLiteral("resources"));
        program.localStatus().setWaitLimit(2s);
        program.commands().lockout().setClock([this] { return now; });
        program.setRecordFile(recordPath);
        program.start();
    }

    // Sends one message as a contact and returns the lines it got back.
    QStringList say(const QString &logon, const QString &text)
    {
        const auto session = sim.sessionWith(logon);
        session->clearSent();
        sim.receiveText(logon, text);
        test::drainEvents();
        return session->sentTexts();
    }

    void goAway()
    {
        sim.setLocalStateNow(LocalState::Away);
        program.localStatus().refreshLocalStatus();
        ASSERT_TRUE(program.state().AwayMode);
    }

    sim::SimMessenger sim;
    test::MemoryStore store;
    test::FakeMainView view;
    FakeSound sound;
    QTemporaryDir recordDir;
    const QString recordPath = recordDir.filePath(QStringLiteral("record.jsonl"));
    Program program{view, &sim, store, &sound};
    std::chrono::milliseconds now{1000000};
};

TEST_F(CommandsTest, TheReplyHeaderIsTheLiteralBlockInBothColours)
{
    say(Ann, "|help|");
    const auto help = sim.sessionWith(Ann)->sent();
    ASSERT_FALSE(help.isEmpty());
    EXPECT_EQ(help.first().header, "MIME-Version: 1.0\r\n"
                                   "Content-Type: text/plain; charset=UTF-8\r\n"
                                   "X-MMS-IM-Format: FN=Arial; EF=; CO=800000; CS=0; PF=22\r\n"
                                   "\r\n");
    EXPECT_EQ(help.first().messageType, 2);

    say(Ann, "|setaway| 00000");
    const auto declined = sim.sessionWith(Ann)->sent();
    ASSERT_EQ(declined.size(), 1);
    EXPECT_EQ(declined.first().header, "MIME-Version: 1.0\r\n"
                                       "Content-Type: text/plain; charset=UTF-8\r\n"
                                       "X-MMS-IM-Format: FN=Arial; EF=; CO=0; CS=0; PF=22\r\n"
                                       "\r\n");
}

TEST_F(CommandsTest, HelpIsTenLinesByteForByteWhateverTheState)
{
    const QStringList expected = {
        "Welcome to Orvan's Zelmo Extensions",
        "         Main Menu        ",
        "--------------------------",
        "1) |SetAway| AUTH_PASS                 (Sets the user Away)",
        "2) |SetBack| AUTH_PASS                 (Sets the user Back)",
        "3) |OnlineUsers| AUTH_PASS           (Lists the online users)",
        "4) |ChangeNick| AUTH_PASS NICKNAME    (Sets a new nick)",
        "5) |joke|                            (Displays a random Joke)",
        "6) |beep|                            (Beeps the user with a BEEP sound)",
        "--------------------------",
    };
    EXPECT_EQ(say(Ann, "|HELP|"), expected);
    goAway();
    EXPECT_EQ(say(Ann, "|Help|"), expected);
}

TEST_F(CommandsTest, JokesComeFromTheShippedFileAsOneMessage)
{
    const QStringList joke = say(Ann, "|Jokes|");
    ASSERT_EQ(joke.size(), 1);
    EXPECT_TRUE(joke.first().contains("\r\n")) << joke.first();
}

TEST_F(CommandsTest, TheListingNumbersUsersThenBlockedAndReportsTheLastCount)
{
    // Ann, Bob, Dee (users) and Dee again (blocked) are online; Cy and Eve are not.
    ASSERT_EQ(program.state().onlineCount, 4);
    const QStringList listing = {
        "----Online Users----", "4 Users Currently Online", "1. Ann", "2. Bob", "3. Dee",
        "4. Dee  (BLOCKED)",    "-----------------",
    };
    EXPECT_EQ(say(Ann, "|ONLINEUSERS| 47209"), listing);
    EXPECT_EQ(say(Ann, "Wasssup ?! anyone"), listing);

    // The count is the online list's, not recomputed from the lines that follow it.
    program.state().onlineCount = 1;
    EXPECT_EQ(say(Ann, "WASSSUP ?!").at(1), "1 User Currently Online");
    program.state().onlineCount = 0;
    EXPECT_EQ(say(Ann, "wasssup ?!").at(1), "0 Users Currently Online");
}

TEST_F(CommandsTest, TheListingCodeMustFillItsWindowExactly)
{
    const QString listingHead = "----Online Users----";
    EXPECT_EQ(say(Ann, "|onlineusers|x47209").value(0), listingHead);
    EXPECT_TRUE(say(Ann, "|ONLINEUSERS| 47209 ").isEmpty());
    EXPECT_TRUE(say(Ann, "|ONLINEUSERS|  47209").isEmpty());
    EXPECT_TRUE(say(Ann, "|ONLINEUSERS| 4720").isEmpty());
    EXPECT_TRUE(say(Ann, "hey |ONLINEUSERS| 47209").isEmpty());

    // A failed code test goes on down the order: while away, the away message answers.
    goAway();
    program.state().SetMessage(Ann, QStringLiteral("back soon"), 0);
    EXPECT_EQ(say(Ann, "|ONLINEUSERS| 47209 "), QStringList({"back soon", Footer}));
}

TEST_F(CommandsTest, ChangeNickTakesTheNameFromPosition19)
{
    EXPECT_EQ(say(Ann, "|CHANGENICK| 47209 Night Owl"),
              QStringList{"--- Nickname successfuly changed! ---"});
    EXPECT_EQ(sim.ownFriendlyName(), " Night Owl");

    // The code may stand anywhere in positions 14 to 31; the name still starts at 19.
    say(Ann, "|changenick| 0 47209 Owl");
    EXPECT_EQ(sim.ownFriendlyName(), "09 Owl");

    EXPECT_EQ(say(Ann, "|CHANGENICK| 4720 Owl"), QStringList{Declined});
    EXPECT_EQ(say(Ann, "|CHANGENICK|"), QStringList{Declined});
    EXPECT_EQ(sim.ownFriendlyName(), "09 Owl");

    // The answer goes out whatever the client made of the request.
    sim.failures().failAlways(Operation::SetFriendlyName);
    EXPECT_EQ(say(Ann, "|CHANGENICK| 47209 Lark"),
              QStringList{"--- Nickname successfuly changed! ---"});
    EXPECT_EQ(sim.ownFriendlyName(), "09 Owl");
}

TEST_F(CommandsTest, SetAwayReadsTheTrimmedCodeFromPositions10To24)
{
    for (const char *accepted : {"|SETAWAY| 47209", "|setaway|47209", "|SetAway|   47209",
                                 "|SETAWAY| 47209         later"}) {
        SCOPED_TRACE(accepted);
        sim.setLocalStateNow(LocalState::Online);
        program.localStatus().refreshLocalStatus();
        ASSERT_FALSE(program.state().AwayMode);
        EXPECT_EQ(say(Ann, accepted), QStringList{AwayDone});
        EXPECT_EQ(sim.GetLocalState(), LocalState::Away);
    }
    sim.setLocalStateNow(LocalState::Online);
    program.localStatus().refreshLocalStatus();
    EXPECT_EQ(say(Ann, "|SETAWAY| 47209 now"), QStringList{Declined});
    EXPECT_EQ(say(Ann, "please |SETAWAY| 47209"), QStringList{Declined});
    EXPECT_EQ(sim.GetLocalState(), LocalState::Online);
    // Not away: set back is no command at all.
    EXPECT_TRUE(say(Ann, "|SETBACK| 47209").isEmpty());
}

TEST_F(CommandsTest, SetAwayAnswersAfterTheSwitchAndSetBackBefore)
{
    sim.setConfirmDelay(30);
    // The state the client reported when each line went out.
    QList<qint32> stateAtSend;
    QObject::connect(
        &sim, &sim::SimMessenger::textSent, &sim,
        [&](const QString &, const sim::SentText &) { stateAtSend << sim.GetLocalState(); });

    EXPECT_EQ(say(Ann, "|SETAWAY| 47209"), QStringList{AwayDone});
    EXPECT_EQ(stateAtSend, QList<qint32>{LocalState::Away});
    EXPECT_TRUE(program.state().AwayMode);

    stateAtSend.clear();
    EXPECT_EQ(say(Ann, "|setback| 47209"), QStringList{BackDone});
    EXPECT_EQ(stateAtSend, QList<qint32>{LocalState::Away});
    EXPECT_EQ(sim.GetLocalState(), LocalState::Online);
    EXPECT_EQ(sim.requestedStates(), QList<qint32>({LocalState::Away, LocalState::Online}));
    EXPECT_EQ(view.title, "Zelmo Extensions");
}

TEST_F(CommandsTest, ASwitchThatNeverCompletesIsNotReportedAsDone)
{
    program.localStatus().setWaitLimit(100ms);
    sim.setConfirmDelay(-1);
    EXPECT_EQ(say(Ann, "|SETAWAY| 47209"), QStringList{NotChanged});

    // Set back has answered before its switch, so the failure follows its answer.
    sim.setLocalStateNow(LocalState::Away);
    program.localStatus().refreshLocalStatus();
    EXPECT_EQ(say(Ann, "|SETBACK| 47209"), QStringList({BackDone, NotChanged}));

    // A client call that fails outright is a failure too.
    sim.failures().failAlways(Operation::SetLocalState);
    sim.setLocalStateNow(LocalState::Online);
    program.localStatus().refreshLocalStatus();
    EXPECT_EQ(say(Ann, "|SETAWAY| 47209"), QStringList{NotChanged});
    EXPECT_TRUE(view.windowEnabled);
}

TEST_F(CommandsTest, AFailureLineStaysTrueWhenTheClientConfirmsAfterTheWait)
{
    program.localStatus().setWaitLimit(100ms);
    sim.setConfirmDelay(300);
    EXPECT_EQ(say(Ann, "|SETAWAY| 47209"), QStringList{NotChanged});
    // The request was withdrawn: the client's late confirmation does not make the user away.
    ASSERT_TRUE(test::waitUntil([&] { return sim.pendingLocalState() == -1; }));
    test::drainEvents();
    EXPECT_EQ(sim.GetLocalState(), LocalState::Online);
    program.localStatus().refreshLocalStatus();
    EXPECT_FALSE(program.state().AwayMode);
    EXPECT_TRUE(say(Ann, "|SETBACK| 47209").isEmpty());
}

TEST_F(CommandsTest, NothingIsSentOnceTheProgramIsEnding)
{
    goAway(); // a set back whose pending-events pass runs the shutdown
    const auto ann = sim.receiveText(Ann, "|SETBACK| 47209");
    QMetaObject::invokeMethod(
        &sim, [&] { program.shutDown(); }, Qt::QueuedConnection);
    test::drainEvents();
    EXPECT_TRUE(ann->sentTexts().isEmpty());

    sim.setLocalStateNow(LocalState::Online); // a set away waiting when the user quits
    Program second{view, &sim, store, &sound};
    second.localStatus().setWaitLimit(5s);
    second.start();
    sim.setConfirmDelay(-1);
    QTimer::singleShot(50, &sim, [&] { second.shutDown(); });
    EXPECT_TRUE(say(Bob, "|SETAWAY| 47209").isEmpty());
    EXPECT_FALSE(second.localStatus().switchInProgress());
}

TEST_F(CommandsTest, AwayMessagesNeverLoopWithAnotherResponder)
{
    program.dispatcher().setClock([this] { return now; });
    goAway();
    program.state().SetMessage(Ann, "Out", 0);
    program.state().SetMessage(Bob, "Out", 1);
    // Ann's client answers every away message; Bob runs a copy of this program, which echoes
    // here as any line coming back, its footer among them.
    QObject::connect(&sim, &sim::SimMessenger::textSent, &sim,
                     [&](const QString &to, const sim::SentText &sent) {
                         if (to == Bob || sent.text == "Out")
                             sim.receiveText(to, to == Bob ? sent.text : "Not here either");
                     });
    const auto awayMessagesTo = [&](const QString &logon) {
        sim.receiveText(logon, "hello");
        for (int i = 0; i < 30; ++i)
            test::drainEvents();
        const int n = static_cast<int>(sim.sessionWith(logon)->sentTexts().count("Out"));
        sim.sessionWith(logon)->clearSent();
        return n;
    };
    EXPECT_EQ(awayMessagesTo(Ann), 5) << "at most five in a minute";
    EXPECT_EQ(awayMessagesTo(Bob), 1) << "none once its footer came back";
    now += 60s;
    EXPECT_EQ(awayMessagesTo(Bob), 0) << "not until the user has been back";
    sim.setLocalStateNow(LocalState::Online);
    program.pollTick();
    goAway();
    EXPECT_EQ(awayMessagesTo(Bob), 1);
    // Only the latest copies are remembered: Bob, pushed out by a flood of new ones, gets one.
    now += 60s;
    for (int i = 0; i < Dispatcher::otherCopiesKept; ++i)
        sim.receiveText(QStringLiteral("copy%1@zelmo.test").arg(i), Footer);
    test::drainEvents();
    EXPECT_EQ(program.dispatcher().otherCopyCount(), Dispatcher::otherCopiesKept);
    EXPECT_EQ(awayMessagesTo(Bob), 1);
}

TEST_F(CommandsTest, TheRecordSaysWhatWasDoneForWhomAndOpensOnReturn)
{
    using Kind = ActivityLog::Kind;
    const ActivityLog &log = program.activityLog();
    say(Ann, "|help|");
    for (int i = 0; i < 3; ++i)
        say(Bob, "|setaway| 11111");
    program.pollTick();
    // Answered before the next poll has seen the user away: still a row for the return.
    goAway();
    program.state().SetMessage(Ann, "Out\r\nuntil two", 0);
    say(Ann, "hello");
    say(Bob, Footer);
    Q_EMIT sim.OnTextFromStranger("eve@elsewhere.test", "buy now");
    program.pollTick();

    QList<Kind> kinds;
    QStringList rows;
    for (const ActivityLog::Row &row : log.rows()) {
        kinds << row.kind;
        rows << row.friendlyName + " " + row.logonName + ": " + row.what;
    }
    EXPECT_EQ(kinds, QList<Kind>({Kind::Unanswered, Kind::Unanswered, Kind::AwayMessage,
                                  Kind::CodeDeclined, Kind::Lockout, Kind::CodeDeclined,
                                  Kind::CodeDeclined, Kind::Command}));
    EXPECT_EQ(rows.value(0),
              " eve@elsewhere.test: Not answered, not one of your contacts: buy now");
    EXPECT_EQ(rows.value(2), "Ann " + Ann + ": Away message sent: Out");
    EXPECT_EQ(rows.value(4), "Bob " + Bob + ": Locked out for 5 s after too many wrong codes");
    EXPECT_EQ(rows.value(7),
              "Ann " + Ann + ": |help|: Welcome to Orvan's Zelmo Extensions (10 lines)");

    // Back: the record opens by itself, once; a return with nothing new leaves it shut.
    sim.setLocalStateNow(LocalState::Online);
    program.pollTick();
    program.pollTick();
    EXPECT_EQ(view.activityRecordShown, 1);
    goAway();
    program.pollTick();
    sim.setLocalStateNow(LocalState::Online);
    program.pollTick();
    EXPECT_EQ(view.activityRecordShown, 1);
    // Away, answered and back again before any poll saw the user away: still a return.
    goAway();
    say(Ann, "hello");
    sim.setLocalStateNow(LocalState::Online);
    program.pollTick();
    EXPECT_EQ(view.activityRecordShown, 2);
}

TEST_F(CommandsTest, AnEndWhileAwayIsNoReturnAndItsRecordIsShownAtTheNextStart)
{
    goAway();
    program.pollTick();
    program.state().SetMessage(Ann, "Out", 0);
    say(Ann, "hello");
    // The client goes as XMPP's does: the own state reads offline, then the connection is lost.
    sim.setLocalStateNow(LocalState::Offline);
    sim.loseConnection();
    test::drainEvents();
    for (int tick = 0; tick < 6 && !view.ended; ++tick) {
        program.pollTick();
        program.watchdogTick();
    }
    ASSERT_TRUE(view.ended);
    EXPECT_EQ(view.activityRecordShown, 0) << "an end is not a return";

    sim.signIn();
    test::FakeMainView nextView;
    Program next{nextView, &sim, store, &sound};
    next.setRecordFile(recordPath);
    next.start();
    EXPECT_EQ(nextView.activityRecordShown, 1);
    ASSERT_EQ(next.activityLog().rows().size(), 1u);
    EXPECT_EQ(next.activityLog().rows().front().what, "Away message sent: Out");
    const auto others = QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther;
    EXPECT_FALSE(QFile::permissions(recordPath) & others);
    EXPECT_TRUE(nextView.warnings.isEmpty()) << nextView.warnings.join('\n');
}

TEST_F(CommandsTest, TheRecordFileKeepsWhatWasSeenEmptiesOnClearAndSurvivesDamage)
{
    goAway();
    say(Ann, "|help|");
    program.activityLog().markSeen();
    program.activityLog().flush();
    ActivityLog seen;
    EXPECT_TRUE(seen.attachFile(recordPath).isEmpty());
    EXPECT_EQ(seen.rows().size(), 1u);
    EXPECT_FALSE(seen.owesAwayRows());

    program.activityLog().clear();
    ActivityLog cleared;
    cleared.attachFile(recordPath);
    EXPECT_TRUE(cleared.rows().empty());

    // A wrong line and a write cut short: the rows that can be read go on, the file is kept aside.
    say(Bob, "|help|");
    program.activityLog().flush();
    QFile file(recordPath);
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("\x01garbage\n{\"n\":99,\"time\":\"2026-");
    file.close();
    ActivityLog damaged;
    EXPECT_THAT(damaged.attachFile(recordPath).toStdString(), testing::HasSubstr("moved"));
    ASSERT_EQ(damaged.rows().size(), 1u);
    EXPECT_EQ(damaged.rows().front().logonName, Bob);
    EXPECT_EQ(QDir(recordDir.path()).entryList({"record.jsonl.corrupt-*"}).size(), 1);
    damaged.add(ActivityLog::Kind::Command, "Cy", "cy@zelmo.test", "|help|");
    damaged.flush();
    ActivityLog reread;
    EXPECT_TRUE(reread.attachFile(recordPath).isEmpty());
    EXPECT_EQ(reread.rows().size(), 2u);

    // Rows only ever appended: the file is written anew before it grows past twice the record.
    for (int i = 0; i < 2 * ActivityLog::maxRows; ++i)
        reread.add(ActivityLog::Kind::Command, "Cy", "cy@zelmo.test", "|help|");
    test::drainEvents();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_LE(file.readAll().count('\n'), 2 * ActivityLog::maxRows + 1);
}

TEST_F(CommandsTest, ARedirectedSetAwayAnswersOnceItsOwnStateIsConfirmed)
{
    // Idle counts as away, and differs from both states a switch asks for.
    sim.setLocalStateNow(LocalState::Idle);
    program.localStatus().refreshLocalStatus();
    // The client confirms only when the test says so, at fixed moments.
    sim.setConfirmDelay(-1);
    QList<qint32> stateAtSend;
    QObject::connect(
        &sim, &sim::SimMessenger::textSent, &sim,
        [&](const QString &, const sim::SentText &) { stateAtSend << sim.GetLocalState(); });
    // The set away arrives while the set back's switch waits for the client.
    const auto ann = sim.receiveText(Ann, "|SETBACK| 47209");
    const auto bob = sim.sessionWith(Bob);
    QTimer::singleShot(10, &sim, [&] { sim.receiveText(Bob, "|SETAWAY| 47209"); });
    QTimer::singleShot(40, &sim, [&] {
        EXPECT_TRUE(bob->sent().isEmpty()) << "no answer before the away state is read";
        sim.setLocalStateNow(LocalState::Online);
    });
    QTimer::singleShot(80, &sim, [&] {
        EXPECT_TRUE(bob->sent().isEmpty());
        sim.setLocalStateNow(LocalState::Away);
    });
    ASSERT_TRUE(test::waitUntil([&] { return bob->sent().size() == 1; }, 5000));
    test::drainEvents();

    EXPECT_EQ(ann->sentTexts(), QStringList{BackDone});
    EXPECT_EQ(bob->sentTexts(), QStringList{AwayDone});
    // Set back answered before anything changed; set away only once the away state was read.
    EXPECT_EQ(stateAtSend, QList<qint32>({LocalState::Idle, LocalState::Away}));
    EXPECT_EQ(sim.requestedStates(), QList<qint32>({LocalState::Online, LocalState::Away}));
    EXPECT_FALSE(program.localStatus().switchInProgress());

    // A redirect that the client refuses fails at once; the switch it joined still waits for
    // its own state, which never comes.
    program.localStatus().setWaitLimit(100ms);
    program.localStatus().refreshLocalStatus();
    ann->clearSent();
    bob->clearSent();
    sim.failures().failAfter(Operation::SetLocalState, 1);
    sim.receiveText(Ann, "|SETBACK| 47209");
    QTimer::singleShot(10, &sim, [&] { sim.receiveText(Bob, "|SETAWAY| 47209"); });
    ASSERT_TRUE(test::waitUntil([&] { return ann->sent().size() == 2; }, 5000));
    test::drainEvents();
    EXPECT_EQ(ann->sentTexts(), QStringList({BackDone, NotChanged}));
    EXPECT_EQ(bob->sentTexts(), QStringList{NotChanged});
    EXPECT_TRUE(view.windowEnabled);
}

TEST_F(CommandsTest, WrongCodesLockAContactOutForLongerEachTime)
{
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(say(Ann, "|SETAWAY| 11111"), QStringList{Declined});
    // Locked out: even the right code is declined, and the listing says nothing.
    EXPECT_EQ(say(Ann, "|SETAWAY| 47209"), QStringList{Declined});
    EXPECT_TRUE(say(Ann, "|ONLINEUSERS| 47209").isEmpty());
    EXPECT_EQ(say(Ann, "|CHANGENICK| 47209 Mallory"), QStringList{Declined});
    EXPECT_FALSE(program.state().AwayMode);
    // Others are not affected, and commands without a code still work.
    EXPECT_EQ(say(Bob, "|ONLINEUSERS| 47209").value(0), "----Online Users----");
    EXPECT_EQ(say(Ann, "|help|").size(), 10);

    now += 4999ms;
    EXPECT_EQ(say(Ann, "|SETAWAY| 47209"), QStringList{Declined});
    now += 1ms;
    // The fourth mistake locks for 10 s.
    EXPECT_EQ(say(Ann, "|SETAWAY| 22222"), QStringList{Declined});
    now += 9999ms;
    EXPECT_EQ(say(Ann, "|SETAWAY| 47209"), QStringList{Declined});
    now += 1ms;
    EXPECT_EQ(say(Ann, "|SETAWAY| 47209"), QStringList{AwayDone});

    // A right code forgave the past: three more mistakes are needed for the next lockout.
    sim.setLocalStateNow(LocalState::Online);
    program.localStatus().refreshLocalStatus();
    say(Ann, "|SETAWAY| 1");
    say(Ann, "|SETAWAY| 2");
    EXPECT_EQ(say(Ann, "|SETAWAY| 47209"), QStringList{AwayDone});
}

TEST_F(CommandsTest, OneMessageIsOneMistakeAndSendersWithoutANameAreToldApart)
{
    // Two code commands in one message are one guess.
    EXPECT_EQ(say(Ann, "|ONLINEUSERS| 11111 |CHANGENICK| 11111 X"), QStringList{Declined});
    say(Ann, "|SETAWAY| 11111");
    EXPECT_EQ(say(Ann, "|SETAWAY| 47209"), QStringList{AwayDone});

    // Senders whose names cannot be read do not lock one another out.
    sim.setLocalStateNow(LocalState::Online);
    program.localStatus().refreshLocalStatus();
    sim.failures().failAlways(Operation::GetLogonName);
    for (int i = 0; i < 3; ++i)
        say(Ann, "|SETAWAY| 11111");
    EXPECT_EQ(say(Ann, "|SETAWAY| 47209"), QStringList{Declined});
    EXPECT_EQ(say(Bob, "|SETAWAY| 47209"), QStringList{AwayDone});
}

TEST_F(CommandsTest, StrangersShareOneLockout)
{
    // A new address brings no fresh guesses: three strangers lock out a fourth.
    for (const QString who : {"x1@else.test", "x2@else.test", "x3@else.test"})
        EXPECT_EQ(say(who, "|SETAWAY| 11111"), QStringList{Declined});
    EXPECT_EQ(say("x4@else.test", "|SETAWAY| 47209"), QStringList{Declined});
    EXPECT_EQ(program.commands().lockout().recordCount(), 1);
    EXPECT_EQ(program.activityLog().rows().at(2).what,
              "Everyone not in your contacts locked out for 5 s after too many wrong codes");
    // A contact keeps a record of its own.
    EXPECT_EQ(say(Ann, "|SETAWAY| 47209"), QStringList{AwayDone});
}

TEST(CodeLockoutTest, RecordsGoOnceTheyNoLongerChangeAnything)
{
    std::chrono::milliseconds now{0};
    CodeLockout lockout([&] { return now; });
    for (int i = 0; i < 1009; ++i) // 1000 strangers, then nine from ann: 300 s locked out
        lockout.test(i < 1000 ? QString::number(i) : "ann", [] { return false; });
    now += 300s;
    lockout.test("bob", [] { return false; });
    EXPECT_EQ(lockout.recordCount(), 2) << "ann has only just been let in";
    now += 300s;
    lockout.test("cy", [] { return false; });
    EXPECT_EQ(lockout.recordCount(), 1);
}

TEST(CodeLockoutTest, TheLockoutDoublesUpToFiveMinutes)
{
    std::chrono::milliseconds now{0};
    CodeLockout lockout([&] { return now; });
    int compared = 0;
    const auto wrong = [&] {
        ++compared;
        return false;
    };
    for (int i = 0; i < 3; ++i)
        lockout.test("ann", wrong);
    std::chrono::milliseconds expected = 5s;
    for (int mistake = 3; mistake < 12; ++mistake) {
        SCOPED_TRACE(mistake);
        ASSERT_TRUE(lockout.isLockedOut("ann"));
        compared = 0;
        EXPECT_FALSE(lockout.test("ann", [] { return true; }));
        EXPECT_EQ(compared, 0);
        now += expected - 1ms;
        EXPECT_TRUE(lockout.isLockedOut("ann"));
        now += 1ms;
        EXPECT_FALSE(lockout.isLockedOut("ann"));
        lockout.test("ann", wrong);
        expected = std::min<std::chrono::milliseconds>(expected * 2, 300s);
    }
    EXPECT_EQ(expected, 300s);
}

TEST_F(CommandsTest, TheBeepPlaysTheSoundBesideTheProgramAndTheMessageGoesOn)
{
    goAway();
    program.state().SetMessage(Ann, QStringLiteral("  at the dentist  "), 0);
    EXPECT_EQ(say(Ann, "|BEEP|"), QStringList({"at the dentist", Footer}));
    ASSERT_EQ(sound.played.size(), 1);
    EXPECT_EQ(sound.played.first(), QDir(program.state().programFolder).filePath("beep.wav"));
}

TEST_F(CommandsTest, AFloodOfQueuedMessagesIsAllAnsweredWithoutDeepNesting)
{
    goAway();
    program.state().SetMessage(Ann, QStringLiteral("away"), 0);
    // Spread over hours, so that the limit of away messages a minute does not apply.
    program.dispatcher().setClock([this] { return now += 13s; });
    int deepest = 0;
    QObject::connect(&sim, &sim::SimMessenger::textSent, &sim,
                     [&] { deepest = std::max(deepest, PendingEvents::depth()); });
    const auto session = sim.sessionWith(Ann);
    session->clearSent();
    constexpr int messages = 10000;
    for (int i = 0; i < messages; ++i)
        sim.receiveText(Ann, QStringLiteral("hello"));
    ASSERT_TRUE(test::waitUntil([&] { return session->sent().size() == 2 * messages; }, 60000))
        << session->sent().size();
    EXPECT_LE(deepest, PendingEvents::maxDepth);
}

} // namespace
