// The program's life without a window: start-up, the watchdog and the poller, the
// not-connected display and the countdown, and the shutdown.

#include "core/program.h"
#include "platform/messenger/sim/simmessenger.h"

#include "support/fakemainview.h"
#include "support/memorystore.h"
#include "support/printers.h"
#include "support/waituntil.h"

#include <QDir>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

using namespace zelmo;
using sim::Operation;

namespace {

const QString NotConnected = QStringLiteral("Please switch MSN on before using this program..");

class ProgramTest : public testing::Test {
protected:
    ProgramTest()
    {
        sim.setConfirmDelay(0);
        sim.setContacts({
            {QStringLiteral("ann@zelmo.test"), QStringLiteral("Ann"), 2, {ListKind::Users}},
            {QStringLiteral("bob@zelmo.test"), QStringLiteral("Bob"), 1, {ListKind::Users}},
            {QStringLiteral("cy@zelmo.test"), QStringLiteral("Cy"), 0, {ListKind::Blocked}},
        });
        sim.setUnreadMailCount(4);
        program.state().programFolder =
            QDir(qEnvironmentVariable("ZELMO_SOURCE_DIR")).filePath(QStringLiteral("resources"));
    }

    void expectNotConnectedDisplay()
    {
        EXPECT_TRUE(view.shown);
        EXPECT_FALSE(view.switchEnabled);
        EXPECT_FALSE(view.awayEditorEnabled);
        EXPECT_FALSE(view.listVisible);
        EXPECT_EQ(view.countText, "Not Connected");
        EXPECT_EQ(view.statusText, "Status: Not Connected");
        EXPECT_EQ(view.notConnectedText, NotConnected);
        EXPECT_FALSE(program.pollerRunning());
    }

