#include "core/reply.h"

#include "messenger/messengererror.h"

namespace zelmo {

namespace {

QString buildHeader(const QString &co)
{
    const QString crlf = QStringLiteral("\r\n");
    return QStringLiteral("MIME-Version: 1.0") + crlf +
           QStringLiteral("Content-Type: text/plain; charset=UTF-8") + crlf +
           QStringLiteral("X-MMS-IM-Format: FN=Arial; EF=; CO=") + co +
           QStringLiteral("; CS=0; PF=22") + crlf + crlf;
}

} // namespace

QString ReplyHeader(ReplyColour colour)
{
    // Built once: every reply line carries one of the two.
    static const QString darkBlue = buildHeader(QStringLiteral("800000"));
    static const QString black = buildHeader(QStringLiteral("0"));
    return colour == ReplyColour::DarkBlue ? darkBlue : black;
}

Reply::Reply(IMSessionPtr session, ReplyColour colour, const bool *silenced)
    : m_session(std::move(session))
    , m_colour(colour)
    , m_silenced(silenced)
{
}

bool Reply::send(const QString &line)
{
    if (!m_session || (m_silenced && *m_silenced))
        return false;
    const bool sent = skipOnFailure([&] {
        qint32 cookie = 0;
        m_session->SendText(ReplyHeader(m_colour), line, TextMessageType, &cookie);
    });
    if (sent && m_sentCount++ == 0)
        m_firstSent = line;
    return sent;
}

} // namespace zelmo
