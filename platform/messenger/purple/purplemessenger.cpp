#include "platform/messenger/purple/purplemessenger.h"

#include "messenger/messengererror.h"
#include "platform/messenger/contactstore.h"
#include "platform/messenger/liveviews.h"
#include "platform/messenger/purple/purpleformat.h"
#include "platform/messenger/replyformat.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QHash>
#include <QSet>
#include <QTimer>

#include <algorithm>
#include <array>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

namespace zelmo::purple {

namespace {

const QString kService = QStringLiteral("im.pidgin.purple.PurpleService");
const QString kPath = QStringLiteral("/im/pidgin/purple/PurpleObject");
const QString kInterface = QStringLiteral("im.pidgin.purple.PurpleInterface");
// So many conversations are remembered, the least recently used going first.
constexpr std::size_t kSessionBound = 1000;

constexpr qint32 kOk = 0;
constexpr qint32 kFriendlyNameProperty = 1;

// libpurple's status primitives (status.h).
enum Primitive : qint32 {
    Offline = 1,
    Available = 2,
    Unavailable = 3,
    Invisible = 4,
    AwayPrimitive = 5,
    ExtendedAway = 6,
};
// Message flags (conversation.h).
constexpr quint32 kAutoResponse = 0x0008;
constexpr quint32 kDelayed = 0x0400;
// Privacy types (privacy.h): the only one that says who is blocked without the lists.
constexpr qint32 kDenyAll = 2;
// Connection states (connection.h).
constexpr qint32 kConnected = 2;

// The primitive each own state is shown with. libpurple has fewer away states than the
// program: a state read back is the first one with its primitive.
struct PrimitiveRow {
    qint32 state;
    qint32 primitive;
};
constexpr PrimitiveRow primitiveRows[] = {
    {LocalState::Online, Available},         {LocalState::Busy, Unavailable},
    {LocalState::Away, AwayPrimitive},       {LocalState::Idle, ExtendedAway},
    {LocalState::Offline, Invisible},        {LocalState::BeRightBack, AwayPrimitive},
    {LocalState::OnThePhone, AwayPrimitive}, {LocalState::OutToLunch, AwayPrimitive},
};

std::optional<qint32> stateShownAs(qint32 primitive)
{
    for (const PrimitiveRow &row : primitiveRows) {
        if (row.primitive == primitive)
            return row.state;
    }
    return std::nullopt;
}

// A contact's state in the codes of the user's own; any other primitive (mobile, tune, mood)
// means the contact is there.
qint32 contactStateFor(qint32 primitive)
{
    if (primitive == Offline || primitive == Invisible)
        return ContactState::Offline;
    return stateShownAs(primitive).value_or(LocalState::Online);
}

qint32 localStateFor(qint32 primitive)
{
    return stateShownAs(primitive).value_or(LocalState::Offline);
}

bool awayLike(qint32 primitive)
{
    return primitive == AwayPrimitive || primitive == ExtendedAway;
}

std::optional<qint32> primitiveFor(qint32 localState)
{
    for (const PrimitiveRow &row : primitiveRows) {
        if (row.state == localState)
            return row.primitive;
    }
    return std::nullopt;
}

const QString kInvalidHandle = QStringLiteral("im.pidgin.purple.InvalidHandle");

// libpurple's connection errors (connection.h) that it does not retry by itself: all but a
// network error and an encryption error. Its own purple_connection_error_is_fatal says the same;
// asking it would answer only after the sign-off that follows the error.
bool fatalConnectionError(qint32 reason)
{
    constexpr qint32 networkError = 0;
    constexpr qint32 encryptionError = 5;
    return reason != networkError && reason != encryptionError;
}

// Why a call failed.
struct CallFailure {
    QString method;
    QString errorName;
    QString message;
    // The client refused the call, for a handle it no longer knows: it carried nothing out.
    // Any other failure, no answer in time above all, may have been carried out.
    bool refused() const { return errorName == kInvalidHandle; }
};

using Reply = std::function<void(const QVariant &)>;
using Failure = std::function<void(const CallFailure &)>;

QList<qint32> handlesIn(const QVariant &value)
{
    if (value.canConvert<QDBusArgument>())
        return qdbus_cast<QList<qint32>>(value.value<QDBusArgument>());
    return {};
}

// Calls into the client. While the program attaches, calls wait for their answers; after that
// none does: a client that is busy or hung must not freeze the window and every timer with it.
class Client {
public:
    Client(QDBusConnection bus, int timeoutMs)
        : m_bus(std::move(bus))
        , m_timeoutMs(timeoutMs)
    {
    }

    // The process that owns the client's name now, by its unique name: calls go to it alone,
    // so that no handle of it ever reaches a process that takes the name over later.
    void findOwner()
    {
        const QDBusReply<QString> owner = m_bus.interface()->serviceOwner(kService);
        if (!owner.isValid())
            throw MessengerError(QStringLiteral("GetNameOwner"), owner.error().message());
        m_owner = owner.value();
    }
    const QString &owner() const { return m_owner; }

    // Calls answer before they return, for as long as this is on.
    void setWaiting(bool waiting) { m_waiting = waiting; }

    // A call that waits for its answer; every failure (no client, a handle that is gone, no
    // answer in time) becomes the boundary's one error.
    QVariant call(const QString &method, const QVariantList &arguments = {}) const
    {
        const QDBusMessage reply = callAndWait(method, arguments);
        if (reply.type() != QDBusMessage::ReplyMessage)
            throw MessengerError(method, reply.errorMessage());
        return reply.arguments().value(0);
    }
    qint32 integer(const QString &method, const QVariantList &arguments = {}) const
    {
        return call(method, arguments).toInt();
    }
    QString text(const QString &method, const QVariantList &arguments = {}) const
    {
        return call(method, arguments).toString();
    }
    QList<qint32> handles(const QString &method, const QVariantList &arguments = {}) const
    {
        return handlesIn(call(method, arguments));
    }

    // A call whose answer runs onReply, or onFailure, from the event loop, unless context
    // has gone by then.
    void request(const QString &method, const QVariantList &arguments, QObject *context,
                 Reply onReply, Failure onFailure = {}) const
    {
        if (m_waiting || m_owner.isEmpty()) {
            answer(method, callAndWait(method, arguments), onReply, onFailure);
            return;
        }
        auto *watcher = new QDBusPendingCallWatcher(
            m_bus.asyncCall(message(method, arguments), m_timeoutMs), context);
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                         [method, onReply = std::move(onReply),
                          onFailure = std::move(onFailure)](QDBusPendingCallWatcher *done) {
                             done->deleteLater();
                             answer(method, done->reply(), onReply, onFailure);
                         });
    }

