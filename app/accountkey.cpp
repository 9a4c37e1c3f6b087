#include "app/accountkey.h"

#include "platform/messenger/xmpp/xmppformat.h"

namespace zelmo {

QString xmppAccountKey(const QString &jid)
{
    return QStringLiteral("xmpp:") + xmpp::normalisedBareJid(jid);
}

QString purpleAccountKey(const QString &protocolId, const QString &name)
{
    if (protocolId == QLatin1String("prpl-jabber"))
        return xmppAccountKey(name);
    return QStringLiteral("purple:") + protocolId + QLatin1Char(':') +
           name.section(QLatin1Char('/'), 0, 0);
}

QString shownAccount(const QString &key)
{
    return key.section(QLatin1Char(':'), key.startsWith(QLatin1String("purple:")) ? 2 : 1);
}

} // namespace zelmo
