#include "xmpp/support/xmppcontact.h"

#include "platform/messenger/xmpp/qxmpp.h"
#include "support/waituntil.h"
#include "xmpp/support/prosodyserver.h"

#include <QDomElement>
#include <QHash>
#include <QSslSocket>
#include <QTextStream>

#include <functional>

namespace zelmo::test {

namespace {

constexpr QLatin1String nsShim("http://jabber.org/protocol/shim");
constexpr QLatin1String nsXhtmlIm("http://jabber.org/protocol/xhtml-im");

QXmppElement element(const QString &tag, const QString &xmlns = QString())
{
    QXmppElement e;
    e.setTagName(tag);
    if (!xmlns.isEmpty())
        e.setAttribute(QStringLiteral("xmlns"), xmlns);
    return e;
}

QString markupOf(const QDomElement &parent)
{
    QString markup;
    QTextStream out(&markup);
    for (QDomNode n = parent.firstChild(); !n.isNull(); n = n.nextSibling())
        n.save(out, -1);
    out.flush();
    // The DOM writes the XHTML namespace on every element; a client reads it as one.
    return markup.remove(QStringLiteral(" xmlns=\"http://www.w3.org/1999/xhtml\""));
}

const QStringList showNames = {QStringLiteral("online"), QStringLiteral("away"),
                               QStringLiteral("xa"),     QStringLiteral("dnd"),
                               QStringLiteral("chat"),   QStringLiteral("invisible")};

class Recorder : public QXmppClientExtension {
public:
    std::function<bool(const QDomElement &)> handler;
    bool handleStanza(const QDomElement &stanza) override { return handler && handler(stanza); }
};

} // namespace

struct XmppContact::Impl {
    QString user;
    QString resource;
    QXmppConfiguration config;
    QXmppClient client;
    QXmppRosterManager *roster = nullptr;
    Recorder *recorder = nullptr;
    bool rosterReceived = false;
    QList<Message> messages;
    QHash<QString, int> presences;
    QHash<QString, std::function<void(const QDomElement &)>> pending;
    int nextId = 0;

    bool handle(const QDomElement &stanza)
    {
        if (stanza.tagName() == QLatin1String("iq")) {
            const auto it = pending.find(stanza.attribute(QStringLiteral("id")));
            if (it == pending.end())
                return false;
            const auto onAnswer = std::move(it.value());
            pending.erase(it);
            onAnswer(stanza);
            return true;
        }
        if (stanza.tagName() != QLatin1String("message"))
            return false;
        Message m;
        m.from = stanza.attribute(QStringLiteral("from"));
        m.type = stanza.attribute(QStringLiteral("type"));
        m.body = stanza.firstChildElement(QStringLiteral("body")).text();
        m.thread = stanza.firstChildElement(QStringLiteral("thread")).text();
        const QDomElement html = stanza.firstChildElement(QStringLiteral("html"));
        if (html.namespaceURI() == nsXhtmlIm)
            m.xhtml = markupOf(html.firstChildElement(QStringLiteral("body")));
        const QDomElement headers = stanza.firstChildElement(QStringLiteral("headers"));
        if (headers.namespaceURI() == nsShim) {
            for (QDomElement h = headers.firstChildElement(); !h.isNull();
                 h = h.nextSiblingElement()) {
                if (h.attribute(QStringLiteral("name")) == QLatin1String("Auto-Submitted") &&
                    h.text() == QLatin1String("auto-replied"))
                    m.autoSubmitted = true;
            }
        }
        messages << m;
        return false;
    }

    // Sends an IQ and waits for its answer, which onAnswer reads; false without one.
    bool ask(QXmppIq &iq, std::function<void(const QDomElement &)> onAnswer, int timeoutMs = 10000)
    {
        iq.setId(QStringLiteral("contact-") + QString::number(++nextId));
        bool answered = false;
        pending.insert(iq.id(), [&answered, onAnswer](const QDomElement &answer) {
            answered = true;
            onAnswer(answer);
        });
        if (!client.sendPacket(iq)) {
            pending.remove(iq.id());
            return false;
        }
        const QString id = iq.id();
        if (waitUntil([&] { return answered; }, timeoutMs))
            return true;
        pending.remove(id);
        return false;
    }

