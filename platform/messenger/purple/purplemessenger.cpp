#include "platform/messenger/purple/purplemessenger.h"

#include "messenger/messengererror.h"
#include "platform/messenger/contactstore.h"
#include "platform/messenger/liveviews.h"
#include "platform/messenger/purple/purpleformat.h"
#include "platform/messenger/replyformat.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusServiceWatcher>
#include <QHash>
#include <QPointer>
#include <QSet>

#include <algorithm>
#include <array>
#include <optional>
#include <vector>

namespace zelmo::purple {

namespace {

const QString kService = QStringLiteral("im.pidgin.purple.PurpleService");
const QString kPath = QStringLiteral("/im/pidgin/purple/PurpleObject");
const QString kInterface = QStringLiteral("im.pidgin.purple.PurpleInterface");
// A client that does not answer within this is as good as gone; the program must not hang.
constexpr int kCallTimeoutMs = 5000;
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

// A contact's state in the codes of the user's own.
qint32 contactStateFor(qint32 primitive)
{
    switch (primitive) {
    case Offline:
    case Invisible:
        return ContactState::Offline;
    case Unavailable:
        return LocalState::Busy;
    case AwayPrimitive:
        return LocalState::Away;
    case ExtendedAway:
        return LocalState::Idle;
    default:
        return LocalState::Online;
    }
}

qint32 localStateFor(qint32 primitive)
{
    switch (primitive) {
    case Available:
        return LocalState::Online;
    case Unavailable:
        return LocalState::Busy;
    case AwayPrimitive:
        return LocalState::Away;
    case ExtendedAway:
        return LocalState::Idle;
    default:
        return LocalState::Offline;
    }
}

bool awayLike(qint32 primitive)
{
    return primitive == AwayPrimitive || primitive == ExtendedAway;
}

std::optional<qint32> primitiveFor(qint32 localState)
{
    switch (localState) {
    case LocalState::Online:
        return Available;
    case LocalState::Busy:
        return Unavailable;
    case LocalState::Idle:
        return ExtendedAway;
    case LocalState::Offline:
        return Invisible;
    case LocalState::BeRightBack:
    case LocalState::Away:
    case LocalState::OnThePhone:
    case LocalState::OutToLunch:
        return AwayPrimitive;
    default:
        return std::nullopt;
    }
}

// Calls into the client. Every failure (no client, a handle that is gone, no answer in
// time) becomes the boundary's one error.
class Client {
public:
    explicit Client(QDBusConnection bus)
        : m_bus(std::move(bus))
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

    QVariant call(const QString &method, const QVariantList &arguments = {}) const
    {
        if (m_owner.isEmpty())
            throw MessengerError(method, QStringLiteral("not attached to the client"));
        QDBusMessage message = QDBusMessage::createMethodCall(m_owner, kPath, kInterface, method);
        message.setArguments(arguments);
        // Block, not BlockWithGui: no event may run inside an operation.
        const QDBusMessage reply = m_bus.call(message, QDBus::Block, kCallTimeoutMs);
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
        const QVariant value = call(method, arguments);
        if (value.canConvert<QDBusArgument>())
            return qdbus_cast<QList<qint32>>(value.value<QDBusArgument>());
        return {};
    }
    const QDBusConnection &bus() const { return m_bus; }

private:
    QDBusConnection m_bus;
    QString m_owner;
};

QVariantList args(std::initializer_list<QVariant> values)
{
    return QVariantList(values);
}

QVariant h(qint32 handle)
{
    return QVariant::fromValue(handle);
}

// The sender's conversation. The conversation is found again if the client dropped it.
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
        const QString markup = replyMarkup(header, text);
        try {
            send(markup);
        } catch (const MessengerError &) {
            // The conversation was closed in the client since: open it again, once.
            m_im = 0;
            send(markup);
        }
        if (cookie)
            *cookie = ++m_sent;
    }

private:
    void send(const QString &markup)
    {
        if (!m_im) {
            const qint32 conversation = m_client->integer(QStringLiteral("PurpleConversationNew"),
                                                          args({h(1), h(m_account), m_to}));
            m_im = m_client->integer(QStringLiteral("PurpleConvIm"), args({h(conversation)}));
            if (!m_im)
                throw MessengerError(QStringLiteral("PurpleConvIm"),
                                     QStringLiteral("no conversation with ") + m_to);
        }
        // Marked as an automatic response, as the client's own window then shows it.
        m_client->call(QStringLiteral("PurpleConvImSendWithFlags"),
                       args({h(m_im), markup, h(static_cast<qint32>(kAutoResponse))}));
    }

