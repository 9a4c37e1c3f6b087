#include "app/options.h"

#include "platform/messenger/xmpp/xmppformat.h"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace zelmo {

namespace {

bool readReconnectLimit(const QCommandLineParser &parser, const QCommandLineOption &option,
                        Options *options, QString *message)
{
    // A day at most: the limit is counted in milliseconds, and a connection gone for longer
    // than that is not coming back by itself.
    bool ok = false;
    const int limit = parser.value(option).toInt(&ok);
    if (!ok || limit < 0 || limit > Options::maxReconnectLimitS) {
        *message = QStringLiteral("--reconnect-limit needs a number of seconds from 0 to %1.\n")
                       .arg(Options::maxReconnectLimitS);
        return false;
    }
    options->reconnectLimitS = limit;
    return true;
}

} // namespace

std::optional<Options> parseOptions(const QStringList &arguments, QString *message, int *exitCode)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Zelmo Extensions - messenger companion\n\n"
        "Exit status: 0 when the user ended it (closing it, Exit Program, signing the messenger\n"
        "out), 1 for a command line it cannot use, 2 for a script it cannot read, 3 when the\n"
        "messenger was lost, 4 when it could not be reached at all, 5 when a copy already\n"
        "runs for the same account, 6 when the server refused the name or password, 7 when\n"
        "--headless finds no password to use. SIGTERM, SIGINT and SIGHUP end it as the user\n"
        "would, with status 0."));
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
                       "messenger, timed from the end of the start-up."),
        QStringLiteral("file"));
    const QCommandLineOption log(
        QStringLiteral("sim-log"),
        QStringLiteral("Log what is sent through the built-in messenger to this file "
                       "(- for standard output), one record per line."),
        QStringLiteral("file"));
    const QCommandLineOption noSimWindow(
        QStringLiteral("no-sim-window"),
        QStringLiteral("Do not show the built-in messenger's own window."));
    const QCommandLineOption xmpp(
        QStringLiteral("xmpp"),
        QStringLiteral("Sign in to this XMPP account instead of using the built-in messenger. "
                       "The password comes from ZELMO_XMPP_PASSWORD, the desktop's keyring or "
                       "a dialog."),
        QStringLiteral("jid"));
    const QCommandLineOption server(
        QStringLiteral("server"),
        QStringLiteral("Connect to this XMPP server instead of the one the DNS names for the "
                       "account's domain."),
        QStringLiteral("host[:port]"));
    const QCommandLineOption plaintext(
        QStringLiteral("insecure-plaintext"),
        QStringLiteral("Allow a server without TLS; only for a test server on this machine."));
    const QCommandLineOption reconnectLimit(
        QStringLiteral("reconnect-limit"),
        QStringLiteral("Seconds a dropped connection (XMPP, or the account's in Pidgin or Finch) "
                       "is tried again before the program counts it as lost and ends (300 by "
                       "default)."),
        QStringLiteral("seconds"), QStringLiteral("300"));
    const QCommandLineOption strangers(
        QStringLiteral("accept-strangers"),
        QStringLiteral("Answer people who are not in the roster (or the buddy list) too."));
    const QCommandLineOption purple(
        QStringLiteral("purple"),
        QStringLiteral("Attach to the running Pidgin or Finch on the session bus and act for its "
                       "first connected account."));
    const QCommandLineOption purpleAccount(
        QStringLiteral("purple-account"),
        QStringLiteral("Attach to the running Pidgin or Finch and act for this account, by its "
                       "user name as the client shows it (without the resource when only one "
                       "account has that name)."),
        QStringLiteral("name"));
    const QCommandLineOption headless(
        QStringLiteral("headless"),
        QStringLiteral("Run without windows or a display (over ssh, as a user service): no "
                       "dialogs, one line on standard error for each message answered, code "
                       "declined, lockout, start and end, with a syslog priority prefix."));
    const QCommandLineOption logText(
        QStringLiteral("log-text"),
        QStringLiteral("With --headless, quote the contacts' text and the away messages in those "
                       "lines."));
    parser.addOption(headless);
    parser.addOption(logText);
    parser.addOption(contacts);
    parser.addOption(delay);
    parser.addOption(script);
    parser.addOption(log);
    parser.addOption(noSimWindow);
    parser.addOption(xmpp);
    parser.addOption(server);
    parser.addOption(plaintext);
    parser.addOption(reconnectLimit);
    parser.addOption(strangers);
    parser.addOption(purple);
    parser.addOption(purpleAccount);

    *exitCode = exitBadCommandLine;
    // An option the program does not know may be a typing mistake: the help lists them all.
    const QString hint = QStringLiteral("\nTry 'zelmo --help' for more information.\n");
    if (!parser.parse(arguments)) {
        *message = parser.errorText() + hint;
        return std::nullopt;
    }
    if (parser.isSet(help)) {
        *message = parser.helpText();
        *exitCode = 0;
        return std::nullopt;
    }
    if (parser.isSet(QStringLiteral("help-all"))) {
        // Qt lists the options of the application object in place, and prints and exits: the
        // caller asks again once the windowed program's object exists.
        if (QCoreApplication::instance() &&
            QCoreApplication::instance()->inherits("QGuiApplication"))
            parser.process(*QCoreApplication::instance());
        Options options;
        options.helpAll = true;
        return options;
    }
    if (parser.isSet(version)) {
        *message = QStringLiteral("zelmo (") + QCoreApplication::applicationName() +
                   QStringLiteral(") ") + QCoreApplication::applicationVersion() +
                   QLatin1Char('\n');
        *exitCode = 0;
        return std::nullopt;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *message = QStringLiteral("unexpected argument '") + parser.positionalArguments().first() +
                   QLatin1Char('\'') + hint;
        return std::nullopt;
    }

    if (parser.isSet(logText) && !parser.isSet(headless)) {
        *message = QStringLiteral("--log-text goes with --headless: windows log nothing.\n");
        return std::nullopt;
    }
    Options options;
    options.headless = parser.isSet(headless);
    options.logText = parser.isSet(logText);
    options.contactsFile = parser.value(contacts);
    options.simScript = parser.value(script);
    options.simLog = parser.value(log);
    options.simWindow = !parser.isSet(noSimWindow);
    bool ok = false;
    const int ms = parser.value(delay).toInt(&ok);
    if (!ok || ms < 0) {
        *message = QStringLiteral("--confirm-delay needs a number of milliseconds, 0 or more.\n");
        return std::nullopt;
    }
    options.confirmDelayMs = ms;

    const bool simOptions =
        parser.isSet(contacts) || parser.isSet(delay) || parser.isSet(script) || parser.isSet(log);
    if (parser.isSet(purple) || parser.isSet(purpleAccount)) {
        if (parser.isSet(xmpp) || parser.isSet(server) || parser.isSet(plaintext) || simOptions) {
            *message = QStringLiteral("--purple and --purple-account go with no other messenger's "
                                      "options but --accept-strangers and --reconnect-limit.\n");
            return std::nullopt;
        }
        if (!readReconnectLimit(parser, reconnectLimit, &options, message))
            return std::nullopt;
        options.purple = true;
        options.purpleAccount = parser.value(purpleAccount).trimmed();
        options.acceptStrangers = parser.isSet(strangers);
        return options;
    }
    if (!parser.isSet(xmpp)) {
        if (parser.isSet(server) || parser.isSet(plaintext) || parser.isSet(strangers) ||
            parser.isSet(reconnectLimit)) {
            *message = QStringLiteral("--server, --insecure-plaintext, --reconnect-limit and "
                                      "--accept-strangers go with --xmpp (--reconnect-limit and "
                                      "--accept-strangers with --purple too).\n");
            return std::nullopt;
        }
        return options;
    }
    if (simOptions) {
        *message = QStringLiteral("--contacts, --confirm-delay, --sim-script and --sim-log belong "
                                  "to the built-in messenger, not to --xmpp.\n");
        return std::nullopt;
    }
    options.xmppJid = parser.value(xmpp).trimmed();
    if (!xmpp::isAccountJid(options.xmppJid)) {
        *message = QStringLiteral("--xmpp needs an account address such as name@example.org, "
                                  "not '%1'.\n")
                       .arg(options.xmppJid);
        return std::nullopt;
    }
    if (parser.isSet(server)) {
        QString error;
        const auto address = xmpp::parseServerAddress(parser.value(server), &error);
        if (!address) {
            *message = QStringLiteral("--server: ") + error + QLatin1Char('\n');
            return std::nullopt;
        }
        options.xmppHost = address->host;
        options.xmppPort = address->port;
    }
    options.insecurePlaintext = parser.isSet(plaintext);
    if (!readReconnectLimit(parser, reconnectLimit, &options, message))
        return std::nullopt;
    options.acceptStrangers = parser.isSet(strangers);
    // Without TLS the password crosses the network in the clear: never beyond this machine.
    const QString target =
        options.xmppHost.isEmpty() ? xmpp::domainOf(options.xmppJid) : options.xmppHost;
    if (options.insecurePlaintext && !xmpp::isLoopbackHost(target)) {
        *message = QStringLiteral("--insecure-plaintext sends the password unencrypted, so it is "
                                  "allowed only for a server on this machine (127.0.0.1, ::1 or "
                                  "localhost), and %1 is not one.\n")
                       .arg(target);
        return std::nullopt;
    }
    return options;
}

} // namespace zelmo
