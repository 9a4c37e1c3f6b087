#pragma once

#include "core/activitylog.h"

#include <QFile>
#include <QString>

#include <deque>

namespace zelmo {

// The record kept across runs, one file per messenger account, JSON lines:
//
//   {"format":"zelmo-record","version":1}
//   {"n":1,"time":"2026-12-09T01:07:03.000Z","name":"Ann","logon":"ann@...","kind":"away-message",
//    "what":"...","away":true}
//   {"seen":1}
//
// A row is appended as it comes and a "seen" line says up to which row the user has been shown
// the record, so that a run only ever adds to the end. Past twice the rows the record holds, the
// file is written anew with the last ones. Only the user may read it: it holds other people's
// words.
class ActivityLogFile {
public:
    static constexpr int version = 1;

    // "record-<account>.jsonl" in the program's XDG data folder; characters that have no place
    // in a file name (a slash among them) are percent-encoded, so no account names another
    // folder, and two accounts never share a file.
    static QString defaultPathFor(const QString &account);
    static QString fileNameFor(const QString &account);

    struct Loaded {
        bool readable = true; // false: the file could not be read at all
        bool damaged = false; // some lines were not this format; the others are in rows
        std::deque<ActivityLog::Row> rows; // oldest first, at most ActivityLog::maxRows
        quint64 seenUpTo = 0;
        quint64 lastNumber = 0;
        QString error; // what was wrong, when not readable or damaged
    };
    // A missing file is readable and empty.
    Loaded load();

    explicit ActivityLogFile(QString path);
    // Writes what is still held.
    ~ActivityLogFile();
    ActivityLogFile(const ActivityLogFile &) = delete;
    ActivityLogFile &operator=(const ActivityLogFile &) = delete;

    // Held until flush(): rows come while a message is answered, and the answer goes out first.
    void append(const ActivityLog::Row &row);
    void appendSeen(quint64 number);
    // Writes what is held through to the system, not synced to the disk: a sync per row would
    // slow every answer down, and what a crash of the machine itself may cost is the last
    // rows. False with the reason in *error.
    bool flush(QString *error);
    // Replaces the file at once or not at all with these rows (newest first, as the log holds
    // them).
    bool rewrite(const std::deque<ActivityLog::Row> &newestFirst, quint64 seenUpTo, QString *error);
    // Lines in the file, to tell when it is time to write it anew.
    int lineCount() const { return m_lines; }
    // As AwayMessageFile::moveAside: "<path>.corrupt-<date>", never over another file.
    QString moveAside();
    QString path() const { return m_path; }

private:
    QString m_path;
    QFile m_out;
    QByteArray m_held;
    int m_lines = 0;
};

} // namespace zelmo
