#include "platform/messenger/purple/purpleformat.h"

#include "platform/messenger/replyformat.h"

namespace zelmo::purple {

namespace {

bool isAsciiLetter(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

bool isAsciiLetterOrDigit(QChar c)
{
    return isAsciiLetter(c) || (c >= QLatin1Char('0') && c <= QLatin1Char('9'));
}

int digitValue(QChar c, int base)
{
    const char16_t u = c.unicode();
    int value = -1;
    if (u >= '0' && u <= '9')
        value = u - '0';
    else if (u >= 'a' && u <= 'f')
        value = u - 'a' + 10;
    else if (u >= 'A' && u <= 'F')
        value = u - 'A' + 10;
    return value < base ? value : -1;
}

// Appends the character a reference at markup[from] == '&' stands for and returns the
// reference's length, or returns 0 when it is none this reader knows.
int decodeReference(const QString &markup, int from, QString &out)
{
    const int size = markup.size();
    int i = from + 1;
    if (i < size && markup.at(i) == QLatin1Char('#')) {
        ++i;
        int base = 10;
        if (i < size && (markup.at(i) == QLatin1Char('x') || markup.at(i) == QLatin1Char('X'))) {
            base = 16;
            ++i;
        }
        const int digits = i;
        char32_t value = 0;
        for (; i < size; ++i) {
            const int digit = digitValue(markup.at(i), base);
            if (digit < 0)
                break;
            // Once past the last code point the value stays past it: no overflow.
            if (value <= 0x10FFFF)
                value = value * static_cast<char32_t>(base) + static_cast<char32_t>(digit);
        }
        if (i == digits || i == size || markup.at(i) != QLatin1Char(';'))
            return 0;
        if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return 0;
        if (QChar::requiresSurrogates(value)) {
            out += QChar(QChar::highSurrogate(value));
            out += QChar(QChar::lowSurrogate(value));
        } else {
            out += QChar(static_cast<char16_t>(value));
        }
        return i + 1 - from;
    }

    struct Entity {
        QLatin1String name;
        char16_t character;
    };
    static const Entity entities[] = {
        {QLatin1String("lt"), u'<'},    {QLatin1String("gt"), u'>'},
        {QLatin1String("amp"), u'&'},   {QLatin1String("quot"), u'"'},
        {QLatin1String("apos"), u'\''}, {QLatin1String("nbsp"), u' '},
    };
    const int name = i;
    // The longest known name is four letters: a longer run is no entity of ours.
    while (i < size && i - name <= 4 && isAsciiLetter(markup.at(i)))
        ++i;
    if (i == size || markup.at(i) != QLatin1Char(';'))
        return 0;
    const QStringView found = QStringView(markup).mid(name, i - name);
    for (const Entity &entity : entities) {
        if (found.compare(entity.name, Qt::CaseInsensitive) == 0) {
            out += QChar(entity.character);
            return i + 1 - from;
        }
    }
    return 0;
}

// Walks the markup once, left to right; every step consumes what it looked at, except one
// failed search for the end of a tag, so the time grows with the length of the markup.
class MarkupReader {
public:
    explicit MarkupReader(const QString &markup)
        : m_markup(markup)
        , m_size(markup.size())
        , m_lastGreater(markup.lastIndexOf(QLatin1Char('>')))
    {
    }

    QString text()
    {
        m_text.reserve(m_size);
        int i = 0;
        while (i < m_size) {
            const QChar c = m_markup.at(i);
            if (c == QLatin1Char('<')) {
                const int end = tagEnd(i);
                if (end > i) {
                    readTag(i);
                    i = end + 1;
                    continue;
                }
            } else if (c == QLatin1Char('&')) {
                startText();
                const int length = decodeReference(m_markup, i, m_text);
                if (length > 0) {
                    i += length;
                    continue;
                }
            }
            startText();
            m_text += c;
            ++i;
        }
        // One kind of line break in the result. The tags' own breaks are whole CR LFs, so
        // that a raw CR before one stays a break of its own.
        return withLineBreaks(m_text, QLatin1String("\r\n"));
    }

private:
    // Where the tag that '<' at `from` opens ends (its '>'), or -1 when it opens none. A '>'
    // inside a quoted attribute value does not end the tag. Markup with a quote that is never
    // closed has no reliable quotes: from there on every tag ends at its first '>'.
    int tagEnd(int from)
    {
        if (from + 1 >= m_size || from > m_lastGreater)
            return -1;
        const QChar first = m_markup.at(from + 1);
        const bool opensTag = isAsciiLetter(first) || first == QLatin1Char('!') ||
                              (first == QLatin1Char('/') && from + 2 < m_size &&
                               isAsciiLetter(m_markup.at(from + 2)));
        if (!opensTag)
            return -1;
        if (m_quotesReliable) {
            QChar previous;
            for (int i = from + 1; i < m_size; ++i) {
                const QChar c = m_markup.at(i);
                if (c == QLatin1Char('>'))
                    return i;
                if ((c == QLatin1Char('"') || c == QLatin1Char('\'')) &&
                    previous == QLatin1Char('=')) {
                    const int close = m_markup.indexOf(c, i + 1);
                    if (close < 0)
                        break;
                    i = close;
                    previous = c;
                } else if (!c.isSpace()) {
                    previous = c;
                }
            }
            m_quotesReliable = false;
        }
        return m_markup.indexOf(QLatin1Char('>'), from + 1);
    }

    // The line breaks that tags make; every other tag is dropped.
    void readTag(int from)
    {
        int i = from + 1;
        const bool closing = m_markup.at(i) == QLatin1Char('/');
        if (closing)
            ++i;
        const int start = i;
        while (i < m_size && isAsciiLetterOrDigit(m_markup.at(i)))
            ++i;
        const QStringView name = QStringView(m_markup).mid(start, i - start);
        const auto is = [&](const char *tag) {
            return name.compare(QLatin1String(tag), Qt::CaseInsensitive) == 0;
        };
        if (!closing && is("br")) {
            startText();
            m_text += QLatin1String("\r\n");
        } else if (closing && (is("p") || is("div"))) {
            m_lineEndPending = !m_text.isEmpty();
        }
    }

    // Text follows: the line a closed paragraph left open ends first.
    void startText()
    {
        if (m_lineEndPending)
            m_text += QLatin1String("\r\n");
        m_lineEndPending = false;
    }

    const QString &m_markup;
    const int m_size;
    const int m_lastGreater;
    QString m_text;
    bool m_quotesReliable = true;
    bool m_lineEndPending = false;
};

} // namespace

QString textFromMarkup(const QString &markup)
{
    return MarkupReader(markup).text();
}

QString markupFromText(const QString &text)
{
    QString markup;
    markup.reserve(text.size() + text.size() / 8);
    const int size = text.size();
    for (int i = 0; i < size; ++i) {
        const QChar c = text.at(i);
        switch (c.unicode()) {
        case u'&':
            markup += QLatin1String("&amp;");
            break;
        case u'<':
            markup += QLatin1String("&lt;");
            break;
        case u'>':
            markup += QLatin1String("&gt;");
            break;
        case u'"':
            markup += QLatin1String("&quot;");
            break;
        case u'\r':
            if (i + 1 < size && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
            markup += QLatin1String("<br>");
            break;
        case u'\n':
            markup += QLatin1String("<br>");
            break;
        default:
            markup += c;
        }
    }
    return markup;
}

QString replyMarkup(const QString &header, const QString &text)
{
    QString markup = markupFromText(text);
    const std::optional<TextFormat> format = formatFromHeader(header);
    if (!format)
        return markup;
    // Innermost first. The font name and the colour hold nothing that ends an attribute.
    const auto wrap = [&markup](QLatin1String tag, const QString &attributes = QString()) {
        markup = QLatin1Char('<') + tag + attributes + QLatin1Char('>') + markup +
                 QLatin1String("</") + tag + QLatin1Char('>');
    };
    if (format->strikeOut)
        wrap(QLatin1String("s"));
    if (format->underline)
        wrap(QLatin1String("u"));
    if (format->italic)
        wrap(QLatin1String("i"));
    if (format->bold)
        wrap(QLatin1String("b"));
    QString attributes;
    if (!format->font.isEmpty())
        attributes += QLatin1String(" face=\"") + format->font + QLatin1Char('"');
    if (!format->colour.isEmpty())
        attributes += QLatin1String(" color=\"") + format->colour + QLatin1Char('"');
    if (!attributes.isEmpty())
        wrap(QLatin1String("font"), attributes);
    return markup;
}

} // namespace zelmo::purple
