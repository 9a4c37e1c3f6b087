#include "platform/messenger/xmpp/xmppmessenger.h"

#include "messenger/messengererror.h"
#include "platform/messenger/contactstore.h"
#include "platform/messenger/liveviews.h"
#include "platform/messenger/xmpp/qxmpp.h"
#include "platform/messenger/xmpp/xmppformat.h"

#include <QDeadlineTimer>
#include <QDomElement>
#include <QHash>
#include <QPointer>
#include <QRandomGenerator>
#include <QSet>
#include <QSslError>
#include <QSslSocket>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <array>
#include <deque>
#include <functional>
#include <utility>
#include <vector>

namespace zelmo::xmpp {

namespace {

constexpr qint32 kOk = 0;
// COM's E_FAIL, the result code of a change the server refused.
constexpr qint32 kFailed = static_cast<qint32>(0x80004005u);
constexpr qint32 kFriendlyNameProperty = 1;
// How long a finished sign-in waits for the server to reflect its first presence, which
// gives the own state, before it goes on without.
constexpr int kPresenceGraceMs = 3000;

constexpr QLatin1String nsBlocking("urn:xmpp:blocking");
constexpr QLatin1String nsShim("http://jabber.org/protocol/shim");
constexpr QLatin1String nsNick("http://jabber.org/protocol/nick");
constexpr QLatin1String nsPubSub("http://jabber.org/protocol/pubsub");
constexpr QLatin1String nsStreams("http://etherx.jabber.org/streams");
constexpr QLatin1String nsCarbons("urn:xmpp:carbons:2");
constexpr QLatin1String nsForward("urn:xmpp:forward:0");
constexpr QLatin1String nsDelay("urn:xmpp:delay");
constexpr QLatin1String nsLegacyDelay("jabber:x:delay");
constexpr QLatin1String nsDiscoInfo("http://jabber.org/protocol/disco#info");
constexpr QLatin1String nsPing("urn:xmpp:ping");
// The first wait before a dropped connection is tried again; it doubles up to the longest.
constexpr int kFirstReconnectMs = 1000;
constexpr int kLongestReconnectMs = 60000;
// How many messages are remembered to answer one that comes twice (directly and as a carbon)
// only once.
constexpr int kRememberedMessages = 256;
constexpr QLatin1String nsSasl("urn:ietf:params:xml:ns:xmpp-sasl");

// What a session needs in order to send: the client, while the account is signed in.
struct Link {
    QXmppClient *client = nullptr;
    QSslSocket *socket = nullptr;
};

// A full address as XMPP compares it: the bare part in lower case, the resource as it is.
QString normalisedJid(const QString &jid)
{
    const int slash = jid.indexOf(QLatin1Char('/'));
    return slash < 0 ? normalisedBareJid(jid) : normalisedBareJid(jid) + jid.mid(slash);
}

QXmppElement element(const QString &tag, const QString &xmlns = QString())
{
    QXmppElement e;
    e.setTagName(tag);
    if (!xmlns.isEmpty())
        e.setAttribute(QStringLiteral("xmlns"), xmlns);
    return e;
}

// Every message the program sends is an automatic answer, and says so (XEP-0131), so that
// another automatic responder does not answer it in turn (RFC 3834).
QXmppElement autoSubmittedHeaders()
{
    QXmppElement header = element(QStringLiteral("header"));
    header.setAttribute(QStringLiteral("name"), autoSubmittedField);
    header.setValue(autoRepliedValue);
    QXmppElement headers = element(QStringLiteral("headers"), nsShim);
    headers.appendChild(header);
    return headers;
}

class XmppSession : public IMSession {
public:
    XmppSession(std::weak_ptr<Link> link, QString to, QString thread)
        : m_link(std::move(link))
        , m_to(std::move(to))
        , m_thread(std::move(thread))
    {
    }

