#pragma once

// What the simulated client's window does, without the widgets: it turns the user's actions
// into calls of the client's control side and keeps the chats the window shows. The user
// plays both the messenger and the contacts who write to the program.

#include "platform/messenger/sim/simmessenger.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTime>

namespace zelmo::sim {

// How a message header asks for its text to be drawn: its X-MMS-IM-Format line.
struct MessageFormat {
    // FN, percent-decoded; empty when the header names no font.
    QString fontFamily;
    // CO as written (blue-green-red hexadecimal with leading zeros dropped), or empty.
    QString co;
    // CO as a colour, "#rrggbb"; black when the header gives none or an unreadable one.
    QString colour = QStringLiteral("#000000");
    // EF: B, I, U and S.
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
};

MessageFormat parseMessageFormat(const QString &header);

struct ChatLine {
    enum class Kind {
        FromContact, // typed by the user as the contact
        FromProgram, // sent by the program, as the contact receives it
        Note,        // said by the window itself, such as a message that could not go
    };
    Kind kind = Kind::Note;
    QString text;
    // The header the program sent the line with.
    QString header;
    MessageFormat format;
    // Who said it, as the contact sees it: the contact's or the user's own friendly name.
    QString sender;
    QTime time;
};

enum class FailureMode {
    Never,
    Always,
    AfterCalls, // the next k calls succeed, every later one fails
};

class ClientWindowLogic : public QObject {
    Q_OBJECT
public:
    explicit ClientWindowLogic(SimMessenger &sim, QObject *parent = nullptr);

    SimMessenger &sim() const { return m_sim; }

    // Names and colours the window shows.
    static QString stateName(qint32 state);
    // The colour of a state's dot, "#rrggbb".
    static QString stateColour(qint32 state);
    // "all, users", "all, blocked", ...
    static QString listsText(const QList<ListKind> &lists);
    static QString serviceStatusName(qint32 status);
    // The states a contact can be put in, and the ones the user can set in the client.
    static QList<qint32> contactStates();
    static QList<qint32> ownStates();

    // Contacts. Each returns whether the client took it.
    bool setContactState(const QString &logon, qint32 state);
    bool renameContact(const QString &logon, const QString &name);
    // A new contact goes on the contact list, online; a known one keeps its name and state.
    bool addContact(const QString &logon, const QString &name = QString());
    // Off every list.
    bool removeContact(const QString &logon);
    // Blocking moves a contact from the contact list to the blocked one, unblocking back.
    bool setBlocked(const QString &logon, bool blocked);
    static bool isBlocked(const SimContact &contact);
    // The contact with that logon, or one with an empty logon.
    SimContact contact(const QString &logon) const;

    // Chats. The contact writes text to the program; false when there is nothing to send.
    // While the client is signed out the text goes nowhere, and a note says so.
    bool writeAs(const QString &logon, const QString &text);
    QList<ChatLine> chat(const QString &logon) const { return m_chats.value(logon); }

    // Failure injection, remembered so that the menu can show what is planned.
    void setFailure(Operation op, FailureMode mode, int calls = 0);
    void clearFailures();
    FailureMode failureMode(Operation op) const;
    int failureCalls(Operation op) const;
    static QList<Operation> operations();
    static QString operationName(Operation op);

Q_SIGNALS:
    // A line was appended to a contact's chat; index is its place in chat(logon).
    void chatLineAdded(const QString &logon, int index);

private:
    void append(const QString &logon, ChatLine line);
    QString displayName(const QString &logon) const;

    SimMessenger &m_sim;
    QHash<QString, QList<ChatLine>> m_chats;
    struct Plan {
        FailureMode mode = FailureMode::Never;
        int calls = 0;
    };
    QHash<int, Plan> m_plans;
};

} // namespace zelmo::sim
