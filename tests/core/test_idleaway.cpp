// Going away while the desktop is idle, with the whole program wired to the simulated
// messenger and an idle source driven by hand.

#include "core/idleaway.h"
#include "core/program.h"
#include "core/remotecontrol.h"
#include "platform/messenger/sim/simmessenger.h"

#include "support/fakemainview.h"
#include "support/memorystore.h"
#include "support/printers.h"
#include "support/waituntil.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

using namespace zelmo;
using namespace std::chrono_literals;

namespace {

class FakeIdle : public IdleSource {
public:
    bool available() const override { return usable; }
    QString unavailableReason() const override { return usable ? QString() : "no idle here"; }
    void watch(std::chrono::milliseconds idleFor) override { watching = idleFor; }
    void stop() override { watching.reset(); }
    bool usable = true;
    std::optional<std::chrono::milliseconds> watching;
};

// A program started on the simulated messenger, set to go away when idle.
struct World {
    World()
    {
        sim.setConfirmDelay(0);
        program.localStatus().setWaitLimit(2s);
        program.start();
        idleAway.connectTo(sim);
        idleAway.start();
        idleAway.setChoice({true, 10});
    }
    void idleAndBack()
    {
        Q_EMIT source.idle();
        Q_EMIT source.resumed();
    }
    void byHand() { program.localStatus().toggleAway(); }
    bool away() { return program.state().AwayMode; }
    QString &stored(const QString &key) { return store.values["Zelmo Extensions/Settings/" + key]; }

    sim::SimMessenger sim;
    test::MemoryStore store;
    test::FakeMainView view;
    Program program{view, &sim, store, nullptr};
    FakeIdle source;
    IdleAway idleAway{program.state(), program.localStatus(), store, &source};
};

using Requests = QList<qint32>;

} // namespace

TEST(IdleAway, GoesAwayWhenIdleAndBackAtInputAgainAndAgain)
{
    World w;
    EXPECT_EQ(w.source.watching, 10min);
    for (int round = 0; round < 2; ++round) {
        Q_EMIT w.source.idle();
        EXPECT_TRUE(w.away() && w.idleAway.wentAwayByItself());
        Q_EMIT w.source.resumed();
        EXPECT_FALSE(w.away() || w.idleAway.wentAwayByItself());
    }
    EXPECT_EQ(w.sim.requestedStates(), (Requests{34, 2, 34, 2}));

    // Input during the client's confirmation brings the user back once it has come.
    w.sim.setConfirmDelay(100);
    QTimer::singleShot(0, &w.sim, [&] { Q_EMIT w.source.resumed(); });
    Q_EMIT w.source.idle();
    EXPECT_FALSE(w.away());
    EXPECT_EQ(w.sim.requestedStates().mid(4), (Requests{34, 2}));
}

TEST(IdleAway, TheUsersOwnChoiceStands)
{
    const auto nothing = [](World &) {};
    struct Case {
        const char *name;
        std::function<void(World &)> beforeIdle, whileIdle;
        Requests requests;
    } cases[] = {
        {"away by hand", [](World &w) { w.byHand(); }, nothing, {34}},
        {"back by hand", nothing, [](World &w) { w.byHand(); }, {34, 2}},
        {"back, then away in the client",
         nothing,
         [](World &w) {
             for (qint32 state : {LocalState::Online, LocalState::BeRightBack}) {
                 w.sim.setLocalStateNow(state);
                 test::drainEvents();
                 w.program.localStatus().refreshLocalStatus();
             }
         },
         {34}},
    };
    for (const Case &c : cases) {
        World w;
        c.beforeIdle(w);
        Q_EMIT w.source.idle();
        c.whileIdle(w);
        Q_EMIT w.source.resumed();
        EXPECT_EQ(w.sim.requestedStates(), c.requests) << c.name;
        EXPECT_EQ(w.away(), c.requests.size() == 1) << c.name;
    }
}

