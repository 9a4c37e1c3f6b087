#pragma once

// GoogleTest printers for the Qt types the tests compare, so that failures read well.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <ostream>

QT_BEGIN_NAMESPACE
void PrintTo(const QString &s, std::ostream *os);
void PrintTo(const QStringList &l, std::ostream *os);
void PrintTo(const QByteArray &b, std::ostream *os);
void PrintTo(const QVariant &v, std::ostream *os);
// For messages streamed into an assertion.
std::ostream &operator<<(std::ostream &os, const QString &s);
QT_END_NAMESPACE
