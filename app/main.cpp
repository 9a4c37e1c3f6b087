// Zelmo Extensions: a companion that runs beside the user's messenger client.

#include "app/options.h"
#include "platform/datafolder.h"
#include "platform/messenger/sim/simmessenger.h"
#include "platform/messenger/sim/simtools.h"
#include "platform/settings/qsettingsstore.h"
#include "platform/sound/pulsesoundplayer.h"
#include "ui/form1.h"
#include "ui/frmsplash.h"

#include <QApplication>
#include <QPointer>
#include <QTextStream>

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

    zelmo::sim::SimMessenger messenger;
    messenger.setConfirmDelay(options->confirmDelayMs);
    if (!options->contactsFile.isEmpty()) {
        QString error;
        if (!messenger.loadContactsFile(options->contactsFile, &error)) {
            QTextStream(stderr) << "zelmo: cannot use the contacts file " << options->contactsFile
                                << ": " << error << '\n';
            return 1;
        }
    }

    // Loaded before the start-up, so that what the start-up does is logged too.
    QString error;
    const auto simTools =
        zelmo::sim::SimTools::create(messenger, options->simScript, options->simLog, &error);
    if (!simTools) {
        QTextStream(stderr) << "zelmo: " << error << '\n';
        return 2;
    }

    zelmo::QSettingsStore settings;
    zelmo::PulseSoundPlayer sound;
    zelmo::Form1 form(&messenger, settings, &sound);
    form.state().programFolder = zelmo::programFolder();

    // The contacts' script runs from the moment the main window is first shown.
    form.setOnFirstShow([&] { simTools->startScript(); });
    // The splash runs the start-up and hands over to the main window about a second after it.
    QPointer<zelmo::frmSplash> splash =
        new zelmo::frmSplash([&] { form.Form_Load(); }, [&] { form.show(); }, form.state());
    splash->setAttribute(Qt::WA_DeleteOnClose);
    form.setCloseSplash([&splash] {
        if (splash)
            splash->closeFromShutdown();
    });
    splash->show();
    return QApplication::exec();
}