    const QDBusConnection &bus() const { return m_bus; }

private:
    QDBusMessage message(const QString &method, const QVariantList &arguments) const
    {
        QDBusMessage message = QDBusMessage::createMethodCall(m_owner, kPath, kInterface, method);
        message.setArguments(arguments);
        return message;
    }

    QDBusMessage callAndWait(const QString &method, const QVariantList &arguments) const
    {
        if (m_owner.isEmpty())
            return QDBusMessage::createError(QStringLiteral("org.freedesktop.DBus.Error.Failed"),
                                             QStringLiteral("not attached to the client"));
        // Block, not BlockWithGui: no event may run inside an operation.
        return m_bus.call(message(method, arguments), QDBus::Block, m_timeoutMs);
    }

    static void answer(const QString &method, const QDBusMessage &reply, const Reply &onReply,
                       const Failure &onFailure)
    {
        if (reply.type() == QDBusMessage::ReplyMessage) {
            if (onReply)
                onReply(reply.arguments().value(0));
        } else if (onFailure) {
            onFailure({method, reply.errorName(), reply.errorMessage()});
        }
    }

    QDBusConnection m_bus;
    int m_timeoutMs;
    QString m_owner;
    bool m_waiting = false;
};

// The vCard with the nickname replaced, or added.
QString withNickname(QString card, const QString &name)
{
    const QString nick = QStringLiteral("<NICKNAME>") + xmlSafe(name).toHtmlEscaped() +
                         QStringLiteral("</NICKNAME>");
    const int open = card.indexOf(QLatin1String("<NICKNAME>"));
    const int close = card.indexOf(QLatin1String("</NICKNAME>"));
    if (open >= 0 && close > open)
        card.replace(open, close + 11 - open, nick);
    else if (const int end = card.lastIndexOf(QLatin1String("</vCard>")); end >= 0)
        card.insert(end, nick);
    else
        card = QStringLiteral("<vCard xmlns='vcard-temp'>") + nick + QStringLiteral("</vCard>");
    return card;
}

QVariantList args(std::initializer_list<QVariant> values)
{
    return QVariantList(values);
}

QVariant h(qint32 handle)
{
    return QVariant::fromValue(handle);
}

// The sender's conversation and the lines on their way to it. One line is with the client at a
// time, so that a reply's lines arrive in their order. A line is sent again only when the
// client refused it: one whose answer did not come may have reached the contact already.
class PurpleSession : public IMSession {
public:
    PurpleSession(std::shared_ptr<Client> client, qint32 account, QString to)
        : m_client(std::move(client))
        , m_account(account)
        , m_to(std::move(to))
    {
    }

    void SendText(const QString &header, const QString &text, qint32 messageType,
                  qint32 *cookie) override
    {
        Q_UNUSED(messageType);
        // A client that takes nothing any more does not make the program keep every answer.
        if (m_lines.size() >= kQueuedLineBound)
            throw MessengerError(QStringLiteral("PurpleConvImSendWithFlags"),
                                 QStringLiteral("%1 lines to %2 wait for the client already")
                                     .arg(m_lines.size())
                                     .arg(m_to));
        m_lines.push_back(replyMarkup(header, text));
        if (cookie)
            *cookie = ++m_sent;
        sendNext();
    }

private:
    static constexpr std::size_t kQueuedLineBound = 100;

    void sendNext()
    {
        if (m_busy || m_lines.empty())
            return;
        m_busy = true;
        if (!m_im) {
            open();
            return;
        }
        // Marked as an automatic response, as the client's own window then shows it.
        m_client->request(
            QStringLiteral("PurpleConvImSendWithFlags"),
            args({h(m_im), m_lines.front(), h(static_cast<qint32>(kAutoResponse))}), &m_context,
            [this](const QVariant &) { lineDone(); },
            [this](const CallFailure &failure) {
                // The conversation was closed in the client since: open it again, once.
                if (failure.refused() && !m_reopened) {
                    m_reopened = true;
                    m_im = 0;
                    m_busy = false;
                    sendNext();
                    return;
                }
                lineDone();
            });
    }

    // A line with no conversation to go to is given up on.
    void open()
    {
        m_client->request(
            QStringLiteral("PurpleConversationNew"), args({h(1), h(m_account), m_to}), &m_context,
            [this](const QVariant &conversation) {
                m_client->request(
                    QStringLiteral("PurpleConvIm"), {conversation}, &m_context,
                    [this](const QVariant &im) {
                        m_im = im.toInt();
                        if (!m_im) {
                            lineDone();
                            return;
                        }
                        m_busy = false;
                        sendNext();
                    },
                    [this](const CallFailure &) { lineDone(); });
            },
            [this](const CallFailure &) { lineDone(); });
    }

    // The first line is through: sent, or given up on.
    void lineDone()
    {
        m_lines.pop_front();
        m_reopened = false;
        m_busy = false;
        sendNext();
    }

    std::shared_ptr<Client> m_client;
    qint32 m_account;
    QString m_to;
    qint32 m_im = 0;
    qint32 m_sent = 0;
    std::deque<QString> m_lines;
    bool m_busy = false;
    bool m_reopened = false;
    // The answers of the calls in flight go with the session.
    QObject m_context;
};

} // namespace

// Receives the client's signals. QtDBus delivers them through the event loop.
class SignalRelay : public QObject {
    Q_OBJECT
public:
    explicit SignalRelay(PurpleMessenger::Impl &impl)
        : m_impl(impl)
    {
    }

public Q_SLOTS:
    void receivedImMsg(int account, const QString &sender, const QString &message, int conv,
                       uint flags);
    void blockedImMsg(int account, const QString &sender, const QString &message, uint flags,
                      uint time);
    void buddyChanged(int buddy);
    void buddyStatusChanged(int buddy, int oldStatus, int newStatus);
    void buddyAliased(int node, const QString &oldAlias);
    void buddyRemoved(int buddy);
    void buddyPrivacyChanged(int buddy);
    void accountStatusChanged(int account, int oldStatus, int newStatus);
    void savedStatusChanged(int now, int old);
    void savedStatusEdited(int saved);
    void accountSignedOn(int account);
    void accountSignedOff(int account);
    void accountDisabled(int account);
    void accountConnectionError(int account, int type, const QString &description);
    // New mail, one message or several; the client's arguments are read only for the count,
    // whose type its bus binding gives no better than the rest.
    void emailNotification(const QDBusMessage &signal);
    void clientQuitting();
    void ownerChanged(const QString &name, const QString &oldOwner, const QString &newOwner);

private:
    PurpleMessenger::Impl &m_impl;
};

