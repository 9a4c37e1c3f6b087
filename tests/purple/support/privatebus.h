#pragma once

// A D-Bus session bus of the test's own, for a libpurple client (real or fake) and the program
// beside it: dbus-daemon in a temporary folder that goes with the object, killed with it, and
// with the test process should that die first.

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace zelmo::test {

// A child process that the kernel kills when the test process goes.
class ChildProcess : public QProcess {
protected:
    void setupChildProcess() override;
};

class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();

    PrivateBus(const PrivateBus &) = delete;
    PrivateBus &operator=(const PrivateBus &) = delete;

    // Starts the daemon (once) and connects this object to it; false with the reason.
    bool start(QString *error);
    // For QDBusConnection::connectToBus() or a child's DBUS_SESSION_BUS_ADDRESS.
    QString address() const { return m_address; }
    // This object's own connection.
    QDBusConnection connection() const;
    bool hasOwner(const QString &service) const;
    // The daemon's output, to understand a failing test.
    QString log() const;

private:
    QTemporaryDir m_dir;
    ChildProcess m_daemon;
    QString m_address;
    QString m_connectionName;
};

} // namespace zelmo::test
