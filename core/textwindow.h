#pragma once

#include <QString>

namespace zelmo {

// Removes leading and trailing blanks. Only U+0020 counts as a blank here; tabs and line
// breaks are part of the text.
QString trimBlanks(const QString &s);

// The `count` characters of text that start at the 1-based position `position`: fewer when
// the text ends first, empty when it is shorter than `position`.
QString charactersFrom(const QString &text, qsizetype position, qsizetype count);

// The text from the 1-based position `position` to its end.
QString textFrom(const QString &text, qsizetype position);

} // namespace zelmo