// What a saved status gives: its own kind, and the one it sets for the attached account (its
// substatus for it, when it has one).
struct SavedStatus {
    qint32 type = 0;
    qint32 primitive = 0;
};

struct PurpleMessenger::Impl {
    Impl(PurpleMessenger *owner, const QDBusConnection &bus, PurpleAccount a)
        : q(owner)
        , account(std::move(a))
        , client(std::make_shared<Client>(bus, account.callTimeoutMs))
        , relay(*this)
    {
        reconnectLimit.setSingleShot(true);
        QObject::connect(&reconnectLimit, &QTimer::timeout, &relay, [this] {
            if (reconnecting)
                lose(false, QStringLiteral("the account %1 could not connect again in %2 "
                                           "within %3 s")
                                .arg(accountName, q->clientName())
                                .arg(account.reconnectLimitMs / 1000));
        });
    }

    PurpleMessenger *q;
    PurpleAccount account;
    std::shared_ptr<Client> client;
    // The answers of the calls in flight go with it.
    SignalRelay relay;
    std::shared_ptr<LiveState> shared = std::make_shared<LiveState>();
    LiveViews<PurpleMessenger> views{shared, q};
    ContactStore store{q, shared, [this](std::function<void()> event) { raise(std::move(event)); }};
    std::unique_ptr<QDBusServiceWatcher> watcher;

    qint32 accountHandle = 0;
    QString accountName;
    QString protocol;
    QString ui;
    qint32 localState = LocalState::Offline;
    qint32 unreadMail = 0;
    bool attached = false;
    bool ended = false;
    // Why the client went, for the user; empty until then.
    QString endReason;
    bool credentialsRefused = false;
    // A network error was reported: the client signs the account in again by itself, for as
    // long as the limit allows.
    bool reconnecting = false;
    QTimer reconnectLimit;

    // What the client said of its statuses, so that a switch decides without asking it.
    // libpurple never gives a handle out twice, so what a status handle gives stays true; the
    // table is only emptied now and then, to stay small.
    QHash<qint32, qint32> statusPrimitives;
    QHash<qint32, SavedStatus> savedStatuses;
    qint32 currentSaved = 0;
    // The saved status that was current when the program went away, to come back to; 0: none.
    qint32 statusBeforeAway = 0;
    // The unnamed status of each kind that going away and back activate.
    QHash<qint32, qint32> transientStatuses;
    // Reads of the own state and of each buddy's are numbered: an answer that comes after
    // the one to a later read changes nothing.
    quint64 lastTicket = 0;
    quint64 ownStateTicket = 0;
    QHash<qint32, quint64> buddyTickets;
    quint64 listTicket = 0;
    bool denyAll = false;
    bool privacyAsked = false;

    // Every buddy of the account by handle, in the order the client listed them. A buddy in
    // two groups has two handles; the first stands for both.
    QHash<qint32, LiveUserPtr> buddies;
    std::vector<qint32> order;
    QSet<QString> blockedSenders;
    // One session per sender, so that its conversation is looked up in the client once (two
    // calls), not again before every answer.
    BoundedCache<std::shared_ptr<PurpleSession>> sessions{kSessionBound};

    void raise(std::function<void()> event) { q->deliverLater(std::move(event)); }
    void raiseMessage(std::function<void()> event) { q->deliverMessageLater(std::move(event)); }

    void request(const QString &method, const QVariantList &arguments, Reply onReply,
                 Failure onFailure = {})
    {
        client->request(method, arguments, &relay, std::move(onReply), std::move(onFailure));
    }

    bool jabber() const { return protocol == QLatin1String("prpl-jabber"); }

    // XMPP addresses compare without case, and a message from one connection (a resource)
    // belongs to the account's bare address.
    QString logonOf(const QString &sender) const
    {
        if (!jabber())
            return sender;
        const int slash = sender.indexOf(QLatin1Char('/'));
        return (slash < 0 ? sender : sender.left(slash)).toLower();
    }

    // Watches the name before asking for its owner, so that no hand-over between the two
    // goes unseen. Signals are taken from that owner only: another process may send the same
    // ones, and its handles mean other objects.
    void connectSignals()
    {
        QDBusConnection bus = client->bus();
        watcher = std::make_unique<QDBusServiceWatcher>(kService, bus,
                                                        QDBusServiceWatcher::WatchForOwnerChange);
        QObject::connect(watcher.get(), &QDBusServiceWatcher::serviceOwnerChanged, &relay,
                         &SignalRelay::ownerChanged);
        client->findOwner();
        const auto hook = [&](const char *name, const char *slot) {
            bus.connect(client->owner(), kPath, kInterface, QString::fromLatin1(name), &relay,
                        slot);
        };
        hook("ReceivedImMsg", SLOT(receivedImMsg(int, QString, QString, int, uint)));
        hook("BlockedImMsg", SLOT(blockedImMsg(int, QString, QString, uint, uint)));
        hook("BuddyStatusChanged", SLOT(buddyStatusChanged(int, int, int)));
        hook("BuddySignedOn", SLOT(buddyChanged(int)));
        hook("BuddySignedOff", SLOT(buddyChanged(int)));
        hook("BuddyAdded", SLOT(buddyChanged(int)));
        hook("BuddyPrivacyChanged", SLOT(buddyPrivacyChanged(int)));
        hook("BuddyRemoved", SLOT(buddyRemoved(int)));
        hook("BlistNodeAliased", SLOT(buddyAliased(int, QString)));
        hook("AccountStatusChanged", SLOT(accountStatusChanged(int, int, int)));
        hook("SavedstatusChanged", SLOT(savedStatusChanged(int, int)));
        hook("SavedstatusModified", SLOT(savedStatusEdited(int)));
        hook("SavedstatusDeleted", SLOT(savedStatusEdited(int)));
        hook("AccountSignedOn", SLOT(accountSignedOn(int)));
        hook("AccountSignedOff", SLOT(accountSignedOff(int)));
        hook("AccountDisabled", SLOT(accountDisabled(int)));
        hook("AccountConnectionError", SLOT(accountConnectionError(int, int, QString)));
        hook("DisplayingEmailNotification", SLOT(emailNotification(QDBusMessage)));
        hook("DisplayingEmailsNotification", SLOT(emailNotification(QDBusMessage)));
        hook("Quitting", SLOT(clientQuitting()));
    }