// Away asked for from outside while idle time had already gone away is the user's own choice:
// input does not bring them back.
TEST(IdleAway, AwayFromOutsideStandsAtInput)
{
    sim::SimMessenger sim;
    sim.setConfirmDelay(0);
    test::MemoryStore store;
    store.values["Zelmo Extensions/Settings/GoAwayWhenIdle"] = "1";
    test::FakeMainView view;
    FakeIdle source;
    Program program{view, &sim, store, nullptr, &source};
    program.start();
    RemoteControl remote(program, &sim);
    Q_EMIT source.idle();
    ASSERT_TRUE(program.state().AwayMode);
    bool done = false;
    remote.goAway([&](const RemoteControl::Result &result) { done = result.ok(); });
    Q_EMIT source.resumed();
    EXPECT_TRUE(done);
    EXPECT_TRUE(program.state().AwayMode);
    EXPECT_EQ(sim.requestedStates(), (Requests{34}));
}

TEST(IdleAway, NothingHappens)
{
    const std::pair<const char *, std::function<void(World &)>> cases[] = {
        {"when off", [](World &w) { w.idleAway.setChoice(IdleAway::Choice()); }},
        {"when not connected", [](World &w) { w.program.state().notConnected = true; }},
        {"when ending", [](World &w) { w.program.state().unloading = true; }},
        {"without a messenger", [](World &w) { w.program.state().messenger = nullptr; }},
        {"when the client refuses",
         [](World &w) { w.sim.failures().failAlways(sim::Operation::SetLocalState); }},
    };
    for (const auto &[name, setUp] : cases) {
        World w;
        setUp(w);
        w.idleAndBack();
        EXPECT_TRUE(w.sim.requestedStates().isEmpty()) << name;
        EXPECT_FALSE(w.idleAway.wentAwayByItself()) << name;
    }

    // While a switch of the user's own waits for the client.
    World w;
    w.sim.setConfirmDelay(-1);
    w.program.localStatus().setWaitLimit(300ms);
    QTimer::singleShot(0, &w.sim, [&] {
        ASSERT_TRUE(w.program.localStatus().switchInProgress());
        w.idleAndBack();
        EXPECT_EQ(w.sim.requestedStates(), Requests{34});
    });
    w.byHand();
}

TEST(IdleAway, TheChoiceIsStoredAndBadValuesReadAsTheDefault)
{
    World w;
    // Stored as written, minutes clamped, read back by the next start.
    const std::pair<IdleAway::Choice, QStringList> writes[] = {
        {{true, 0}, {"1", "1"}}, {{true, 5000}, {"1", "1440"}}, {{false, 25}, {"0", "25"}}};
    for (const auto &[choice, expected] : writes) {
        EXPECT_TRUE(w.idleAway.setChoice(choice));
        EXPECT_EQ(QStringList({w.stored("GoAwayWhenIdle"), w.stored("IdleMinutes")}), expected);
        EXPECT_EQ(w.source.watching.has_value(), choice.enabled);
        w.idleAway.start();
        EXPECT_EQ(w.idleAway.choice().minutes, expected[1].toInt());
    }
    const std::pair<QStringList, IdleAway::Choice> reads[] = {{{"1", " 25 "}, {true, 25}},
                                                              {{"yes", "ten"}, {false, 10}},
                                                              {{"1", "0"}, {true, 10}},
                                                              {{"0", "99999"}, {false, 10}}};
    for (const auto &[values, choice] : reads) {
        w.stored("GoAwayWhenIdle") = values[0];
        w.stored("IdleMinutes") = values[1];
        w.idleAway.start();
        EXPECT_EQ(w.idleAway.choice().enabled, choice.enabled) << values.join(',');
        EXPECT_EQ(w.idleAway.choice().minutes, choice.minutes) << values.join(',');
    }

    // A choice that cannot be stored is in force all the same; without idle time, none watches.
    w.store.writable = false;
    w.source.usable = false;
    EXPECT_FALSE(w.idleAway.setChoice({true, 3}));
    EXPECT_EQ(w.idleAway.choice().minutes, 3);
    EXPECT_EQ(w.source.watching, std::nullopt);
    EXPECT_EQ(w.idleAway.unavailableReason(), "no idle here");
    IdleAway none(w.program.state(), w.program.localStatus(), w.store, nullptr);
    none.setChoice({true, 3});
    EXPECT_FALSE(none.available() || none.unavailableReason().isEmpty());
}
