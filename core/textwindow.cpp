#include "core/textwindow.h"

namespace zelmo {

QString trimBlanks(const QString &s)
{
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && s.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && s.at(end - 1) == QLatin1Char(' '))
        --end;
    return s.mid(begin, end - begin);
}

QString charactersFrom(const QString &text, qsizetype position, qsizetype count)
{
    if (position < 1 || position > text.size())
        return QString();
    return text.mid(position - 1, count);
}

QString textFrom(const QString &text, qsizetype position)
{
    if (position < 1 || position > text.size())
        return QString();
    return text.mid(position - 1);
}

} // namespace zelmo