    // Where the user enables an account in the client found.
    QString accountsDialog() const
    {
        const QString client = q->clientName();
        if (client == QLatin1String("Pidgin"))
            return QStringLiteral("Accounts > Manage Accounts");
        if (client == QLatin1String("Finch"))
            return QStringLiteral("Finch's Accounts window (Alt+A, Accounts)");
        return QStringLiteral("the client's account list");
    }

    // The account the user named, or else the first connected one. A name without its
    // resource ("me@example.org" for "me@example.org/home") will do when it fits one account.
    bool findAccount(QString *error)
    {
        QStringList names;
        QList<QPair<qint32, QString>> sameUser;
        for (const qint32 a : client->handles(QStringLiteral("PurpleAccountsGetAllActive"))) {
            const QString name = client->text(QStringLiteral("PurpleAccountGetUsername"), {h(a)});
            const bool connected =
                client->integer(QStringLiteral("PurpleAccountIsConnected"), {h(a)}) != 0;
            names << name + (connected ? QString() : QStringLiteral(" (not connected)"));
            const bool wanted = account.name.isEmpty()
                                    ? connected
                                    : name.compare(account.name, Qt::CaseInsensitive) == 0;
            if (wanted && !accountHandle) {
                accountHandle = a;
                accountName = name;
            }
            const QString withoutResource = name.section(QLatin1Char('/'), 0, 0);
            if (!account.name.contains(QLatin1Char('/')) &&
                withoutResource.compare(account.name, Qt::CaseInsensitive) == 0)
                sameUser.append({a, name});
        }
        if (!accountHandle && sameUser.size() == 1) {
            accountHandle = sameUser[0].first;
            accountName = sameUser[0].second;
        }
        if (accountHandle)
            return true;
        const QString shown = q->clientName();
        const QString list = names.join(QStringLiteral(", "));
        if (names.isEmpty())
            *error = QStringLiteral("%1 runs but has no enabled account: tick the account under "
                                    "%2, then start this program again")
                         .arg(shown, accountsDialog());
        else if (account.name.isEmpty())
            *error = QStringLiteral("%1 has no connected account: its accounts are %2; name one "
                                    "with --purple-account to wait until it signs in")
                         .arg(shown, list);
        else if (sameUser.size() > 1)
            *error = QStringLiteral("%1 has several accounts %2: %3; name one of them in full")
                         .arg(shown, account.name, list);
        else
            *error = QStringLiteral("%1 has no enabled account %2: its accounts are %3; name one "
                                    "of them, or tick yours under %4")
                         .arg(shown, account.name, list, accountsDialog());
        return false;
    }

    // What a status of the client gives, told to then once known.
    void withPrimitiveOf(qint32 status, const std::function<void(qint32)> &then,
                         const Failure &failed = {})
    {
        if (const auto known = statusPrimitives.constFind(status);
            known != statusPrimitives.cend()) {
            then(known.value());
            return;
        }
        request(
            QStringLiteral("PurpleStatusGetType"), {h(status)},
            [=, this](const QVariant &type) {
                request(
                    QStringLiteral("PurpleStatusTypeGetPrimitive"), {type},
                    [=, this](const QVariant &primitive) {
                        if (statusPrimitives.size() >= kStatusTableBound)
                            statusPrimitives.clear();
                        statusPrimitives.insert(status, primitive.toInt());
                        then(primitive.toInt());
                    },
                    failed);
            },
            failed);
    }

    void withSavedStatus(qint32 saved, const std::function<void(SavedStatus)> &then)
    {
        if (const auto known = savedStatuses.constFind(saved); known != savedStatuses.cend()) {
            then(known.value());
            return;
        }
        const auto remember = [=, this](qint32 type, qint32 primitive) {
            if (savedStatuses.size() >= kStatusTableBound)
                savedStatuses.clear();
            savedStatuses.insert(saved, {type, primitive});
            then({type, primitive});
        };
        request(
            QStringLiteral("PurpleSavedstatusGetType"), {h(saved)}, [=, this](const QVariant &t) {
                const qint32 type = t.toInt();
                request(QStringLiteral("PurpleSavedstatusGetSubstatus"),
                        {h(saved), h(accountHandle)}, [=, this](const QVariant &sub) {
                            if (!sub.toInt()) {
                                remember(type, type);
                                return;
                            }
                            request(QStringLiteral("PurpleSavedstatusSubstatusGetType"), {sub},
                                    [=, this](const QVariant &subType) {
                                        request(QStringLiteral("PurpleStatusTypeGetPrimitive"),
                                                {subType}, [=, this](const QVariant &primitive) {
                                                    remember(type, primitive.toInt());
                                                });
                                    });
                        });
            });
    }

    std::optional<SavedStatus> knownSavedStatus(qint32 saved) const
    {
        const auto known = savedStatuses.constFind(saved);
        return known == savedStatuses.cend() ? std::nullopt : std::optional(known.value());
    }

    // Whether the client's current status is an away one; before the client has said what it
    // gives, the account's own state tells.
    bool currentIsAway() const
    {
        if (const auto current = knownSavedStatus(currentSaved))
            return awayLike(current->primitive);
        return localState == LocalState::Away || localState == LocalState::Idle;
    }

    // The account's status, from a status handle the client named or by asking it; announced
    // as a state change result unless attaching.
    void readOwnState(qint32 status = 0, bool announce = true)
    {
        const quint64 ticket = ownStateTicket = ++lastTicket;
        const auto apply = [=, this](qint32 primitive) {
            if (ended || ticket != ownStateTicket)
                return;
            // Set offline by the user while the client was still trying to connect again:
            // that is a sign-out.
            if (reconnecting && primitive == Offline) {
                lose(true, QStringLiteral("the account %1 was signed out in %2")
                               .arg(accountName, q->clientName()));
                return;
            }
            localState = localStateFor(primitive);
            if (!announce)
                return;
            const qint32 state = localState;
            const ServicePtr s = views.service;
            raise([q = q, state, s] { Q_EMIT q->OnLocalStateChangeResult(kOk, state, s); });
        };
        if (status) {
            withPrimitiveOf(status, apply);
            return;
        }
        request(QStringLiteral("PurpleAccountGetActiveStatus"), {h(accountHandle)},
                [=, this](const QVariant &active) { withPrimitiveOf(active.toInt(), apply); });
    }

