// The splash's logic without a window: the load of the main window, the progress shown, the
// completion check, and the hand-over at the third tick after the last activation.

#include "core/program.h"
#include "core/splash.h"
#include "platform/messenger/sim/simmessenger.h"

#include "support/fakemainview.h"
#include "support/memorystore.h"
#include "support/printers.h"

#include <gtest/gtest.h>

#include <functional>

using namespace zelmo;

namespace {

// A splash window that remembers what the logic did with it, and unloads when closed as the
// real one does.
class FakeSplashView : public SplashView {
public:
    void setProgressValue(qint32 value) override { bar = value; }
    void setStepText(const QString &text) override { stepText = text; }
    void loadMainWindow() override
    {
        ++loads;
        if (onLoad)
            onLoad();
    }
    void showMainWindow() override { steps << QStringLiteral("show main window"); }
    void closeWindow() override
    {
        steps << QStringLiteral("close");
        if (splash)
            splash->stop();
    }

    Splash *splash = nullptr;
    std::function<void()> onLoad;
    qint32 bar = -1;
    QString stepText;
    int loads = 0;
    QStringList steps;
};

class SplashTest : public testing::Test {
protected:
    SplashTest()
    {
        sim.setConfirmDelay(0);
        sim.setContacts({{QStringLiteral("ann@zelmo.test"),
                          QStringLiteral("Ann"),
                          2,
                          {ListKind::AllContacts, ListKind::Users}}});
        view.splash = &splash;
        view.onLoad = [this] { program.start(); };
        splash.start();
    }

    // The third tick shows the main window and closes the splash, the ones before do nothing.
    void expectHandOverAtThirdTick()
    {
        splash.handOverTick();
        splash.handOverTick();
        EXPECT_TRUE(view.steps.isEmpty());
        splash.handOverTick();
        EXPECT_EQ(view.steps, (QStringList{"show main window", "close"}));
        EXPECT_FALSE(splash.loaded());
        EXPECT_FALSE(splash.checkTimerRunning() || splash.progressTimerRunning() ||
                     splash.handOverTimerRunning());
    }

    sim::SimMessenger sim;
    test::MemoryStore store;
    test::FakeMainView mainView;
    Program program{mainView, &sim, store, nullptr};
    AppState &state{program.state()};
    FakeSplashView view;
    Splash splash{view, state};
};

} // namespace

TEST_F(SplashTest, AConnectedStartUpShowsItsLastStepAndHandsOverAtTheThirdTick)
{
    EXPECT_TRUE(splash.checkTimerRunning() && splash.progressTimerRunning() &&
                splash.handOverTimerRunning());
    splash.windowActivated();
    EXPECT_EQ(view.loads, 1);
    EXPECT_EQ(state.startupProgress, 200);

    splash.followProgress();
    EXPECT_EQ(view.bar, 200);
    EXPECT_EQ(view.stepText, "Getting Status info");
    // Below full progress the completion check leaves the timers alone.
    splash.checkCompletion();
    EXPECT_TRUE(splash.checkTimerRunning() && splash.progressTimerRunning());

    expectHandOverAtThirdTick();
}

TEST_F(SplashTest, AFailedConnectionStillHandsOverAndCloses)
{
    sim.setServiceStatus(ServiceStatus::NotConnected);
    splash.windowActivated();
    EXPECT_TRUE(mainView.shown) << "the not-connected display shows the main window itself";
    EXPECT_FALSE(state.startupDone);

    splash.followProgress();
    EXPECT_EQ(view.bar, 80);
    splash.checkCompletion();
    EXPECT_TRUE(splash.checkTimerRunning() && splash.progressTimerRunning());

    expectHandOverAtThirdTick();
}

TEST_F(SplashTest, ProgressIsCappedAndCompletionNeedsFullBarAndStatus)
{
    state.startupProgress = 280;
    state.startupDone = false;
    splash.followProgress();
    EXPECT_EQ(view.bar, 240);
    EXPECT_EQ(splash.progress(), 240);
    splash.checkCompletion();
    EXPECT_TRUE(splash.checkTimerRunning() && splash.progressTimerRunning()) << "done still false";

    state.startupProgress = 239;
    state.startupDone = true;
    splash.followProgress();
    splash.checkCompletion();
    EXPECT_TRUE(splash.checkTimerRunning() && splash.progressTimerRunning()) << "bar below 240";

    state.startupProgress = 240;
    splash.followProgress();
    splash.checkCompletion();
    EXPECT_FALSE(splash.checkTimerRunning() || splash.progressTimerRunning());
    EXPECT_TRUE(splash.handOverTimerRunning()) << "the hand-over still comes";
}

TEST_F(SplashTest, EachActivationRestartsTheCountButOnlyTheFirstLoads)
{
    // An activation from inside the start-up (a window it shows) must not load again.
    view.onLoad = [this] {
        program.start();
        splash.windowActivated();
    };
    splash.windowActivated();
    EXPECT_EQ(view.loads, 1);

    splash.handOverTick();
    splash.handOverTick();
    EXPECT_EQ(splash.ticks(), 2);
    splash.windowActivated();
    EXPECT_EQ(splash.ticks(), 0);
    EXPECT_EQ(splash.progress(), 0);
    EXPECT_EQ(view.loads, 1);

    expectHandOverAtThirdTick();
}

TEST_F(SplashTest, TheShutdownClosesTheSplashOnlyWhileItIsLoaded)
{
    splash.windowActivated();
    splash.closeFromShutdown();
    EXPECT_EQ(view.steps, QStringList{"close"});
    EXPECT_FALSE(splash.checkTimerRunning() || splash.progressTimerRunning() ||
                 splash.handOverTimerRunning());

    splash.closeFromShutdown();
    EXPECT_EQ(view.steps, QStringList{"close"}) << "closed already";
}
