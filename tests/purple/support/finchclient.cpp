#include "purple/support/finchclient.h"

#include "support/waituntil.h"
#include "xmpp/support/prosodyserver.h"

#include <QDBusReply>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcessEnvironment>

#include <cerrno>
#include <csignal>

namespace zelmo::test {

namespace {

// Finch's name for itself in libpurple's per-interface settings (accounts.xml).
constexpr QLatin1String finchUi("gnt-purple");

QString xml(const QString &s)
{
    return s.toHtmlEscaped();
}

QString shellQuote(const QString &s)
{
    QString quoted = s;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

void writeFile(const QString &path, const QString &text)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(text.toUtf8());
}

QString readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// libpurple's name of an XMPP account: the full address with the resource.
QString purpleName(const FinchClient::Account &account)
{
    return ProsodyServer::jid(account.user) + QLatin1Char('/') + account.resource;
}

bool processGone(qint64 pid)
{
    return pid <= 0 || (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH);
}

} // namespace

FinchClient::FinchClient(const ProsodyServer &server, const QList<Account> &accounts)
    : m_server(server)
    , m_accounts(accounts)
    , m_dir(QDir::tempPath() + QStringLiteral("/zelmo-finch-XXXXXX"))
{
    QDir().mkpath(m_dir.filePath(QStringLiteral("home/.purple")));
}

FinchClient::~FinchClient()
{
    // Killed, not quit: a test that is over has no use for the orderly end, and the folder
    // with everything Finch wrote goes anyway. The bus goes after it.
    kill();
}

QDBusConnection FinchClient::connection() const
{
    return m_bus.connection();
}

QDBusMessage FinchClient::call(const QString &method, const QVariantList &arguments) const
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(service(), objectPath(), interface(), method);
    message.setArguments(arguments);
    // Bounded well below the tests' own limits, so that a stuck client shows as an error.
    return connection().call(message, QDBus::Block, 5000);
}

bool FinchClient::hasOwner() const
{
    return m_bus.hasOwner(service());
}

int FinchClient::accountHandle(const QString &user) const
{
    for (const Account &account : m_accounts) {
        if (account.user != user)
            continue;
        const QDBusReply<int> handle = call(QStringLiteral("PurpleAccountsFind"),
                                            {purpleName(account), QStringLiteral("prpl-jabber")});
        return handle.isValid() ? handle.value() : 0;
    }
    return 0;
}

bool FinchClient::isConnected(const QString &user) const
{
    const int handle = accountHandle(user);
    if (handle == 0)
        return false;
    const QDBusReply<int> connected = call(QStringLiteral("PurpleAccountIsConnected"), {handle});
    return connected.isValid() && connected.value() == 1;
}

void FinchClient::writeSettings()
{
    // Read by Finch at start and rewritten by it as it likes; the account's gnt-purple
    // auto-login is Finch's "enabled" check box, which signs the account in at start.
    QString accounts = QStringLiteral("<?xml version='1.0' encoding='UTF-8' ?>\n"
                                      "<account version='1.0'>\n");
    for (const Account &account : m_accounts) {
        accounts +=
            QStringLiteral(" <account>\n"
                           "  <protocol>prpl-jabber</protocol>\n"
                           "  <name>%1</name>\n"
                           "  <password>%2</password>\n"
                           "  <settings>\n"
                           "   <setting name='connect_server' type='string'>%3</setting>\n"
                           "   <setting name='port' type='int'>%4</setting>\n"
                           "   <setting name='connection_security' type='string'>"
                           "opportunistic_tls</setting>\n"
                           "   <setting name='auth_plain_in_clear' type='bool'>1</setting>\n"
                           "  </settings>\n"
                           "  <settings ui='%5'>\n"
                           "   <setting name='auto-login' type='bool'>1</setting>\n"
                           "  </settings>\n"
                           " </account>\n")
                .arg(xml(purpleName(account)), xml(account.password), xml(m_server.host()),
                     QString::number(m_server.port()), finchUi);
    }
    accounts += QStringLiteral("</account>\n");
    writeFile(m_dir.filePath(QStringLiteral("home/.purple/accounts.xml")), accounts);

    // Quiet and steady: no idle time (no key is ever pressed, so Finch would go away after
    // five minutes), no auto-reply, no sounds, no conversation logs. The debug window shows
    // nothing (its filter never matches), since every line added to it costs more the longer
    // it gets; the debug log file keeps everything.
    writeFile(m_dir.filePath(QStringLiteral("home/.purple/prefs.xml")),
              QStringLiteral("<?xml version='1.0' encoding='UTF-8' ?>\n"
                             "<pref version='1' name='/'>\n"
                             " <pref name='purple'>\n"
                             "  <pref name='away'>\n"
                             "   <pref name='idle_reporting' type='string' value='none'/>\n"
                             "   <pref name='away_when_idle' type='bool' value='0'/>\n"
                             "   <pref name='auto_reply' type='string' value='never'/>\n"
                             "  </pref>\n"
                             "  <pref name='logging'>\n"
                             "   <pref name='log_ims' type='bool' value='0'/>\n"
                             "   <pref name='log_chats' type='bool' value='0'/>\n"
                             "   <pref name='log_system' type='bool' value='0'/>\n"
                             "  </pref>\n"
                             " </pref>\n"
                             " <pref name='finch'>\n"
                             "  <pref name='debug'>\n"
                             "   <pref name='filter' type='string' value='(no line holds this)'/>\n"
                             "  </pref>\n"
                             "  <pref name='sound'>\n"
                             "   <pref name='actprofile' type='string' value='default'/>\n"
                             "   <pref name='profiles'>\n"
                             "    <pref name='default'>\n"
                             "     <pref name='method' type='string' value='nosound'/>\n"
                             "     <pref name='mute' type='bool' value='1'/>\n"
                             "    </pref>\n"
                             "   </pref>\n"
                             "  </pref>\n"
                             " </pref>\n"
                             "</pref>\n"));
}

