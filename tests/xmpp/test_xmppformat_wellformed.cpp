// A server ends the stream on the first character XML forbids: whatever the text (a joke, an
// away message, a contact's words), the body and the XHTML-IM markup must be well-formed.

#include "platform/messenger/xmpp/xmppformat.h"

#include "support/printers.h"

#include <QRandomGenerator>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

using namespace zelmo::xmpp;

TEST(XmppFormatWellFormed, RandomTextGivesWellFormedMarkupAndOrdinaryTextIsKept)
{
    const QString ordinary = QStringLiteral("Hi <you> & \"me\"\ttab Grüße 日本 😀 \x7F\uE000\uFFFD");
    EXPECT_EQ(bodyFromText(ordinary), ordinary);

    // Forbidden controls, non-characters, lone and reversed surrogates among ordinary text.
    const QChar pieces[] = {QChar(0),      QChar(1),      QChar(0x0C),   QChar(0x1F), QChar(0xFFFE),
                            QChar(0xFFFF), QChar(0xD83D), QChar(0xDE00), QChar('<'),  QChar('&'),
                            QChar('a'),    QChar('\r'),   QChar('\n')};
    QRandomGenerator random(20240611);
    TextFormat format;
    format.font = QStringLiteral("Arial");
    for (int round = 0; round < 3000; ++round) {
        QString text;
        for (int n = random.bounded(25); n > 0; --n)
            text += pieces[random.bounded(static_cast<int>(std::size(pieces)))];
        const QString body = bodyFromText(text);
        EXPECT_EQ(QString::fromUtf8(body.toUtf8()), body) << "a lone surrogate is left";
        const QString xml = "<html xmlns='http://jabber.org/protocol/xhtml-im'><body "
                            "xmlns='http://www.w3.org/1999/xhtml'>" +
                            xhtmlFor(text, format) + "</body></html>";
        QXmlStreamReader reader(xml);
        while (!reader.atEnd())
            reader.readNext();
        ASSERT_FALSE(reader.hasError()) << reader.errorString() << " in " << xml;
        ASSERT_EQ(QString::fromUtf8(xml.toUtf8()), xml);
    }
}