    void SendText(const QString &header, const QString &text, qint32 messageType,
                  qint32 *cookie) override
    {
        Q_UNUSED(messageType);
        const auto link = m_link.lock();
        if (!link || !link->client)
            throw MessengerError(QStringLiteral("SendText"), QStringLiteral("not signed in"));
        // Answers go to the connection that wrote, as chat, in the conversation's thread.
        QXmppMessage message(QString(), m_to, bodyFromText(text), m_thread);
        message.setType(QXmppMessage::Chat);
        message.setId(QXmppUtils::generateStanzaHash(16));
        if (const auto format = formatFromHeader(header))
            message.setXhtml(xhtmlFor(text, *format));
        message.setExtensions({autoSubmittedHeaders()});
        if (!link->client->sendPacket(message))
            throw MessengerError(QStringLiteral("SendText"),
                                 QStringLiteral("the connection did not take the message"));
        // Out now, not when the event loop next flushes: an answer is several messages, and
        // the server would otherwise get them in one piece and route them all before the
        // first, which is the one the contact waits for.
        if (link->socket)
            link->socket->flush();
        if (cookie)
            *cookie = ++m_sent;
    }

private:
    std::weak_ptr<Link> m_link;
    QString m_to;
    QString m_thread;
    qint32 m_sent = 0;
};

// Sees every stanza before QXmpp's own managers do.
class StanzaHook : public QXmppClientExtension {
public:
    std::function<bool(const QDomElement &)> handler;
    bool handleStanza(const QDomElement &stanza) override { return handler && handler(stanza); }
    // The stanza headers this backend reads (Auto-Submitted).
    QStringList discoveryFeatures() const override { return {QString(nsShim)}; }
};

Availability availabilityOf(const QXmppPresence &presence)
{
    switch (presence.availableStatusType()) {
    case QXmppPresence::Chat:
        return Availability::Chat;
    case QXmppPresence::Away:
        return Availability::Away;
    case QXmppPresence::XA:
        return Availability::ExtendedAway;
    case QXmppPresence::DND:
        return Availability::DoNotDisturb;
    default:
        return Availability::Online;
    }
}

QXmppPresence::AvailableStatusType statusTypeFor(Availability availability)
{
    switch (availability) {
    case Availability::Chat:
        return QXmppPresence::Chat;
    case Availability::Away:
        return QXmppPresence::Away;
    case Availability::ExtendedAway:
        return QXmppPresence::XA;
    case Availability::DoNotDisturb:
        return QXmppPresence::DND;
    case Availability::Online:
        break;
    }
    return QXmppPresence::Online;
}

QStringList itemJids(const QDomElement &parent)
{
    QStringList jids;
    for (QDomElement item = parent.firstChildElement(QStringLiteral("item")); !item.isNull();
         item = item.nextSiblingElement(QStringLiteral("item")))
        jids << normalisedBareJid(item.attribute(QStringLiteral("jid")));
    return jids;
}

// An incoming chat message, read before the sign-in may have finished.
struct Incoming {
    QString id;
    QString from;
    QString body;
    QString thread;
    bool automatic = false;
    bool late = false;
};

} // namespace

struct XmppMessenger::Impl {
    explicit Impl(XmppMessenger *owner, XmppAccount a)
        : q(owner)
        , account(std::move(a))
    {
    }

    XmppMessenger *q;
    XmppAccount account;
    // Synchronizing until the sign-in has finished.
    std::shared_ptr<LiveState> shared = [] {
        auto state = std::make_shared<LiveState>();
        state->serviceStatus = ServiceStatus::Synchronizing;
        return state;
    }();
    LiveViews<XmppMessenger> views{shared, q};
    ContactStore store{q, shared, [this](std::function<void()> event) { raise(std::move(event)); }};
    std::shared_ptr<Link> link = std::make_shared<Link>();

    std::unique_ptr<QXmppClient> client;
    QXmppRosterManager *roster = nullptr;
    StanzaHook *hook = nullptr;
    QXmppLogger *logger = nullptr;

    QString bareJid;
    // What the sign-in was made with, kept for signing in again.
    QXmppConfiguration config;
    bool signedIn = false;     // the sign-in succeeded once
    bool reconnecting = false; // the connection dropped and is being made again
    bool signingOut = false;   // the user asked for the end
    // The presence the user has chosen: QXmpp's own turns unavailable when a connection is
    // closed, and it goes out again with the next one.
    QXmppPresence wantedPresence{QXmppPresence::Available};
    QDeadlineTimer reconnectDeadline;
    int reconnectDelayMs = kFirstReconnectMs;
    QTimer reconnectTimer;
    // The latest messages delivered, by sender and id.
    QSet<QString> delivered;
    std::deque<QString> deliveredOrder;
    QStringList rosterOrder; // kind 0, in the order the contacts arrived
    QStringList blocked;     // the server's block list, in its order
    qint32 localState = LocalState::Offline;

    bool started = false;
    bool ended = false;
    bool rosterReady = false;
    bool blocklistReady = false;
    bool ownPresenceSeen = false;
    std::vector<Incoming> early;
    // The requests waiting for their answer, by id: where each went, and what reads it.
    struct PendingIq {
        QString to;
        std::function<void(const QDomElement &)> onAnswer;
    };
    QHash<QString, PendingIq> pendingIqs;
    QTimer signInTimer;
    QTimer presenceGrace;

    // What the last failure said, for the reason shown to the user.
    QString lastError;
    QString lastWarning;
    QString streamError;
    QString saslFailure;
    QString sslReason;
    // The run ended on the server refusing the name or password: trying again cannot mend it.
    bool credentialsRefused = false;

    qint32 status() const { return shared->serviceStatus; }
    void raise(std::function<void()> event) { q->deliverLater(std::move(event)); }
    void raiseMessage(std::function<void()> event) { q->deliverMessageLater(std::move(event)); }

    // Ids nobody can guess: an answer is matched by its id, and QXmpp numbers its stanzas
    // in order, so a contact could answer a request (the vCard read before a nickname is
    // stored) before the server does.
    static QString newIqId()
    {
        std::array<quint32, 4> words;
        QRandomGenerator::system()->fillRange(words.data(), int(words.size()));
        QString id;
        for (const quint32 word : words)
            id += QStringLiteral("%1").arg(word, 8, 16, QLatin1Char('0'));
        return id;
    }

