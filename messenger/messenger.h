#pragma once

// The messenger boundary: the objects through which the program reaches the user's
// messenger client. Backends (the embedded simulated client, the network client) implement
// these classes; nothing above this header knows which backend runs.
//
// The contract every backend keeps: an operation either returns a usable object or throws
// MessengerError; it never returns a null pointer. Callers can therefore chain calls such as
// GetServices()->GetPrimaryService() or GetList(kind)->Item(i) inside one guarded step.

#include <QMetaType>
#include <QObject>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

namespace zelmo {

class MessengerUser;
class UserCollection;
class MessengerService;
class ServiceCollection;
class IMSession;

using UserPtr = std::shared_ptr<MessengerUser>;
using UserCollectionPtr = std::shared_ptr<UserCollection>;
using ServicePtr = std::shared_ptr<MessengerService>;
using ServiceCollectionPtr = std::shared_ptr<ServiceCollection>;
using IMSessionPtr = std::shared_ptr<IMSession>;

// The three contact lists a client keeps.
enum class ListKind : qint16 {
    AllContacts = 0, // allusers
    Users = 1,       // Users
    Blocked = 2,     // BlockedUsers
};

// A contact is online unless its state is one of these two.
namespace ContactState {
inline constexpr qint32 Unknown = 0;
inline constexpr qint32 Offline = 1;
} // namespace ContactState

inline bool isOnline(qint32 contactState)
{
    return contactState != ContactState::Unknown && contactState != ContactState::Offline;
}

// The user's own state.
namespace LocalState {
inline constexpr qint32 Online = 2;
inline constexpr qint32 Offline = 6;
inline constexpr qint32 Busy = 10;
inline constexpr qint32 BeRightBack = 14;
inline constexpr qint32 Idle = 18;
inline constexpr qint32 Away = 34;
inline constexpr qint32 OnThePhone = 50;
inline constexpr qint32 OutToLunch = 66;
} // namespace LocalState

// Status of the messenger's primary service.
namespace ServiceStatus {
// Lists are still being synchronised; list change results mean nothing yet.
inline constexpr qint32 Synchronizing = 0;
inline constexpr qint32 NotConnected = 1;
inline constexpr qint32 Connected = 2;
inline constexpr qint32 ConnectionLost = 3;
} // namespace ServiceStatus

// The only message type the program sends: plain text behind a format header.
inline constexpr qint32 TextMessageType = 2;

// The header line a backend adds to a message that the server or the client held back and
// delivered late (offline storage, history). Such a message may be hours old: it runs no
// command and gets no away message, so that a code sent long ago is never replayed.
inline QString lateDeliveryHeaderLine() { return QStringLiteral("X-Delivered-Late: yes\r\n"); }
// Whether a message header carries that line.
inline bool isLateDelivery(const QString &header)
{
    return header.contains(QLatin1String("X-Delivered-Late: yes"), Qt::CaseInsensitive);
}

// The header field that marks a message as sent by a machine, as mail marks it (RFC 3834),
// and the value that marks an automatic answer: what the program's own answers carry, and
// what a backend writes for a message its protocol marks as automatic.
inline constexpr QLatin1String autoSubmittedField("Auto-Submitted");
inline constexpr QLatin1String autoRepliedValue("auto-replied");
inline QString autoRepliedHeaderLine()
{
    return QString(autoSubmittedField) + QLatin1String(": ") + autoRepliedValue +
           QLatin1String("\r\n");
}
// Whether a value of that field marks a message as automatic: every value but "no" does.
inline bool isAutomaticValue(const QString &value)
{
    return value.trimmed().compare(QLatin1String("no"), Qt::CaseInsensitive) != 0;
}

class MessengerUser {
public:
    virtual ~MessengerUser() = default;
    virtual QString GetFriendlyName() const = 0;
    virtual qint32 GetState() const = 0;
    // The key of away messages.
    virtual QString GetLogonName() const = 0;
};

// A live view of one of the client's lists: it always reflects the client's current list.
class UserCollection {
public:
    virtual ~UserCollection() = default;
    virtual qint32 GetCount() const = 0;
    // index runs from 0 to GetCount() - 1; anything else fails.
    virtual UserPtr Item(qint32 index) const = 0;
};

class MessengerService {
public:
    virtual ~MessengerService() = default;
    virtual void SetFriendlyName(const QString &name) = 0;
    virtual qint32 GetServiceStatus() const = 0;
};

class ServiceCollection {
public:
    virtual ~ServiceCollection() = default;
    virtual ServicePtr GetPrimaryService() const = 0;
};

class IMSession {
public:
    virtual ~IMSession() = default;
    // Sends one instant message. header is the reply header block (MIME-Version,
    // Content-Type and the X-MMS-IM-Format line with font and colour, then an empty line,
    // each ended by CR LF); a backend translates it into its own formatting. cookie, when
    // given, receives the backend's id for the message.
    virtual void SendText(const QString &header, const QString &text, qint32 messageType,
                          qint32 *cookie = nullptr) = 0;
};

// The client itself. Every event reaches the program through the event queue, never as a
// direct call from inside an operation, so processing pending events is what runs them.
class MessengerObject : public QObject {
    Q_OBJECT
public:
    explicit MessengerObject(QObject *parent = nullptr);
    ~MessengerObject() override;