    bool askOk(QXmppIq &iq)
    {
        bool ok = false;
        return ask(iq,
                   [&ok](const QDomElement &answer) {
                       ok = answer.attribute(QStringLiteral("type")) == QLatin1String("result");
                   }) &&
               ok;
    }
};

XmppContact::XmppContact(const ProsodyServer &server, const QString &user, const QString &resource,
                         const QString &password)
    : d(std::make_unique<Impl>())
{
    d->user = user;
    d->resource = resource;
    d->config = server.clientConfig(user, resource, password);
    d->roster = d->client.findExtension<QXmppRosterManager>();
    d->recorder = new Recorder;
    d->recorder->handler = [this](const QDomElement &stanza) { return d->handle(stanza); };
    d->client.insertExtension(0, d->recorder);
    QObject::connect(d->roster, &QXmppRosterManager::rosterReceived, &d->client,
                     [this] { d->rosterReceived = true; });
    QObject::connect(d->roster, &QXmppRosterManager::presenceChanged, &d->client,
                     [this](const QString &bare, const QString &) { ++d->presences[bare]; });
}

XmppContact::~XmppContact()
{
    // The client's last signals must not reach what is already gone.
    QObject::disconnect(d->roster, nullptr, &d->client, nullptr);
    d->recorder->handler = nullptr;
    d->client.disconnectFromServer();
}

bool XmppContact::connect(int timeoutMs)
{
    d->rosterReceived = false;
    d->client.connectToServer(d->config);
    return waitUntil([this] { return d->client.isAuthenticated() && d->rosterReceived; },
                     timeoutMs);
}

void XmppContact::disconnect()
{
    d->client.disconnectFromServer();
    waitUntil([this] { return d->client.state() == QXmppClient::DisconnectedState; }, 10000);
}

QString XmppContact::bareJid() const
{
    return ProsodyServer::jid(d->user);
}

QString XmppContact::jid() const
{
    return bareJid() + QLatin1Char('/') + d->resource;
}

void XmppContact::send(const QString &to, const QString &body, const SendOptions &options)
{
    QXmppMessage message(QString(), to, body, options.thread);
    message.setId(QStringLiteral("m") + QString::number(++d->nextId));
    QXmppElementList extensions;
    if (options.autoSubmitted) {
        QXmppElement header = element(QStringLiteral("header"));
        header.setAttribute(QStringLiteral("name"), QStringLiteral("Auto-Submitted"));
        header.setValue(QStringLiteral("auto-replied"));
        QXmppElement headers = element(QStringLiteral("headers"), nsShim);
        headers.appendChild(header);
        extensions << headers;
    }
    if (!options.carbonOf.isEmpty()) {
        QXmppElement inner = element(QStringLiteral("message"), QStringLiteral("jabber:client"));
        inner.setAttribute(QStringLiteral("from"), options.carbonOf);
        inner.setAttribute(QStringLiteral("to"), to);
        inner.setAttribute(QStringLiteral("type"), QStringLiteral("chat"));
        QXmppElement text = element(QStringLiteral("body"));
        text.setValue(body);
        inner.appendChild(text);
        QXmppElement forwarded =
            element(QStringLiteral("forwarded"), QStringLiteral("urn:xmpp:forward:0"));
        forwarded.appendChild(inner);
        QXmppElement copy =
            element(QStringLiteral("received"), QStringLiteral("urn:xmpp:carbons:2"));
        copy.appendChild(forwarded);
        extensions << copy;
    }
    if (!options.delayStamp.isEmpty()) {
        QXmppElement delay = element(QStringLiteral("delay"), QStringLiteral("urn:xmpp:delay"));
        delay.setAttribute(QStringLiteral("stamp"), options.delayStamp);
        extensions << delay;
    }
    message.setExtensions(extensions);
    if (!options.xhtml.isEmpty())
        message.setXhtml(options.xhtml);
    static const QHash<QString, QXmppMessage::Type> types = {
        {QStringLiteral("chat"), QXmppMessage::Chat},
        {QStringLiteral("normal"), QXmppMessage::Normal},
        {QStringLiteral("error"), QXmppMessage::Error},
        {QStringLiteral("groupchat"), QXmppMessage::GroupChat},
        {QStringLiteral("headline"), QXmppMessage::Headline}};
    message.setType(types.value(options.type, QXmppMessage::Chat));
    d->client.sendPacket(message);
}

bool XmppContact::flush(int timeoutMs)
{
    QXmppIq ping(QXmppIq::Get);
    ping.setTo(ProsodyServer::domain());
    ping.setExtensions({element(QStringLiteral("ping"), QStringLiteral("urn:xmpp:ping"))});
    return d->ask(
        ping, [](const QDomElement &) {}, timeoutMs);
}

bool XmppContact::waitForMessages(int count, int timeoutMs)
{
    return waitUntil([&] { return d->messages.size() >= count; }, timeoutMs);
}

const QList<XmppContact::Message> &XmppContact::messages() const
{
    return d->messages;
}

QStringList XmppContact::bodies() const
{
    QStringList out;
    for (const Message &m : d->messages)
        out << m.body;
    return out;
}

void XmppContact::clearMessages()
{
    d->messages.clear();
}

void XmppContact::setShow(const QString &show, int priority)
{
    QXmppPresence presence(QXmppPresence::Available);
    presence.setAvailableStatusType(
        static_cast<QXmppPresence::AvailableStatusType>(qMax(0, showNames.indexOf(show))));
    presence.setPriority(priority);
    d->client.setClientPresence(presence);
}

QStringList XmppContact::features(const QString &fullJid)
{
    auto *discovery = d->client.findExtension<QXmppDiscoveryManager>();
    QStringList features;
    bool answered = false;
    const QMetaObject::Connection c = QObject::connect(
        discovery, &QXmppDiscoveryManager::infoReceived, [&](const QXmppDiscoveryIq &iq) {
            features = iq.features();
            answered = true;
        });
    discovery->requestInfo(fullJid);
    waitUntil([&] { return answered; }, 10000);
    QObject::disconnect(c);
    return features;
}

QString XmppContact::showOf(const QString &bareJid) const
{
    const auto presences = d->roster->getAllPresencesForBareJid(bareJid);
    for (const QXmppPresence &p : presences) {
        if (p.type() == QXmppPresence::Available)
            return showNames.value(static_cast<int>(p.availableStatusType()));
    }
    return QStringLiteral("unavailable");
}

int XmppContact::presencesFrom(const QString &bareJid) const
{
    return d->presences.value(bareJid);
}

bool XmppContact::addRosterItem(const QString &bareJid, const QString &name)
{
    QXmppRosterIq iq;
    iq.setType(QXmppIq::Set);
    QXmppRosterIq::Item item;
    item.setBareJid(bareJid);
    item.setName(name);
    iq.addItem(item);
    return d->askOk(iq);
}

bool XmppContact::renameRosterItem(const QString &bareJid, const QString &name)
{
    return addRosterItem(bareJid, name);
}

bool XmppContact::removeRosterItem(const QString &bareJid)
{
    QXmppRosterIq iq;
    iq.setType(QXmppIq::Set);
    QXmppRosterIq::Item item;
    item.setBareJid(bareJid);
    item.setSubscriptionType(QXmppRosterIq::Item::Remove);
    iq.addItem(item);
    return d->askOk(iq);
}

bool XmppContact::block(const QString &bareJid, bool blocked)
{
    QXmppElement item = element(QStringLiteral("item"));
    item.setAttribute(QStringLiteral("jid"), bareJid);
    QXmppElement change = element(blocked ? QStringLiteral("block") : QStringLiteral("unblock"),
                                  QStringLiteral("urn:xmpp:blocking"));
    change.appendChild(item);
    QXmppIq iq(QXmppIq::Set);
    iq.setExtensions({change});
    return d->askOk(iq);
}

QString XmppContact::vCardNickname(const QString &bareJid, QString *fullName)
{
    QXmppVCardIq iq(bareJid);
    QString nickname;
    d->ask(iq, [&nickname, fullName](const QDomElement &answer) {
        QXmppVCardIq card;
        card.parse(answer);
        nickname = card.nickName();
        if (fullName)
            *fullName = card.fullName();
    });
    return nickname;
}

void XmppContact::forgeVCardResults(const QString &to, int count, const QString &fullName)
{
    QXmppVCardIq card(to); // takes the counter's present number
    card.setType(QXmppIq::Result);
    card.setFullName(fullName);
    for (uint last = card.id().mid(5).toUInt(); count-- > 0;) {
        card.setId(QStringLiteral("qxmpp%1").arg(++last));
        d->client.sendPacket(card);
    }
    d->client.findChild<QSslSocket *>()->flush();
}

QString XmppContact::pepNick(const QString &bareJid)
{
    QXmppElement items = element(QStringLiteral("items"));
    items.setAttribute(QStringLiteral("node"), QStringLiteral("http://jabber.org/protocol/nick"));
    QXmppElement pubsub =
        element(QStringLiteral("pubsub"), QStringLiteral("http://jabber.org/protocol/pubsub"));
    pubsub.appendChild(items);
    QXmppIq iq(QXmppIq::Get);
    iq.setTo(bareJid);
    iq.setExtensions({pubsub});
    QString nick;
    d->ask(iq, [&nick](const QDomElement &answer) {
        nick = answer.firstChildElement(QStringLiteral("pubsub"))
                   .firstChildElement(QStringLiteral("items"))
                   .firstChildElement(QStringLiteral("item"))
                   .firstChildElement(QStringLiteral("nick"))
                   .text();
    });
    return nick;
}

} // namespace zelmo::test
