#include "platform/messenger/xmpp/xmppformat.h"

#include "messenger/messenger.h"

#include <QHostAddress>
#include <QStringList>

namespace zelmo::xmpp {

QString normalisedBareJid(const QString &jid)
{
    const int slash = jid.indexOf(QLatin1Char('/'));
    return (slash < 0 ? jid : jid.left(slash)).trimmed().toLower();
}

QString domainOf(const QString &jid)
{
    const QString bare = normalisedBareJid(jid);
    return bare.mid(bare.indexOf(QLatin1Char('@')) + 1);
}

bool isAccountJid(const QString &jid)
{
    const QString bare = jid.section(QLatin1Char('/'), 0, 0);
    const int at = bare.indexOf(QLatin1Char('@'));
    if (at <= 0 || at == bare.size() - 1 || bare.indexOf(QLatin1Char('@'), at + 1) >= 0)
        return false;
    for (const QChar c : jid) {
        if (c.isSpace())
            return false;
    }
    const int slash = jid.indexOf(QLatin1Char('/'));
    return slash < 0 || slash < jid.size() - 1;
}

int availabilityRank(Availability availability)
{
    return static_cast<int>(availability);
}

namespace {

// The own state each presence stands for. A presence sent for a state is the first one with
// it: "chat" is only ever read.
struct AvailabilityRow {
    Availability availability;
    qint32 state;
};
constexpr AvailabilityRow availabilityRows[] = {
    {Availability::Online, LocalState::Online},     {Availability::Chat, LocalState::Online},
    {Availability::Away, LocalState::Away},         {Availability::ExtendedAway, LocalState::Idle},
    {Availability::DoNotDisturb, LocalState::Busy},
};

} // namespace

qint32 contactStateFor(Availability availability)
{
    for (const AvailabilityRow &row : availabilityRows) {
        if (row.availability == availability)
            return row.state;
    }
    return ContactState::Offline;
}

qint32 localStateFor(Availability availability)
{
    // The own state uses the same codes as the contacts' states.
    return contactStateFor(availability);
}

std::optional<Availability> availabilityForLocalState(qint32 state)
{
    for (const AvailabilityRow &row : availabilityRows) {
        if (row.state == state)
            return row.availability;
    }
    return std::nullopt;
}

QString bodyFromText(const QString &text)
{
    return withLineBreaks(xmlSafe(text), QLatin1String("\n"));
}

QString textFromBody(const QString &body)
{
    return withLineBreaks(xmlSafe(body), QLatin1String("\r\n"));
}

QString incomingHeader(bool autoSubmitted, bool late)
{
    static const QString plain = QStringLiteral("MIME-Version: 1.0\r\n"
                                                "Content-Type: text/plain; charset=UTF-8\r\n");
    static const QString usual = plain + QStringLiteral("\r\n");
    if (!autoSubmitted && !late)
        return usual;
    return plain + (autoSubmitted ? autoRepliedHeaderLine() : QString()) +
           (late ? lateDeliveryHeaderLine() : QString()) + QStringLiteral("\r\n");
}

QString xhtmlFor(const QString &text, const TextFormat &format)
{
    QStringList style;
    if (!format.font.isEmpty()) {
        // A name with blanks is quoted, as CSS wants it.
        const QString font = format.font.contains(QLatin1Char(' '))
                                 ? QString(QLatin1Char('\'') + format.font + QLatin1Char('\''))
                                 : format.font;
        style << QStringLiteral("font-family: ") + font;
    }
    if (!format.colour.isEmpty())
        style << QStringLiteral("color: ") + format.colour;
    if (format.bold)
        style << QStringLiteral("font-weight: bold");
    if (format.italic)
        style << QStringLiteral("font-style: italic");
    if (format.underline || format.strikeOut) {
        QStringList lines;
        if (format.underline)
            lines << QStringLiteral("underline");
        if (format.strikeOut)
            lines << QStringLiteral("line-through");
        style << QStringLiteral("text-decoration: ") + lines.join(QLatin1Char(' '));
    }

    // XHTML folds runs of blanks into one, which would undo the aligned columns of the help
    // menu: every blank that starts a line or follows another becomes a no-break space.
    QString markup;
    markup.reserve(text.size() + 64);
    const QStringList lines = bodyFromText(text).split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        if (i > 0)
            markup += QLatin1String("<br/>");
        bool blankBefore = true;
        for (const QChar c : lines.at(i)) {
            if (c == QLatin1Char(' ')) {
                markup += blankBefore ? QChar(0x00A0) : c;
                blankBefore = true;
                continue;
            }
            blankBefore = false;
            if (c == QLatin1Char('<'))
                markup += QLatin1String("&lt;");
            else if (c == QLatin1Char('>'))
                markup += QLatin1String("&gt;");
            else if (c == QLatin1Char('&'))
                markup += QLatin1String("&amp;");
            else
                markup += c;
        }
    }
    if (style.isEmpty())
        return markup;
    return QStringLiteral("<span style=\"") + style.join(QLatin1String("; ")) +
           QStringLiteral("\">") + markup + QStringLiteral("</span>");
}

std::optional<ServerAddress> parseServerAddress(const QString &text, QString *error)
{
    ServerAddress address;
    QString portText;
    const QString t = text.trimmed();
    if (t.startsWith(QLatin1Char('['))) {
        const int close = t.indexOf(QLatin1Char(']'));
        if (close < 0) {
            *error = QStringLiteral("'%1' opens a [ but does not close it").arg(text);
            return std::nullopt;
        }
        address.host = t.mid(1, close - 1);
        const QString rest = t.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':'))) {
                *error = QStringLiteral("'%1' is not HOST, HOST:PORT or [ADDRESS]:PORT").arg(text);
                return std::nullopt;
            }
            portText = rest.mid(1);
        }
    } else if (t.count(QLatin1Char(':')) == 1) {
        address.host = t.section(QLatin1Char(':'), 0, 0);
        portText = t.section(QLatin1Char(':'), 1);
    } else {
        // No colon, or a bare IPv6 address without a port.
        address.host = t;
    }
    if (address.host.isEmpty()) {
        *error = QStringLiteral("'%1' names no host").arg(text);
        return std::nullopt;
    }
    if (!portText.isNull()) {
        bool ok = false;
        const uint port = portText.toUInt(&ok);
        if (!ok || port == 0 || port > 65535) {
            *error = QStringLiteral("'%1' is not a port number (1 to 65535)").arg(portText);
            return std::nullopt;
        }
        address.port = static_cast<quint16>(port);
    }
    return address;
}

bool isLoopbackHost(const QString &host)
{
    QString h = host.trimmed();
    if (h.startsWith(QLatin1Char('[')) && h.endsWith(QLatin1Char(']')))
        h = h.mid(1, h.size() - 2);
    if (h.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(h);
    return !address.isNull() && address.isLoopback();
}

} // namespace zelmo::xmpp
