#pragma once

#include <QString>

namespace zelmo {

// What names a messenger account across runs and backends: one key for one account, whether
// the program signs in itself (--xmpp) or works through the user's libpurple client. The
// lock that keeps a second copy off the account and the file of its record follow it.

// "xmpp:" and the bare address as XMPP compares it (no resource, lower case).
QString xmppAccountKey(const QString &jid);
// A libpurple account: its XMPP accounts ("prpl-jabber") as above; the others
// "purple:<protocol>:<name>", the name without the resource some protocols add.
QString purpleAccountKey(const QString &protocolId, const QString &name);
// The account as the user knows it, for messages: the key without its prefix.
QString shownAccount(const QString &key);

} // namespace zelmo
