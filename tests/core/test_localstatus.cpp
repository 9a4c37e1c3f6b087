#include "core/localstatus.h"

#include "core/appstate.h"
#include "messenger/messengererror.h"
#include "platform/messenger/sim/simmessenger.h"
#include "support/printers.h"
#include "support/waituntil.h"

#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

using namespace zelmo;
using namespace std::chrono_literals;
using sim::Operation;
using sim::SimMessenger;

namespace {

class RecordingView : public StatusView {
public:
    void setMailText(const QString &t) override { mail = t; }
    void setStatusText(const QString &t) override { status = t; }
    void setSwitchCaption(const QString &t) override { caption = t; }
    void setTitle(const QString &t) override { title = t; }
    void setSwitchEnabled(bool e) override
    {
        switchEnabled = e;
        log << (e ? QStringLiteral("button on") : QStringLiteral("button off"));
    }
    void setWindowEnabled(bool e) override
    {
        windowEnabled = e;
        log << (e ? QStringLiteral("window on") : QStringLiteral("window off"));
    }
    void showProgress() override { log << QStringLiteral("progress shown"); }
    void dismissProgress() override { log << QStringLiteral("progress dismissed"); }

    QString mail, status, caption, title;
    bool switchEnabled = true, windowEnabled = true;
    QStringList log;
};

class LocalStatusTest : public ::testing::Test {
protected:
    LocalStatusTest() { status.connectTo(messenger); }

    // Runs f once the event loop next turns, that is from inside a switch's wait.
    void duringWait(int afterMs, std::function<void()> f)
    {
        QTimer::singleShot(afterMs, &messenger, std::move(f));
    }

    SimMessenger messenger;
    AppState state{&messenger};
    RecordingView view;
    LocalStatus status{state, view};
};

} // namespace

TEST_F(LocalStatusTest, RefreshShowsEachListedState)
{
    struct Row {
        qint32 code;
        const char *text;
        bool away;
    };
    const Row rows[] = {{2, "Status: Online", false},    {6, "Status: Offline", false},
                        {10, "Status: Busy", false},     {14, "Status: Brb", true},
                        {18, "Status: Idle/Away", true}, {34, "Status: Away", true},
                        {50, "Status: On Phone", true},  {66, "Status: Lunch/Away", true}};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.code);
        messenger.setLocalStateNow(row.code);
        state.AwayMode = !row.away;
        status.refreshLocalStatus();
        EXPECT_EQ(view.status, QString::fromLatin1(row.text));
        EXPECT_EQ(state.AwayMode, row.away);
        EXPECT_EQ(view.caption, row.away ? QStringLiteral("Set yourself Back")
                                         : QStringLiteral("Set yourself Away"));
        EXPECT_EQ(view.title, row.away ? QStringLiteral("Zelmo Extensions - Auto Away")
                                       : QStringLiteral("Zelmo Extensions"));
    }
}

TEST_F(LocalStatusTest, BusyIsRequestedAgainAndUnlistedCodesChangeNothing)
{
    messenger.setLocalStateNow(LocalState::Busy);
    status.refreshLocalStatus();
    EXPECT_EQ(messenger.lastRequestedState(), LocalState::Busy);

    for (qint32 code : {0, 1, 99}) {
        SCOPED_TRACE(code);
        messenger.setLocalStateNow(LocalState::Away);
        status.refreshLocalStatus();
        messenger.setLocalStateNow(code);
        state.startupDone = false;
        status.refreshLocalStatus();
        EXPECT_EQ(view.status, QStringLiteral("Status: Away"));
        EXPECT_TRUE(state.AwayMode);
        EXPECT_TRUE(state.startupDone);
    }
}

TEST_F(LocalStatusTest, MailCountAndProgress)
{
    messenger.setUnreadMailCount(0);
    status.refreshLocalStatus();
    EXPECT_EQ(view.mail, QStringLiteral("Unread Mail: 0"));
    messenger.setUnreadMailCount(-4);
    status.refreshLocalStatus();
    EXPECT_EQ(view.mail, QStringLiteral("Unread Mail: 0"));
    messenger.setUnreadMailCount(12);
    status.refreshLocalStatus();
    EXPECT_EQ(view.mail, QStringLiteral("Unread Mail: 12"));

    // A count that does not fit keeps the last one.
    messenger.setUnreadMailCount(70000);
    status.refreshLocalStatus();
    EXPECT_EQ(state.unreadMail, 12);
    EXPECT_EQ(view.mail, QStringLiteral("Unread Mail: 12"));

    EXPECT_EQ(state.startupProgress, 4 * 40);
    EXPECT_EQ(state.startupStep, QStringLiteral("Getting Status info"));
    state.startupProgress = std::numeric_limits<qint32>::max() - 10;
    status.refreshLocalStatus();
    EXPECT_EQ(state.startupProgress, std::numeric_limits<qint32>::max() - 10);
}

