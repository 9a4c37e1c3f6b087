#include "app/options.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace zelmo {

std::optional<Options> parseOptions(const QStringList &arguments, QString *message, int *exitCode)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Zelmo Extensions - messenger companion"));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption contacts(
        QStringLiteral("contacts"),
        QStringLiteral("Start the built-in messenger with the contacts of this JSON file."),
        QStringLiteral("file"));
    const QCommandLineOption delay(
        QStringLiteral("confirm-delay"),
        QStringLiteral("Milliseconds the built-in messenger takes to confirm a status change."),
        QStringLiteral("ms"), QStringLiteral("300"));
    const QCommandLineOption script(
        QStringLiteral("sim-script"),
        QStringLiteral("Play the contact and network events of this script on the built-in "
                       "messenger, timed from when the window opens."),
        QStringLiteral("file"));
    const QCommandLineOption log(
        QStringLiteral("sim-log"),
        QStringLiteral("Log what is sent through the built-in messenger to this file "
                       "(- for standard output), one record per line."),
        QStringLiteral("file"));
    parser.addOption(contacts);
    parser.addOption(delay);
    parser.addOption(script);
    parser.addOption(log);

    *exitCode = 1;
    if (!parser.parse(arguments)) {
        *message = parser.errorText() + QStringLiteral("\n\n") + parser.helpText();
        return std::nullopt;
    }
    if (parser.isSet(help)) {
        *message = parser.helpText();
        *exitCode = 0;
        return std::nullopt;
    }
    if (parser.isSet(version)) {
        *message = QCoreApplication::applicationName() + QLatin1Char(' ') +
                   QCoreApplication::applicationVersion() + QLatin1Char('\n');
        *exitCode = 0;
        return std::nullopt;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *message = QStringLiteral("Unexpected argument: ") + parser.positionalArguments().first() +
                   QStringLiteral("\n\n") + parser.helpText();
        return std::nullopt;
    }

    Options options;
    options.contactsFile = parser.value(contacts);
    options.simScript = parser.value(script);
    options.simLog = parser.value(log);
    bool ok = false;
    const int ms = parser.value(delay).toInt(&ok);
    if (!ok || ms < 0) {
        *message = QStringLiteral("--confirm-delay needs a number of milliseconds, 0 or more.\n");
        return std::nullopt;
    }
    options.confirmDelayMs = ms;
    return options;
}

} // namespace zelmo