    bool sendIq(QXmppIq &iq, std::function<void(const QDomElement &)> onAnswer)
    {
        iq.setId(newIqId());
        pendingIqs.insert(iq.id(), {iq.to(), std::move(onAnswer)});
        if (client->sendPacket(iq))
            return true;
        pendingIqs.remove(iq.id());
        return false;
    }

    bool sendIq(QXmppIq::Type type, const QXmppElement &payload,
                std::function<void(const QDomElement &)> onAnswer)
    {
        QXmppIq iq(type);
        iq.setExtensions({payload});
        return sendIq(iq, std::move(onAnswer));
    }

    // Whether an answer comes from where its request went. One to the own account (no `to`)
    // is answered by the server: without a `from`, or from the account or its domain.
    bool answersRequest(const QString &from, const QString &to) const
    {
        if (to.isEmpty())
            return from.isEmpty() || normalisedJid(from) == bareJid ||
                   normalisedJid(from) == domainOf(bareJid);
        return normalisedJid(from) == normalisedJid(to);
    }

    // --- the connection ------------------------------------------------------------------

    void onConnected()
    {
        // QXmpp reports a connection before the sign-in has succeeded in some cases.
        if (!client->isAuthenticated() || ended)
            return;
        bareJid = normalisedBareJid(client->configuration().jidBare());
        // Copies of what the contacts write to the user's other clients, so that the program
        // answers whichever client the server chose. A server without carbons refuses this.
        sendIq(QXmppIq::Set, element(QStringLiteral("enable"), nsCarbons),
               [](const QDomElement &) {});
        requestBlocklist();
    }

    void requestBlocklist()
    {
        const bool sent =
            sendIq(QXmppIq::Get, element(QStringLiteral("blocklist"), nsBlocking),
                   [this](const QDomElement &answer) {
                       // A server without block lists has an empty one.
                       if (answer.attribute(QStringLiteral("type")) == QLatin1String("result"))
                           blocked =
                               itemJids(answer.firstChildElement(QStringLiteral("blocklist")));
                       blocklistReady = true;
                       finishSignInIfReady();
                   });
        if (!sent) {
            blocklistReady = true;
            finishSignInIfReady();
        }
    }

    void finishSignInIfReady()
    {
        if (ended || status() != ServiceStatus::Synchronizing || !rosterReady || !blocklistReady)
            return;
        if (!ownPresenceSeen) {
            if (!presenceGrace.isActive())
                presenceGrace.start(kPresenceGraceMs);
            return;
        }
        completeSignIn();
    }

    void completeSignIn()
    {
        signInTimer.stop();
        presenceGrace.stop();
        reconnecting = false;
        reconnectDelayMs = kFirstReconnectMs;
        lastError.clear();
        shared->serviceStatus = ServiceStatus::Connected;
        link->client = client.get();
        link->socket = client->findChild<QSslSocket *>();
        // The lists fill now, so their add results count: the status is no longer 0.
        syncLists();
        const ServicePtr s = views.service;
        raise([q = q, s] { Q_EMIT q->OnLogonResult(kOk, s); });
        std::vector<Incoming> waiting;
        waiting.swap(early);
        for (const Incoming &message : waiting)
            deliver(message);
        // Only the first sign-in finishes one; a connection made again was signed in before.
        if (!std::exchange(signedIn, true))
            Q_EMIT q->signInFinished(true);
    }

    void onError(QXmppClient::Error error)
    {
        QString reason;
        switch (error) {
        case QXmppClient::SocketError:
            if (!sslReason.isEmpty()) {
                reason = sslReason;
            } else {
                reason = client->socketErrorString();
                if (status() == ServiceStatus::Synchronizing) {
                    const QString where = account.host.isEmpty()
                                              ? domainOf(account.jid)
                                              : QString(account.host + QLatin1Char(':') +
                                                        QString::number(account.port));
                    reason = QStringLiteral("cannot reach the server ") + where +
                             QStringLiteral(": ") + reason;
                }
            }
            break;
        case QXmppClient::KeepAliveError:
            reason = QStringLiteral("the server stopped answering");
            break;
        case QXmppClient::XmppStreamError:
            if (!saslFailure.isEmpty())
                reason = QStringLiteral("the server refused the name or password (") + saslFailure +
                         QLatin1Char(')');
            else if (!streamError.isEmpty())
                reason = QStringLiteral("the server ended the stream (") + streamError +
                         QLatin1Char(')');
            else
                reason = QStringLiteral("the server ended the stream");
            break;
        case QXmppClient::NoError:
            return;
        }
        end(reason);
    }

    void onDisconnected()
    {
        QString reason = sslReason;
        if (reason.isEmpty() && !streamError.isEmpty())
            reason =
                QStringLiteral("the server ended the stream (") + streamError + QLatin1Char(')');
        // QXmpp gives up on a server without TLS with a warning only.
        if (reason.isEmpty() && status() == ServiceStatus::Synchronizing)
            reason = lastWarning;
        if (reason.isEmpty())
            reason = QStringLiteral("the server closed the connection");
        end(reason);
    }

