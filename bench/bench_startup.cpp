// The start-up with a large contact list: Program::start on the simulated client with 1,000
// contacts in mixed states, some of them blocked, the joke file loaded from the source tree
// as the real start-up loads it from the program's folder. A fresh program each run.

#include "bench/benchsupport.h"
#include "core/program.h"
#include "platform/messenger/sim/simmessenger.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <vector>

namespace {

using zelmo::ListKind;

constexpr int kContacts = 1000;

struct ContactMix {
    QList<zelmo::sim::SimContact> contacts;
    qint16 online = 0; // the lines the online list should end with
};

ContactMix contactMix()
{
    // Most contacts offline, as in a real list; the online ones in the usual states.
    const qint32 states[] = {zelmo::ContactState::Offline, zelmo::LocalState::Online,
                             zelmo::ContactState::Offline, zelmo::LocalState::Busy,
                             zelmo::ContactState::Offline, zelmo::LocalState::Away,
                             zelmo::ContactState::Offline, zelmo::LocalState::BeRightBack,
                             zelmo::ContactState::Unknown, zelmo::LocalState::OnThePhone};
    ContactMix mix;
    mix.contacts.reserve(kContacts);
    for (int i = 0; i < kContacts; ++i) {
        const qint32 state = states[i % std::size(states)];
        // One in twenty is blocked.
        const ListKind list = i % 20 == 7 ? ListKind::Blocked : ListKind::Users;
        mix.contacts.append({QStringLiteral("contact%1@example.net").arg(i),
                             QStringLiteral("Contact number %1").arg(i),
                             state,
                             {ListKind::AllContacts, list}});
        if (zelmo::isOnline(state))
            ++mix.online;
    }
    return mix;
}

} // namespace

int main(int argc, char **argv)
{
    zelmo::bench::runHeadless();
    QCoreApplication app(argc, argv);

    const int runs = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 200;
    if (runs <= 0) {
        std::fprintf(stderr, "the number of runs must be positive\n");
        return 2;
    }
    const QString programFolder = QStringLiteral(ZELMO_SOURCE_DIR "/resources");

    const ContactMix mix = contactMix();
    zelmo::sim::SimMessenger sim;
    sim.setContacts(mix.contacts);
    zelmo::bench::MemoryStore store;
    zelmo::bench::NullView view;

    std::vector<qint64> samples;
    samples.reserve(static_cast<std::size_t>(runs));
    for (int run = 0; run < runs; ++run) {
        zelmo::Program program(view, &sim, store, nullptr);
        program.state().programFolder = programFolder;

        QElapsedTimer timer;
        timer.start();
        program.start();
        samples.push_back(timer.nsecsElapsed());

        // A start-up that skipped a step would look fast: check what it left behind.
        const zelmo::AppState &state = program.state();
        if (state.onlineCount != mix.online || state.jokes.jokeCount() == 0 ||
            state.awayMessages.entryCount() != kContacts + 1 || state.notConnected) {
            std::fprintf(stderr, "run %d: incomplete start-up (%d online, %d jokes)\n", run,
                         state.onlineCount, state.jokes.jokeCount());
            return 1;
        }
        // Whatever the start-up queued runs before the next one.
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }

    const qint64 min = *std::min_element(samples.begin(), samples.end());
    std::printf("runs: %d, contacts: %d (%d online)\n", runs, kContacts, mix.online);
    std::printf("start-up with %d contacts: %.3f ms (median)\n", kContacts,
                zelmo::bench::median(samples) / 1e6);
    std::printf("start-up with %d contacts: %.3f ms (min)\n", kContacts, min / 1e6);
    return 0;
}
