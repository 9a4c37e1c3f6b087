#pragma once

// What the network backends share in putting the program's text on the wire: the reply
// header's X-MMS-IM-Format line (a reply's font and colour), and text made fit for XML. Qt
// Core only, so a backend uses it without the others' libraries.

#include <QString>

#include <optional>

namespace zelmo {

// The font and colour of a reply header's X-MMS-IM-Format line.
struct TextFormat {
    QString font;   // empty: none given
    QString colour; // "#rrggbb"; empty: none given
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
};
// Nothing when the header has no format line. The font name holds only letters, digits,
// blanks, '-', '_' and '.', so it can go into markup as it is.
std::optional<TextFormat> formatFromHeader(const QString &header);

// XML 1.0 allows no control character but tab, LF and CR, neither U+FFFE nor U+FFFF and no
// lone surrogate, and a parser gives up on the first one it meets (a server ends the whole
// stream). Text from the joke file, an away message or a contact can hold any of them: each
// becomes U+FFFD, so that the reader sees something was there.
QString xmlSafe(const QString &text);

// Every line break of the text, CR LF, a lone CR or a lone LF, as lineBreak.
QString withLineBreaks(QString text, QLatin1String lineBreak);

} // namespace zelmo
