// Zelmo Extensions: a companion that runs beside the user's messenger client.

#include "app/accountkey.h"
#include "app/backend.h"
#include "app/instancelock.h"
#include "app/options.h"
#include "control/controlservice.h"
#include "core/activitylogfile.h"
#include "platform/datafolder.h"
#include "platform/idle/kidletimesource.h"
#include "platform/messenger/sim/clientwindow.h"
#include "platform/messenger/sim/simmessenger.h"
#include "platform/settings/qsettingsstore.h"
#include "platform/sound/pulsesoundplayer.h"
#include "ui/form1.h"
#include "ui/frmsplash.h"
#include "ui/messagebox.h"

#include <QApplication>
#include <QPointer>
#include <QTextStream>

#include <memory>
#include <optional>

namespace {

// The lock of an account, or nothing when a running copy serves it already: then the user is
// told, and this copy ends without answering anything.
std::unique_ptr<zelmo::InstanceLock> lockAccount(const QString &account, const QString &shown)
{
    auto lock = std::make_unique<zelmo::InstanceLock>(account);
    if (lock->tryLock())
        return lock;
    const QString text = QStringLiteral("Zelmo Extensions is already running for %1, so this "
                                        "copy ends: two would answer every message twice.")
                             .arg(shown);
    QTextStream(stderr) << "zelmo: " << text << '\n';
    // A box only where someone can see it and close it.
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("offscreen") && platform != QLatin1String("minimal"))
        zelmo::MessageBox::information(nullptr, zelmo::applicationTitle(), text);
    return nullptr;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("Zelmo Extensions"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PROJECT_VERSION));

    // Read before the application object exists: --help and --version, and a mistake on the
    // command line, need no display (over ssh, in a package build).
    QString message;
    int exitCode = 0;
    std::optional<zelmo::Options> options;
    {
        // The help text asks the application object for the program's name.
        const QCoreApplication parsing(argc, argv);
        options = zelmo::parseOptions(QCoreApplication::arguments(), &message, &exitCode);
    }
    if (!options) {
        if (exitCode == 0)
            QTextStream(stdout) << message;
        else
            QTextStream(stderr) << "zelmo: " << message;
        return exitCode;
    }

    // Before Qt first asks for the runtime folder.
    zelmo::settleRuntimeFolder();
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/zelmo/zelmo.png")));
    QApplication::setDesktopFileName(QStringLiteral("net.zelmo.Extensions"));
    // The shutdown decides when the program ends, not the last window to close.
    QApplication::setQuitOnLastWindowClosed(false);

    // One copy per account. Where the command line names the account, before anything signs
    // in; the first connected account of Pidgin or Finch is known once attached.
    // The account also names the file of the record.
    std::unique_ptr<zelmo::InstanceLock> lock;
    QString account;
    // An XMPP account has one key whichever backend serves it, so --xmpp and Pidgin or Finch
    // on the same account keep each other off it too.
    if (!options->purple) {
        const bool builtIn = options->xmppJid.isEmpty();
        account = builtIn ? QStringLiteral("built-in") : zelmo::xmppAccountKey(options->xmppJid);
        lock = lockAccount(account, builtIn ? QStringLiteral("the built-in messenger")
                                            : zelmo::shownAccount(account));
        if (!lock)
            return zelmo::exitAlreadyRunning;
    }

    // The messenger client: the built-in simulated one, an XMPP account (--xmpp) signed in
    // before the start-up so that the start-up finds its lists, or the user's own Pidgin or
    // Finch (--purple).
    QString error;
    const auto backend = zelmo::MessengerBackend::create(*options, &error, &exitCode);
    if (!backend) {
        QTextStream(stderr) << "zelmo: " << error << '\n';
        return exitCode;
    }
    if (const QString key = backend->accountKey(); !lock && !key.isEmpty()) {
        account = key;
        lock = lockAccount(key, zelmo::shownAccount(key));
        if (!lock)
            return zelmo::exitAlreadyRunning;
    }
    zelmo::MessengerObject &messenger = backend->messenger();

    zelmo::QSettingsStore settings;
    zelmo::PulseSoundPlayer sound;
    zelmo::KIdleTimeSource idle;
    zelmo::Form1 form(&messenger, settings, &sound, &idle);
    form.state().programFolder = zelmo::programFolder();
    // Without a known account (a libpurple client with none signed in) the record stays in
    // memory: the run ends at once anyway.
    form.program().setRecordFile(zelmo::ActivityLogFile::defaultPathFor(account));
    // zelmoctl and scripts reach this copy on the session bus.
    zelmo::ControlService control(form.program(), &messenger, account,
                                  zelmo::shownAccount(account));

    // The built-in messenger's own window, beside the main window (--no-sim-window: none).
    std::unique_ptr<zelmo::sim::ClientWindow> simWindow;
    if (auto *sim = qobject_cast<zelmo::sim::SimMessenger *>(&messenger);
        sim && options->simWindow) {
        simWindow = std::make_unique<zelmo::sim::ClientWindow>(*sim);
        zelmo::sim::ClientWindow::placeSideBySide(&form, simWindow.get());
    }

    // The contacts' script runs from the moment the main window is first shown.
    form.setOnFirstShow([&] { backend->startScript(); });
    // The splash runs the start-up and hands over to the main window about a second after it.
    QPointer<zelmo::frmSplash> splash = new zelmo::frmSplash([&] { form.Form_Load(); },
                                                             [&] {
                                                                 form.show();
                                                                 if (simWindow)
                                                                     simWindow->show();
                                                             },
                                                             form.state());
    splash->setAttribute(Qt::WA_DeleteOnClose);
    form.setCloseSplash([&splash] {
        if (splash)
            splash->closeFromShutdown();
    });
    splash->show();
    return QApplication::exec();
}
