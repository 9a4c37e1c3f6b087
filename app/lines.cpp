#include "app/lines.h"

#include <QTextStream>

namespace zelmo {

namespace {
bool prefixes = false;
} // namespace

void setLinePrefixes(bool on)
{
    prefixes = on;
}

void writeLine(LinePriority priority, const QString &text)
{
    QTextStream err(stderr);
    if (prefixes)
        err << '<' << static_cast<int>(priority) << '>';
    err << "zelmo: " << text << '\n';
}

} // namespace zelmo
