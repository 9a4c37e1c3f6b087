// A sign-in with a large contact list: the contacts (1,000 unless given on the command line)
// come online one by one, each state change an event of its own, into the real main window
// (offscreen). A burst of events ends in one rebuild; --per-event rebuilds on every event, as
// the program once did, for comparison. Prints the totals and the longest the window froze.
//
//     bench_online_list [contacts] [--per-event]

#include "bench/benchsupport.h"
#include "platform/messenger/sim/simmessenger.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListView>

#include <cstdio>

namespace {

// The main window, counting the rebuilds that reach it: a bench whose events went nowhere
// would otherwise report a fast rebuild.
class CountingForm : public zelmo::MainWindow {
public:
    using MainWindow::MainWindow;

    void setOnlineLines(const QStringList &lines) override
    {
        ++rebuilds;
        MainWindow::setOnlineLines(lines);
    }

    int rebuilds = 0;
};

} // namespace

int main(int argc, char **argv)
{
    zelmo::bench::runHeadless();
    QApplication app(argc, argv);

    int contacts = 1000;
    bool perEvent = false;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QLatin1String("--per-event"))
            perEvent = true;
        else
            contacts = arg.toInt();
    }
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
    zelmo::Program program(&messenger, store);
    CountingForm form(program);
    // The start-up connects the window's logic to the client; without it no event arrives.
    form.program().contactLists().setRebuildPerEvent(perEvent);
    form.start();
    form.show();
    QCoreApplication::processEvents();

    auto *view = form.findChild<QListView *>(QStringLiteral("onlineList"));
    struct Pass {
        qint64 nanoseconds = 0;
        qint64 longestFreeze = 0; // the longest the event loop was kept from the window
        int rebuilds = 0;
        int lines = 0;
    };
    auto signIn = [&](qint32 state, bool paced) {
        const int before = form.rebuilds;
        QElapsedTimer timer, step;
        timer.start();
        qint64 longest = 0;
        const auto pass = [&] {
            step.start();
            QCoreApplication::processEvents();
            longest = std::max(longest, step.nsecsElapsed());
        };
        for (int i = 0; i < contacts; ++i) {
            messenger.changeContactState(list.at(i).logonName, state);
            if (paced)
                pass();
        }
        // The rebuild a pass schedules runs in the next one, as the event loop would run it.
        do
            pass();
        while (form.program().contactLists().isStale());
        return Pass{timer.nsecsElapsed(), longest, form.rebuilds - before,
                    static_cast<int>(view->model()->rowCount())};
    };

    std::printf("online list: %d contacts coming online one by one (%s)\n", contacts,
                perEvent ? "one rebuild per event" : "one rebuild per burst");
    // As a sign-in delivers them: the state changes arrive together, each one its own event,
    // and the window repaints once they have been handled.
    const Pass burst = signIn(zelmo::LocalState::Online, false);
    const Pass signOut = signIn(zelmo::ContactState::Offline, false);
    // Printed at once: the paced pass below grows with the square of the contacts and takes
    // minutes at 50,000.
    std::printf("sign-in burst: total %.1f ms in %d rebuilds; window frozen for %.1f ms\n",
                burst.nanoseconds / 1e6, burst.rebuilds, burst.longestFreeze / 1e6);
    std::fflush(stdout);
    // One at a time, the window repainting after each: the cost of a rebuild plus a repaint.
    const Pass paced = signIn(zelmo::LocalState::Online, true);
    std::printf("one at a time, repainting after each: total %.1f ms in %d rebuilds, "
                "%.1f us per event; window frozen for %.1f ms\n",
                paced.nanoseconds / 1e6, paced.rebuilds, paced.nanoseconds / 1e3 / contacts,
                paced.longestFreeze / 1e6);

    // A burst must have rebuilt at least once; paced events each get their own rebuild.
    const bool complete = burst.rebuilds >= 1 && burst.rebuilds <= contacts &&
                          (!perEvent || burst.rebuilds == contacts) && paced.rebuilds == contacts &&
                          burst.lines == contacts && signOut.lines == 0 && paced.lines == contacts;
    if (!complete)
        std::fprintf(stderr, "incomplete: %d and %d rebuilds, %d and %d lines\n", burst.rebuilds,
                     paced.rebuilds, burst.lines, paced.lines);
    return complete ? 0 : 1;
}
