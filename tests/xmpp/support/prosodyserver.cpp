#include "xmpp/support/prosodyserver.h"

#include "platform/messenger/xmpp/qxmpp.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextStream>
#include <QThread>

#include <csignal>

#include <sys/prctl.h>

namespace zelmo::test {

namespace {

QString luaString(const QString &s)
{
    QString escaped = s;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

void writeFile(const QString &path, const QString &text)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(text.toUtf8());
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

void ProsodyServer::Process::setupChildProcess()
{
    // In the child, before prosody starts: it is killed when the test process goes.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
}

ProsodyServer::ProsodyServer()
    : m_dir(QDir::tempPath() + QStringLiteral("/zelmo-prosody-XXXXXX"))
{
    QDir().mkpath(m_dir.filePath(QStringLiteral("certs")));
    QDir().mkpath(m_dir.filePath(QStringLiteral("data")));
}

ProsodyServer::~ProsodyServer()
{
    // The data goes with the folder: no need for the orderly, slower SIGTERM.
    if (running()) {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
}

QString ProsodyServer::dataFile(const QString &store, const QString &user) const
{
    return m_dir.filePath(QStringLiteral("data/") + domain() + QLatin1Char('/') + store +
                          QLatin1Char('/') + user + QStringLiteral(".dat"));
}

void ProsodyServer::addAccount(const QString &user, const QString &password)
{
    writeFile(dataFile(QStringLiteral("accounts"), user),
              QStringLiteral("return {\n\t[\"password\"] = ") + luaString(password) +
                  QStringLiteral(";\n};\n"));
}

void ProsodyServer::setRoster(const QString &user, const QList<RosterItem> &items)
{
    QString lua = QStringLiteral("return {\n");
    for (const RosterItem &item : items) {
        lua += QStringLiteral("\t[") + luaString(jid(item.user)) +
               QStringLiteral("] = { subscription = ") + luaString(item.subscription) +
               QStringLiteral("; groups = {}; ");
        if (!item.name.isEmpty())
            lua += QStringLiteral("name = ") + luaString(item.name) + QStringLiteral("; ");
        lua += QStringLiteral("};\n");
    }
    lua += QStringLiteral("};\n");
    writeFile(dataFile(QStringLiteral("roster"), user), lua);
}

void ProsodyServer::setBlocklist(const QString &user, const QStringList &blockedJids)
{
    QString lua = QStringLiteral("return {\n");
    for (const QString &blocked : blockedJids)
        lua += QStringLiteral("\t[") + luaString(blocked) + QStringLiteral("] = true;\n");
    lua += QStringLiteral("};\n");
    writeFile(dataFile(QStringLiteral("blocklist"), user), lua);
}

QString ProsodyServer::address() const
{
    return host() + QLatin1Char(':') + QString::number(m_port);
}

QXmppConfiguration ProsodyServer::clientConfig(const QString &user, const QString &resource,
                                               const QString &password) const
{
    QXmppConfiguration config;
    config.setJid(jid(user) + QLatin1Char('/') + resource);
    config.setPassword(password);
    config.setHost(host());
    config.setPort(port());
    config.setStreamSecurityMode(QXmppConfiguration::TLSDisabled);
    config.setAutoReconnectionEnabled(false);
    return config;
}

QString ProsodyServer::log() const
{
    QFile f(m_dir.filePath(QStringLiteral("prosody.log")));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

bool ProsodyServer::start(QString *error)
{
    // The free port can be taken by someone else between the probe and the server's bind:
    // try a few.
    // A restart keeps its port, so that clients can come back.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt > 0 || m_port == 0)
            m_port = freePort();
        if (startOnce(error))
            return true;
    }
    return false;
}

bool ProsodyServer::startOnce(QString *error)
{
    const QString dir = m_dir.path();
    const QString offline = m_offline ? QString() : QStringLiteral(", \"offline\"");
    QString tls = QStringLiteral("modules_disabled = { \"s2s\", \"tls\"%1 }\n"
                                 "c2s_require_encryption = false\n")
                      .arg(offline);
    if (m_tls) {
        const QString cert = dir + QStringLiteral("/certs/localhost.crt");
        const QString key = dir + QStringLiteral("/certs/localhost.key");
        if (!QFile::exists(cert)) {
            QProcess openssl;
            openssl.setProcessChannelMode(QProcess::MergedChannels);
            openssl.start(QStringLiteral("openssl"),
                          {QStringLiteral("req"), QStringLiteral("-x509"),
                           QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
                           QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("1"),
                           QStringLiteral("-subj"), QStringLiteral("/CN=localhost"),
                           QStringLiteral("-keyout"), key, QStringLiteral("-out"), cert});
            if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0) {
                *error = QStringLiteral("no test certificate: ") +
                         QString::fromLocal8Bit(openssl.readAll());
                return false;
            }
        }
        tls = QStringLiteral("modules_disabled = { \"s2s\"%3 }\n"
                             "ssl = { certificate = %1; key = %2; }\n"
                             "c2s_require_encryption = true\n")
                  .arg(luaString(cert), luaString(key), offline);
    }
    const QString config =
        QStringLiteral("run_as_root = true\n"
                       "pidfile = %1\n"
                       "data_path = %2\n"
                       "certificates = %3\n"
                       "log = { debug = %4 }\n"
                       "interfaces = { \"127.0.0.1\" }\n"
                       "c2s_ports = { %5 }\n"
                       "s2s_ports = { }\n"
                       "http_ports = { }\n"
                       "https_ports = { }\n"
                       "modules_enabled = { \"roster\", \"saslauth\", \"disco\", \"ping\", "
                       "\"blocklist\", \"vcard_legacy\", \"pep\", \"presence\", \"message\", "
                       "\"iq\", \"carbons\", \"posix\", \"tls\", \"offline\" }\n"
                       "%6"
                       "authentication = \"internal_plain\"\n"
                       "allow_unencrypted_plain_auth = true\n"
                       "VirtualHost \"localhost\"\n")
            .arg(luaString(dir + QStringLiteral("/prosody.pid")),
                 luaString(dir + QStringLiteral("/data")),
                 luaString(dir + QStringLiteral("/certs")),
                 luaString(dir + QStringLiteral("/prosody.log")), QString::number(m_port), tls);
    const QString configPath = m_dir.filePath(QStringLiteral("prosody.cfg.lua"));
    writeFile(configPath, config);

    m_process.setStandardOutputFile(m_dir.filePath(QStringLiteral("stdout.txt")));
    m_process.setStandardErrorFile(m_dir.filePath(QStringLiteral("stderr.txt")));
    // Started directly, not through a shell, so that the process is the server itself.
    m_process.start(QStringLiteral("prosody"),
                    {QStringLiteral("--config"), configPath, QStringLiteral("-F")});
    if (!m_process.waitForStarted(10000)) {
        *error = QStringLiteral("prosody did not start: ") + m_process.errorString();
        return false;
    }
    const QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        if (m_process.state() == QProcess::NotRunning) {
            QFile err(m_dir.filePath(QStringLiteral("stderr.txt")));
            err.open(QIODevice::ReadOnly);
            *error = QStringLiteral("prosody ended at once: ") + QString::fromUtf8(err.readAll()) +
                     log();
            return false;
        }
        QTcpSocket probe;
        probe.connectToHost(host(), m_port);
        if (probe.waitForConnected(200))
            return true;
        QThread::msleep(20);
    }
    *error = QStringLiteral("prosody took no connection within 20 s");
    m_process.kill();
    m_process.waitForFinished(5000);
    return false;
}

void ProsodyServer::stop()
{
    if (!running())
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(15000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

} // namespace zelmo::test
