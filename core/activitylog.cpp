#include "core/activitylog.h"

#include "core/activitylogfile.h"
#include "messenger/messengererror.h"

#include <QLocale>
#include <QTimer>

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

ActivityLog::~ActivityLog() = default;

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
    m_rows.push_front(
        {m_clock(), friendlyName, logonName, kind, what, ++m_lastNumber, m_away && m_away()});
    ++m_added;
    endInsertRows();
    Q_EMIT rowAdded(m_rows.front());
    if (m_file) {
        m_file->append(m_rows.front());
        flushSoon();
    }
}

void ActivityLog::flushSoon()
{
    // Once the message that added the row has been answered: the answer goes out first, and
    // the rows of one message are one write.
    if (m_flushDue)
        return;
    m_flushDue = true;
    QTimer::singleShot(0, this, [this] { flush(); });
}

void ActivityLog::flush()
{
    m_flushDue = false;
    write([](ActivityLogFile &file, QString *error) { return file.flush(error); });
    // Appending only, the file would grow without end: now and then it is written anew.
    if (m_file && m_file->lineCount() > 2 * maxRows)
        write([this](ActivityLogFile &file, QString *error) {
            return file.rewrite(m_rows, m_seenUpTo, error);
        });
}

void ActivityLog::clear()
{
    beginResetModel();
    m_rows.clear();
    endResetModel();
    write([](ActivityLogFile &file, QString *error) { return file.rewrite({}, 0, error); });
}

void ActivityLog::write(const std::function<bool(ActivityLogFile &, QString *)> &step)
{
    if (!m_file)
        return;
    QString error;
    if (step(*m_file, &error))
        return;
    const QString path = m_file->path();
    m_file.reset();
    if (m_fileProblem)
        m_fileProblem(QStringLiteral("The record of what was answered could not be written to "
                                     "%1 (%2). For the rest of this run it is kept in memory "
                                     "only.")
                          .arg(path, error));
}

QString ActivityLog::attachFile(const QString &path)
{
    auto file = std::make_unique<ActivityLogFile>(path);
    ActivityLogFile::Loaded loaded = file->load();
    if (!loaded.readable)
        return QStringLiteral("The record of what was answered in %1 could not be read (%2). "
                              "It is left as it is, and this run's record is kept in memory "
                              "only.")
            .arg(path, loaded.error);

    beginResetModel();
    m_rows.assign(loaded.rows.rbegin(), loaded.rows.rend());
    endResetModel();
    m_seenUpTo = loaded.seenUpTo;
    // Numbers a cleared file no longer shows are still behind the seen mark.
    m_lastNumber = std::max(loaded.lastNumber, loaded.seenUpTo);
    m_file = std::move(file);
    if (!loaded.damaged) {
        if (m_file->lineCount() > 2 * maxRows)
            write([this](ActivityLogFile &f, QString *error) {
                return f.rewrite(m_rows, m_seenUpTo, error);
            });
        return {};
    }
    // Never written over: the damaged file is kept aside, the rows read from it go on.
    const QString aside = m_file->moveAside();
    if (aside.isEmpty()) {
        m_file.reset();
        return QStringLiteral("The record of what was answered in %1 is damaged (%2) and could "
                              "not be moved aside. It is left as it is, and this run's record "
                              "is kept in memory only.")
            .arg(path, loaded.error);
    }
    write([this](ActivityLogFile &f, QString *error) {
        return f.rewrite(m_rows, m_seenUpTo, error);
    });
    return QStringLiteral("The record of what was answered in %1 was damaged (%2). It was moved "
                          "to %3; the rows that could be read (%4) are kept.")
        .arg(path, loaded.error, aside)
        .arg(m_rows.size());
}

bool ActivityLog::owesAwayRows() const
{
    for (const Row &row : m_rows) {
        if (row.number <= m_seenUpTo)
            return false;
        if (row.whileAway)
            return true;
    }
    return false;
}

void ActivityLog::markSeen()
{
    if (m_rows.empty() || m_rows.front().number <= m_seenUpTo)
        return;
    m_seenUpTo = m_rows.front().number;
    if (m_file) {
        m_file->appendSeen(m_seenUpTo);
        flushSoon();
    }
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
        case TimeColumn: {
            // Rows of earlier runs may be days old: those say the day as well.
            const QDateTime local = row.time.toLocalTime();
            if (local.date() != QDate::currentDate())
                return QLocale::system().toString(local, QLocale::ShortFormat);
            return QLocale::system().toString(local.time(), QLocale::ShortFormat);
        }
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