    // Whether the connection is tried again: only one that was up, dropped by the network or
    // the server, and not refused.
    bool mayReconnect() const
    {
        return signedIn && !signingOut && saslFailure.isEmpty() &&
               streamError != QLatin1String("conflict") &&
               (!reconnecting || !reconnectDeadline.hasExpired());
    }

    // The connection dropped: the contacts read as offline and the status as 0 until it is
    // made again.
    void dropped(const QString &reason)
    {
        // An error and the disconnection that follows it are one drop.
        if (reconnectTimer.isActive())
            return;
        signInTimer.stop();
        presenceGrace.stop();
        link->client = nullptr;
        link->socket = nullptr;
        pendingIqs.clear();
        if (!reconnecting) {
            reconnecting = true;
            reconnectDeadline = QDeadlineTimer(account.reconnectLimitMs);
            shared->serviceStatus = ServiceStatus::Synchronizing;
            store.allOffline();
        }
        lastError = QStringLiteral("the connection to the server was lost, and is being made "
                                   "again: ") +
                    reason;
        const int wait = std::min<qint64>(reconnectDelayMs,
                                          std::max<qint64>(reconnectDeadline.remainingTime(), 0));
        reconnectDelayMs = std::min(reconnectDelayMs * 2, kLongestReconnectMs);
        reconnectTimer.start(wait);
        // An attempt that timed out, or an error, may leave the socket open.
        QTimer::singleShot(0, q, [this] {
            if (client->state() != QXmppClient::DisconnectedState)
                client->disconnectFromServer();
        });
    }

    void reconnect()
    {
        if (ended)
            return;
        if (reconnectDeadline.hasExpired()) {
            end(QStringLiteral("it could not be made again within %1 s")
                    .arg(account.reconnectLimitMs / 1000));
            return;
        }
        rosterReady = blocklistReady = ownPresenceSeen = false;
        saslFailure.clear();
        streamError.clear();
        sslReason.clear();
        signInTimer.start(account.signInTimeoutMs);
        // The presence the user had goes out again with the new connection.
        client->connectToServer(config, wantedPresence);
    }

    // The connection has ended, for whatever reason, unless it is made again.
    void end(const QString &reason)
    {
        if (ended)
            return;
        if (mayReconnect()) {
            dropped(reason);
            return;
        }
        ended = true;
        credentialsRefused = !saslFailure.isEmpty();
        signInTimer.stop();
        presenceGrace.stop();
        link->client = nullptr;
        link->socket = nullptr;
        pendingIqs.clear();
        early.clear();
        reconnectTimer.stop();
        const bool wasConnected = signedIn;
        // A sign-out the user asked for is no loss.
        shared->serviceStatus = wasConnected && !signingOut ? ServiceStatus::ConnectionLost
                                                            : ServiceStatus::NotConnected;
        localState = LocalState::Offline;
        if (signingOut)
            lastError.clear();
        else if (wasConnected)
            lastError = QStringLiteral("the connection to the server was lost: ") + reason;
        else
            lastError = QStringLiteral("the sign-in as ") + normalisedBareJid(account.jid) +
                        QStringLiteral(" failed: ") + reason;
        raise([q = q] { Q_EMIT q->OnLogoff(); });
        // An error may leave the socket open; nothing is to travel on it any more.
        QTimer::singleShot(0, q, [this] {
            if (client->state() != QXmppClient::DisconnectedState)
                client->disconnectFromServer();
        });
        if (wasConnected)
            Q_EMIT q->connectionLost();
        else
            Q_EMIT q->signInFinished(false);
    }

    // --- stanzas QXmpp has no manager for ------------------------------------------------

    bool handleStanza(const QDomElement &stanza)
    {
        const QString tag = stanza.tagName();
        if (tag == QLatin1String("iq"))
            return handleIq(stanza);
        if (tag == QLatin1String("message"))
            return handleMessage(stanza);
        // Kept for the reason a failed sign-in or a lost connection gives; QXmpp goes on.
        if (tag == QLatin1String("error") && stanza.namespaceURI() == nsStreams)
            streamError = stanza.firstChildElement().tagName();
        else if (tag == QLatin1String("failure") && stanza.namespaceURI() == nsSasl)
            saslFailure = stanza.firstChildElement().tagName();
        return false;
    }

    bool handleIq(const QDomElement &iq)
    {
        const QString type = iq.attribute(QStringLiteral("type"));
        if (type == QLatin1String("result") || type == QLatin1String("error")) {
            const auto pending = pendingIqs.find(iq.attribute(QStringLiteral("id")));
            if (pending == pendingIqs.end() ||
                !answersRequest(iq.attribute(QStringLiteral("from")), pending->to))
                return false;
            const auto onAnswer = std::move(pending->onAnswer);
            pendingIqs.erase(pending);
            onAnswer(iq);
            return true;
        }
        const QDomElement push = iq.firstChildElement();
        if (type == QLatin1String("get") && push.namespaceURI() == nsDiscoInfo)
            return answerDiscoInfo(iq, push);
        if (type != QLatin1String("set") || push.namespaceURI() != nsBlocking)
            return false;
        const bool block = push.tagName() == QLatin1String("block");
        if (!block && push.tagName() != QLatin1String("unblock"))
            return false;
        // Only the account's own server changes its block list.
        const QString from = iq.attribute(QStringLiteral("from"));
        if (!from.isEmpty() && normalisedBareJid(from) != bareJid)
            return false;

        const QStringList jids = itemJids(push);
        if (block) {
            for (const QString &jid : jids) {
                if (!blocked.contains(jid))
                    blocked << jid;
            }
        } else if (jids.isEmpty()) {
            blocked.clear(); // an empty unblock lifts every block
        } else {
            for (const QString &jid : jids)
                blocked.removeAll(jid);
        }
        QXmppIq answer(QXmppIq::Result);
        answer.setId(iq.attribute(QStringLiteral("id")));
        answer.setTo(from);
        client->sendPacket(answer);
        if (status() == ServiceStatus::Connected)
            syncLists();
        return true;
    }

