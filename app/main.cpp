// Zelmo Extensions: a companion that runs beside the user's messenger client.

#include "app/accountkey.h"
#include "app/backend.h"
#include "app/headlessview.h"
#include "app/instancelock.h"
#include "app/lines.h"
#include "app/options.h"
#include "app/shutdownsignals.h"
#include "control/controlservice.h"
#include "core/activitylogfile.h"
#include "core/program.h"
#include "platform/datafolder.h"
#include "platform/idle/kidletimesource.h"
#include "platform/messenger/sim/clientwindow.h"
#include "platform/messenger/sim/simmessenger.h"
#include "platform/settings/qsettingsstore.h"
#include "platform/sound/pulsesoundplayer.h"
#include "ui/mainwindow.h"
#include "ui/splashscreen.h"
#include "ui/messagebox.h"

#include <QApplication>
#include <QPointer>
#include <QTextStream>
#include <QTimer>

#include <memory>
#include <optional>

namespace {

// The account as the user knows it, for the lines and boxes that name it.
QString accountForUser(const QString &key)
{
    return key == QLatin1String("built-in") ? QStringLiteral("the built-in messenger")
                                            : zelmo::shownAccount(key);
}

// The lock of an account, or nothing when a running copy serves it already: then the user is
// told, and this copy ends without answering anything.
std::unique_ptr<zelmo::InstanceLock> lockAccount(const QString &account, const QString &shown,
                                                 bool headless)
{
    auto lock = std::make_unique<zelmo::InstanceLock>(account);
    if (lock->tryLock())
        return lock;
    const QString text = QStringLiteral("Zelmo Extensions is already running for %1, so this "
                                        "copy ends: two would answer every message twice.")
                             .arg(shown);
    zelmo::writeLine(zelmo::LinePriority::Error, text);
    // A box only where someone can see it and close it.
    const QString platform = headless ? QString() : QGuiApplication::platformName();
    if (!headless && platform != QLatin1String("offscreen") && platform != QLatin1String("minimal"))
        zelmo::MessageBox::information(nullptr, zelmo::applicationTitle(), text);
    return nullptr;
}

bool displayNamed()
{
    return qEnvironmentVariableIsSet("DISPLAY") || qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
           qEnvironmentVariableIsSet("QT_QPA_PLATFORM");
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
    if (options->helpAll) {
        // Qt's options for windows come with the windowed application object, which needs a
        // platform: one that opens nothing serves anywhere.
        qputenv("QT_QPA_PLATFORM", "minimal");
        const QApplication helping(argc, argv);
        zelmo::parseOptions(QCoreApplication::arguments(), &message, &exitCode);
        return 0;
    }
    const bool headless = options->headless;
    if (!headless && !displayNamed()) {
        QTextStream(stderr) << "zelmo: no display (DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM "
                               "are unset); start it with --headless to run without windows.\n";
        return zelmo::exitBadCommandLine;
    }
    zelmo::setLinePrefixes(headless);
    // From here on a stop asked by a signal runs the normal shutdown, once the start-up is done.
    zelmo::ShutdownSignals stopSignals;

    // Before Qt first asks for the runtime folder.
    zelmo::settleRuntimeFolder();
    // Without a display, no GUI application at all: it would look for a platform to draw on.
    std::unique_ptr<QCoreApplication> app;
    if (headless) {
        app = std::make_unique<QCoreApplication>(argc, argv);
    } else {
        app = std::make_unique<QApplication>(argc, argv);
        QApplication::setWindowIcon(QIcon(QStringLiteral(":/zelmo/zelmo.png")));
        QApplication::setDesktopFileName(QStringLiteral("net.zelmo.Extensions"));
        // The shutdown decides when the program ends, not the last window to close.
        QApplication::setQuitOnLastWindowClosed(false);
    }

    // One copy per account. Where the command line names the account, before anything signs
    // in; the first connected account of Pidgin or Finch is known once attached.
    // The account also names the file of the record.
    std::unique_ptr<zelmo::InstanceLock> lock;
    QString account;
    // An XMPP account has one key whichever backend serves it, so --xmpp and Pidgin or Finch
    // on the same account keep each other off it too.
    if (!options->purple) {
        account = options->xmppJid.isEmpty() ? QStringLiteral("built-in")
                                             : zelmo::xmppAccountKey(options->xmppJid);
        lock = lockAccount(account, accountForUser(account), headless);
        if (!lock)
            return zelmo::exitAlreadyRunning;
    }

    // The messenger client: the built-in simulated one, an XMPP account (--xmpp) signed in
    // before the start-up so that the start-up finds its lists, or the user's own Pidgin or
    // Finch (--purple).
    QString error;
    const auto backend = zelmo::MessengerBackend::create(*options, &error, &exitCode);
    if (!backend) {
        zelmo::writeLine(zelmo::LinePriority::Error, error);
        return exitCode;
    }
    if (const QString key = backend->accountKey(); !lock && !key.isEmpty()) {
        account = key;
        lock = lockAccount(key, accountForUser(key), headless);
        if (!lock)
            return zelmo::exitAlreadyRunning;
    }
    zelmo::MessengerObject &messenger = backend->messenger();

    zelmo::QSettingsStore settings;
    zelmo::PulseSoundPlayer sound;
    // Idle time is the display's: without one the program never goes away by itself.
    std::optional<zelmo::KIdleTimeSource> idle;
    if (!headless)
        idle.emplace();
    zelmo::Program program(&messenger, settings, &sound, idle ? &*idle : nullptr);
    program.state().programFolder = zelmo::programFolder();
    // Without a known account (a libpurple client with none signed in) the record stays in
    // memory: the run ends at once anyway.
    const QString recordPath = zelmo::ActivityLogFile::defaultPathFor(account);
    program.setRecordFile(recordPath);
    program.setEndReason([&] { return backend->endReason(); });
    // zelmoctl and scripts reach this copy on the session bus.
    zelmo::ControlService control(program, &messenger, account, zelmo::shownAccount(account));

    // How the run ends, whatever ends it. Credentials the server refused are told apart from
    // a server out of reach: trying again cannot mend them.
    const auto finish = [&](int status) {
        if (status != zelmo::Program::exitAsked && backend->credentialsRefused())
            status = zelmo::exitCredentialsRefused;
        if (headless)
            zelmo::writeLine(status == 0 ? zelmo::LinePriority::Info : zelmo::LinePriority::Error,
                             QStringLiteral("ended with status %1").arg(status));
        QCoreApplication::exit(status);
    };
    // Once the start-up is done: the contacts' script starts, and a stop asked meanwhile is
    // carried out.
    bool started = false;
    bool stopAsked = false;
    const auto startUpDone = [&] {
        started = true;
        backend->startScript();
        if (stopAsked)
            QTimer::singleShot(0, &program, &zelmo::Program::shutDown);
    };
    stopSignals.start([&] {
        if (started)
            program.shutDown();
        else
            stopAsked = true;
    });

    if (headless) {
        zelmo::HeadlessView view(program, options->logText, recordPath, finish);
        const QString shown = accountForUser(account);
        zelmo::writeLine(zelmo::LinePriority::Info,
                         QStringLiteral("started without windows for %1, process %2")
                             .arg(shown.isEmpty() ? messenger.clientName() : shown)
                             .arg(QCoreApplication::applicationPid()));
        zelmo::writeLine(zelmo::LinePriority::Info,
                         QStringLiteral("going away when idle is off: without a display there "
                                        "is no idle time to watch"));
        program.start();
        startUpDone();
        return QCoreApplication::exec();
    }

    zelmo::MainWindow form(program);
    form.setEndProgram(finish);

    // The built-in messenger's own window, beside the main window (--no-sim-window: none).
    std::unique_ptr<zelmo::sim::ClientWindow> simWindow;
    if (auto *sim = qobject_cast<zelmo::sim::SimMessenger *>(&messenger);
        sim && options->simWindow) {
        simWindow = std::make_unique<zelmo::sim::ClientWindow>(*sim);
        zelmo::sim::ClientWindow::placeSideBySide(&form, simWindow.get());
    }

    // The splash runs the start-up and hands over to the main window about a second after it.
    QPointer<zelmo::SplashScreen> splash = new zelmo::SplashScreen(
        [&] {
            program.start();
            startUpDone();
        },
        [&] {
            form.show();
            if (simWindow)
                simWindow->show();
        },
        program.state());
    splash->setAttribute(Qt::WA_DeleteOnClose);
    form.setCloseSplash([&splash] {
        if (splash)
            splash->closeFromShutdown();
    });
    splash->show();
    return QApplication::exec();
}
