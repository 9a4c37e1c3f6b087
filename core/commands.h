#pragma once

#include "core/codelockout.h"
#include "core/remotecommands.h"

#include <QString>
#include <QStringList>

namespace zelmo {

class ActivityLog;
class AppState;
class LocalStatus;
class SoundPlayer;

// The remote commands a contact can send: the joke, the beep, the online-users listing, the
// help menu, a new nickname, and setting the user away or back. The ones that change
// something, and the listing, are guarded by the authorization code.
class Commands : public RemoteCommands {
public:
    // sound may be null: the beep then plays nothing.
    Commands(AppState &state, LocalStatus &localStatus, SoundPlayer *sound);

    static QString declinedText()
    {
        return QStringLiteral("--- Authorization code declined or bad syntax! ---");
    }
    static QString nicknameChangedText()
    {
        return QStringLiteral("--- Nickname successfuly changed! ---");
    }
    static QString setAwayText()
    {
        return QStringLiteral("--- User successfuly set to Away mode! ---");
    }
    static QString setBackText()
    {
        return QStringLiteral("--- User successfuly set to Online mode! ---");
    }
    // Sent when the requested state never came: the switch failed or gave up waiting.
    static QString statusNotChangedText()
    {
        return QStringLiteral("--- Status could not be changed, please try again later! ---");
    }
    static QStringList helpLines();

    void beginMessage() override { m_lockout.beginMessage(); }
    void sendJoke(Reply &reply) override;
    void playBeep() override;
    bool onlineUsersCodeAccepted(const UserPtr &sender, const QString &text) override;
    void sendOnlineUsers(Reply &reply) override;
    void sendHelp(Reply &reply) override;
    void changeNickname(const UserPtr &sender, const QString &text, Reply &reply) override;
    void setAway(const UserPtr &sender, const QString &text, Reply &reply) override;
    void setBack(const UserPtr &sender, const QString &text, Reply &reply) override;

    CodeLockout &lockout() { return m_lockout; }
    // Where code tests, lockouts and the answers of the commands that change something are
    // recorded; none unless set.
    void setLog(ActivityLog *log) { m_log = log; }

private:
    // The code test of the away and back commands: the trimmed 15 characters from position 10.
    bool switchCodeAccepted(const UserPtr &sender, const QString &keyword, const QString &text);
    bool codeTest(const UserPtr &sender, const QString &keyword,
                  const std::function<bool()> &matches);
    // Whether the logon name is surely not in the list of all contacts.
    bool isStranger(const QString &logon);
    // The lockout record all strangers share; no logon name starts with a NUL.
    static QString strangersKey() { return QLatin1Char('\0') + QStringLiteral("strangers"); }
    void record(const UserPtr &sender, const QString &what);
    void sendNumbered(const UserCollectionPtr &list, const QString &suffix, int &n, Reply &reply);

    AppState &m_state;
    LocalStatus &m_localStatus;
    SoundPlayer *m_sound;
    CodeLockout m_lockout;
    ActivityLog *m_log = nullptr;
};

} // namespace zelmo
