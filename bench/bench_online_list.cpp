// A sign-in with a large contact list: the contacts (1,000 unless given on the command line)
// come online one by one, each state change rebuilding the whole online list into the real
// main window (offscreen). Prints the total time and the time per rebuild.
//
//     bench_online_list [contacts]

#include "bench/benchsupport.h"
#include "platform/messenger/sim/simmessenger.h"
#include "ui/form1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListView>

#include <cstdio>

namespace {

// The main window, counting the rebuilds that reach it: a bench whose events went nowhere
// would otherwise report a fast rebuild.
class CountingForm : public zelmo::Form1 {
public:
    using Form1::Form1;

    void setOnlineLines(const QStringList &lines) override
    {
        ++rebuilds;
        Form1::setOnlineLines(lines);
    }

    int rebuilds = 0;
};

} // namespace

int main(int argc, char **argv)
{
    zelmo::bench::runHeadless();
    QApplication app(argc, argv);

    const int contacts = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000;
    if (contacts <= 0) {
        std::fprintf(stderr, "the number of contacts must be positive\n");
        return 2;
    }
    QList<zelmo::sim::SimContact> list;
    list.reserve(contacts);
    for (int i = 0; i < contacts; ++i) {
        list.append({QStringLiteral("contact%1@example.net").arg(i),
                     QStringLiteral("Contact number %1").arg(i),
                     zelmo::ContactState::Offline,
                     {zelmo::ListKind::AllContacts, zelmo::ListKind::Users}});
    }

    zelmo::sim::SimMessenger messenger;
    messenger.setContacts(list);
    zelmo::bench::MemoryStore store;
    CountingForm form(&messenger, store);
    // The start-up connects the window's logic to the client; without it no event arrives.
    form.Form_Load();
    form.show();
    QCoreApplication::processEvents();

    auto *view = form.findChild<QListView *>(QStringLiteral("List1"));
    struct Pass {
        qint64 nanoseconds = 0;
        int rebuilds = 0;
        int lines = 0;
    };
    auto signIn = [&](qint32 state, bool paced) {
        const int before = form.rebuilds;
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < contacts; ++i) {
            messenger.changeContactState(list.at(i).logonName, state);
            if (paced)
                QCoreApplication::processEvents();
        }
        QCoreApplication::processEvents();
        return Pass{timer.nsecsElapsed(), form.rebuilds - before, view->model()->rowCount()};
    };

    // As a sign-in delivers them: the state changes arrive together, each one its own event
    // and its own full rebuild, and the window repaints once they have been handled.
    const Pass burst = signIn(zelmo::LocalState::Online, false);
    const Pass signOut = signIn(zelmo::ContactState::Offline, false);
    // One at a time, the window repainting after each: the cost of a rebuild plus a repaint.
    const Pass paced = signIn(zelmo::LocalState::Online, true);

    std::printf("online list: %d contacts coming online one by one (%d events, %d rebuilds)\n",
                contacts, contacts, burst.rebuilds);
    std::printf("sign-in burst: total %.1f ms, per rebuild %.1f us\n", burst.nanoseconds / 1e6,
                burst.nanoseconds / 1e3 / contacts);
    std::printf("one at a time, repainting after each: total %.1f ms, per rebuild %.1f us\n",
                paced.nanoseconds / 1e6, paced.nanoseconds / 1e3 / contacts);

    const bool complete = burst.rebuilds == contacts && paced.rebuilds == contacts &&
                          burst.lines == contacts && signOut.lines == 0 && paced.lines == contacts;
    if (!complete)
        std::fprintf(stderr, "incomplete: %d and %d rebuilds, %d and %d lines\n", burst.rebuilds,
                     paced.rebuilds, burst.lines, paced.lines);
    return complete ? 0 : 1;
}