    // The buddy as the client has it now, given to then; null if any of it cannot be read.
    void readBuddy(qint32 buddy, const std::function<void(LiveUserPtr)> &then)
    {
        struct Read {
            QString name;
            QString alias;
        };
        const auto read = std::make_shared<Read>();
        const Failure failed = [then](const CallFailure &) { then(nullptr); };
        const auto withStatus = [=, this](const QVariant &status) {
            withPrimitiveOf(
                status.toInt(),
                [=, this](qint32 primitive) {
                    then(std::make_shared<LiveUser>(
                        logonOf(read->name), read->alias.isEmpty() ? read->name : read->alias,
                        contactStateFor(primitive)));
                },
                failed);
        };
        const auto withPresence = [=, this](const QVariant &presence) {
            request(QStringLiteral("PurplePresenceGetActiveStatus"), {presence}, withStatus,
                    failed);
        };
        const auto withAlias = [=, this](const QVariant &alias) {
            read->alias = alias.toString();
            request(QStringLiteral("PurpleBuddyGetPresence"), {h(buddy)}, withPresence, failed);
        };
        request(
            QStringLiteral("PurpleBuddyGetName"), {h(buddy)},
            [=, this](const QVariant &name) {
                read->name = name.toString();
                request(QStringLiteral("PurpleBuddyGetAlias"), {h(buddy)}, withAlias, failed);
            },
            failed);
    }

    // Every buddy read again; the lists then hold them in the client's order, and done runs.
    void readBuddies(const std::function<void()> &done)
    {
        const quint64 ticket = listTicket = ++lastTicket;
        request(
            QStringLiteral("PurpleFindBuddies"), {h(accountHandle), QString()},
            [=, this](const QVariant &found) {
                const QList<qint32> handles = handlesIn(found);
                auto read = std::make_shared<std::vector<std::pair<qint32, LiveUserPtr>>>();
                auto waiting = std::make_shared<qsizetype>(handles.size());
                const auto finish = [=, this] {
                    if (ended || ticket != listTicket)
                        return;
                    buddies.clear();
                    order.clear();
                    buddyTickets.clear();
                    for (const auto &[buddy, fresh] : *read)
                        addBuddy(buddy, fresh);
                    rebuildLists();
                    done();
                };
                if (handles.isEmpty()) {
                    finish();
                    return;
                }
                read->resize(static_cast<std::size_t>(handles.size()));
                for (qsizetype i = 0; i < handles.size(); ++i) {
                    const qint32 buddy = handles.at(i);
                    readBuddy(buddy, [=, this](const LiveUserPtr &fresh) {
                        (*read)[static_cast<std::size_t>(i)] = {buddy, fresh};
                        if (--*waiting == 0) {
                            // A buddy that could not be read is left out.
                            read->erase(std::remove_if(read->begin(), read->end(),
                                                       [](const auto &r) { return !r.second; }),
                                        read->end());
                            finish();
                        }
                    });
                }
            },
            [=, this](const CallFailure &) {
                if (ticket == listTicket && !ended)
                    done();
            });
    }

    // The contact known by the buddy's name stays the same object, brought up to date; one
    // listed under another handle already keeps its place.
    void addBuddy(qint32 buddy, const LiveUserPtr &fresh)
    {
        LiveUserPtr user = store.find(fresh->logon());
        if (user) {
            store.setName(user, fresh->name());
            store.setState(user, fresh->state());
        } else {
            user = fresh;
        }
        const bool listed = std::any_of(order.begin(), order.end(),
                                        [&](qint32 other) { return buddies.value(other) == user; });
        buddies.insert(buddy, user);
        if (!listed)
            order.push_back(buddy);
    }

    // Kind 0 holds every buddy; kind 2 those known to be blocked: all of them when the
    // account denies everyone, else the ones whose messages the client blocked. The client
    // exports no other part of its privacy lists, nor a signal for a change of its privacy
    // type: that is asked after each change of the lists, and the lists follow its answer.
    void rebuildLists()
    {
        publishLists();
        if (privacyAsked)
            return;
        privacyAsked = true;
        request(
            QStringLiteral("PurpleAccountGetPrivacyType"), {h(accountHandle)},
            [this](const QVariant &type) {
                privacyAsked = false;
                if (ended || (type.toInt() == kDenyAll) == denyAll)
                    return;
                denyAll = !denyAll;
                publishLists();
            },
            [this](const CallFailure &) { privacyAsked = false; });
    }

    void publishLists()
    {
        LiveState::Lists lists;
        for (const qint32 buddy : order) {
            const LiveUserPtr user = buddies.value(buddy);
            const bool blocked = denyAll || blockedSenders.contains(user->logon());
            lists[0].push_back(user);
            lists[blocked ? 2 : 1].push_back(user);
        }
        store.setLists(std::move(lists));
    }

    // The status to come back to: kept while the user is still away and it still exists as
    // one that is not away. Otherwise it is forgotten, and back is a bare Available.
    qint32 statusToRestore()
    {
        const std::optional<SavedStatus> before = knownSavedStatus(statusBeforeAway);
        if (!before || awayLike(before->primitive) || !currentIsAway())
            statusBeforeAway = 0;
        return statusBeforeAway;
    }

    // Asks the client to activate a saved status. It carries calls out in turn, so the next
    // decision may take it as current already; the signal that it is follows later. refused
    // runs if the status is gone.
    void activate(qint32 saved, const std::function<void()> &refused = {})
    {
        currentSaved = saved;
        request(QStringLiteral("PurpleSavedstatusActivate"), {h(saved)}, {},
                [=, this](const CallFailure &failure) {
                    if (!failure.refused())
                        return;
                    if (currentSaved == saved)
                        currentSaved = 0;
                    if (refused)
                        refused();
                });
    }

