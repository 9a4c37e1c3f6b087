#pragma once

// An in-process messenger client. It is the backend the program runs on out of the box and
// the one the tests drive: contacts, lists, own state, IM sessions that record what is sent,
// and a control side that plays the part of the contacts and of the network.

#include "messenger/messenger.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>
#include <vector>

namespace zelmo::sim {

struct SimContact {
    QString logonName;
    QString friendlyName;
    qint32 state = ContactState::Offline;
    // The lists the contact is in; a contact may be in several.
    QList<ListKind> lists;
};

// One message sent through a session.
struct SentText {
    QString header;
    QString text;
    qint32 messageType = 0;
};

class SimSession : public IMSession {
public:
    explicit SimSession(QString contactLogonName, std::shared_ptr<class FailurePlan> failures);

    void SendText(const QString &header, const QString &text, qint32 messageType,
                  qint32 *cookie = nullptr) override;

    const QString &contact() const { return m_contact; }
    // Every message sent through this session, in order.
    const QList<SentText> &sent() const { return m_sent; }
    // Just the texts, in order.
    QStringList sentTexts() const;
    void clearSent() { m_sent.clear(); }

private:
    friend class SimMessenger;

    QString m_contact;
    std::shared_ptr<FailurePlan> m_failures;
    // Set by the client that owns the session: a signed-out client sends nothing.
    std::function<bool()> m_canSend;
    // Set by the client that owns the session: told of each message that went out.
    std::function<void(const SentText &)> m_onSent;
    QList<SentText> m_sent;
    qint32 m_nextCookie = 1;
};

// The operations whose failure can be injected.
enum class Operation {
    GetList,
    SetLocalState,
    GetLocalState,
    GetServices,
    GetUnreadMailCount,
    GetPrimaryService,
    SetFriendlyName,
    GetServiceStatus,
    GetCount,
    Item,
    GetFriendlyName,
    GetState,
    GetLogonName,
    SendText, // keep last: it sizes the tables of FailurePlan
};

// Which operations fail: shared by the client, its lists, users, services and sessions.
class FailurePlan {
public:
    // Every call of op from now on fails.
    void failAlways(Operation op) { failAfter(op, 0); }
    // The next `succeeding` calls of op succeed, then `failing` calls fail (-1: all of them).
    void failAfter(Operation op, int succeeding, int failing = -1);
    void clear(Operation op);
    void clearAll();
    // Counts the call and throws MessengerError when it is planned to fail.
    void check(Operation op, const char *name);
    // How many calls of op were made since the plan was created.
    int calls(Operation op) const;

private:
    // Indexed by operation: check() runs on every list read, so it must stay cheap.
    static constexpr std::size_t kOperations = static_cast<std::size_t>(Operation::SendText) + 1;
    struct Rule {
        bool active = false;
        int succeeding = 0;
        int failing = -1;
    };
    std::array<Rule, kOperations> m_rules{};
    std::array<int, kOperations> m_calls{};
};

class SimMessenger : public MessengerObject {
    Q_OBJECT
public:
    // Starts signed in with the default contacts.
    explicit SimMessenger(QObject *parent = nullptr);
    ~SimMessenger() override;

    // About eight contacts in varied states, one of them blocked.
    static QList<SimContact> defaultContacts();

    // Replaces the contacts by the ones of a JSON file:
    // {"friendlyName": "...", "unreadMail": 0, "localState": 2,
    //  "contacts": [{"logon": "...", "name": "...", "state": 2, "lists": [0, 1]}]}
    // Only "contacts" is required. Returns false and leaves everything as it was on any
    // error, with a readable reason in *error.
    bool loadContactsFile(const QString &path, QString *error = nullptr);
    // Writes the contacts, the own name, state and mail count in the form loadContactsFile
    // reads. Returns false with the reason in *error when the file cannot be written.
    bool saveContactsFile(const QString &path, QString *error = nullptr) const;
    // Replaces the contacts without raising events.
    void setContacts(const QList<SimContact> &contacts);

    // The boundary.
    UserCollectionPtr GetList(ListKind kind) override;
    void SetLocalState(qint32 state) override;
    qint32 GetLocalState() override;
    ServiceCollectionPtr GetServices() override;
    qint32 GetUnreadMailCount(qint32 folder) override;

    // Control side: the contacts and the network.

    // The contact sends text. OnTextReceived follows through the event queue, on the
    // contact's session, which is returned (the same one for every message of a contact).
    // autoSubmitted marks the text as another program's automatic answer: the header then
    // carries the line "Auto-Submitted: auto-replied", as a network client passes it on.
    std::shared_ptr<SimSession> receiveText(const QString &logonName, const QString &text,
                                            bool autoSubmitted = false);
    // The session of a contact, created on first use.
    std::shared_ptr<SimSession> sessionWith(const QString &logonName);

    // A contact changes state: OnUserStateChanged follows. Returns false for an unknown one.
    bool changeContactState(const QString &logonName, qint32 state);
    // A contact changes its friendly name: OnUserFriendlyNameChangeResult follows.
    bool changeContactFriendlyName(const QString &logonName, const QString &friendlyName);
    // Adds a contact (new or known) to a list: OnListAddResult follows.
    void addContact(const SimContact &contact, ListKind list);
    // Removes a contact from a list: OnListRemoveResult follows.
    bool removeContact(const QString &logonName, ListKind list);

    // The client signs out: status NotConnected, then OnLogoff.
    void signOut();
    // The client signs in again: status Connected, then OnLogonResult.
    void signIn();
    // The connection drops: status ConnectionLost, then OnLogoff.
    void loseConnection();
    void setServiceStatus(qint32 status);

    // Own state: a requested change is confirmed after this delay (0: at the next pass of
    // the event loop); until then GetLocalState() reads the old code. A newer request replaces
    // one still on its way, as a client applies the latest request. A negative delay never
    // confirms, like a client that hangs.
    void setConfirmDelay(int milliseconds);
    // Sets the own state at once, as a change made in the client itself would.
    void setLocalStateNow(qint32 state);
    // The state last requested through SetLocalState, or -1.
    qint32 lastRequestedState() const { return m_lastRequested; }
    QList<qint32> requestedStates() const { return m_requested; }

    QString ownFriendlyName() const;
    void setUnreadMailCount(qint32 count);

    // For a view of the client. None of these goes through the failure plan, so looking
    // never spends or trips a planned failure.
    // The contacts in the order of the list of all contacts, each with the lists it is in.
    QList<SimContact> contacts() const;
    qint32 localState() const;
    // The state requested last, while its confirmation has not come yet; otherwise -1.
    qint32 pendingLocalState() const;
    qint32 serviceStatus() const;
    qint32 unreadMailCount() const;
    int confirmDelay() const;

    FailurePlan &failures() { return *m_failures; }

Q_SIGNALS:
    // What the program does through the client, emitted directly from inside the call (not
    // through the event queue), once the call has succeeded: for observers such as a log.
    void textSent(const QString &contactLogon, const zelmo::sim::SentText &sent);
    void localStateRequested(qint32 state);
    void friendlyNameSet(const QString &name);
    // Something a view of the client shows has changed: a contact or its lists, the own
    // state (requested or confirmed), name or mail count, the connection, the confirmation
    // delay. Emitted directly after the change; a view should refresh once for several.
    void changed();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
    std::shared_ptr<FailurePlan> m_failures;
    qint32 m_lastRequested = -1;
    QList<qint32> m_requested;
};

} // namespace zelmo::sim

Q_DECLARE_METATYPE(zelmo::sim::SentText)
