#include "core/commands.h"

#include "core/activitylog.h"
#include "core/appstate.h"
#include "core/authorizationcode.h"
#include "core/contactlists.h"
#include "core/localstatus.h"
#include "core/reply.h"
#include "core/soundplayer.h"
#include "core/textwindow.h"
#include "messenger/messengererror.h"

#include <QDir>

namespace zelmo {

Commands::Commands(AppState &state, LocalStatus &localStatus, SoundPlayer *sound)
    : m_state(state)
    , m_localStatus(localStatus)
    , m_sound(sound)
{
}

QStringList Commands::helpLines()
{
    return {
        QStringLiteral("Welcome to Orvan's Zelmo Extensions"),
        QStringLiteral("         Main Menu        "),
        QStringLiteral("--------------------------"),
        QStringLiteral("1) |SetAway| AUTH_PASS                 (Sets the user Away)"),
        QStringLiteral("2) |SetBack| AUTH_PASS                 (Sets the user Back)"),
        QStringLiteral("3) |OnlineUsers| AUTH_PASS           (Lists the online users)"),
        QStringLiteral("4) |ChangeNick| AUTH_PASS NICKNAME    (Sets a new nick)"),
        QStringLiteral("5) |joke|                            (Displays a random Joke)"),
        QStringLiteral("6) |beep|                            (Beeps the user with a BEEP sound)"),
        QStringLiteral("--------------------------"),
    };
}

void Commands::record(const UserPtr &sender, const QString &what)
{
    if (m_log)
        m_log->add(ActivityLog::Kind::Command, sender, what);
}

bool Commands::codeTest(const UserPtr &sender, const QString &keyword,
                        const std::function<bool()> &matches)
{
    // Only a five-character code guards anything: an empty one would be found in every text.
    if (!AuthorizationCode::usable(m_state.authorizationCode))
        return false;
    QString logon;
    if (sender)
        skipOnFailure([&] { logon = sender->GetLogonName(); });
    bool stranger = false;
    // A sender whose logon name cannot be read is told apart by its contact object, so that
    // such senders do not lock one another out. A logon name never starts with a NUL.
    if (logon.isEmpty())
        logon = QLatin1Char('\0') + QString::number(reinterpret_cast<quintptr>(sender.get()), 16);
    // Everyone outside the contact list shares one record: new addresses cost a guesser
    // nothing, so each must not bring three fresh guesses, nor a record of its own.
    else if ((stranger = isStranger(logon)))
        logon = strangersKey();
    const CodeLockout::Result result = m_lockout.test(logon, matches);
    if (!result && m_log) {
        if (result.lockout.count() > 0)
            m_log->add(ActivityLog::Kind::Lockout, sender,
                       (stranger ? QStringLiteral("Everyone not in your contacts locked out for "
                                                  "%1 s after too many wrong codes")
                                 : QStringLiteral("Locked out for %1 s after too many wrong codes"))
                           .arg(result.lockout.count() / 1000));
        m_log->add(ActivityLog::Kind::CodeDeclined, sender,
                   keyword + (result.wasLockedOut
                                  ? QStringLiteral(": code declined while locked out")
                                  : QStringLiteral(": code declined")));
    }
    return result.accepted;
}

bool Commands::isStranger(const QString &logon)
{
    m_state.bringListsUpToDate();
    const UserCollectionPtr allusers = m_state.allContacts;
    qint32 count = 0;
    // A list that cannot be read proves no one a stranger.
    if (!allusers || !skipOnFailure([&] { count = allusers->GetCount(); }))
        return false;
    bool listed = false;
    bool unreadable = false;
    for (qint32 i = 0; i < count && !listed; ++i) {
        if (!skipOnFailure([&] { listed = allusers->Item(i)->GetLogonName() == logon; }))
            unreadable = true;
    }
    return !listed && !unreadable;
}

void Commands::sendJoke(Reply &reply)
{
    if (const std::optional<QString> joke = m_state.randomJoke())
        reply.send(*joke);
}

void Commands::playBeep()
{
    if (m_sound)
        m_sound->playSync(QDir(m_state.programFolder).filePath(QStringLiteral("beep.wav")));
}

bool Commands::onlineUsersCodeAccepted(const UserPtr &sender, const QString &text)
{
    return codeTest(sender, QStringLiteral("|onlineusers|"),
                    [&] { return charactersFrom(text, 15, 19) == m_state.authorizationCode; });
}

void Commands::sendNumbered(const UserCollectionPtr &list, const QString &suffix, int &n,
                            Reply &reply)
{
    if (!list)
        return;
    qint32 count = 0;
    if (!skipOnFailure([&] { count = list->GetCount(); }))
        return;
    for (qint32 i = 0; i < count; ++i) {
        // A contact that cannot be read is left out of the listing.
        skipOnFailure([&] {
            const UserPtr user = list->Item(i);
            if (!isOnline(user->GetState()))
                return;
            const QString name = user->GetFriendlyName();
            ++n;
            reply.send(QString::number(n) + QStringLiteral(". ") + name + suffix);
        });
    }
}

void Commands::sendOnlineUsers(Reply &reply)
{
    m_state.bringListsUpToDate();
    if (MessengerObject *mm = m_state.messenger) {
        skipOnFailure([&] { m_state.allowedUsers = mm->GetList(ListKind::Users); });
        skipOnFailure([&] { m_state.blockedUsers = mm->GetList(ListKind::Blocked); });
    }
    reply.send(QStringLiteral("----Online Users----"));
    // The count is the one the online list last showed, not the number of lines below it.
    reply.send(QString::number(m_state.onlineCount) +
               (m_state.onlineCount == 1 ? QStringLiteral(" User Currently Online")
                                         : QStringLiteral(" Users Currently Online")));
    int n = 0;
    sendNumbered(m_state.allowedUsers, QString(), n, reply);
    sendNumbered(m_state.blockedUsers, ContactLists::blockedSuffix(), n, reply);
    reply.send(QStringLiteral("-----------------"));
}

void Commands::sendHelp(Reply &reply)
{
    for (const QString &line : helpLines())
        reply.send(line);
}

void Commands::changeNickname(const UserPtr &sender, const QString &text, Reply &reply)
{
    m_state.newNickname = charactersFrom(text, 14, 18);
    if (!codeTest(sender, QStringLiteral("|changenick|"),
                  [&] { return m_state.newNickname.contains(m_state.authorizationCode); })) {
        reply.send(declinedText());
        return;
    }
    // The name starts right after the code's place, so the usual form gives it a leading
    // blank; the client is given it exactly so.
    m_state.newNickname = textFrom(text, 19);
    if (MessengerObject *mm = m_state.messenger) {
        skipOnFailure(
            [&] { mm->GetServices()->GetPrimaryService()->SetFriendlyName(m_state.newNickname); });
    }
    reply.send(nicknameChangedText());
    record(sender, QStringLiteral("|changenick|: your nickname set to \"%1\"")
                       .arg(m_state.newNickname.trimmed()));
}

bool Commands::switchCodeAccepted(const UserPtr &sender, const QString &keyword,
                                  const QString &text)
{
    return codeTest(sender, keyword, [&] {
        return trimBlanks(charactersFrom(text, 10, 15)) == m_state.authorizationCode;
    });
}

void Commands::setAway(const UserPtr &sender, const QString &text, Reply &reply)
{
    if (!switchCodeAccepted(sender, QStringLiteral("|setaway|"), text)) {
        reply.send(declinedText());
        return;
    }
    m_state.AwayMode = false;
    // The answer waits for the client to report the away state; the reply travels with the
    // outcome, which may come after this handler has returned (a redirected switch).
    Reply later = reply;
    m_localStatus.toggleAway([this, later, sender](bool confirmed) mutable {
        const QString answer = confirmed ? setAwayText() : statusNotChangedText();
        if (later.send(answer))
            record(sender, QStringLiteral("|setaway|: ") + answer);
    });
}

void Commands::setBack(const UserPtr &sender, const QString &text, Reply &reply)
{
    if (!switchCodeAccepted(sender, QStringLiteral("|setback|"), text)) {
        reply.send(declinedText());
        return;
    }
    m_state.AwayMode = true;
    if (reply.send(setBackText()))
        record(sender, QStringLiteral("|setback|: ") + setBackText());
    Reply later = reply;
    m_localStatus.toggleAway([this, later, sender](bool confirmed) mutable {
        if (!confirmed && later.send(statusNotChangedText()))
            record(sender, QStringLiteral("|setback|: ") + statusNotChangedText());
    });
}

} // namespace zelmo
