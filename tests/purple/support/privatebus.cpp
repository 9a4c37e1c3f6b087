#include "purple/support/privatebus.h"

#include "support/waituntil.h"

#include <QAtomicInt>
#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>

#include <csignal>

#include <sys/prctl.h>

namespace zelmo::test {

void ChildProcess::setupChildProcess()
{
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
}

PrivateBus::PrivateBus()
    : m_dir(QDir::tempPath() + QStringLiteral("/zelmo-bus-XXXXXX"))
{
    static QAtomicInt counter;
    m_connectionName = QStringLiteral("zelmo-test-bus-") + QString::number(++counter);
}

PrivateBus::~PrivateBus()
{
    QDBusConnection::disconnectFromBus(m_connectionName);
    if (m_daemon.state() != QProcess::NotRunning) {
        m_daemon.kill();
        m_daemon.waitForFinished(5000);
    }
}

bool PrivateBus::start(QString *error)
{
    if (m_daemon.state() != QProcess::NotRunning)
        return true;
    m_daemon.setStandardErrorFile(m_dir.filePath(QStringLiteral("bus.log")));
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--session"), QStringLiteral("--nofork"),
                    QStringLiteral("--address=unix:path=") + m_dir.filePath(QStringLiteral("bus")),
                    QStringLiteral("--print-address=1")});
    if (!m_daemon.waitForStarted(10000)) {
        *error = QStringLiteral("dbus-daemon did not start: ") + m_daemon.errorString();
        return false;
    }
    // It prints its address once it listens.
    QByteArray line;
    waitUntil(
        [&] {
            line += m_daemon.readAllStandardOutput();
            return line.contains('\n') || m_daemon.state() == QProcess::NotRunning;
        },
        10000);
    m_address = QString::fromUtf8(line).trimmed();
    if (m_address.isEmpty()) {
        *error = QStringLiteral("dbus-daemon gave no address: ") + log();
        return false;
    }
    if (!QDBusConnection::connectToBus(m_address, m_connectionName).isConnected()) {
        *error = QStringLiteral("cannot connect to the private bus at ") + m_address;
        return false;
    }
    return true;
}

QDBusConnection PrivateBus::connection() const
{
    return QDBusConnection(m_connectionName);
}

bool PrivateBus::hasOwner(const QString &service) const
{
    const QDBusConnectionInterface *bus = connection().interface();
    return bus && bus->isServiceRegistered(service).value();
}

QString PrivateBus::log() const
{
    QFile f(m_dir.filePath(QStringLiteral("bus.log")));
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

} // namespace zelmo::test
