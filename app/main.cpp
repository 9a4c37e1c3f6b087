// Zelmo Extensions: a companion that runs beside the user's messenger client.

#include "app/options.h"
#include "platform/datafolder.h"
#include "platform/messenger/sim/simmessenger.h"
#include "platform/settings/qsettingsstore.h"
#include "ui/form1.h"

#include <QApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zelmo Extensions"));
    QApplication::setApplicationVersion(QStringLiteral(PROJECT_VERSION));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/zelmo/zelmo.png")));

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

    zelmo::QSettingsStore settings;
    zelmo::Form1 form(&messenger, settings);
    zelmo::AppState &state = form.state();
    state.programFolder = zelmo::programFolder();

    // Bring-up: the code in force, the jokes, the contact lists and the first status.
    form.authorizationCode().load();
    state.Status = QStringLiteral("Opening Joke Files");
    state.advanceProgress();
    state.Open_file();
    form.contactLists().RebuildOnlineList();
    form.localStatus().RefreshLocalStatus();

    form.show();
    const int result = QApplication::exec();
    form.authorizationCode().save();
    return result;
}
