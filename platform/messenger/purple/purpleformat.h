#pragma once

// Translations between the program's plain text and libpurple's HTML-ish markup, which is
// what a libpurple client delivers and sends. They hold no D-Bus type, so they are tested
// without a client.

#include <QString>

namespace zelmo::purple {

// The text a contact typed, from the markup of a received message. Every line break in the
// result is CR LF, whatever made it: <br> (any case, with attributes, self-closing), a raw
// CR LF, LF or CR, or a reference to one. Other tags are dropped. A closing </p> or </div>
// ends a line when more text follows it; a row of them ends one line. The entities lt, gt,
// amp, quot, apos and nbsp (any case, as libpurple reads them) and numeric references are
// decoded; nbsp gives a plain blank, so that commands typed in a formatting client still
// match. Whatever is not markup stays as it is: an unknown entity, a reference to no
// character, one without its ';', a '<' that starts no tag ("a < b", "<3") or whose tag
// never ends.
QString textFromMarkup(const QString &markup);

// Markup that shows the text as it is: '&', '<', '>' and '"' escaped, each line break (CR LF,
// LF or CR) written as <br>, every other character kept.
QString markupFromText(const QString &text);

// The markup of one reply line: the text in the font, colour and effects of the header's
// format line, or plain when the header has none.
QString replyMarkup(const QString &header, const QString &text);

} // namespace zelmo::purple
