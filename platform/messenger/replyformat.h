#pragma once

// The reply header's X-MMS-IM-Format line, read by every backend that shows a reply's font
// and colour. Qt Core only, so a backend uses it without the others' libraries.

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

} // namespace zelmo
