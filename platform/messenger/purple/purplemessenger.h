#pragma once

// The messenger boundary on the user's own libpurple client (Pidgin, Finch), reached over
// D-Bus: one account's buddies as the contacts, the client's saved status as the own state,
// its conversations for the messages. The only code that speaks the client's D-Bus interface.

#include "messenger/messenger.h"

#include <QDBusConnection>
#include <QString>
#include <QStringList>

#include <memory>

namespace zelmo {
template <typename> class LiveService;
}

namespace zelmo::purple {

struct PurpleAccount {
    // The account's user name as the client shows it; empty: the first connected account.
    QString name;
    // Deliver messages from people who are not the account's buddies too.
    bool acceptStrangers = false;
    // How long a connection the client lost, and tries to make again, may take before the
    // program counts it as lost and ends.
    int reconnectLimitMs = 300000;
    // A call the client has not answered within this is given up on.
    int callTimeoutMs = 5000;
};

class PurpleMessenger : public MessengerObject {
    Q_OBJECT
public:
    PurpleMessenger(const QDBusConnection &bus, PurpleAccount account, QObject *parent = nullptr);
    ~PurpleMessenger() override;

    // Finds the client on the bus and the account in it, and reads the lists. False, with
    // the reason for the user, when either is missing: the service then reads not connected.
    bool attach(QString *error);
    // The account attached to: its user name and protocol ("prpl-jabber").
    QString accountName() const;
    QString protocolId() const;
    // Why the client went (it quit, the account was signed out, the bus name passed to
    // another process), for the user; empty while it is there.
    QString endReason() const;
    // The account went on an error about its credentials (an invalid user name, a refused or
    // impossible authentication): the client will not sign it in again by itself.
    bool credentialsRefused() const;

    // The boundary.
    QString clientName() const override;
    UserCollectionPtr GetList(ListKind kind) override;
    // Saved statuses are the client's, for all its accounts. Going away remembers the one
    // that was current; back activates it again, title and message included.
    void SetLocalState(qint32 state) override;
    qint32 stateForRequest(qint32 state) override;
    qint32 GetLocalState() override;
    ServiceCollectionPtr GetServices() override;
    qint32 GetUnreadMailCount(qint32 folder) override;

    qint32 serviceStatus() const;

private:
    template <typename> friend class zelmo::LiveService;
    friend class SignalRelay;
    void setFriendlyName(const QString &name);

    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace zelmo::purple
