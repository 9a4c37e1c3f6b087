// A sign-in with a large contact list: 1,000 contacts come online one by one, each state
// change rebuilding the whole online list into the real main window (offscreen).
// Prints the total time and the time per rebuild.

#include "core/settingsstore.h"
#include "platform/messenger/sim/simmessenger.h"
#include "ui/form1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListView>

#include <cstdio>

namespace {

class MemoryStore : public zelmo::SettingsStore {
public:
    QString read(const QString &, const QString &, const QString &, const QString &d) override
    {
        return d;
    }
    bool write(const QString &, const QString &, const QString &, const QString &) override
    {
        return true;
    }
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const int contacts = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 1000;
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
    MemoryStore store;
    zelmo::Form1 form(&messenger, store);
    form.show();
    form.contactLists().RebuildOnlineList();
    QCoreApplication::processEvents();

    auto *view = form.findChild<QListView *>(QStringLiteral("List1"));
    auto signIn = [&](qint32 state, bool paced) {
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < contacts; ++i) {
            messenger.changeContactState(list.at(i).logonName, state);
            if (paced)
                QCoreApplication::processEvents();
        }
        QCoreApplication::processEvents();
        return timer.nsecsElapsed();
    };

    // As a sign-in delivers them: the state changes arrive together, each one its own event
    // and its own full rebuild, and the window repaints once they have been handled.
    const qint64 burst = signIn(zelmo::LocalState::Online, false);
    const int burstLines = view->model()->rowCount();
    signIn(zelmo::ContactState::Offline, false);
    // One at a time, the window repainting after each: the cost of a rebuild plus a repaint.
    const qint64 paced = signIn(zelmo::LocalState::Online, true);
    const int pacedLines = view->model()->rowCount();

    std::printf("online list: %d contacts coming online one by one (%d events, %d rebuilds)\n",
                contacts, contacts, contacts);
    std::printf("sign-in burst: total %.1f ms, per rebuild %.1f us\n", burst / 1e6,
                burst / 1e3 / contacts);
    std::printf("one at a time, repainting after each: total %.1f ms, per rebuild %.1f us\n",
                paced / 1e6, paced / 1e3 / contacts);
    return burstLines == contacts && pacedLines == contacts ? 0 : 1;
}
