#pragma once

// A script of timed events that plays the contacts and the network on the simulated client,
// so that a demo or an outside test can drive the program without writing C++.
//
// One event per line, fields separated by blanks (spaces or tabs):
//
//     <seconds> <logon> says <text>      the contact sends text
//     <seconds> <logon> state <code>     the contact changes state (2 online, 1 offline, ...)
//     <seconds> <logon> name <name>      the contact changes its friendly name
//     <seconds> signout                  the client signs out
//     <seconds> signin                   the client signs in again
//     <seconds> lose-connection          the connection drops
//
// <seconds> counts from the moment the script starts: a non-negative decimal number such as
// 3 or 0.25, read to the millisecond. Events due at the same time run in file order.
// The text of `says` and the name of `name` begin after the one blank that follows the
// action word and run to the end of the line, blanks included; in them `\n` stands for a
// line feed, `\r` for a carriage return, `\t` for a tab and `\\` for a backslash (any other
// backslash is an error). Blank lines and lines whose first non-blank is `#` are ignored.
//
// `state` and `name` of someone who is not a contact change nothing (a warning says so):
// the client tracks only its contacts. `says` works for anyone, as it does for strangers.

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <optional>

namespace zelmo::sim {

class SimMessenger;

struct ScriptEvent {
    enum class Action { Says, State, Name, SignOut, SignIn, LoseConnection };

    // Milliseconds from the start of the script.
    int atMs = 0;
    Action action = Action::Says;
    QString logon;
    // The text of Says, the name of Name.
    QString text;
    // The code of State.
    qint32 state = 0;
    // Where it was written, for messages.
    int line = 0;
};

// Reads the lines of a script, named fileName in messages. Returns the events in the order
// they run, or nothing with "fileName:line: what is wrong" in *error.
std::optional<QList<ScriptEvent>> parseScript(const QString &content, const QString &fileName,
                                              QString *error);
// Reads a script file (UTF-8).
std::optional<QList<ScriptEvent>> loadScript(const QString &path, QString *error);

// Plays events on a client, each at its time from the call of start().
class ScriptRunner : public QObject {
    Q_OBJECT
public:
    // events must be in the order parseScript returns them.
    ScriptRunner(SimMessenger &sim, QList<ScriptEvent> events, QObject *parent = nullptr);

    // Starts the script from its first event; a second call starts it over.
    void start();
    // How many events have run since the last start().
    int played() const { return m_next; }
    bool isFinished() const { return m_started && m_next >= m_events.size(); }

Q_SIGNALS:
    // After the last event has run.
    void finished();

private:
    void runDue();
    void scheduleNext();
    void run(const ScriptEvent &event);

    // Events after the client is gone do nothing.
    QPointer<SimMessenger> m_sim;
    QList<ScriptEvent> m_events;
    int m_next = 0;
    bool m_started = false;
    QElapsedTimer m_clock;
    QTimer m_timer;
};

} // namespace zelmo::sim
