#pragma once

// The messenger boundary on an XMPP account: the roster and the block list as the contact
// lists, presence as the states, the vCard nickname as the friendly name, chat messages as
// the instant messages. The client runs on the thread that creates the object, and its
// network events arrive through that thread's event loop.

#include "messenger/messenger.h"

#include <QString>

#include <memory>

namespace zelmo {
template <typename> class LiveService;
}

namespace zelmo::xmpp {

struct XmppAccount {
    // local@domain, optionally with a resource; without one, the program picks its own.
    QString jid;
    QString password;
    // Empty: the server comes from the DNS SRV record of the JID's domain.
    QString host;
    quint16 port = 5222;
    // No TLS. Refused unless host (or the JID's domain, without a host) is a loopback address.
    bool insecurePlaintext = false;
    // Deliver messages from addresses that are not in the roster.
    bool acceptStrangers = false;
    // How long the sign-in may take before it counts as failed.
    int signInTimeoutMs = 30000;
    // How long a dropped connection is tried again before it counts as lost.
    int reconnectLimitMs = 300000;
};

class XmppMessenger : public MessengerObject {
    Q_OBJECT
public:
    explicit XmppMessenger(XmppAccount account, QObject *parent = nullptr);
    ~XmppMessenger() override;

    // Starts the sign-in; the service status reads 0 until it has finished. Once only. A
    // connection that drops afterwards is made again, with the status at 0 meanwhile, until
    // it succeeds, the server refuses the account or the reconnect limit has passed.
    void signIn();
    // Ends the connection as the user signing out would; OnLogoff follows.
    void signOut();

    // The boundary.
    QString clientName() const override { return QStringLiteral("XMPP"); }
    UserCollectionPtr GetList(ListKind kind) override;
    void SetLocalState(qint32 state) override;
    qint32 GetLocalState() override;
    ServiceCollectionPtr GetServices() override;
    qint32 GetUnreadMailCount(qint32 folder) override;

    qint32 serviceStatus() const;
    // Why the sign-in failed or the connection ended, for the user; empty while all is well.
    QString lastError() const;
    // The server refused the name or password (at the sign-in or a later one).
    bool credentialsRefused() const;
    // The account's bare JID, normalised.
    QString accountJid() const;

Q_SIGNALS:
    // Emitted once, directly when the sign-in has finished either way (not queued like the
    // boundary's events): for the application's start-up and its messages.
    void signInFinished(bool succeeded);
    // Emitted directly when an established connection ends.
    void connectionLost();

private:
    template <typename> friend class zelmo::LiveService;
    void setFriendlyName(const QString &name);

    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace zelmo::xmpp