    // Activates the client's unnamed status of this kind, made the first time.
    void activateTransient(qint32 primitive)
    {
        // Deleted by the user since: found or made again at the next switch.
        const auto forget = [=, this] { transientStatuses.remove(primitive); };
        if (const qint32 known = transientStatuses.value(primitive)) {
            activate(known, forget);
            return;
        }
        // One per kind, found again next time, so that they do not pile up in the client's
        // list of statuses.
        const auto remember = [=, this](const QVariant &status) {
            if (!status.toInt())
                return;
            transientStatuses.insert(primitive, status.toInt());
            savedStatuses.insert(status.toInt(), {primitive, primitive});
            activate(status.toInt(), forget);
        };
        request(QStringLiteral("PurpleSavedstatusFindTransientByTypeAndMessage"),
                {h(primitive), QString()}, [=, this](const QVariant &found) {
                    if (found.toInt())
                        remember(found);
                    else
                        request(QStringLiteral("PurpleSavedstatusNew"), {QString(), h(primitive)},
                                remember);
                });
    }

    void attachTo(qint32 handle)
    {
        protocol = client->text(QStringLiteral("PurpleAccountGetProtocolId"), {h(handle)});
        const bool connected =
            client->integer(QStringLiteral("PurpleAccountIsConnected"), {h(handle)});
        bool listsRead = false;
        readBuddies([&] { listsRead = true; });
        if (!listsRead)
            throw MessengerError(QStringLiteral("PurpleFindBuddies"),
                                 QStringLiteral("the buddy list could not be read"));
        readOwnState(0, false);
        currentSaved = client->integer(QStringLiteral("PurpleSavedstatusGetCurrent"));
        withSavedStatus(currentSaved, [](SavedStatus) {});
        shared->serviceStatus = connected ? ServiceStatus::Connected : ServiceStatus::Synchronizing;
        // Not signed in yet, or trying again after an error: the limit holds from now.
        reconnecting = !connected;
        if (reconnecting)
            reconnectLimit.start(account.reconnectLimitMs);
    }

    bool attach(QString *error)
    {
        // Attaching is the one time the program waits for the client: it has nothing to show
        // before the lists are read.
        client->setWaiting(true);
        try {
            connectSignals();
            ui = client->text(QStringLiteral("PurpleCoreGetUi"));
            if (!findAccount(error)) {
                client->setWaiting(false);
                lose(true, QString());
                return false;
            }
            attachTo(accountHandle);
        } catch (const MessengerError &e) {
            client->setWaiting(false);
            // No owner of the client's name: the common case of a client not started yet.
            if (!client->bus().isConnected())
                *error = QStringLiteral("there is no desktop session bus here, where Pidgin or "
                                        "Finch would be: start this program in the desktop "
                                        "session that runs the client");
            else if (client->owner().isEmpty())
                *error = QStringLiteral("Pidgin or Finch is not running: start it, then start "
                                        "this program");
            else
                *error = QStringLiteral("%1 did not answer: %2").arg(q->clientName(), e.reason());
            shared->serviceStatus = ServiceStatus::NotConnected;
            ended = true;
            return false;
        }
        client->setWaiting(false);
        attached = true;
        return true;
    }

    // The client, the account or the user's sign-in is gone: the program counts down and ends.
    // byUser: the user quit the client, disabled or signed out the account; else the client
    // or the connection went away unasked, which reads as a lost connection. why: for the
    // user, "Finch quit".
    void lose(bool byUser, const QString &why)
    {
        if (ended)
            return;
        ended = true;
        reconnectLimit.stop();
        endReason = why;
        shared->serviceStatus =
            byUser ? ServiceStatus::NotConnected : ServiceStatus::ConnectionLost;
        store.allOffline();
        if (attached)
            raise([q = q] { Q_EMIT q->OnLogoff(); });
    }

    LiveUserPtr senderUser(const QString &sender)
    {
        const QString logon = logonOf(sender);
        if (LiveUserPtr user = store.contact(logon))
            return user;
        return account.acceptStrangers ? store.met(logon, LocalState::Online) : nullptr;
    }

    void received(int acc, const QString &sender, const QString &message, uint flags)
    {
        if (ended || acc != accountHandle)
            return;
        const LiveUserPtr user = senderUser(sender);
        if (!user) {
            raiseMessage([q = q, logon = logonOf(sender), text = textFromMarkup(message)] {
                Q_EMIT q->OnTextFromStranger(logon, text);
            });
            return;
        }
        // libpurple has no headers; its flags say the same as these lines. A delayed message
        // (offline storage, history) is old news: it goes on marked, to be recorded, not acted on.
        QString header;
        if (flags & kAutoResponse)
            header += autoRepliedHeaderLine();
        if (flags & kDelayed)
            header += lateDeliveryHeaderLine();
        const std::shared_ptr<PurpleSession> known = sessions.use(
            sender, [&] { return std::make_shared<PurpleSession>(client, accountHandle, sender); });
        // In turn with the events raised before it, such as the sign-in's.
        raiseMessage(
            [q = q, session = IMSessionPtr(known), user, header, text = textFromMarkup(message)] {
                Q_EMIT q->OnTextReceived(session, user, header, text, nullptr);
            });
    }

    // Applies to a buddy what a read that began now finds, unless a later read began since.
    std::function<void(LiveUserPtr)> buddyUpdate(qint32 buddy, bool aliased)
    {
        const quint64 ticket = ++lastTicket;
        buddyTickets.insert(buddy, ticket);
        return [=, this](const LiveUserPtr &fresh) {
            if (ended || buddyTickets.value(buddy) != ticket)
                return;
            buddyTickets.remove(buddy);
            if (!fresh)
                return;
            const LiveUserPtr user = buddies.value(buddy);
            if (!user) {
                addBuddy(buddy, fresh);
                rebuildLists();
                return;
            }
            store.setName(user, fresh->name(), aliased);
            store.setState(user, fresh->state());
        };
    }

    void buddyChanged(qint32 buddy, bool aliased)
    {
        if (ended)
            return;
        const auto update = buddyUpdate(buddy, aliased);
        // A known handle is one of this account's: no need to ask the client again.
        if (buddies.contains(buddy)) {
            readBuddy(buddy, update);
            return;
        }
        request(QStringLiteral("PurpleBuddyGetAccount"), {h(buddy)},
                [=, this](const QVariant &owner) {
                    if (owner.toInt() == accountHandle)
                        readBuddy(buddy, update);
                    else
                        buddyTickets.remove(buddy);
                });
    }

