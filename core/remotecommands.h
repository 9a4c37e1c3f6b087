#pragma once

#include "messenger/messenger.h"

#include <QString>

namespace zelmo {

class Reply;

// The command steps the incoming-message dispatcher can run, one operation per step. Each
// sends its own lines through the reply it is given; text is the incoming text as received,
// and sender the contact who sent it (the code tests keep count per contact).
class RemoteCommands {
public:
    virtual ~RemoteCommands() = default;

    // Called once for every incoming message, before any of its steps.
    virtual void beginMessage() {}

    virtual void sendJoke(Reply &reply) = 0;
    // Plays the beep synchronously; sends nothing.
    virtual void playBeep() = 0;
    // The code test of the online-users command.
    virtual bool onlineUsersCodeAccepted(const UserPtr &sender, const QString &text) = 0;
    virtual void sendOnlineUsers(Reply &reply) = 0;
    virtual void sendHelp(Reply &reply) = 0;
    virtual void changeNickname(const UserPtr &sender, const QString &text, Reply &reply) = 0;
    virtual void setAway(const UserPtr &sender, const QString &text, Reply &reply) = 0;
    virtual void setBack(const UserPtr &sender, const QString &text, Reply &reply) = 0;
};

} // namespace zelmo
