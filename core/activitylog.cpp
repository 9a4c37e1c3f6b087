#include "core/activitylog.h"

#include "messenger/messengererror.h"

#include <QLocale>

namespace zelmo {

namespace {

// Rows are added while a message is answered; the local time, which costs a look at the time
// zone each time, is worked out only when a row is shown.
QDateTime utcNow()
{
    return QDateTime::currentDateTimeUtc();
}

} // namespace

ActivityLog::ActivityLog(QObject *parent)
    : QAbstractTableModel(parent)
    , m_clock(utcNow)
{
}

void ActivityLog::setClock(Clock clock)
{
    m_clock = clock ? std::move(clock) : Clock(utcNow);
}

QString ActivityLog::firstLine(const QString &text)
{
    const QString trimmed = text.trimmed();
    int end = 0;
    while (end < trimmed.size() && trimmed[end] != QLatin1Char('\r') &&
           trimmed[end] != QLatin1Char('\n'))
        ++end;
    const QString line = trimmed.left(end).trimmed();
    // A row is one line of a table: a long text is cut where the eye stops anyway.
    constexpr int longest = 120;
    return line.size() > longest ? line.left(longest - 1) + QChar(0x2026) : line;
}

void ActivityLog::add(Kind kind, const UserPtr &contact, const QString &what)
{
    QString name, logon;
    if (contact) {
        skipOnFailure([&] { logon = contact->GetLogonName(); });
        skipOnFailure([&] { name = contact->GetFriendlyName(); });
    }
    add(kind, name, logon, what);
}

void ActivityLog::add(Kind kind, const QString &friendlyName, const QString &logonName,
                      const QString &what)
{
    if (static_cast<int>(m_rows.size()) >= maxRows) {
        beginRemoveRows({}, maxRows - 1, static_cast<int>(m_rows.size()) - 1);
        m_rows.resize(maxRows - 1);
        endRemoveRows();
    }
    beginInsertRows({}, 0, 0);
    m_rows.push_front({m_clock(), friendlyName, logonName, kind, what});
    ++m_added;
    endInsertRows();
}

void ActivityLog::clear()
{
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

int ActivityLog::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ActivityLog::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ActivityLog::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= static_cast<int>(m_rows.size()))
        return {};
    const Row &row = m_rows[static_cast<std::size_t>(index.row())];
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole) {
        switch (index.column()) {
        case TimeColumn:
            return QLocale::system().toString(row.time.toLocalTime().time(), QLocale::ShortFormat);
        case ContactColumn:
            if (row.friendlyName.isEmpty() || row.friendlyName == row.logonName)
                return row.logonName;
            return QString(row.friendlyName + QStringLiteral(" (") + row.logonName +
                           QLatin1Char(')'));
        case WhatColumn:
            return row.what;
        default:
            return {};
        }
    }
    if (role == Qt::ToolTipRole && index.column() == TimeColumn)
        return QLocale::system().toString(row.time.toLocalTime(), QLocale::LongFormat);
    return {};
}

QVariant ActivityLog::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case TimeColumn:
        return QStringLiteral("Time");
    case ContactColumn:
        return QStringLiteral("Contact");
    case WhatColumn:
        return QStringLiteral("What happened");
    default:
        return {};
    }
}

} // namespace zelmo
