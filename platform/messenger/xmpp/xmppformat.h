#pragma once

// Translations between the messenger boundary's conventions and XMPP's. They hold no QXmpp
// type, so they are tested without a server.

#include "platform/messenger/replyformat.h"

#include <QString>

#include <optional>

namespace zelmo::xmpp {

// XMPP compares the local part and the domain of an address without regard to case; the
// resource names one connection of the account and is dropped here.
QString normalisedBareJid(const QString &jid);
QString domainOf(const QString &jid);
// local@domain, with an optional /resource; nothing else is an account.
bool isAccountJid(const QString &jid);

// A presence's availability, from the most available to the least.
enum class Availability { Chat, Online, Away, ExtendedAway, DoNotDisturb };

// Lower is more available: the contact's state follows its most available connection.
int availabilityRank(Availability availability);
qint32 contactStateFor(Availability availability);
qint32 localStateFor(Availability availability);
// The presence to send for a requested own state; nothing for a state XMPP cannot show.
std::optional<Availability> availabilityForLocalState(qint32 state);

// The program writes lines ended by CR LF, as its first client did; XMPP bodies use LF. The
// body holds only what XML allows (xmlSafe).
QString bodyFromText(const QString &text);
QString textFromBody(const QString &body);

// The header argument of OnTextReceived for an incoming message: marked when it was sent by a
// machine, or delivered late (it carries a delay stamp of its own).
QString incomingHeader(bool autoSubmitted, bool late = false);

// The reply header's format line, read as the other backends read it.
using zelmo::formatFromHeader;
using zelmo::TextFormat;
using zelmo::xmlSafe;

// The inner markup of an XHTML-IM body that shows text in that format; well-formed whatever
// the text holds.
QString xhtmlFor(const QString &text, const TextFormat &format);

// Where to connect: --server HOST[:PORT], with [v6]:PORT for IPv6 addresses.
struct ServerAddress {
    QString host;
    quint16 port = 5222;
};
std::optional<ServerAddress> parseServerAddress(const QString &text, QString *error);
// 127.0.0.0/8, ::1 and the name localhost.
bool isLoopbackHost(const QString &host);

} // namespace zelmo::xmpp
