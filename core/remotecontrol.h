#pragma once

#include "messenger/messenger.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace zelmo {

class Program;

// What a caller outside the windows (the control interface on the session bus) may do with the
// running program: go away and come back, read the state, set and unset away messages, read the
// record, set a new code. It goes through the same logic as the windows, so they follow.
//
// Texts cross this boundary with plain line feeds; the table keeps the editor's CR LF.
class RemoteControl : public QObject {
    Q_OBJECT
public:
    enum class Error {
        None,
        NotConnected,     // no messenger, not connected, or the program is ending
        StatusNotChanged, // the client did not confirm the switch in time
        UnknownContact,   // the logon name is not in the list of all contacts
        EmptyMessage,
        NotStored, // the table had no entry for the contact (the list just changed)
        BadCode,   // not five digits
    };
    struct Result {
        Error error = Error::None;
        QString text; // what went wrong, for the user; empty on success
        bool ok() const { return error == Error::None; }
    };
    struct Status {
        bool away = false;
        // The own state by name ("online", "away", "busy", ...) while connected, otherwise
        // "not connected" or "connection lost".
        QString state;
    };
    struct Message {
        QString logonName;
        QString text;
    };
    struct RecordRow {
        QDateTime time;
        QString friendlyName;
        QString logonName;
        QString what;
    };
    using Done = std::function<void(const Result &)>;

    // messenger: the one the program attaches at its start-up, followed for the own state;
    // may be null.
    RemoteControl(Program &program, MessengerObject *messenger, QObject *parent = nullptr);

    // Away and back as the main window's switch does them, counted as the user's own choice:
    // going back from idle does not undo it. Already there: done at once, nothing asked of
    // the client. Otherwise done is told once the client confirms, or that it gave up.
    void goAway(Done done);
    void comeBack(Done done);
    Status status();

    // logonName is matched against the list of all contacts, first as written, then without
    // case (XMPP addresses compare so); the message goes to the contact's own name.
    Result setMessage(const QString &logonName, const QString &text);
    Result setMessageForEveryone(const QString &text);
    Result unsetMessage(const QString &logonName);
    Result unsetMessageForEveryone();
    std::vector<Message> messages();
    // Oldest first.
    std::vector<RecordRow> record() const;
    // Five digits; the code comes into force at once and is stored.
    Result setCode(const QString &code);

Q_SIGNALS:
    void awayChanged(bool away);
    // An away message or a command's answer went to a contact; what as the record says it.
    void messageAnswered(const QString &logonName, const QString &what);

private:
    void goTo(bool away, Done done);
    // The list of all contacts and its size, as the client has them now; false when they
    // cannot be read.
    bool readContacts(UserCollectionPtr &list, qint32 &count);
    // The contact's logon name as the list has it, or nothing.
    std::optional<QString> listedName(const QString &logonName, qint32 *position);
    // The same for a request about one contact: fails while not connected, or when the list
    // has no such contact.
    Result findContact(const QString &logonName, QString *name, qint32 *position);
    bool connected() const;
    void followState(bool away);

    Program &m_program;
    QPointer<MessengerObject> m_messenger;
    std::optional<bool> m_lastAway; // what the last awayChanged said
};

} // namespace zelmo