bool FinchClient::start(QString *error, int timeoutMs)
{
    if (running()) {
        *error = QStringLiteral("Finch already runs");
        return false;
    }
    if (!m_bus.start(error))
        return false;
    writeSettings();

    const QString home = m_dir.filePath(QStringLiteral("home"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("TERM"), QStringLiteral("xterm"));
    env.insert(QStringLiteral("SHELL"), QStringLiteral("/bin/sh"));
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), m_bus.address());
    m_finch.setProcessEnvironment(env);
    // The screen is of no use; the debug log is. `exec` leaves Finch the only child of
    // `script`, so that killing it ends Finch for sure.
    m_finch.setProcessChannelMode(QProcess::MergedChannels);
    m_finch.setStandardOutputFile(m_dir.filePath(QStringLiteral("terminal.txt")));
    const QString command = QStringLiteral("exec finch --config=%1 --debug 2>>%2")
                                .arg(shellQuote(home + QStringLiteral("/.purple")),
                                     shellQuote(m_dir.filePath(QStringLiteral("finch.log"))));
    m_finch.start(QStringLiteral("script"),
                  {QStringLiteral("-qfec"), command, QStringLiteral("/dev/null")});
    if (!m_finch.waitForStarted(10000)) {
        *error = QStringLiteral("script did not start: ") + m_finch.errorString();
        return false;
    }

    QStringList waiting;
    QElapsedTimer sinceLastLook;
    const bool connected = waitUntil(
        [&] {
            // Finch needs the CPU to start: look only now and then.
            if (sinceLastLook.isValid() && sinceLastLook.elapsed() < 50)
                return false;
            sinceLastLook.start();
            if (m_finch.state() == QProcess::NotRunning || !hasOwner())
                return false;
            waiting.clear();
            for (const Account &account : m_accounts) {
                if (!isConnected(account.user))
                    waiting << purpleName(account);
            }
            return waiting.isEmpty();
        },
        timeoutMs);
    if (connected)
        return true;
    if (m_finch.state() == QProcess::NotRunning)
        *error = QStringLiteral("Finch ended at once");
    else if (!hasOwner())
        *error = QStringLiteral("Finch did not appear on the bus");
    else
        *error = QStringLiteral("not signed in: ") + waiting.join(QStringLiteral(", "));
    *error += QStringLiteral("\n") + log();
    kill();
    return false;
}

bool FinchClient::running() const
{
    return m_finch.state() != QProcess::NotRunning;
}

bool FinchClient::signOut(const QString &user, int timeoutMs)
{
    const int handle = accountHandle(user);
    if (handle == 0)
        return false;
    call(QStringLiteral("PurpleAccountSetEnabled"), {handle, QString(finchUi), 0});
    return waitUntil([&] { return !isConnected(user); }, timeoutMs);
}

bool FinchClient::signIn(const QString &user, int timeoutMs)
{
    const int handle = accountHandle(user);
    if (handle == 0)
        return false;
    call(QStringLiteral("PurpleAccountSetEnabled"), {handle, QString(finchUi), 1});
    return waitUntil([&] { return isConnected(user); }, timeoutMs);
}

qint64 FinchClient::finchPid() const
{
    // Finch is the one child of `script`.
    const qint64 script = m_finch.processId();
    if (script <= 0)
        return 0;
    const QString children =
        readFile(QStringLiteral("/proc/%1/task/%1/children").arg(script)).trimmed();
    return children.section(QLatin1Char(' '), 0, 0).toLongLong();
}

void FinchClient::waitForEnd(int timeoutMs)
{
    // `script` ends with its child, and takes its exit status with it.
    waitUntil([&] { return !running() && !hasOwner(); }, timeoutMs);
}

void FinchClient::quit(int timeoutMs)
{
    if (!running())
        return;
    m_finch.write("\033q");
    m_finch.waitForBytesWritten(1000);
    waitForEnd(timeoutMs);
    if (running())
        kill();
}

void FinchClient::kill()
{
    if (!running())
        return;
    // While `script` runs it has not reaped Finch, so the number is still Finch's.
    const qint64 pid = finchPid();
    if (pid > 0)
        ::kill(static_cast<pid_t>(pid), SIGKILL);
    else
        m_finch.kill();
    if (!m_finch.waitForFinished(5000)) {
        m_finch.kill();
        m_finch.waitForFinished(5000);
    }
    waitUntil([&] { return processGone(pid) && !hasOwner(); }, 5000);
}

void FinchClient::freeze(bool frozen)
{
    if (const qint64 pid = finchPid(); pid > 0)
        ::kill(static_cast<pid_t>(pid), frozen ? SIGSTOP : SIGCONT);
}

QString FinchClient::log() const
{
    return QStringLiteral("--- Finch's debug log\n") +
           readFile(m_dir.filePath(QStringLiteral("finch.log"))) + QStringLiteral("--- the bus\n") +
           m_bus.log();
}

} // namespace zelmo::test