    // The status the buddy is in now comes with the change: only what it gives is asked.
    void buddyStatusChanged(qint32 buddy, qint32 status)
    {
        const LiveUserPtr user = buddies.value(buddy);
        if (!user) {
            buddyChanged(buddy, false);
            return;
        }
        if (ended)
            return;
        const auto update = buddyUpdate(buddy, false);
        withPrimitiveOf(
            status,
            [=](qint32 primitive) {
                update(std::make_shared<LiveUser>(user->logon(), user->name(),
                                                  contactStateFor(primitive)));
            },
            [=](const CallFailure &) { update(nullptr); });
    }

    // The client does not export its privacy lists: a change for a buddy whose messages it
    // blocked is taken as the block lifted, until the client blocks one again.
    void buddyPrivacyChanged(qint32 buddy)
    {
        const LiveUserPtr user = buddies.value(buddy);
        if (!ended && user && blockedSenders.remove(user->logon()))
            rebuildLists();
    }

    void buddyRemoved(qint32 buddy)
    {
        // A read still on its way must not add it back.
        buddyTickets.remove(buddy);
        const LiveUserPtr user = buddies.take(buddy);
        if (!user || ended)
            return;
        const auto listed = std::find(order.begin(), order.end(), buddy);
        // The same contact may stay in another group: it is then listed under that handle.
        for (auto it = buddies.cbegin(); it != buddies.cend(); ++it) {
            if (it.value() == user) {
                if (listed != order.end())
                    *listed = it.key();
                return;
            }
        }
        if (listed != order.end())
            order.erase(listed);
        blockedSenders.remove(user->logon());
        rebuildLists();
    }

    void savedStatusChanged(qint32 now)
    {
        currentSaved = now;
        withSavedStatus(now, [=, this](SavedStatus status) {
            // A status that is not away, chosen in the client, means the user came back by
            // themselves: the one from before going away is old news.
            if (statusBeforeAway && now != statusBeforeAway && !awayLike(status.primitive))
                statusBeforeAway = 0;
        });
        if (!ended)
            readOwnState();
    }

    // Edited or deleted in the client: what it gave is asked again. A deleted one is named 0,
    // its handle being gone by then: everything is asked again, and one that is gone is
    // forgotten.
    void savedStatusEdited(qint32 saved)
    {
        if (saved) {
            savedStatuses.remove(saved);
        } else {
            savedStatuses.clear();
            transientStatuses.clear();
        }
        for (auto it = transientStatuses.begin(); it != transientStatuses.end();)
            it = it.value() == saved ? transientStatuses.erase(it) : std::next(it);
        for (const qint32 wanted : {currentSaved, statusBeforeAway}) {
            if (wanted && (!saved || wanted == saved))
                withSavedStatus(wanted, [](SavedStatus) {});
        }
    }

    void signedOn(int acc)
    {
        if (ended || acc != accountHandle)
            return;
        reconnecting = false;
        reconnectLimit.stop();
        // The lists are read again before the sign-in is announced: they were all offline.
        readBuddies([this] {
            shared->serviceStatus = ServiceStatus::Connected;
            readOwnState();
            const ServicePtr s = views.service;
            raise([q = q, s] { Q_EMIT q->OnLogonResult(kOk, s); });
        });
    }

    void signedOff(int acc)
    {
        if (ended || acc != accountHandle)
            return;
        // After a network error the client connects again by itself; meanwhile the lists
        // are not to be trusted, but nothing is lost. Otherwise the user signed out.
        if (reconnecting) {
            shared->serviceStatus = ServiceStatus::Synchronizing;
            store.allOffline();
            return;
        }
        lose(true, QStringLiteral("the account %1 was signed out in %2")
                       .arg(accountName, q->clientName()));
    }

    void connectionError(int acc, int type, const QString &description)
    {
        if (ended || acc != accountHandle)
            return;
        // A wrong password or a refused certificate is not retried: that is a loss.
        if (fatalConnectionError(type)) {
            // libpurple's invalid user name, authentication failed and authentication
            // impossible.
            credentialsRefused = type >= 1 && type <= 3;
            lose(false, QStringLiteral("the account %1 lost its connection in %2: %3")
                            .arg(accountName, q->clientName(), description));
            return;
        }
        if (!reconnecting || !reconnectLimit.isActive())
            reconnectLimit.start(account.reconnectLimitMs);
        reconnecting = true;
    }

    static constexpr qsizetype kStatusTableBound = 10000;
};

void SignalRelay::receivedImMsg(int account, const QString &sender, const QString &message, int,
                                uint flags)
{
    m_impl.received(account, sender, message, flags);
}

void SignalRelay::blockedImMsg(int account, const QString &sender, const QString &, uint, uint)
{
    if (account != m_impl.accountHandle || m_impl.ended)
        return;
    const QString logon = m_impl.logonOf(sender);
    // Only buddies are remembered, and only until they are unblocked.
    if (m_impl.blockedSenders.contains(logon) || !m_impl.store.contact(logon))
        return;
    m_impl.blockedSenders.insert(logon);
    m_impl.rebuildLists();
}

void SignalRelay::buddyChanged(int buddy)
{
    m_impl.buddyChanged(buddy, false);
}

void SignalRelay::buddyStatusChanged(int buddy, int, int newStatus)
{
    m_impl.buddyStatusChanged(buddy, newStatus);
}

void SignalRelay::buddyAliased(int node, const QString &)
{
    if (m_impl.buddies.contains(node))
        m_impl.buddyChanged(node, true);
}

void SignalRelay::buddyRemoved(int buddy)
{
    m_impl.buddyRemoved(buddy);
}

void SignalRelay::buddyPrivacyChanged(int buddy)
{
    m_impl.buddyPrivacyChanged(buddy);
}

void SignalRelay::accountStatusChanged(int account, int, int newStatus)
{
    if (account == m_impl.accountHandle && !m_impl.ended)
        m_impl.readOwnState(newStatus);
}

void SignalRelay::savedStatusChanged(int now, int)
{
    m_impl.savedStatusChanged(now);
}

void SignalRelay::savedStatusEdited(int saved)
{
    m_impl.savedStatusEdited(saved);
}

void SignalRelay::accountSignedOn(int account)
{
    m_impl.signedOn(account);
}

void SignalRelay::accountSignedOff(int account)
{
    m_impl.signedOff(account);
}

