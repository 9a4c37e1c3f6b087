#include "platform/messenger/replyformat.h"

#include <QStringList>
#include <QUrl>

namespace zelmo {

namespace {

// "FN=Arial; EF=B; CO=800000" into its fields.
QString formatField(const QString &line, const QString &name)
{
    const QStringList fields = line.split(QLatin1Char(';'));
    for (const QString &field : fields) {
        const int eq = field.indexOf(QLatin1Char('='));
        if (eq > 0 && field.left(eq).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return field.mid(eq + 1).trimmed();
    }
    return QString();
}

// The colour is hexadecimal blue-green-red with leading zeros dropped: 800000 is dark blue.
QString colourFromBgr(const QString &co)
{
    bool ok = false;
    const uint bgr = co.toUInt(&ok, 16);
    if (!ok || bgr > 0xFFFFFF)
        return QString();
    const uint red = bgr & 0xFF;
    const uint green = (bgr >> 8) & 0xFF;
    const uint blue = (bgr >> 16) & 0xFF;
    return QStringLiteral("#%1%2%3")
        .arg(red, 2, 16, QLatin1Char('0'))
        .arg(green, 2, 16, QLatin1Char('0'))
        .arg(blue, 2, 16, QLatin1Char('0'));
}

// Only characters that cannot end a markup attribute or a CSS declaration.
QString safeFontName(const QString &name)
{
    QString safe;
    for (const QChar c : name) {
        if (c.isLetterOrNumber() || c == QLatin1Char(' ') || c == QLatin1Char('-') ||
            c == QLatin1Char('_') || c == QLatin1Char('.'))
            safe += c;
    }
    return safe.trimmed();
}

} // namespace

std::optional<TextFormat> formatFromHeader(const QString &header)
{
    static const QString key = QStringLiteral("X-MMS-IM-Format:");
    const QStringList lines = header.split(QLatin1Char('\n'));
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (!line.startsWith(key, Qt::CaseInsensitive))
            continue;
        const QString fields = line.mid(key.size());
        TextFormat format;
        format.font = safeFontName(
            QUrl::fromPercentEncoding(formatField(fields, QStringLiteral("FN")).toUtf8()));
        const QString effects = formatField(fields, QStringLiteral("EF")).toUpper();
        format.bold = effects.contains(QLatin1Char('B'));
        format.italic = effects.contains(QLatin1Char('I'));
        format.underline = effects.contains(QLatin1Char('U'));
        format.strikeOut = effects.contains(QLatin1Char('S'));
        format.colour = colourFromBgr(formatField(fields, QStringLiteral("CO")));
        return format;
    }
    return std::nullopt;
}

QString xmlSafe(const QString &text)
{
    // Replacing one UTF-16 unit by one keeps the indexes, and a clean text is never copied.
    QString safe = text;
    const int size = text.size();
    for (int i = 0; i < size; ++i) {
        const char16_t u = text.at(i).unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < size && text.at(i + 1).isLowSurrogate()) {
            ++i; // U+10000 to U+10FFFF
            continue;
        }
        const bool allowed = u == 0x09 || u == 0x0A || u == 0x0D || (u >= 0x20 && u < 0xD800) ||
                             (u >= 0xE000 && u <= 0xFFFD);
        if (!allowed)
            safe[i] = QChar::ReplacementCharacter;
    }
    return safe;
}

QString withLineBreaks(QString text, QLatin1String lineBreak)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (lineBreak != QLatin1String("\n"))
        text.replace(QLatin1Char('\n'), lineBreak);
    return text;
}

} // namespace zelmo