    std::shared_ptr<Client> m_client;
    qint32 m_account;
    QString m_to;
    qint32 m_im = 0;
    qint32 m_sent = 0;
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

struct PurpleMessenger::Impl {
    Impl(PurpleMessenger *owner, const QDBusConnection &bus, PurpleAccount a)
        : q(owner)
        , account(std::move(a))
        , client(std::make_shared<Client>(bus))
        , relay(*this)
    {
    }

    PurpleMessenger *q;
    PurpleAccount account;
    std::shared_ptr<Client> client;
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
    // The saved status that was current when the program went away, to come back to; 0: none.
    qint32 statusBeforeAway = 0;
    qint32 unreadMail = 0;
    bool attached = false;
    bool ended = false;
    // Why the client went, for the user; empty until then.
    QString endReason;
    // A network error was reported: the client signs the account in again by itself.
    bool reconnecting = false;

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

    qint32 primitiveOfStatus(qint32 status) const
    {
        const qint32 type = client->integer(QStringLiteral("PurpleStatusGetType"), {h(status)});
        return client->integer(QStringLiteral("PurpleStatusTypeGetPrimitive"), {h(type)});
    }

    LiveUserPtr readBuddy(qint32 buddy) const
    {
        const QString name = client->text(QStringLiteral("PurpleBuddyGetName"), {h(buddy)});
        QString alias = client->text(QStringLiteral("PurpleBuddyGetAlias"), {h(buddy)});
        if (alias.isEmpty())
            alias = name;
        const qint32 presence =
            client->integer(QStringLiteral("PurpleBuddyGetPresence"), {h(buddy)});
        const qint32 status =
            client->integer(QStringLiteral("PurplePresenceGetActiveStatus"), {h(presence)});
        return std::make_shared<LiveUser>(logonOf(name), alias,
                                          contactStateFor(primitiveOfStatus(status)));
    }

    bool ours(qint32 buddy) const
    {
        return client->integer(QStringLiteral("PurpleBuddyGetAccount"), {h(buddy)}) ==
               accountHandle;
    }