void SignalRelay::accountDisabled(int account)
{
    if (account == m_impl.accountHandle)
        m_impl.lose(true, QStringLiteral("the account %1 was disabled in %2")
                              .arg(m_impl.accountName, m_impl.q->clientName()));
}

void SignalRelay::accountConnectionError(int account, int type, const QString &description)
{
    m_impl.connectionError(account, type, description);
}

void SignalRelay::emailNotification(const QDBusMessage &signal)
{
    // The count the client reports is the mailbox's: one mail alone, else the count it gives.
    const QVariantList arguments = signal.arguments();
    m_impl.unreadMail =
        arguments.size() >= 5 ? static_cast<qint32>(qMin(arguments.at(4).toUInt(), 0x7fffu)) : 1;
}

void SignalRelay::clientQuitting()
{
    m_impl.lose(true, m_impl.q->clientName() + QStringLiteral(" quit"));
}

void SignalRelay::ownerChanged(const QString &, const QString &, const QString &newOwner)
{
    // A change seen before attach found the owner, to the owner it found, is no change.
    if (newOwner == m_impl.client->owner())
        return;
    const QString client = m_impl.q->clientName();
    // After Quitting this changes nothing. Without it, the client crashed or was killed; or
    // the name passed straight to another process (a second client queued for it), whose
    // handles are not the ones this program holds.
    m_impl.lose(
        false,
        newOwner.isEmpty()
            ? QStringLiteral("lost %1 (it left the bus without quitting)").arg(client)
            : QStringLiteral("lost %1 (its bus name passed to another process)").arg(client));
}

PurpleMessenger::PurpleMessenger(const QDBusConnection &bus, PurpleAccount account, QObject *parent)
    : MessengerObject(parent)
    , d(std::make_unique<Impl>(this, bus, std::move(account)))
{
}

PurpleMessenger::~PurpleMessenger() = default;

bool PurpleMessenger::attach(QString *error)
{
    return d->attach(error);
}

QString PurpleMessenger::accountName() const
{
    return d->accountName;
}

QString PurpleMessenger::protocolId() const
{
    return d->protocol;
}

QString PurpleMessenger::endReason() const
{
    return d->endReason;
}

bool PurpleMessenger::credentialsRefused() const
{
    return d->credentialsRefused;
}

QString PurpleMessenger::clientName() const
{
    if (d->ui == QLatin1String("gnt-purple"))
        return QStringLiteral("Finch");
    if (d->ui.startsWith(QLatin1String("gtk")))
        return QStringLiteral("Pidgin");
    return QStringLiteral("Pidgin or Finch");
}

UserCollectionPtr PurpleMessenger::GetList(ListKind kind)
{
    return d->views.list(kind);
}

void PurpleMessenger::SetLocalState(qint32 state)
{
    if (d->shared->serviceStatus != ServiceStatus::Connected)
        throw MessengerError(QStringLiteral("SetLocalState"), QStringLiteral("not signed in"));
    const std::optional<qint32> primitive = primitiveFor(state);
    if (!primitive)
        throw MessengerError(QStringLiteral("SetLocalState"),
                             QStringLiteral("unknown state code %1").arg(state));
    Impl &impl = *d;
    if (state == LocalState::Online) {
        if (const qint32 before = impl.statusToRestore()) {
            impl.statusBeforeAway = 0;
            // Deleted in the client since: back is a bare Available.
            impl.activate(before, [&impl] { impl.activateTransient(Available); });
            return;
        }
    }
    const std::optional<SavedStatus> current = impl.knownSavedStatus(impl.currentSaved);
    // Away from a status of the user's own: remembered, to come back to. Away from away keeps
    // what was remembered before.
    if (awayLike(*primitive) && current && !awayLike(current->primitive))
        impl.statusBeforeAway = impl.currentSaved;
    // A state the client is in already is left as it is: the user's own status, with its
    // message, is not replaced by a bare one of the same kind.
    if (current && current->type == *primitive) {
        impl.readOwnState();
        return;
    }
    impl.activateTransient(*primitive);
}

qint32 PurpleMessenger::stateForRequest(qint32 state)
{
    const std::optional<qint32> primitive = primitiveFor(state);
    if (!primitive)
        return state;
    if (state == LocalState::Online) {
        if (const qint32 before = d->statusToRestore())
            return localStateFor(d->knownSavedStatus(before)->primitive);
    }
    return localStateFor(*primitive);
}

qint32 PurpleMessenger::GetLocalState()
{
    return d->localState;
}

ServiceCollectionPtr PurpleMessenger::GetServices()
{
    return d->views.services;
}

qint32 PurpleMessenger::GetUnreadMailCount(qint32 folder)
{
    Q_UNUSED(folder);
    return d->unreadMail;
}

qint32 PurpleMessenger::serviceStatus() const
{
    return d->shared->serviceStatus;
}

void PurpleMessenger::setFriendlyName(const QString &name)
{
    if (d->shared->serviceStatus != ServiceStatus::Connected)
        throw MessengerError(QStringLiteral("SetFriendlyName"), QStringLiteral("not signed in"));
    Impl &impl = *d;
    const QVariant account = h(impl.accountHandle);
    const ServicePtr s = impl.views.service;
    const auto done = [&impl, q = this, name, s] {
        impl.raise([q, name, s] {
            Q_EMIT q->OnLocalPropertyChangeResult(kOk, kFriendlyNameProperty, name, s);
        });
    };
    // The account's alias: the name the client shows for the user.
    impl.request(
        QStringLiteral("PurpleAccountSetAlias"), {account, name},
        [&impl, account, name, done](const QVariant &) {
            if (!impl.jabber()) {
                done();
                return;
            }
            // On XMPP the contacts see the vCard's nickname. The client keeps the
            // vCard as the account's user info and publishes what it is given, so
            // only the nickname is changed.
            impl.request(
                QStringLiteral("PurpleAccountGetUserInfo"), {account},
                [&impl, account, name, done](const QVariant &info) {
                    const QString card = withNickname(info.toString(), name);
                    impl.request(QStringLiteral("PurpleAccountSetUserInfo"), {account, card}, {});
                    impl.request(QStringLiteral("PurpleAccountGetConnection"), {account},
                                 [&impl, card, done](const QVariant &connection) {
                                     impl.request(QStringLiteral("ServSetInfo"), {connection, card},
                                                  [done](const QVariant &) { done(); });
                                 });
                });
        });
}

} // namespace zelmo::purple

#include "purplemessenger.moc"
