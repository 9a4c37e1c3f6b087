#pragma once

#include "messenger/messenger.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QString>

#include <deque>
#include <functional>

namespace zelmo {

// What the program did for whom since it started, newest first: away messages sent, commands
// run and their answers, codes declined, lockouts, messages left unanswered. Kept in memory
// only: it holds other people's words. A table model, so that the window shows it as it is.
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
    };
    enum Column { TimeColumn, ContactColumn, WhatColumn, ColumnCount };
    static constexpr int maxRows = 1000;

    using Clock = std::function<QDateTime()>;
    explicit ActivityLog(QObject *parent = nullptr);
    // The local time unless set; tests hand in their own.
    void setClock(Clock clock);

    // A row for what happened with this contact. Names that cannot be read stay empty.
    void add(Kind kind, const UserPtr &contact, const QString &what);
    void add(Kind kind, const QString &friendlyName, const QString &logonName, const QString &what);
    void clear();
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

private:
    Clock m_clock;
    std::deque<Row> m_rows; // newest first
    quint64 m_added = 0;
};

} // namespace zelmo