    // What this client is and does, and nothing it does not do: QXmpp's own answer names
    // features (chat states, markers, corrections, encryption) that the program never uses.
    bool answerDiscoInfo(const QDomElement &iq, const QDomElement &query)
    {
        QXmppDiscoveryIq answer;
        answer.setType(QXmppIq::Result);
        answer.setId(iq.attribute(QStringLiteral("id")));
        answer.setTo(iq.attribute(QStringLiteral("from")));
        answer.setQueryType(QXmppDiscoveryIq::InfoQuery);
        answer.setQueryNode(query.attribute(QStringLiteral("node")));
        QXmppDiscoveryIq::Identity identity;
        identity.setCategory(QStringLiteral("client"));
        identity.setType(QStringLiteral("pc"));
        identity.setName(QStringLiteral("Zelmo Extensions"));
        answer.setIdentities({identity});
        QStringList features{QString(nsDiscoInfo), QString(nsPing)};
        for (QXmppClientExtension *extension : client->extensions())
            features << extension->discoveryFeatures();
        features.removeDuplicates();
        features.sort();
        answer.setFeatures(features);
        client->sendPacket(answer);
        return true;
    }

    bool handleMessage(const QDomElement &stanza, bool copied = false)
    {
        // Error, group chat and headline messages are left to QXmpp, which drops them.
        const QString type = stanza.attribute(QStringLiteral("type"));
        if (!type.isEmpty() && type != QLatin1String("chat") && type != QLatin1String("normal"))
            return false;
        for (QDomElement child = stanza.firstChildElement(); !child.isNull();
             child = child.nextSiblingElement()) {
            if (!child.namespaceURI().startsWith(QLatin1String("urn:xmpp:carbons:")))
                continue;
            // What the user wrote from another client is never answered. A copy is trusted
            // only from the account itself, so that nobody can slip in a fake one; a copy
            // inside a copy is never genuine.
            const QString from = stanza.attribute(QStringLiteral("from"));
            if (copied || child.tagName() != QLatin1String("received") ||
                (!from.isEmpty() && normalisedBareJid(from) != bareJid))
                return true;
            // What a contact wrote to another of the account's clients, handled as if written
            // here.
            const QDomElement inner = child.firstChildElement(QStringLiteral("forwarded"))
                                          .firstChildElement(QStringLiteral("message"));
            if (child.firstChildElement(QStringLiteral("forwarded")).namespaceURI() == nsForward &&
                !inner.isNull())
                handleMessage(inner, true);
            return true;
        }

        Incoming message;
        message.id = stanza.attribute(QStringLiteral("id"));
        message.from = stanza.attribute(QStringLiteral("from"));
        message.body = stanza.firstChildElement(QStringLiteral("body")).text();
        if (message.from.isEmpty() || message.body.isEmpty())
            return true;
        message.thread = stanza.firstChildElement(QStringLiteral("thread")).text();
        // Its own delay stamp (offline storage, a server's history) says it was written a
        // while ago. A carbon's stamp sits beside the copy, not in it, and does not count.
        for (const QString &tag : {QStringLiteral("delay"), QStringLiteral("x")}) {
            for (QDomElement d = stanza.firstChildElement(tag); !d.isNull();
                 d = d.nextSiblingElement(tag))
                message.late = message.late || d.namespaceURI() == nsDelay ||
                               d.namespaceURI() == nsLegacyDelay;
        }
        const QDomElement headers = stanza.firstChildElement(QStringLiteral("headers"));
        if (headers.namespaceURI() == nsShim) {
            for (QDomElement h = headers.firstChildElement(QStringLiteral("header")); !h.isNull();
                 h = h.nextSiblingElement(QStringLiteral("header"))) {
                if (h.attribute(QStringLiteral("name"))
                            .compare(autoSubmittedField, Qt::CaseInsensitive) == 0 &&
                    isAutomaticValue(h.text()))
                    message.automatic = true;
            }
        }

        if (status() == ServiceStatus::Synchronizing)
            early.push_back(message); // the roster decides who may write: wait for it
        else if (status() == ServiceStatus::Connected)
            deliver(message);
        return true;
    }

