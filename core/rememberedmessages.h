#pragma once

#include "core/awaymessagefile.h"

#include <QHash>
#include <QString>

namespace zelmo {

class AppState;
class SettingsStore;

// The option "Remember away messages": while it is on, the away-message table is kept in an
// AwayMessageFile by logon name and put back at the next start.
//
// The table holds messages by position in the list of all contacts; the file holds them by
// logon name. A save therefore takes, for every contact in the list at that moment, the
// message of its entry (none: it leaves the file), and keeps what the file holds for contacts
// that are not in the list, so that one who comes back later finds their message again. The
// file is read again before each save: a copy of the program for another account may have
// written its own contacts' messages there since.
//
// A contact may join the list only after the start (a roster that arrives late, a contact
// added again). The messages read at the start are therefore kept here by logon name, and
// after each rebuild of the lists one goes into the table for each such contact that has no
// entry of their own, unless the user set or deleted that contact's message during this run:
// the user's word wins. Until it is placed, a save leaves such a message in the file as it is.
//
// Problems are returned as text for the user, empty when there is nothing to tell.
class RememberedMessages {
public:
    static QString key() { return QStringLiteral("RememberAwayMessages"); }

    // Follows the rebuilds of the lists and the user's changes of the table through state,
    // until destroyed.
    RememberedMessages(AppState &state, SettingsStore &store, AwayMessageFile file);
    ~RememberedMessages();
    RememberedMessages(const RememberedMessages &) = delete;
    RememberedMessages &operator=(const RememberedMessages &) = delete;

    // The stored choice; off unless "1" is stored.
    bool enabled() const;

    // Start-up, after the lists and the table are made: when enabled, the messages of the
    // file go to the entries of the contacts now in the list, and the others wait for theirs.
    // A file that cannot be read is moved aside (never written over) and the table stays
    // empty; the returned text says so.
    QString restore();

    // After each change of the table: saves it when enabled. The text of a failed save is
    // returned only for the first failure in a row, so that a user editing on while the disk
    // is full gets one box, not one per change; lastError() holds it until a save works.
    QString tableChanged();
    QString lastError() const { return m_lastError; }

    // Stores the choice. Turning it on saves the table at once; turning it off deletes the
    // file (ask the user first). Returns what went wrong, empty when all went well; a choice
    // that could not be stored changes nothing.
    QString setEnabled(bool on);

    QString path() const { return m_file.path(); }

private:
    // Puts the messages read at the start into the table for the listed contacts who have no
    // entry the dispatcher would find. Not a change of the user's: nothing is saved.
    void placeKept();
    // Moves an unreadable file aside and says so, at the start or during the run; empty when
    // it could not be moved.
    QString moveAside(const QString &reason, bool atStart);
    // The table and the list as they are now, merged with the file, into the file. *notice
    // gets what the user must be told even when the save works.
    bool save(QString *error, QString *notice);
    QString saveFailedText(const QString &reason) const;

    AppState &m_state;
    SettingsStore &m_store;
    AwayMessageFile m_file;
    // Just turned on: the next save ignores what an earlier run left in the file.
    bool m_fresh = false;
    QString m_lastError;
    // What the file held at the start, less the contacts whose message the user has set or
    // deleted since.
    QHash<QString, QString> m_kept;
};

} // namespace zelmo
