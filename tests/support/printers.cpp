#include "support/printers.h"

#include <QDebug>

namespace {
// Shows control characters so that a missing CR LF is visible in a failure.
std::string visible(const QString &s)
{
    QString out;
    for (QChar c : s) {
        if (c == QLatin1Char('\r'))
            out += QStringLiteral("\\r");
        else if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            out += QStringLiteral("\\t");
        else if (c == QLatin1Char('"'))
            out += QStringLiteral("\\\"");
        else
            out += c;
    }
    return out.toStdString();
}
} // namespace

QT_BEGIN_NAMESPACE
void PrintTo(const QString &s, std::ostream *os)
{
    *os << '"' << visible(s) << '"';
}

void PrintTo(const QStringList &l, std::ostream *os)
{
    *os << '{';
    for (int i = 0; i < l.size(); ++i) {
        if (i)
            *os << ", ";
        PrintTo(l.at(i), os);
    }
    *os << '}';
}

void PrintTo(const QByteArray &b, std::ostream *os)
{
    *os << "QByteArray(\"" << b.toHex(' ').toStdString() << "\")";
}

void PrintTo(const QVariant &v, std::ostream *os)
{
    QString text;
    QDebug(&text) << v;
    *os << text.toStdString();
}
std::ostream &operator<<(std::ostream &os, const QString &s)
{
    PrintTo(s, &os);
    return os;
}
QT_END_NAMESPACE