    // Whether a message came before, directly or as a copy: it is answered once.
    bool seenBefore(const Incoming &message)
    {
        if (message.id.isEmpty())
            return false;
        const QString key = normalisedBareJid(message.from) + QLatin1Char('\n') + message.id;
        if (delivered.contains(key))
            return true;
        delivered.insert(key);
        deliveredOrder.push_back(key);
        if (static_cast<int>(deliveredOrder.size()) > kRememberedMessages) {
            delivered.remove(deliveredOrder.front());
            deliveredOrder.pop_front();
        }
        return false;
    }

    void deliver(const Incoming &message)
    {
        if (seenBefore(message))
            return;
        const QString key = normalisedBareJid(message.from);
        // Anyone may write to anyone here, and the greeting lists the online contacts without
        // a code: people outside the roster are not answered unless the user wants it.
        if (!store.contact(key) && !account.acceptStrangers) {
            const QString text = textFromBody(message.body);
            raiseMessage([q = q, key, text] { Q_EMIT q->OnTextFromStranger(key, text); });
            return;
        }
        // One object per address, whichever resource a message comes from.
        const LiveUserPtr user = store.met(key, stateOf(key));
        // The address and the thread go back out in every answer.
        const IMSessionPtr session =
            std::make_shared<XmppSession>(link, xmlSafe(message.from), xmlSafe(message.thread));
        const QString header = incomingHeader(message.automatic, message.late);
        const QString text = textFromBody(message.body);
        raiseMessage([q = q, session, user, header, text] {
            bool enableDefault = true;
            Q_EMIT q->OnTextReceived(session, user, header, text, &enableDefault);
        });
    }

    // --- contacts ------------------------------------------------------------------------

    qint32 stateOf(const QString &jid) const
    {
        const QMap<QString, QXmppPresence> presences = roster->getAllPresencesForBareJid(jid);
        int best = -1;
        Availability availability = Availability::Online;
        for (const QXmppPresence &p : presences) {
            if (p.type() != QXmppPresence::Available)
                continue;
            const Availability a = availabilityOf(p);
            if (best < 0 || availabilityRank(a) < best) {
                best = availabilityRank(a);
                availability = a;
            }
        }
        return best < 0 ? ContactState::Offline : contactStateFor(availability);
    }

    QString rosterName(const QString &jid) const
    {
        const QString name = roster->getRosterEntry(jid).name();
        return name.isEmpty() ? normalisedBareJid(jid) : name;
    }

    bool isBlocked(const QString &key) const
    {
        return blocked.contains(key) || blocked.contains(domainOf(key));
    }

    // Brings the three lists to the roster and the block list.
    void syncLists()
    {
        const QStringList jids = roster->getRosterBareJids();
        QHash<QString, QString> current; // normalised -> as the roster manager knows it
        for (const QString &jid : jids)
            current.insert(normalisedBareJid(jid), jid);
        rosterOrder.erase(std::remove_if(rosterOrder.begin(), rosterOrder.end(),
                                         [&](const QString &k) { return !current.contains(k); }),
                          rosterOrder.end());
        for (const QString &jid : jids) {
            const QString key = normalisedBareJid(jid);
            if (!rosterOrder.contains(key))
                rosterOrder << key;
        }

        LiveState::Lists lists;
        QHash<QString, LiveUserPtr> made;
        const auto userFor = [&](const QString &key, const QString &name) {
            LiveUserPtr &user = made[key];
            if (!user)
                user = store.find(key);
            if (!user)
                user = std::make_shared<LiveUser>(key, name, stateOf(key));
            return user;
        };
        for (const QString &key : std::as_const(rosterOrder)) {
            const QString name = rosterName(current.value(key));
            const LiveUserPtr user = userFor(key, name);
            // A stranger who joins the roster takes the roster's name.
            if (!store.contact(key))
                user->setName(name);
            lists[0].push_back(user);
            if (!isBlocked(key))
                lists[1].push_back(user);
        }
        for (const QString &key : std::as_const(blocked))
            lists[2].push_back(
                userFor(key, current.contains(key) ? rosterName(current.value(key)) : key));
        store.setLists(std::move(lists));
    }

    void onRosterItemChanged(const QString &jid)
    {
        if (status() != ServiceStatus::Connected)
            return;
        if (const LiveUserPtr user = store.contact(normalisedBareJid(jid)))
            store.setName(user, rosterName(jid));
        syncLists();
    }

    void onPresenceChanged(const QString &jid, const QString &resource)
    {
        const QString key = normalisedBareJid(jid);
        if (key == bareJid) {
            if (resource == QXmppUtils::jidToResource(client->configuration().jid()))
                onOwnPresence(roster->getPresence(jid, resource));
            return;
        }
        // Anyone else's state is read when it first joins a list.
        if (const LiveUserPtr user = store.find(key))
            store.setState(user, stateOf(jid));
    }

    // The server sends our presence back to us once it has taken it: only then is the new own
    // state real, which is what the away/back switch waits for.
    void onOwnPresence(const QXmppPresence &presence)
    {
        if (presence.type() != QXmppPresence::Available)
            return;
        ownPresenceSeen = true;
        const qint32 state = localStateFor(availabilityOf(presence));
        if (state != localState) {
            localState = state;
            const ServicePtr s = views.service;
            raise([q = q, state, s] { Q_EMIT q->OnLocalStateChangeResult(kOk, state, s); });
        }
        finishSignInIfReady();
    }

