#pragma once

// The program's one-line messages on standard error. In a run without a display they go to
// the journal (or a terminal) and carry a syslog priority prefix that the journal reads.

#include <QString>

namespace zelmo {

enum class LinePriority { Error = 3, Warning = 4, Info = 6 };

// Off unless set: a windowed run writes plain lines.
void setLinePrefixes(bool on);
// Writes "zelmo: TEXT", with the priority prefix when prefixes are on.
void writeLine(LinePriority priority, const QString &text);

} // namespace zelmo
