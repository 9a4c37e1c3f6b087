// zelmoctl: drives a running Zelmo Extensions over its control interface on the session bus.

#include "control/controlnames.h"
#include "extensionsproxy.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusPendingReply>
#include <QFile>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <optional>
#include <termios.h>
#include <unistd.h>

namespace {

// Exit statuses; the manual page and --help list them.
constexpr int exitDone = 0;
constexpr int exitCommandLine = 1;
constexpr int exitNotRunning = 2;
constexpr int exitSeveralRunning = 3;
constexpr int exitUnknownContact = 4;
constexpr int exitNotDone = 5;
constexpr int exitBadCode = 6;
constexpr int exitNoAnswer = 7;

const QString prefix = zelmo::control::busNamePrefix();
const QString objectPath = zelmo::control::objectPath();

const char usage[] =
    "Usage: zelmoctl [--account ACCOUNT] COMMAND\n"
    "Drives a running zelmo (Zelmo Extensions) over D-Bus.\n"
    "\n"
    "Commands:\n"
    "  away                          set yourself away (waits for the messenger)\n"
    "  back                          set yourself back\n"
    "  status                        away or not, the messenger's state, the account\n"
    "  message (--everyone|LOGON) (TEXT|-)\n"
    "                                set the away message of a contact or of everyone;\n"
    "                                - reads it, several lines, from standard input\n"
    "  unset (--everyone|LOGON)      remove the away message of a contact or of everyone\n"
    "  messages                      list the away messages set\n"
    "  record                        print the record of what was done for whom\n"
    "  code                          set a new authorization code, read from standard input\n"
    "\n"
    "Options:\n"
    "  --account ACCOUNT             the copy serving this account, when several run\n"
    "                                (as `zelmoctl status` shows it, e.g. me@example.org)\n"
    "  -h, --help                    this help\n"
    "  --version                     the version\n"
    "\n"
    "Exit status: 0 done; 1 bad command line or empty message; 2 no copy of zelmo runs (for\n"
    "that account), or no session bus; 3 several copies run, name one with --account;\n"
    "4 LOGON is not in the contact list; 5 it could not be done now (messenger not connected,\n"
    "status not confirmed, message or code not stored); 6 the code is not five digits;\n"
    "7 zelmo did not answer.\n";

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

int fail(int status, const QString &text)
{
    err() << "zelmoctl: " << text << Qt::endl;
    return status;
}

int statusFor(const QDBusError &error)
{
    const QString name = error.name();
    const QString ours = zelmo::control::errorPrefix();
    if (name == ours + QLatin1String("UnknownContact"))
        return exitUnknownContact;
    if (name == ours + QLatin1String("BadCode"))
        return exitBadCode;
    if (name == ours + QLatin1String("EmptyMessage"))
        return exitCommandLine;
    if (name.startsWith(ours))
        return exitNotDone;
    return exitNoAnswer;
}

int failed(const QDBusError &error)
{
    const int status = statusFor(error);
    return fail(status, status == exitNoAnswer
                            ? QStringLiteral("zelmo did not answer: ") + error.message()
                            : error.message());
}

// The copy to talk to: the only one running, or the one serving the account asked for.
std::optional<QString> findCopy(QDBusConnection &bus, const QString &account, int *status)
{
    QStringList names;
    if (const QDBusReply<QStringList> reply = bus.interface()->registeredServiceNames();
        reply.isValid()) {
        for (const QString &name : reply.value()) {
            if (name.startsWith(prefix))
                names.append(name);
        }
    }
    QStringList accounts;
    QStringList matching;
    for (const QString &name : std::as_const(names)) {
        ExtensionsProxy proxy(name, objectPath, bus);
        QDBusPendingReply<bool, QString, QString> reply = proxy.Status();
        reply.waitForFinished();
        if (reply.isError())
            continue;
        const QString shown = reply.argumentAt<2>();
        accounts.append(shown);
        if (account.isEmpty() || shown.compare(account, Qt::CaseInsensitive) == 0)
            matching.append(name);
    }
    if (matching.size() == 1)
        return matching.front();
    if (matching.isEmpty()) {
        *status =
            fail(exitNotRunning,
                 account.isEmpty()
                     ? QStringLiteral("zelmo is not running (no copy on the session bus).")
                     : QStringLiteral("zelmo is not running for %1 (running for: %2).")
                           .arg(account, accounts.isEmpty() ? QStringLiteral("none")
                                                            : accounts.join(QLatin1String(", "))));
        return std::nullopt;
    }
    *status = fail(exitSeveralRunning,
                   QStringLiteral("zelmo runs for several accounts (%1): name one with --account.")
                       .arg(accounts.join(QLatin1String(", "))));
    return std::nullopt;
}

termios savedTerminal;

void restoreTerminal(int)
{
    tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
    std::_Exit(130);
}

// One line from standard input; on a terminal asked for without echo.
std::optional<QString> readSecretLine(const char *prompt)
{
    const bool terminal = isatty(STDIN_FILENO) != 0;
    termios quiet{};
    if (terminal) {
        err() << prompt << Qt::flush;
        tcgetattr(STDIN_FILENO, &savedTerminal);
        quiet = savedTerminal;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        std::signal(SIGINT, restoreTerminal);
        std::signal(SIGTERM, restoreTerminal);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray line = in.readLine();
    if (terminal) {
        tcsetattr(STDIN_FILENO, TCSANOW, &savedTerminal);
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        err() << Qt::endl;
    }
    if (line.isEmpty())
        return std::nullopt;
    return QString::fromUtf8(line).trimmed();
}

int setCode(ExtensionsProxy &proxy)
{
    const std::optional<QString> code = readSecretLine("New authorization code (five digits): ");
    if (!code)
        return fail(exitBadCode, QStringLiteral("no code on standard input."));
    if (isatty(STDIN_FILENO)) {
        const std::optional<QString> again = readSecretLine("The same again: ");
        if (again != code)
            return fail(exitBadCode, QStringLiteral("the two codes differ; nothing changed."));
    }
    QDBusPendingReply<> reply = proxy.SetCode(*code);
    reply.waitForFinished();
    if (reply.isError())
        return failed(reply.error());
    err() << "The new authorization code is in force." << Qt::endl;
    return exitDone;
}

int run(const QStringList &args, const QString &account)
{
    QTextStream out(stdout);
    const QString command = args.value(0);
    const auto wrongCount = [&](int count) {
        return args.size() != count
                   ? fail(exitCommandLine, QStringLiteral("'%1' takes %2 argument(s); see "
                                                          "zelmoctl --help.")
                                               .arg(command)
                                               .arg(count - 1))
                   : 0;
    };
    static const QStringList known{QStringLiteral("away"),   QStringLiteral("back"),
                                   QStringLiteral("status"), QStringLiteral("message"),
                                   QStringLiteral("unset"),  QStringLiteral("messages"),
                                   QStringLiteral("record"), QStringLiteral("code")};
    if (!known.contains(command))
        return fail(
            exitCommandLine,
            command.isEmpty()
                ? QStringLiteral("no command; see zelmoctl --help.")
                : QStringLiteral("unknown command '%1'; see zelmoctl --help.").arg(command));
    const int arity = command == QLatin1String("message") ? 3
                      : command == QLatin1String("unset") ? 2
                                                          : 1;
    if (const int status = wrongCount(arity))
        return status;
    QString text;
    if (command == QLatin1String("message")) {
        text = args.at(2);
        if (text == QLatin1String("-")) {
            QFile in;
            in.open(stdin, QIODevice::ReadOnly);
            text = QString::fromUtf8(in.readAll());
            if (text.endsWith(QLatin1Char('\n')))
                text.chop(1);
        }
        if (text.trimmed().isEmpty())
            return fail(exitCommandLine,
                        QStringLiteral("the message is empty; to remove one, use 'unset'."));
    }

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return fail(exitNotRunning, QStringLiteral("no D-Bus session bus, so no copy of zelmo "
                                                   "can be reached: ") +
                                        bus.lastError().message());
    int status = exitDone;
    const std::optional<QString> copy = findCopy(bus, account, &status);
    if (!copy)
        return status;
    ExtensionsProxy proxy(*copy, objectPath, bus);
    // Away and back wait for the messenger, which may take its time.
    proxy.setTimeout(60000);

    const auto simple = [&](QDBusPendingReply<> reply) {
        reply.waitForFinished();
        return reply.isError() ? failed(reply.error()) : exitDone;
    };
    const bool everyone = arity > 1 && args.at(1) == QLatin1String("--everyone");
    if (command == QLatin1String("away"))
        return simple(proxy.Away());
    if (command == QLatin1String("back"))
        return simple(proxy.Back());
    if (command == QLatin1String("message"))
        return simple(everyone ? proxy.SetMessageForEveryone(text)
                               : proxy.SetMessage(args.at(1), text));
    if (command == QLatin1String("unset"))
        return simple(everyone ? proxy.UnsetMessageForEveryone() : proxy.UnsetMessage(args.at(1)));
    if (command == QLatin1String("code"))
        return setCode(proxy);
    if (command == QLatin1String("status")) {
        QDBusPendingReply<bool, QString, QString> reply = proxy.Status();
        reply.waitForFinished();
        if (reply.isError())
            return failed(reply.error());
        out << "away: " << (reply.argumentAt<0>() ? "yes" : "no") << '\n'
            << "messenger: " << reply.argumentAt<1>() << '\n'
            << "account: " << reply.argumentAt<2>() << '\n';
        return exitDone;
    }
    if (command == QLatin1String("messages")) {
        QDBusPendingReply<QStringList, QStringList> reply = proxy.ListMessages();
        reply.waitForFinished();
        if (reply.isError())
            return failed(reply.error());
        const QStringList contacts = reply.argumentAt<0>();
        const QStringList texts = reply.argumentAt<1>();
        // One contact per line, a message's further lines indented under it.
        for (int i = 0; i < contacts.size(); ++i)
            out << contacts.at(i) << '\t'
                << texts.value(i).replace(QLatin1Char('\n'), QLatin1String("\n\t")) << '\n';
        return exitDone;
    }
    QDBusPendingReply<QStringList, QStringList, QStringList> reply = proxy.ReadRecord();
    reply.waitForFinished();
    if (reply.isError())
        return failed(reply.error());
    const QStringList times = reply.argumentAt<0>();
    const QStringList contacts = reply.argumentAt<1>();
    const QStringList texts = reply.argumentAt<2>();
    for (int i = 0; i < times.size(); ++i)
        out << times.at(i) << '\t' << contacts.value(i) << '\t' << texts.value(i) << '\n';
    return exitDone;
}

} // namespace

int main(int argc, char *argv[])
{
    const QCoreApplication app(argc, argv);
    QString account;
    QStringList args;
    const QStringList all = QCoreApplication::arguments().mid(1);
    bool optionsEnd = false;
    for (int i = 0; i < all.size(); ++i) {
        const QString &arg = all.at(i);
        if (optionsEnd || !arg.startsWith(QLatin1Char('-')) || arg == QLatin1String("-") ||
            arg == QLatin1String("--everyone")) {
            args.append(arg);
        } else if (arg == QLatin1String("--")) {
            optionsEnd = true;
        } else if (arg == QLatin1String("-h") || arg == QLatin1String("--help")) {
            QTextStream(stdout) << usage;
            return exitDone;
        } else if (arg == QLatin1String("--version")) {
            QTextStream(stdout) << "zelmoctl (Zelmo Extensions) " << PROJECT_VERSION << '\n';
            return exitDone;
        } else if (arg == QLatin1String("--account") && i + 1 < all.size()) {
            account = all.at(++i);
        } else if (arg.startsWith(QLatin1String("--account="))) {
            account = arg.mid(10);
        } else {
            return fail(exitCommandLine,
                        QStringLiteral("unknown option '%1'; see zelmoctl --help.").arg(arg));
        }
    }
    // --everyone stands only where a contact would.
    if (args.indexOf(QStringLiteral("--everyone")) > 1 ||
        (args.indexOf(QStringLiteral("--everyone")) == 1 &&
         args.at(0) != QLatin1String("message") && args.at(0) != QLatin1String("unset")))
        return fail(exitCommandLine, QStringLiteral("--everyone goes with 'message' and 'unset' "
                                                    "only, in place of a contact."));
    return run(args, account);
}
