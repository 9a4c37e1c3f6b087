#pragma once

#include "messenger/messenger.h"

#include <QString>

namespace zelmo {

class AppState;
class RemoteCommands;

// Decides what to answer to each incoming instant message: at most one remote command, or
// the away message the user stored for the sender.
class Dispatcher {
public:
    Dispatcher(AppState &state, RemoteCommands &commands);

    void mm_OnTextReceived(const IMSessionPtr &pIMSession, const UserPtr &pSourceUser,
                           const QString &bstrMsgHeader, const QString &bstrMsgText,
                           bool *pfEnableDefault);

    // The footer sent after every away message.
    static QString autoMessageFooter();
    // The header line that marks a message as sent by a machine, as mail marks it (RFC 3834).
    static QString autoSubmittedLine() { return QStringLiteral("Auto-Submitted: auto-replied"); }
    // Whether a message header carries an Auto-Submitted line other than "no".
    static bool isAutoSubmitted(const QString &header);

private:
    void sendAwayMessage(const UserPtr &sender, class Reply &reply);

    AppState &m_state;
    RemoteCommands &m_commands;
};

} // namespace zelmo