    // --- the nickname --------------------------------------------------------------------

    void publishNickname(const QString &requested)
    {
        // What is stored, and reported back, is what the stream can carry.
        const QString name = xmlSafe(requested);
        // The vCard is read first, so that its other fields are kept.
        QXmppVCardIq request;
        request.setType(QXmppIq::Get);
        const bool sent = sendIq(request, [this, name](const QDomElement &answer) {
            QXmppVCardIq card;
            if (answer.attribute(QStringLiteral("type")) == QLatin1String("result"))
                card.parse(answer);
            card.setType(QXmppIq::Set);
            card.setFrom(QString());
            card.setTo(QString());
            card.setNickName(name);
            const bool stored = sendIq(card, [this, name](const QDomElement &result) {
                nicknameResult(name,
                               result.attribute(QStringLiteral("type")) == QLatin1String("result"));
            });
            if (!stored)
                nicknameResult(name, false);
        });
        if (!sent)
            throw MessengerError(QStringLiteral("SetFriendlyName"),
                                 QStringLiteral("the connection did not take the request"));

        // The nickname contacts' clients show first (XEP-0172); its answer changes nothing.
        QXmppElement nick = element(QStringLiteral("nick"), nsNick);
        nick.setValue(name);
        QXmppElement item = element(QStringLiteral("item"));
        item.appendChild(nick);
        QXmppElement publish = element(QStringLiteral("publish"));
        publish.setAttribute(QStringLiteral("node"), nsNick);
        publish.appendChild(item);
        QXmppElement pubsub = element(QStringLiteral("pubsub"), nsPubSub);
        pubsub.appendChild(publish);
        sendIq(QXmppIq::Set, pubsub, [](const QDomElement &) {});
    }