TEST_F(LocalStatusTest, FailingReadsAreSkippedAndDoneIsStillSet)
{
    messenger.setUnreadMailCount(3);
    status.refreshLocalStatus();
    view.status.clear();

    messenger.failures().failAlways(Operation::GetUnreadMailCount);
    messenger.failures().failAlways(Operation::GetLocalState);
    state.startupDone = false;
    status.refreshLocalStatus();
    EXPECT_EQ(view.mail, QStringLiteral("Unread Mail: 3"));
    EXPECT_TRUE(view.status.isEmpty());
    EXPECT_TRUE(state.startupDone);
}

TEST_F(LocalStatusTest, SwitchAwayAndBackWaitsForTheClient)
{
    messenger.setConfirmDelay(60);
    bool disabledDuringWait = false;
    bool tickRanInsideWait = false;
    duringWait(20, [&] {
        disabledDuringWait = !view.windowEnabled && !view.switchEnabled;
        tickRanInsideWait = true;
    });

    EXPECT_EQ(status.toggleAway(), LocalStatus::SwitchResult::Completed);
    EXPECT_TRUE(tickRanInsideWait);
    EXPECT_TRUE(disabledDuringWait);
    EXPECT_EQ(messenger.GetLocalState(), LocalState::Away);
    EXPECT_TRUE(state.AwayMode);
    EXPECT_TRUE(state.switchCompleted);
    EXPECT_EQ(view.caption, QStringLiteral("Set yourself Back"));
    EXPECT_EQ(view.title, QStringLiteral("Zelmo Extensions - Auto Away"));
    EXPECT_EQ(view.status, QStringLiteral("Status: Away"));
    EXPECT_EQ(view.log, (QStringList{QStringLiteral("button off"), QStringLiteral("progress shown"),
                                     QStringLiteral("window off"), QStringLiteral("window on"),
                                     QStringLiteral("button on")}));

    state.switchCompleted = false;
    EXPECT_EQ(status.toggleAway(), LocalStatus::SwitchResult::Completed);
    EXPECT_EQ(messenger.GetLocalState(), LocalState::Online);
    EXPECT_FALSE(state.AwayMode);
    EXPECT_EQ(view.caption, QStringLiteral("Set yourself Away"));
    EXPECT_EQ(view.title, QStringLiteral("Zelmo Extensions"));
    EXPECT_EQ(view.status, QStringLiteral("Status: Online"));
    EXPECT_EQ(messenger.requestedStates(), (QList<qint32>{LocalState::Away, LocalState::Online}));
}

TEST_F(LocalStatusTest, AnIdleUserSwitchesBackToOnline)
{
    messenger.setLocalStateNow(LocalState::Idle);
    status.refreshLocalStatus();
    status.toggleAway();
    EXPECT_EQ(messenger.lastRequestedState(), LocalState::Online);
}

TEST_F(LocalStatusTest, WaitingBlocksInsteadOfSpinning)
{
    messenger.setConfirmDelay(200);
    const int before = messenger.failures().calls(Operation::GetLocalState);
    status.toggleAway();
    const int reads = messenger.failures().calls(Operation::GetLocalState) - before;
    // About one read per 20 ms; a spinning wait would make thousands.
    EXPECT_GE(reads, 3);
    EXPECT_LE(reads, 40);
}

TEST_F(LocalStatusTest, AnUnconfirmedSwitchGivesTheWindowBack)
{
    messenger.setConfirmDelay(-1);
    status.setWaitLimit(100ms);
    EXPECT_EQ(status.toggleAway(), LocalStatus::SwitchResult::TimedOut);
    EXPECT_TRUE(view.windowEnabled);
    EXPECT_TRUE(view.switchEnabled);
    EXPECT_TRUE(view.log.contains(QStringLiteral("progress dismissed")));
    EXPECT_FALSE(state.switchCompleted);
    EXPECT_FALSE(status.switchInProgress());
}

TEST_F(LocalStatusTest, AFailingCallRestoresTheWindowBeforeFailing)
{
    messenger.failures().failAlways(Operation::SetLocalState);
    EXPECT_THROW(status.toggleAway(), MessengerError);
    EXPECT_EQ(view.log,
              (QStringList{QStringLiteral("button off"), QStringLiteral("progress shown"),
                           QStringLiteral("window off"), QStringLiteral("window on"),
                           QStringLiteral("button on"), QStringLiteral("progress dismissed")}));
    messenger.failures().clearAll();

    // A failure while waiting, too.
    state.AwayMode = false;
    messenger.setConfirmDelay(50);
    messenger.failures().failAfter(Operation::GetLocalState, 1);
    view.log.clear();
    EXPECT_THROW(status.toggleAway(), MessengerError);
    EXPECT_TRUE(view.windowEnabled);
    EXPECT_TRUE(view.switchEnabled);
    EXPECT_FALSE(status.switchInProgress());
}

