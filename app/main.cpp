// Zelmo Extensions: a companion that runs beside the user's messenger client.

#include "app/backend.h"
#include "app/options.h"
#include "platform/datafolder.h"
#include "platform/messenger/sim/clientwindow.h"
#include "platform/messenger/sim/simmessenger.h"
#include "platform/settings/qsettingsstore.h"
#include "platform/sound/pulsesoundplayer.h"
#include "ui/form1.h"
#include "ui/frmsplash.h"

#include <QApplication>
#include <QPointer>
#include <QTextStream>

#include <memory>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zelmo Extensions"));
    QApplication::setApplicationVersion(QStringLiteral(PROJECT_VERSION));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/zelmo/zelmo.png")));
    // The shutdown decides when the program ends, not the last window to close.
    QApplication::setQuitOnLastWindowClosed(false);

    QString message;
    int exitCode = 0;
    const auto options = zelmo::parseOptions(QApplication::arguments(), &message, &exitCode);
    if (!options) {
        QTextStream(exitCode == 0 ? stdout : stderr) << message;
        return exitCode;
    }

    // The messenger client: the built-in simulated one, or an XMPP account (--xmpp), signed in
    // before the start-up so that the start-up finds its lists.
    QString error;
    const auto backend = zelmo::MessengerBackend::create(*options, &error, &exitCode);
    if (!backend) {
        QTextStream(stderr) << "zelmo: " << error << '\n';
        return exitCode;
    }
    zelmo::MessengerObject &messenger = backend->messenger();

    zelmo::QSettingsStore settings;
    zelmo::PulseSoundPlayer sound;
    zelmo::Form1 form(&messenger, settings, &sound);
    form.state().programFolder = zelmo::programFolder();

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