    virtual UserCollectionPtr GetList(ListKind kind) = 0;
    // Requests a new own state. The client confirms it later: GetLocalState() reads the new
    // code once it is confirmed, and OnLocalStateChangeResult follows.
    virtual void SetLocalState(qint32 state) = 0;
    // The own state that a request for state, made now, will be confirmed as. Usually state
    // itself; a client that keeps more of the user's status than a code says may end
    // elsewhere, such as back to the Busy the user had before going away.
    virtual qint32 stateForRequest(qint32 state) { return state; }
    virtual qint32 GetLocalState() = 0;
    virtual ServiceCollectionPtr GetServices() = 0;
    virtual qint32 GetUnreadMailCount(qint32 folder) = 0;
    // The client as the user calls it, for the texts that ask the user to start it. The
    // built-in client stands in for the messenger the program was first made for.
    virtual QString clientName() const { return QStringLiteral("MSN"); }

Q_SIGNALS:
    void OnLogonResult(qint32 hr, zelmo::ServicePtr pService);
    void OnLogoff();
    void OnUserStateChanged(zelmo::UserPtr pUser, qint32 mPrevState, bool *pfEnableDefault);
    void OnUserFriendlyNameChangeResult(qint32 hr, zelmo::UserPtr pUser,
                                        const QString &bstrPrevFriendlyName);
    void OnListAddResult(qint32 hr, zelmo::ListKind MLIST, zelmo::UserPtr pUser);
    void OnListRemoveResult(qint32 hr, zelmo::ListKind MLIST, zelmo::UserPtr pUser);
    void OnBuddyPropertyChangeResult(qint32 hr, zelmo::UserPtr pUser, qint32 ePropType,
                                     const QVariant &vPropVal, zelmo::ServicePtr pService);
    void OnLocalStateChangeResult(qint32 hr, qint32 mLocalState, zelmo::ServicePtr pService);
    void OnLocalPropertyChangeResult(qint32 hr, qint32 ePropType, const QVariant &vPropVal,
                                     zelmo::ServicePtr pService);
    void OnTextReceived(zelmo::IMSessionPtr pIMSession, zelmo::UserPtr pSourceUser,
                        const QString &bstrMsgHeader, const QString &bstrMsgText,
                        bool *pfEnableDefault);
    // A message from someone who is not a contact, which the backend does not deliver unless
    // the user asked for strangers to be answered: the program records that it went
    // unanswered.
    void OnTextFromStranger(const QString &logonName, const QString &text);

protected:
    // Queues an event for delivery from the event loop. Backends raise every event this way.
    void deliverLater(std::function<void()> raise);
    // Queues a message event (OnTextReceived, OnTextFromStranger). Messages that the client
    // hands over before the program listens (kept for the user while it was signed out, say)
    // wait until it does, so that none goes unrecorded.
    void deliverMessageLater(std::function<void()> raise);
    void connectNotify(const QMetaMethod &signal) override;

private:
    // A flood before the start-up ends keeps only the first ones.
    static constexpr std::size_t maxHeldMessages = 1000;
    std::vector<std::function<void()>> m_heldMessages;
};

// Registers the boundary's types with Qt's meta-type system (for QSignalSpy and queued use).
void registerMessengerMetaTypes();

} // namespace zelmo

Q_DECLARE_METATYPE(zelmo::UserPtr)
Q_DECLARE_METATYPE(zelmo::ServicePtr)
Q_DECLARE_METATYPE(zelmo::IMSessionPtr)
Q_DECLARE_METATYPE(zelmo::ListKind)
