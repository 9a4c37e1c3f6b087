#pragma once

// The user's own messenger for a test: a real Finch (libpurple's text client) signed in to
// accounts on a test Prosody, in a D-Bus session bus of its own, with its home, settings,
// logs and bus socket in a temporary folder that goes with the object. libpurple serves its
// API on that bus (im.pidgin.purple.PurpleService) exactly as on a user's desktop.
//
// Finch needs a terminal: it runs under util-linux's `script`, which gives it a
// pseudo-terminal whose other end is this object's pipe. Nothing outlives the test: the
// client and the bus are killed with the object, and with the test process if it dies.

#include "purple/support/privatebus.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <QVariantList>

namespace zelmo::test {

class ProsodyServer;

class FinchClient {
public:
    struct Account {
        Account(const QString &user, const QString &password = QStringLiteral("pw"),
                const QString &resource = QStringLiteral("finch"))
            : user(user)
            , password(password)
            , resource(resource)
        {
        }
        QString user; // on the test server
        QString password;
        QString resource;
    };

    static QString service() { return QStringLiteral("im.pidgin.purple.PurpleService"); }
    static QString objectPath() { return QStringLiteral("/im/pidgin/purple/PurpleObject"); }
    static QString interface() { return QStringLiteral("im.pidgin.purple.PurpleInterface"); }

    // The server is read at start(), so it may start after this.
    FinchClient(const ProsodyServer &server, const QList<Account> &accounts);
    ~FinchClient();

    FinchClient(const FinchClient &) = delete;
    FinchClient &operator=(const FinchClient &) = delete;

    // Starts the bus (once) and Finch, and waits until every account is signed in; false with
    // the reason. After quit() or kill() it starts Finch again on the same bus and home.
    bool start(QString *error, int timeoutMs = 30000);
    // Finch's process runs (it may have no bus name yet, or no longer).
    bool running() const;

    // The private bus, for QDBusConnection::connectToBus() or a child's
    // DBUS_SESSION_BUS_ADDRESS. It stays up from start() until the object goes, so a program
    // on it sees the client leave and come back.
    QString busAddress() const { return m_bus.address(); }
    // This object's own connection to that bus.
    QDBusConnection connection() const;
    // A call to libpurple's interface; the answer, or an error message.
    QDBusMessage call(const QString &method, const QVariantList &arguments = {}) const;

    // libpurple's handle of an account, given by its user name on the server; 0 if the
    // client does not know it.
    int accountHandle(const QString &user) const;
    bool isConnected(const QString &user) const;

    // The user disables the account in Finch's account list (it signs out and no longer
    // counts as active), or enables it again (it signs in). Each waits for the result.
    bool signOut(const QString &user, int timeoutMs = 15000);
    bool signIn(const QString &user, int timeoutMs = 30000);

    // The user quits Finch with its quit key, Alt+Q: libpurple raises Quitting, signs every
    // account out, leaves the bus and the process ends. Waits for all of it.
    void quit(int timeoutMs = 15000);
    // Finch dies at once, as in a crash: no Quitting, no signing out; only its bus name goes.
    void kill();
    // Finch stops, as a busy or swapping client does: calls wait in its socket until it goes on.
    void freeze(bool frozen);

    // Finch's debug log and the bus's output, to understand a failing test.
    QString log() const;

private:
    void writeSettings();
    bool hasOwner() const;
    qint64 finchPid() const;
    void waitForEnd(int timeoutMs);

    const ProsodyServer &m_server;
    QList<Account> m_accounts;
    QTemporaryDir m_dir;
    PrivateBus m_bus;
    // Killed when the test process goes; the client's terminal goes with `script`, and the
    // hang-up ends Finch.
    ChildProcess m_finch;
};

} // namespace zelmo::test
