// The desktop's idle time read by the real KIdleTime on an X server of its own (run under
// xvfb-run), with xdotool playing the user: the program goes away once the desktop has been
// idle and comes back at the next input, round after round.

#include "core/idleaway.h"
#include "core/program.h"
#include "platform/idle/kidletimesource.h"
#include "platform/messenger/sim/simmessenger.h"

#include "support/fakemainview.h"
#include "support/memorystore.h"
#include "support/printers.h"
#include "support/waituntil.h"

#include <QProcess>

#include <gtest/gtest.h>

using namespace zelmo;
using namespace std::chrono_literals;

namespace {

void moveMouse(int x)
{
    const QString at = QString::number(x);
    ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"), {"mousemove", at, at}), 0);
}

} // namespace

TEST(KIdleTime, GoesAwayWhenIdleAndComesBackAtInput)
{
    sim::SimMessenger sim;
    sim.setConfirmDelay(0);
    test::MemoryStore store;
    test::FakeMainView view;
    Program program(view, &sim, store, nullptr);
    program.start();
    KIdleTimeSource source;
    ASSERT_TRUE(source.available()) << source.unavailableReason();
    IdleAway idleAway(program.state(), program.localStatus(), store, &source);
    idleAway.setMinuteLength(1500ms);
    idleAway.start();
    // Input first, so that the idle time counts from now and not from the server's start.
    moveMouse(10);
    idleAway.setChoice({true, 1});

    for (int round = 1; round <= 3; ++round) {
        ASSERT_TRUE(test::waitUntil([&] { return idleAway.wentAwayByItself(); }, 60000))
            << "round " << round;
        moveMouse(10 + 40 * round);
        ASSERT_TRUE(test::waitUntil([&] { return !program.state().AwayMode; }, 60000))
            << "round " << round;
    }
    EXPECT_EQ(sim.requestedStates(), (QList<qint32>{34, 2, 34, 2, 34, 2}));
}