    sim::SimMessenger sim;
    test::MemoryStore store;
    test::FakeMainView view;
    Program program{view, &sim, store, nullptr};
    AppState &state{program.state()};
};

TEST_F(ProgramTest, AConnectedStartUpLoadsEverythingAndHandsOverToThePoller)
{
    store.values.insert(test::MemoryStore::address(), QStringLiteral("13579"));
    program.start();

    EXPECT_EQ(state.authorizationCode, "13579");
    EXPECT_EQ(state.startupProgress, 200);
    EXPECT_TRUE(state.startupDone);
    EXPECT_EQ(state.startupStep, "Getting Status info");
    EXPECT_FALSE(state.notConnected);
    EXPECT_EQ(view.countText, "1 Person online");
    EXPECT_EQ(view.lines, QStringList{"Ann"});
    EXPECT_EQ(view.mailText, "Unread Mail: 4");
    EXPECT_EQ(view.statusText, "Status: Online");
    EXPECT_GT(state.jokes.jokeCount(), 0) << "the jokes beside the test program";
    // One entry per contact and one more, all free.
    EXPECT_EQ(state.awayMessages.entryCount(), 4);
    EXPECT_EQ(state.awayMessages.freeEntryCount(), 4);
    EXPECT_FALSE(view.shown) << "the connected window is shown by whoever loaded it";

    EXPECT_TRUE(program.watchdogRunning());
    EXPECT_FALSE(program.pollerRunning());
    program.watchdogTick();
    EXPECT_FALSE(program.watchdogRunning());
    EXPECT_TRUE(program.pollerRunning());

    // The poll reads the status again: progress goes on by 40 and reaches the splash's 240.
    sim.setUnreadMailCount(0);
    program.pollTick();
    EXPECT_EQ(state.startupProgress, 240);
    EXPECT_EQ(view.mailText, "Unread Mail: 0");
    EXPECT_TRUE(program.pollerRunning());

    // Contact events reach the online list once the messenger is attached.
    sim.changeContactState(QStringLiteral("bob@zelmo.test"), 34);
    test::drainEvents();
    EXPECT_EQ(view.countText, "2 People online");
}

TEST_F(ProgramTest, AMissingMessengerShowsNotConnectedAtOnce)
{
    sim.setServiceStatus(ServiceStatus::NotConnected);
    program.start();
    expectNotConnectedDisplay();
    EXPECT_EQ(state.startupProgress, 80);
    EXPECT_FALSE(state.startupDone);
    EXPECT_TRUE(state.notConnected);
    EXPECT_FALSE(state.connectionFailed);
    EXPECT_TRUE(program.watchdogRunning());

    // Without any client at all the same happens.
    test::FakeMainView otherView;
    Program without(otherView, nullptr, store, nullptr);
    without.start();
    EXPECT_EQ(otherView.notConnectedText, NotConnected);
    EXPECT_EQ(without.state().startupProgress, 80);

    // Ended by the countdown: a messenger never reached, or lost, is not an end asked for.
    for (int i = 0; i < 4; ++i)
        program.watchdogTick();
    EXPECT_EQ(view.exitStatus, Program::exitMessengerNotReached);
    test::FakeMainView lostView;
    sim.setServiceStatus(ServiceStatus::Connected);
    Program lost(lostView, &sim, store, nullptr);
    lost.start();
    sim.loseConnection();
    test::drainEvents();
    for (int i = 0; i < 5; ++i)
        lost.watchdogTick();
    EXPECT_EQ(lostView.exitStatus, Program::exitMessengerLost);
}

TEST_F(ProgramTest, AFailingStepOfTheStartUpIsSkippedAndTheRestRuns)
{
    sim.failures().failAlways(Operation::GetList);
    sim.failures().failAlways(Operation::GetUnreadMailCount);
    program.start();
    EXPECT_FALSE(state.notConnected);
    EXPECT_EQ(state.startupProgress, 200);
    EXPECT_TRUE(state.startupDone);
    EXPECT_EQ(view.countText, "0 People online");
    EXPECT_EQ(view.statusText, "Status: Online");
    EXPECT_EQ(state.awayMessages.entryCount(), 1);

    // A failing connection test is a missing messenger.
    test::FakeMainView otherView;
    sim::SimMessenger failing;
    failing.failures().failAlways(Operation::GetPrimaryService);
    Program other(otherView, &failing, store, nullptr);
    other.start();
    EXPECT_TRUE(other.state().notConnected);
    EXPECT_EQ(otherView.notConnectedText, NotConnected);
}

TEST_F(ProgramTest, ASignOutCountsDownAndEndsTheProgramHavingSavedTheCode)
{
    program.setTickInterval(20);
    program.start();
    state.authorizationCode = QStringLiteral("24680");
    ASSERT_TRUE(test::waitUntil([&] { return program.pollerRunning(); }));

    sim.signOut();
    ASSERT_TRUE(test::waitUntil([&] { return view.ended; }, 10000));

    expectNotConnectedDisplay();
    EXPECT_EQ(view.titles.filter("Self Destruction").join('|'),
              "Self Destruction in 3 Seconds|Self Destruction in 2 Seconds|"
              "Self Destruction in 1 Seconds");
    EXPECT_EQ(view.steps, QStringList({"close splash", "remove tray icon", "end"}));
    EXPECT_EQ(store.code(), "24680");
    EXPECT_EQ(view.exitStatus, 0) << "the user signed the messenger out";
    EXPECT_TRUE(program.ended());
    EXPECT_FALSE(program.watchdogRunning());
    EXPECT_FALSE(program.pollerRunning());
    EXPECT_EQ(state.messenger, nullptr);

    // Nothing runs after the end: no more events, ticks or a second shutdown.
    program.watchdogTick();
    program.shutDown();
    EXPECT_EQ(view.steps.count("end"), 1);
    EXPECT_EQ(store.writes, 1);
}

TEST_F(ProgramTest, ThePollShowsALostConnectionAtOnceAndTheCountdownFollows)
{
    program.start();
    program.watchdogTick();
    sim.setServiceStatus(ServiceStatus::NotConnected);
    program.pollTick();
    expectNotConnectedDisplay();
    EXPECT_TRUE(state.notConnected);
    EXPECT_TRUE(program.watchdogRunning());
    EXPECT_TRUE(view.titles.filter("Self Destruction").isEmpty());

    for (int n = 3; n >= 1; --n) {
        program.watchdogTick();
        EXPECT_EQ(view.title, Program::countdownCaption(static_cast<qint16>(n)));
    }
    EXPECT_FALSE(view.ended);
    program.watchdogTick();
    EXPECT_TRUE(view.ended);
    EXPECT_EQ(store.code(), "47209");
}

TEST_F(ProgramTest, WithoutAUsableStoredCodeANewRandomOneIsMadeStoredAndTold)
{
    using Health = SettingsStore::Health;
    const struct {
        std::optional<QString> stored;
        Health health;
    } rows[] = {{std::nullopt, Health::Fine}, // a first start: nothing to tell
                {QString(), Health::Fine},
                {"1234", Health::Fine},
                {"12345", Health::Malformed},
                {std::nullopt, Health::Unreadable}};
    QSet<QString> made;
    for (const auto &row : rows) {
        test::MemoryStore s;
        s.values.clear();
        if (row.stored)
            s.values.insert(test::MemoryStore::address(), *row.stored);
        s.healthToReport = row.health;
        test::FakeMainView v;
        Program p{v, &sim, s, nullptr};
        p.start();
        const QString code = p.state().authorizationCode;
        EXPECT_TRUE(QRegularExpression("^\\d{5}$").match(code).hasMatch() && code != "47209");
        EXPECT_EQ(s.code(), code);
        EXPECT_EQ(v.warnings.size(), made.isEmpty() ? 0 : 1);
        EXPECT_TRUE(made.isEmpty() || v.warnings.value(0).contains(code)) << v.warnings.value(0);
        made << code;
        p.shutDown();
    }
    EXPECT_GT(made.size(), 1) << "the codes are random";

    // A code that cannot be saved at the end is told, in a box that waits for the user, but
    // not after the watchdog's countdown, when nobody may be there.
    for (const bool byWatchdog : {false, true}) {
        test::FakeMainView v;
        Program p{v, &sim, store, nullptr};
        p.start();
        store.writable = false;
        if (byWatchdog)
            p.onLogoff();
        for (int i = 0; i < 5 && byWatchdog; ++i)
            p.watchdogTick();
        p.shutDown();
        EXPECT_EQ(v.warnings.value(0), "The authorization code could not be saved in "
                                       "/settings.ini." +
                                           QString(byWatchdog ? "" : " (waited)"));
    }
}

TEST_F(ProgramTest, LogonEventsAndActivationOnlyTouchTheirOwnParts)
{
    program.start();
    program.watchdogTick();

    // A logon result shows Online unless away, and the mail count it last read.
    view.statusText.clear();
    state.unreadMail = -2;
    sim.signIn();
    test::drainEvents();
    EXPECT_EQ(view.statusText, "Status: Online");
    EXPECT_EQ(view.mailText, "Unread Mail: 0");
    state.AwayMode = true;
    view.statusText = "Status: Away";
    sim.signIn();
    test::drainEvents();
    EXPECT_EQ(view.statusText, "Status: Away");

    // An activation that finds the client signed out only marks it; the display follows
    // at the next ticks.
    sim.setServiceStatus(ServiceStatus::NotConnected);
    program.windowActivated();
    EXPECT_TRUE(state.notConnected);
    EXPECT_TRUE(view.listVisible);
    EXPECT_TRUE(program.pollerRunning());

    // A logon after the loss does not stop the countdown.
    sim.signIn();
    test::drainEvents();
    program.pollTick();
    EXPECT_TRUE(program.watchdogRunning());
    program.watchdogTick();
    EXPECT_EQ(view.title, "Self Destruction in 3 Seconds");
}

TEST_F(ProgramTest, TheIndicatorFallsBackOnlyWhenNoMessageIsLeft)
{
    program.start();
    program.watchdogTick();
    const int before = view.noAwayMessagesShown;
    state.SetMessage(QStringLiteral("ann@zelmo.test"), QString(), 2);
    program.pollTick();
    EXPECT_EQ(view.noAwayMessagesShown, before);

    state.DeleteMessage(QStringLiteral("ann@zelmo.test"));
    program.pollTick();
    EXPECT_EQ(view.noAwayMessagesShown, before + 1);
    EXPECT_EQ(view.indicatorText, "No away messages has been set!");
    EXPECT_EQ(state.emptyAwaySlots, 0);
}

} // namespace

TEST_F(ProgramTest, ALostConnectionSeenOnlyByTheFlagStillCountsDown)
{
    // Status 3 passes the poll's connection test: only the flag set by the log-off tells the
    // poller, which switches the watchdog on at every tick from then on.
    program.setTickInterval(20);
    program.start();
    ASSERT_TRUE(test::waitUntil([&] { return program.pollerRunning(); }));
    sim.loseConnection();
    ASSERT_TRUE(test::waitUntil([&] { return view.ended; }, 10000));
    EXPECT_EQ(view.titles.filter("Self Destruction").size(), 3);
}