    void readBuddies()
    {
        buddies.clear();
        order.clear();
        const QList<qint32> handles =
            client->handles(QStringLiteral("PurpleFindBuddies"), {h(accountHandle), QString()});
        for (const qint32 buddy : handles)
            skipOnFailure([&] { addBuddy(buddy, readBuddy(buddy)); });
        rebuildLists();
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
    // exports no other part of its privacy lists.
    void rebuildLists()
    {
        bool denyAll = false;
        skipOnFailure([&] {
            denyAll = client->integer(QStringLiteral("PurpleAccountGetPrivacyType"),
                                      {h(accountHandle)}) == kDenyAll;
        });
        LiveState::Lists lists;
        for (const qint32 buddy : order) {
            const LiveUserPtr user = buddies.value(buddy);
            const bool blocked = denyAll || blockedSenders.contains(user->logon());
            lists[0].push_back(user);
            lists[blocked ? 2 : 1].push_back(user);
        }
        store.setLists(std::move(lists));
    }

    // What a saved status gives this account: its own substatus for it, when it has one.
    qint32 primitiveOfSaved(qint32 saved) const
    {
        const qint32 sub = client->integer(QStringLiteral("PurpleSavedstatusGetSubstatus"),
                                           {h(saved), h(accountHandle)});
        if (!sub)
            return client->integer(QStringLiteral("PurpleSavedstatusGetType"), {h(saved)});
        const qint32 type =
            client->integer(QStringLiteral("PurpleSavedstatusSubstatusGetType"), {h(sub)});
        return client->integer(QStringLiteral("PurpleStatusTypeGetPrimitive"), {h(type)});
    }

    // The status to come back to: kept while the user is still away and it still exists as
    // one that is not away. Otherwise it is forgotten, and back is a bare Available.
    qint32 statusToRestore()
    {
        if (!statusBeforeAway)
            return 0;
        bool usable = false;
        // A status deleted since has lost its handle: the client answers with an error.
        skipOnFailure([&] {
            const qint32 current = client->integer(QStringLiteral("PurpleSavedstatusGetCurrent"));
            usable = awayLike(primitiveOfSaved(current)) &&
                     !awayLike(primitiveOfSaved(statusBeforeAway));
        });
        if (!usable)
            statusBeforeAway = 0;
        return statusBeforeAway;
    }

    void readLocalState()
    {
        const qint32 status =
            client->integer(QStringLiteral("PurpleAccountGetActiveStatus"), {h(accountHandle)});
        localState = localStateFor(primitiveOfStatus(status));
    }

    bool attach(QString *error)
    {
        try {
            connectSignals();
            ui = client->text(QStringLiteral("PurpleCoreGetUi"));
            if (!findAccount(error)) {
                lose(true, QString());
                return false;
            }
            protocol =
                client->text(QStringLiteral("PurpleAccountGetProtocolId"), {h(accountHandle)});
            const bool connected =
                client->integer(QStringLiteral("PurpleAccountIsConnected"), {h(accountHandle)});
            readBuddies();
            readLocalState();
            shared->serviceStatus =
                connected ? ServiceStatus::Connected : ServiceStatus::Synchronizing;
            reconnecting = !connected;
        } catch (const MessengerError &e) {
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
            header += QStringLiteral("Auto-Submitted: auto-replied\r\n");
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

    void buddyChanged(qint32 buddy, bool aliased)
    {
        if (ended)
            return;
        skipOnFailure([&] {
            // A known handle is one of this account's: no need to ask the client again.
            if (!buddies.contains(buddy) && !ours(buddy))
                return;
            const LiveUserPtr fresh = readBuddy(buddy);
            const LiveUserPtr user = buddies.value(buddy);
            if (!user) {
                addBuddy(buddy, fresh);
                rebuildLists();
                return;
            }
            store.setName(user, fresh->name(), aliased);
            store.setState(user, fresh->state());
        });
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

    void ownStateChanged()
    {
        if (ended)
            return;
        skipOnFailure([&] {
            readLocalState();
            const qint32 state = localState;
            const ServicePtr s = views.service;
            raise([q = q, state, s] { Q_EMIT q->OnLocalStateChangeResult(kOk, state, s); });
        });
    }

    void signedOn(int acc)
    {
        if (ended || acc != accountHandle)
            return;
        reconnecting = false;
        shared->serviceStatus = ServiceStatus::Connected;
        skipOnFailure([&] {
            readBuddies();
            readLocalState();
        });
        const ServicePtr s = views.service;
        raise([q = q, s] { Q_EMIT q->OnLogonResult(kOk, s); });
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
        bool fatal = true;
        skipOnFailure([&] {
            fatal = client->integer(QStringLiteral("PurpleConnectionErrorIsFatal"), {h(type)}) != 0;
        });
        // A wrong password or a refused certificate is not retried: that is a loss.
        if (fatal)
            lose(false, QStringLiteral("the account %1 lost its connection in %2: %3")
                            .arg(accountName, q->clientName(), description));
        else
            reconnecting = true;
    }
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

void SignalRelay::buddyStatusChanged(int buddy, int, int)
{
    m_impl.buddyChanged(buddy, false);
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

void SignalRelay::accountStatusChanged(int account, int, int)
{
    if (account == m_impl.accountHandle)
        m_impl.ownStateChanged();
}

void SignalRelay::savedStatusChanged(int now, int)
{
    // A status that is not away, chosen in the client, means the user came back by themselves:
    // the one from before going away is old news.
    if (m_impl.statusBeforeAway && now != m_impl.statusBeforeAway) {
        skipOnFailure([&] {
            if (!awayLike(m_impl.primitiveOfSaved(now)))
                m_impl.statusBeforeAway = 0;
        });
    }
    m_impl.ownStateChanged();
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
    const Client &client = *d->client;
    if (state == LocalState::Online) {
        if (const qint32 before = d->statusToRestore()) {
            client.call(QStringLiteral("PurpleSavedstatusActivate"), {h(before)});
            d->statusBeforeAway = 0;
            return;
        }
    }
    const qint32 current = client.integer(QStringLiteral("PurpleSavedstatusGetCurrent"));
    // Away from a status of the user's own: remembered, to come back to. Away from away keeps
    // what was remembered before.
    if (awayLike(*primitive) && !awayLike(d->primitiveOfSaved(current)))
        d->statusBeforeAway = current;
    // A state the client is in already is left as it is: the user's own status, with its
    // message, is not replaced by a bare one of the same kind.
    if (client.integer(QStringLiteral("PurpleSavedstatusGetType"), {h(current)}) == *primitive) {
        d->ownStateChanged();
        return;
    }
    // One unnamed status per kind, found again next time, so that they do not pile up in the
    // client's list of statuses.
    qint32 status = client.integer(QStringLiteral("PurpleSavedstatusFindTransientByTypeAndMessage"),
                                   {h(*primitive), QString()});
    if (!status)
        status = client.integer(QStringLiteral("PurpleSavedstatusNew"), {QString(), h(*primitive)});
    if (!status)
        throw MessengerError(QStringLiteral("PurpleSavedstatusNew"),
                             QStringLiteral("the client made no status"));
    client.call(QStringLiteral("PurpleSavedstatusActivate"), {h(status)});
}

qint32 PurpleMessenger::stateForRequest(qint32 state)
{
    const std::optional<qint32> primitive = primitiveFor(state);
    if (!primitive)
        return state;
    if (state == LocalState::Online) {
        if (const qint32 before = d->statusToRestore())
            return localStateFor(d->primitiveOfSaved(before));
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
    const Client &client = *d->client;
    const QVariant account = h(d->accountHandle);
    // The account's alias: the name the client shows for the user.
    client.call(QStringLiteral("PurpleAccountSetAlias"), {account, name});
    // On XMPP the contacts see the vCard's nickname. The client keeps the vCard as the
    // account's user info and publishes what it is given, so only the nickname is changed.
    if (d->jabber()) {
        QString card = client.text(QStringLiteral("PurpleAccountGetUserInfo"), {account});
        const QString nick = QStringLiteral("<NICKNAME>") + xmlSafe(name).toHtmlEscaped() +
                             QStringLiteral("</NICKNAME>");
        const int open = card.indexOf(QLatin1String("<NICKNAME>"));
        const int close = card.indexOf(QLatin1String("</NICKNAME>"));
        if (open >= 0 && close > open) {
            card.replace(open, close + 11 - open, nick);
        } else if (const int end = card.lastIndexOf(QLatin1String("</vCard>")); end >= 0) {
            card.insert(end, nick);
        } else {
            card = QStringLiteral("<vCard xmlns='vcard-temp'>") + nick + QStringLiteral("</vCard>");
        }
        client.call(QStringLiteral("PurpleAccountSetUserInfo"), {account, card});
        const qint32 connection =
            client.integer(QStringLiteral("PurpleAccountGetConnection"), {account});
        client.call(QStringLiteral("ServSetInfo"), {h(connection), card});
    }
    const ServicePtr s = d->views.service;
    d->raise([q = this, name, s] {
        Q_EMIT q->OnLocalPropertyChangeResult(kOk, kFriendlyNameProperty, name, s);
    });
}

} // namespace zelmo::purple

#include "purplemessenger.moc"
