#pragma once

#include <QHash>
#include <QLockFile>
#include <QString>

#include <memory>

namespace zelmo {

// The file that keeps the away messages across runs, by logon name:
//
//   {"version": 1, "messages": [{"logon": "...", "message": "..."}, ...]}
//
// sorted by logon name, so that the same messages always give the same bytes. Only the user
// may read it: messages can be private.
class AwayMessageFile {
public:
    static constexpr int version = 1;

    explicit AwayMessageFile(QString path);

    // "away-messages.json" in the program's XDG data folder.
    static QString defaultPath();

    struct Loaded {
        bool ok = false;
        QHash<QString, QString> messages;
        QString error; // why it could not be read, when not ok
    };
    // A missing file is ok and empty. Anything that is not exactly the format above (another
    // version included) is not ok: nothing of it is guessed at.
    Loaded load() const;
    // Held while a change reads, merges and writes the file: copies of the program for other
    // accounts share it, and a change one makes between another's read and write would be
    // lost. Waits a little for a copy that holds it; null, with the reason in *error (which
    // may be null), when it stays held or cannot be made. Creates the folder when missing.
    std::unique_ptr<QLockFile> lockForChange(QString *error) const;
    // Replaces the file at once or not at all, creating its folder when missing. Returns false
    // with the reason in *error (which may be null).
    bool save(const QHash<QString, QString> &messages, QString *error) const;
    // Renames the file to "<path>.corrupt-yyyyMMdd-HHmmss" (with "-2", "-3"... when that is
    // taken; nothing is ever overwritten). Returns the new path, empty when it could not be
    // moved.
    QString moveAside() const;
    // True when the file is gone, also when there was none.
    bool remove() const;
    QString path() const { return m_path; }

private:
    QString m_path;
};

// Renames a damaged file to "<path>.corrupt-yyyyMMdd-HHmmss" ("-2", "-3"... when taken), so
// that it is kept for the user to look at and never overwritten. Empty when it could not be
// moved.
QString moveFileAside(const QString &path);

// Makes the folder of a file the program keeps, for the user alone when it is new; false with
// the reason in *error when there is no path or the folder cannot be made.
bool makeDataFolderFor(const QString &path, QString *error);

} // namespace zelmo