TEST_F(LocalStatusTest, ASecondSwitchDuringAWaitRedirectsIt)
{
    messenger.setConfirmDelay(80);
    std::optional<LocalStatus::SwitchResult> inner;
    int depth = 0;
    duringWait(20, [&] {
        // As the set-back command would: the user counts as away, so the switch goes back.
        ++depth;
        state.AwayMode = true;
        inner = status.toggleAway();
        --depth;
    });

    EXPECT_EQ(status.toggleAway(), LocalStatus::SwitchResult::Completed);
    ASSERT_TRUE(inner.has_value());
    EXPECT_EQ(*inner, LocalStatus::SwitchResult::Redirected);
    EXPECT_EQ(depth, 0);
    EXPECT_EQ(messenger.requestedStates(), (QList<qint32>{LocalState::Away, LocalState::Online}));
    EXPECT_TRUE(test::waitUntil([&] { return messenger.GetLocalState() == LocalState::Online; }));
    EXPECT_FALSE(state.AwayMode);
    EXPECT_EQ(view.status, QStringLiteral("Status: Online"));
    EXPECT_EQ(view.log.count(QStringLiteral("progress shown")), 1);
    EXPECT_TRUE(view.windowEnabled);
}

TEST_F(LocalStatusTest, ResultEventsMarkALostConnection)
{
    messenger.setLocalStateNow(LocalState::Away);
    test::drainEvents();
    EXPECT_FALSE(state.notConnected);

    messenger.setServiceStatus(ServiceStatus::ConnectionLost);
    Q_EMIT messenger.OnLocalPropertyChangeResult(0, 0, QVariant(),
                                                 messenger.GetServices()->GetPrimaryService());
    EXPECT_TRUE(state.notConnected);
}

TEST_F(LocalStatusTest, EventsQueuedBeforeTheWaitRunDuringIt)
{
    // A switch started from a queued event, as a remote command's is, with another event
    // queued right behind it: that event must not wait for the switch to end.
    messenger.setConfirmDelay(80);
    bool switched = false;
    bool laterEventRanDuringWait = false;
    QMetaObject::invokeMethod(
        &messenger,
        [&] {
            status.toggleAway();
            switched = true;
        },
        Qt::QueuedConnection);
    QMetaObject::invokeMethod(
        &messenger, [&] { laterEventRanDuringWait = status.switchInProgress(); },
        Qt::QueuedConnection);

    ASSERT_TRUE(test::waitUntil([&] { return switched; }));
    EXPECT_TRUE(laterEventRanDuringWait);
}

TEST_F(LocalStatusTest, QuittingDuringAWaitEndsItAtOnce)
{
    messenger.setConfirmDelay(-1);
    duringWait(30, [] { QCoreApplication::quit(); });
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_EQ(status.toggleAway(), LocalStatus::SwitchResult::TimedOut);
    EXPECT_LT(elapsed.elapsed(), 5000) << "the wait must not run on to its limit";
    EXPECT_TRUE(view.windowEnabled);

    // Leave the application able to run event loops for the tests that follow.
    QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
}

TEST_F(LocalStatusTest, ARefreshDuringASwitchFromBusyDoesNotUndoIt)
{
    messenger.setLocalStateNow(LocalState::Busy);
    test::drainEvents();
    status.refreshLocalStatus();
    ASSERT_EQ(messenger.requestedStates(), QList<qint32>{LocalState::Busy});

    // The poller refreshes while the switch waits, and still reads Busy.
    messenger.setConfirmDelay(60);
    duringWait(20, [&] { status.refreshLocalStatus(); });
    EXPECT_EQ(status.toggleAway(), LocalStatus::SwitchResult::Completed);
    // What the refresh showed of the old state does not outlast the confirmation.
    EXPECT_TRUE(state.AwayMode);
    EXPECT_EQ(messenger.requestedStates(), (QList<qint32>{LocalState::Busy, LocalState::Away}));
    test::drainEvents();
    EXPECT_EQ(messenger.GetLocalState(), LocalState::Away);
}

TEST_F(LocalStatusTest, ASwitchStartsWithNoCompletionLeftOver)
{
    // The previous switch ended moments ago, and its progress window has not ticked since.
    state.switchCompleted = true;
    messenger.setConfirmDelay(30);
    bool leftOverAtStart = true;
    duringWait(0, [&] { leftOverAtStart = state.switchCompleted; });
    EXPECT_EQ(status.toggleAway(), LocalStatus::SwitchResult::Completed);
    EXPECT_FALSE(leftOverAtStart);
    EXPECT_TRUE(state.switchCompleted);
}
