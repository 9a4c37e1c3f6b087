// Reply text from the joke file, an away message or a contact may hold characters that XML
// forbids, and a server ends the stream on the first one: the body and the XHTML-IM markup
// must be well-formed whatever the text, and ordinary text must come through as it was.

#include "platform/messenger/xmpp/xmppformat.h"

#include "support/printers.h"

#include <QRandomGenerator>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

#include <iterator>
#include <utility>

using namespace zelmo::xmpp;

namespace {

const QChar Fffd = QChar::ReplacementCharacter;
const QChar High(0xD83D), Low(0xDE00); // together U+1F600

QString str(std::initializer_list<QChar> chars)
{
    return QString(chars.begin(), static_cast<int>(chars.size()));
}

// The XHTML-IM part as the message carries it. The reader rejects forbidden characters but
// not lone surrogates, which only the trip through UTF-8 shows.
testing::AssertionResult wellFormedXhtml(const QString &markup)
{
    const QString xml = QStringLiteral("<html xmlns='http://jabber.org/protocol/xhtml-im'>"
                                       "<body xmlns='http://www.w3.org/1999/xhtml'>") +
                        markup + QStringLiteral("</body></html>");
    QXmlStreamReader reader(xml);
    while (!reader.atEnd())
        reader.readNext();
    if (reader.hasError())
        return testing::AssertionFailure() << reader.errorString() << " in " << xml;
    if (QString::fromUtf8(xml.toUtf8()) != xml)
        return testing::AssertionFailure() << "a lone surrogate in " << xml;
    return testing::AssertionSuccess();
}

TextFormat arialBold()
{
    TextFormat format;
    format.font = QStringLiteral("Arial");
    format.colour = QStringLiteral("#000080");
    format.bold = true;
    return format;
}

TEST(XmppFormatWellFormed, OrdinaryTextComesThroughUnchanged)
{
    const QString texts[] = {
        QStringLiteral("Hello, <World> & \"you\"\ttab"),
        QStringLiteral("Grüße ½ € 日本 😀 \x7F"),
        str({QChar(0xD7FF), QChar(0xE000), Fffd, QChar(0x20)}),
    };
    for (const QString &text : texts) {
        EXPECT_EQ(xmlSafe(text), text);
        EXPECT_EQ(bodyFromText(text), text);
    }
}

TEST(XmppFormatWellFormed, RandomTextGivesAWellFormedBodyAndXhtml)
{
    // Each piece with the body it gives. A lone surrogate is kept apart from its neighbours,
    // so that two pieces never make a pair.
    const std::pair<QString, QString> pieces[] = {
        {QStringLiteral("a"), QStringLiteral("a")},
        {QStringLiteral(" "), QStringLiteral(" ")},
        {QStringLiteral("<"), QStringLiteral("<")},
        {QStringLiteral("&amp;"), QStringLiteral("&amp;")},
        {QStringLiteral(">"), QStringLiteral(">")},
        {QStringLiteral("\r\n"), QStringLiteral("\n")},
        {QStringLiteral("\t"), QStringLiteral("\t")},
        {QStringLiteral("ü€"), QStringLiteral("ü€")},
        {str({High, Low}), str({High, Low})},
        {str({QChar(0)}), Fffd},
        {str({QChar(0x01)}), Fffd},
        {str({QChar(0x0C)}), Fffd},
        {str({QChar(0x1F)}), Fffd},
        {str({QChar(0xFFFE)}), Fffd},
        {str({QChar(0xFFFF)}), Fffd},
        {str({High, QLatin1Char('x')}), str({Fffd, QLatin1Char('x')})},
        {str({QLatin1Char('x'), Low}), str({QLatin1Char('x'), Fffd})},
        {str({QLatin1Char('x'), Low, High, QLatin1Char('x')}),
         str({QLatin1Char('x'), Fffd, Fffd, QLatin1Char('x')})}, // the wrong way round
        {str({High, High, Low}), str({Fffd, High, Low})},
    };
    const int pieceCount = static_cast<int>(std::size(pieces));
    QRandomGenerator random(20240611);
    for (int round = 0; round < 3000; ++round) {
        QString text, body;
        for (int n = random.bounded(25); n > 0; --n) {
            const auto &[piece, expected] = pieces[random.bounded(pieceCount)];
            text += piece;
            body += expected;
        }
        if (random.bounded(4) == 0) { // a lone surrogate that ends the text
            text += High;
            body += Fffd;
        }
        ASSERT_EQ(bodyFromText(text), body) << "round " << round;
        ASSERT_TRUE(wellFormedXhtml(xhtmlFor(text, arialBold()))) << "round " << round;
        ASSERT_TRUE(wellFormedXhtml(xhtmlFor(text, TextFormat()))) << "round " << round;
    }
}

} // namespace
