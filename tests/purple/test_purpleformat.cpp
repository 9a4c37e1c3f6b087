// A libpurple client hands over what a contact typed as markup, and shows what the program
// sends as markup: commands must come out as typed, replies must show as written.

#include "platform/messenger/purple/purpleformat.h"

#include "support/printers.h"

#include <QElapsedTimer>
#include <QRandomGenerator>

#include <gtest/gtest.h>

using namespace zelmo::purple;

TEST(PurpleFormat, MarkupFromClientsGivesTheTypedText)
{
    const struct {
        const char *markup;
        const char *text;
    } cases[] = {
        {R"(<font color="#ff0000"><b>|help|</b></font>)", "|help|"},
        {"<span style='font-size: small; color: #0000ff'>|HeLp|</span>", "|HeLp|"},
        {R"(<html><body><FONT FACE="Arial" SIZE=3>|beep|</FONT></body></html>)", "|beep|"},
        {"a &lt;b&gt; &amp; c<br>two", "a <b> & c\r\ntwo"},
        {"x&nbsp;y &NBSP;z &quot;&apos;&LT;", "x y  z \"'<"},
        {"&#x1F600;&#65;&#X42;", "😀AB"},
        {"1<BR>2<br/>3<br clear=\"all\" />4\n5\r\n6\r7", "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7"},
        {"a\r<br>b</br>c", "a\r\n\r\nbc"},
        {R"(<a href="x>y">link</a> <a href='http://h/?a=1&amp;b=2'>h</a>)", "link h"},
        {"<p>one</p><p>two</p></div>", "one\r\ntwo"},
        {"<div>a</div></p>b<p>c", "a\r\nbc"},
        // Not markup: kept as it is.
        {"a < b > c, <3, x <", "a < b > c, <3, x <"},
        {"AT&T &bogus; &amp &#; &#0; &#xD800; &#99999999; &#x110000;",
         "AT&T &bogus; &amp &#; &#0; &#xD800; &#99999999; &#x110000;"},
        {"<b unterminated", "<b unterminated"},
        // A quote that never closes: the tags end at their first '>'.
        {R"(<a x="y>z</a><b>w)", "zw"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(textFromMarkup(QString::fromUtf8(c.markup)), QString::fromUtf8(c.text))
            << c.markup;
}

TEST(PurpleFormat, ReplyShowsTheHeadersFontAndColour)
{
    const QString text = QStringLiteral("a<b & \"c\"\r\nü");
    const QString escaped = QStringLiteral("a&lt;b &amp; &quot;c&quot;<br>ü");
    EXPECT_EQ(
        replyMarkup(QStringLiteral("X-MMS-IM-Format: FN=Arial; EF=; CO=800000; CS=0\r\n"), text),
        QString(R"(<font face="Arial" color="#000080">)" + escaped + "</font>"));
    EXPECT_EQ(replyMarkup(QStringLiteral("X-MMS-IM-Format: FN=; EF=BU; CO=0\r\n"), text),
              QString(R"(<font color="#000000"><b><u>)" + escaped + "</u></b></font>"));
    EXPECT_EQ(replyMarkup(QStringLiteral("MIME-Version: 1.0\r\n"), text), escaped);
}

TEST(PurpleFormat, RandomTextSurvivesTheRoundTripAndGarbageEnds)
{
    const char *textPieces[] = {"<",  ">", "&", "&amp;", "&#", ";", "\"",   "\r\n",   " ",   "  ",
                                "\t", "a", "Z", "ü",     "日", "😀", "<br>", "&nbsp;", "#x41"};
    const char *garbagePieces[] = {"<",  "<b",    ">",  "<br", "/>", "&",           "&#x",
                                   "&#", "&#10;", ";",  "\"",  "'",  "&#99999999;", "=",
                                   "a",  "\n",    "\r", "</p", "<!", "&lt"};
    const QString header = QStringLiteral("X-MMS-IM-Format: FN=Arial; EF=BISU; CO=800000\r\n");
    QRandomGenerator random(20240612);
    const auto build = [&random](const auto &pieces) {
        QString s;
        for (int n = random.bounded(30); n > 0; --n)
            s += QString::fromUtf8(pieces[random.bounded(static_cast<int>(std::size(pieces)))]);
        return s;
    };
    for (int round = 0; round < 3000; ++round) {
        const QString text = build(textPieces);
        ASSERT_EQ(textFromMarkup(markupFromText(text)), text) << markupFromText(text);
        ASSERT_EQ(textFromMarkup(replyMarkup(header, text)), text);

        // Whatever the markup, every line break comes out as CR LF.
        const QString garbage = textFromMarkup(build(garbagePieces));
        const QString rest = QString(garbage).remove(QLatin1String("\r\n"));
        ASSERT_FALSE(rest.contains(QLatin1Char('\r')) || rest.contains(QLatin1Char('\n')))
            << garbage;
    }

    // Each of these would make a reader that searches again from every '<' take minutes.
    QElapsedTimer timer;
    timer.start();
    for (const char *repeated : {R"(<a x=">")", "<b", R"(<a x='>)"})
        textFromMarkup(QString::fromLatin1(repeated).repeated(100000));
    EXPECT_LT(timer.elapsed(), 5000);
}
