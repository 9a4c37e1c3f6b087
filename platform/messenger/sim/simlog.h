#pragma once

// A log of everything the program sends through the simulated client, for a demo to watch
// and an outside test to read. Each record is one line, written and flushed the moment the
// program makes the call; a failed call writes nothing. Records, UTF-8:
//
//     send <logon> CO=<colour> <text>    an instant message to a contact
//     state <code>                       a request for a new own state, e.g. "state 34"
//     name <name>                        a new own friendly name
//
// Exactly one space separates the fields, and the text or name is last: everything after
// its one leading space belongs to it, blanks included ("name  Nick" sets " Nick"). In
// Python: `kind, rest = line.rstrip("\n").split(" ", 1)`, then for a send
// `logon, colour, text = rest.split(" ", 2)`.
//
// <colour> is the CO= value of the message header's X-MMS-IM-Format line (800000, 0, ...),
// or "-" when there is none. In every field a backslash is written \\, a carriage return \r,
// a line feed \n, a tab \t, another control character \xHH and the Unicode line separators
// (U+0085, U+2028, U+2029) \uHHHH, so that a record never spans lines; in the logon and the
// colour a space is also written \s.

#include "platform/messenger/sim/simmessenger.h"

#include <QIODevice>
#include <QObject>
#include <QString>

#include <memory>

namespace zelmo::sim {

class SimLog : public QObject {
    Q_OBJECT
public:
    // Logs to out, which must be open for writing.
    SimLog(SimMessenger &sim, std::unique_ptr<QIODevice> out, QObject *parent = nullptr);
    ~SimLog() override;

    // Logs to the file at path, created or emptied, or to standard output for "-". Returns
    // nullptr with the reason in *error when the file cannot be written.
    static std::unique_ptr<SimLog> open(SimMessenger &sim, const QString &path, QString *error);

    // The text of a record with its breaks escaped.
    static QString escapeText(const QString &text);
    // A field before the text: spaces escaped too.
    static QString escapeField(const QString &field);
    // The CO= value of a message header, or "-".
    static QString headerColour(const QString &header);

private:
    void write(const QString &record);

    std::unique_ptr<QIODevice> m_out;
};

} // namespace zelmo::sim
