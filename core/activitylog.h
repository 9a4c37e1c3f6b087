#pragma once

#include "messenger/messenger.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QString>

#include <deque>
#include <functional>
#include <memory>

namespace zelmo {

class ActivityLogFile;

// What the program did for whom, newest first: away messages sent, commands run and their
// answers, codes declined, lockouts, messages left unanswered. With a file attached, each row
// is also kept there as it comes, so that a run that ends while the user is away does not take
// the record with it. A table model, so that the window shows it as it is.
class ActivityLog : public QAbstractTableModel {
    Q_OBJECT
public:
    enum class Kind { AwayMessage, Command, CodeDeclined, Lockout, Unanswered };
    struct Row {
        QDateTime time;
        QString friendlyName;
        QString logonName;
        Kind kind;
        QString what;
        quint64 number; // counts on across runs, so that "seen up to" names a row
        bool whileAway; // the user was away: the record is owed to them on their return
    };
    enum Column { TimeColumn, ContactColumn, WhatColumn, ColumnCount };
    static constexpr int maxRows = 1000;

    using Clock = std::function<QDateTime()>;
    explicit ActivityLog(QObject *parent = nullptr);
    ~ActivityLog() override;
    // The local time unless set; tests hand in their own.
    void setClock(Clock clock);
    // Asked as each row comes: is the user away?
    void setAwayProbe(std::function<bool()> away) { m_away = std::move(away); }
    // Told once when the file cannot be written any more; the record goes on in memory.
    void setFileProblemHandler(std::function<void(const QString &)> handler)
    {
        m_fileProblem = std::move(handler);
    }

    // Takes the rows of an earlier run from the file and keeps every later row there; called
    // before any row is added. Returns what the user should be told, empty when all is well.
    // A damaged file is moved aside with the rows that could be read kept; one that cannot be
    // read is left alone, and the record stays in memory only.
    QString attachFile(const QString &path);
    // Rows recorded while the user was away that no window has shown yet.
    bool owesAwayRows() const;
    // Called when the rows have been shown to the user.
    void markSeen();

    // A row for what happened with this contact. Names that cannot be read stay empty.
    void add(Kind kind, const UserPtr &contact, const QString &what);
    void add(Kind kind, const QString &friendlyName, const QString &logonName, const QString &what);
    void clear();
    // Rows reach the file once the event at hand is done; this writes them now (at the end).
    void flush();
    const std::deque<Row> &rows() const { return m_rows; }
    // How many rows were ever added, cleared ones included: a mark to tell what came since.
    quint64 addedCount() const { return m_added; }

    // The first line of a text, for rows that quote a message.
    static QString firstLine(const QString &text);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

Q_SIGNALS:
    // A new row, at the top; the rows of earlier runs come with a reset instead.
    void rowAdded(const ActivityLog::Row &row);

private:
    // Runs a write on the file; a failure is reported once and ends the file's part.
    void write(const std::function<bool(ActivityLogFile &, QString *)> &step);

    Clock m_clock;
    std::deque<Row> m_rows; // newest first
    quint64 m_added = 0;
    quint64 m_lastNumber = 0;
    quint64 m_seenUpTo = 0;
    void flushSoon();
    bool m_flushDue = false;
    std::function<bool()> m_away;
    std::function<void(const QString &)> m_fileProblem;
    std::unique_ptr<ActivityLogFile> m_file;
};

} // namespace zelmo