    void nicknameResult(const QString &name, bool stored)
    {
        const ServicePtr s = views.service;
        raise([q = q, name, stored, s] {
            Q_EMIT q->OnLocalPropertyChangeResult(stored ? kOk : kFailed, kFriendlyNameProperty,
                                                  QVariant(name), s);
        });
    }
};

XmppMessenger::XmppMessenger(XmppAccount account, QObject *parent)
    : MessengerObject(parent)
    , d(std::make_unique<Impl>(this, std::move(account)))
{
    d->client = std::make_unique<QXmppClient>();
    d->roster = d->client->findExtension<QXmppRosterManager>();
    d->hook = new StanzaHook;
    d->hook->handler = [this](const QDomElement &stanza) { return d->handleStanza(stanza); };
    d->client->insertExtension(0, d->hook);
    // The hook answers what this client does; without the manager, presences carry no
    // capabilities hash of QXmpp's longer list either.
    if (auto *discovery = d->client->findExtension<QXmppDiscoveryManager>())
        d->client->removeExtension(discovery); // which deletes it
    // Warnings only: they explain a sign-in that QXmpp gives up on without an error. The
    // stanzas, which hold the password during the sign-in, are never logged.
    d->logger = new QXmppLogger(d->client.get());
    d->logger->setLoggingType(QXmppLogger::SignalLogging);
    d->logger->setMessageTypes(QXmppLogger::WarningMessage);
    d->client->setLogger(d->logger);

    QXmppClient *client = d->client.get();
    connect(d->logger, &QXmppLogger::message, this,
            [this](QXmppLogger::MessageType, const QString &text) { d->lastWarning = text; });
    connect(client, &QXmppClient::connected, this, [this] { d->onConnected(); });
    connect(client, &QXmppClient::disconnected, this, [this] { d->onDisconnected(); });
    connect(client, &QXmppClient::error, this, [this](QXmppClient::Error e) { d->onError(e); });
    connect(client, &QXmppClient::sslErrors, this, [this](const QList<QSslError> &errors) {
        QStringList texts;
        for (const QSslError &e : errors)
            texts << e.errorString();
        d->sslReason = QStringLiteral("the server's certificate is not trusted: ") +
                       texts.join(QStringLiteral("; "));
    });
    connect(d->roster, &QXmppRosterManager::rosterReceived, this, [this] {
        d->rosterReady = true;
        d->finishSignInIfReady();
    });
    connect(d->roster, &QXmppRosterManager::presenceChanged, this,
            [this](const QString &jid, const QString &resource) {
                d->onPresenceChanged(jid, resource);
            });
    connect(d->roster, &QXmppRosterManager::itemAdded, this, [this] {
        if (d->status() == ServiceStatus::Connected)
            d->syncLists();
    });
    connect(d->roster, &QXmppRosterManager::itemRemoved, this, [this] {
        if (d->status() == ServiceStatus::Connected)
            d->syncLists();
    });
    connect(d->roster, &QXmppRosterManager::itemChanged, this,
            [this](const QString &jid) { d->onRosterItemChanged(jid); });

    d->signInTimer.setSingleShot(true);
    connect(&d->signInTimer, &QTimer::timeout, this, [this] {
        d->end(QStringLiteral("no answer from the server within %1 s")
                   .arg(d->account.signInTimeoutMs / 1000));
    });
    d->reconnectTimer.setSingleShot(true);
    connect(&d->reconnectTimer, &QTimer::timeout, this, [this] { d->reconnect(); });
    d->presenceGrace.setSingleShot(true);
    connect(&d->presenceGrace, &QTimer::timeout, this, [this] {
        if (!d->ended && d->status() == ServiceStatus::Synchronizing)
            d->completeSignIn();
    });
}

XmppMessenger::~XmppMessenger()
{
    // The client may still report its end while it is destroyed: no one listens any more.
    QObject::disconnect(d->client.get(), nullptr, this, nullptr);
    QObject::disconnect(d->roster, nullptr, this, nullptr);
    QObject::disconnect(d->logger, nullptr, this, nullptr);
    d->hook->handler = nullptr;
    d->link->client = nullptr;
    d->link->socket = nullptr;
    if (d->client->state() != QXmppClient::DisconnectedState)
        d->client->disconnectFromServer();
}

void XmppMessenger::signIn()
{
    if (d->started)
        return;
    d->started = true;
    const XmppAccount &a = d->account;

    QString refusal;
    const QString server = a.host.isEmpty() ? domainOf(a.jid) : a.host;
    if (!isAccountJid(a.jid))
        refusal = QStringLiteral("'%1' is not an XMPP address (name@domain)").arg(a.jid);
    else if (a.insecurePlaintext && !isLoopbackHost(server))
        refusal = QStringLiteral("a connection without TLS is allowed only to a server on this "
                                 "machine (a loopback address), not to %1")
                      .arg(server);
    if (!refusal.isEmpty()) {
        // Told like any failed sign-in: from the event loop, never from inside this call.
        QTimer::singleShot(0, this, [this, refusal] { d->end(refusal); });
        return;
    }

    QXmppConfiguration config;
    config.setJid(a.jid);
    if (QXmppUtils::jidToResource(a.jid).isEmpty()) {
        // A resource of its own, so that the user's other clients keep theirs.
        config.setResource(QStringLiteral("zelmo.") +
                           QString::number(QRandomGenerator::global()->generate(), 16));
    }
    config.setPassword(a.password);
    if (!a.host.isEmpty()) {
        config.setHost(a.host);
        config.setPort(a.port);
    }
    config.setStreamSecurityMode(a.insecurePlaintext ? QXmppConfiguration::TLSDisabled
                                                     : QXmppConfiguration::TLSRequired);
    config.setIgnoreSslErrors(false);
    // Connections are made again by the backend itself, which knows when to give up.
    config.setAutoReconnectionEnabled(false);
    config.setAutoAcceptSubscriptions(false);
    // Kept in memory only, for signing in again after a dropped connection.
    d->config = config;
    d->account.password.clear();

    d->signInTimer.start(a.signInTimeoutMs);
    d->client->connectToServer(config, QXmppPresence(QXmppPresence::Available));
}

void XmppMessenger::signOut()
{
    if (!d->started || d->ended)
        return;
    d->signingOut = true;
    if (d->reconnecting)
        d->end(QStringLiteral("signed out"));
    else
        d->client->disconnectFromServer();
}

UserCollectionPtr XmppMessenger::GetList(ListKind kind)
{
    return d->views.list(kind);
}

void XmppMessenger::SetLocalState(qint32 state)
{
    if (d->status() != ServiceStatus::Connected || !d->link->client)
        throw MessengerError(QStringLiteral("SetLocalState"), QStringLiteral("not signed in"));
    const auto availability = availabilityForLocalState(state);
    if (!availability)
        throw MessengerError(QStringLiteral("SetLocalState"),
                             QStringLiteral("no presence shows state %1").arg(state));
    const QXmppPresence::AvailableStatusType show = statusTypeFor(*availability);
    QXmppPresence presence = d->client->clientPresence();
    // The state the client has already asked for goes out no second time.
    if (presence.type() == QXmppPresence::Available && presence.availableStatusType() == show)
        return;
    presence.setType(QXmppPresence::Available);
    presence.setAvailableStatusType(show);
    d->wantedPresence = presence;
    d->client->setClientPresence(presence);
}

qint32 XmppMessenger::GetLocalState()
{
    return d->localState;
}

ServiceCollectionPtr XmppMessenger::GetServices()
{
    return d->views.services;
}

qint32 XmppMessenger::GetUnreadMailCount(qint32 folder)
{
    // XMPP has no mailbox.
    Q_UNUSED(folder);
    return 0;
}

qint32 XmppMessenger::serviceStatus() const
{
    return d->status();
}

QString XmppMessenger::lastError() const
{
    return d->lastError;
}

bool XmppMessenger::credentialsRefused() const
{
    return d->credentialsRefused;
}

QString XmppMessenger::accountJid() const
{
    return normalisedBareJid(d->account.jid);
}

void XmppMessenger::setFriendlyName(const QString &name)
{
    if (d->status() != ServiceStatus::Connected || !d->link->client)
        throw MessengerError(QStringLiteral("SetFriendlyName"), QStringLiteral("not signed in"));
    d->publishNickname(name);
}

} // namespace zelmo::xmpp
