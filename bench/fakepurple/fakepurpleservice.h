#pragma once

// A fake libpurple client (the fake_purple program) on a private session bus, for tests and
// benchmarks that drive the program's libpurple backend without a real Pidgin or Finch: one
// connected XMPP account with the given buddies, each available, and a delay before every
// call to libpurple's interface is answered. The client and the bus are killed with the
// object, and with the test process if it dies.
//
// The control calls are answered at once, whatever the delay; each blocks for its answer,
// and any of them may be made from any thread.

#include "purple/support/privatebus.h"

#include <QDBusMessage>
#include <QList>
#include <QString>
#include <QStringList>

namespace zelmo::test {

class FakePurpleService {
public:
    struct Line {
        QString to; // the conversation's name, as the program opened it
        QString markup;
        int flags = 0;
    };

    // buddies: "name" or "name=alias", e.g. "ann@localhost=Ann".
    explicit FakePurpleService(const QStringList &buddies,
                               const QString &account = QStringLiteral("me@localhost/fake"),
                               int delayMs = 0);
    ~FakePurpleService();

    FakePurpleService(const FakePurpleService &) = delete;
    FakePurpleService &operator=(const FakePurpleService &) = delete;

    // Starts the bus (once) and the client, and waits until it owns libpurple's name; false
    // with the reason. After quit() or kill() it starts a fresh client on the same bus.
    bool start(QString *error, int timeoutMs = 10000);
    bool running() const;
    // The private bus, for QDBusConnection::connectToBus().
    QString busAddress() const { return m_bus.address(); }
    // This object's own connection to it.
    QDBusConnection connection() const { return m_bus.connection(); }
    // A call to libpurple's interface, subject to the delay; the answer or an error.
    QDBusMessage call(const QString &method, const QVariantList &arguments = {}) const;

    // A buddy's message, from a full address ("ann@localhost/phone"), in libpurple's markup.
    // flags: libpurple's message flags beside "received" (0x8 auto-response, 0x400 delayed).
    void deliver(const QString &sender, const QString &markup, uint flags = 0) const;
    void setDelay(int ms) const;
    // Every line sent so far, oldest first.
    QList<Line> sentLines() const;
    // Calls of a method of libpurple's interface that arrived, answered or not yet.
    int callCount(const QString &method) const;
    // The account's events, as libpurple raises them.
    void signOn() const;
    void signOff() const;
    void connectionError(int type, const QString &description) const;
    // The user picks a status (a libpurple primitive: 2 available, 5 away, ...) with a message
    // in the client: SavedstatusChanged and, when it changes, AccountStatusChanged.
    void setStatus(int primitive, const QString &message = QString()) const;
    // The user closes the conversation: its handles become invalid. False if there was none.
    bool closeConversation(const QString &name) const;
    // The client raises Quitting and ends; waits until it has left the bus.
    void quit(int timeoutMs = 5000);
    // It dies at once, as in a crash: only its bus name goes.
    void kill();

    // The client's and the bus's output, to understand a failing test.
    QString log() const;

private:
    QDBusMessage control(const QString &method, const QVariantList &arguments = {}) const;

    QStringList m_arguments;
    PrivateBus m_bus;
    ChildProcess m_client;
};

} // namespace zelmo::test
