#include "core/dispatcher.h"

#include "core/activitylog.h"
#include "core/appstate.h"
#include "core/monotonicclock.h"
#include "core/pendingevents.h"
#include "core/remotecommands.h"
#include "core/reply.h"
#include "core/textwindow.h"
#include "messenger/messengererror.h"

#include <QStringList>

namespace zelmo {

Dispatcher::Dispatcher(AppState &state, RemoteCommands &commands)
    : m_state(state)
    , m_commands(commands)
    , m_clock(monotonicNow)
{
}

void Dispatcher::setClock(Clock clock)
{
    m_clock = clock ? std::move(clock) : Clock(monotonicNow);
}

void Dispatcher::record(ActivityLog::Kind kind, const UserPtr &sender, const QString &what)
{
    if (m_log)
        m_log->add(kind, sender, what);
}

void Dispatcher::rememberOtherCopy(const QString &logon)
{
    if (isOtherCopy(logon))
        return;
    m_otherCopyOrder.push_front(logon);
    m_otherCopies.insert(logon, m_otherCopyOrder.begin());
    if (m_otherCopies.size() > otherCopiesKept) {
        m_otherCopies.remove(m_otherCopyOrder.back());
        m_otherCopyOrder.pop_back();
    }
}

bool Dispatcher::isOtherCopy(const QString &logon)
{
    const auto it = m_otherCopies.constFind(logon);
    if (it == m_otherCopies.cend())
        return false;
    m_otherCopyOrder.splice(m_otherCopyOrder.begin(), m_otherCopyOrder, it.value());
    return true;
}

bool Dispatcher::awayMessageAllowed(const QString &logon)
{
    const std::chrono::milliseconds now = m_clock();
    // Forget what lies outside the window, for every contact, so that the record stays as
    // small as the contacts answered in the last minute.
    for (auto it = m_awaySent.begin(); it != m_awaySent.end();) {
        std::deque<std::chrono::milliseconds> &times = it.value();
        while (!times.empty() && now - times.front() >= awayMessageWindow)
            times.pop_front();
        it = times.empty() && it.key() != logon ? m_awaySent.erase(it) : std::next(it);
    }
    std::deque<std::chrono::milliseconds> &times = m_awaySent[logon];
    if (static_cast<int>(times.size()) >= awayMessagesPerWindow)
        return false;
    times.push_back(now);
    return true;
}

QString Dispatcher::autoMessageFooter()
{
    return QStringLiteral("(This was an Auto-Message by Orvan's Zelmo RoBot)");
}

bool Dispatcher::isAutoSubmitted(const QString &header)
{
    // Nearly every header lacks the field: skip the split for those.
    if (!header.contains(autoSubmittedField, Qt::CaseInsensitive))
        return false;
    const QStringList lines = header.split(QLatin1Char('\n'));
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        const int colon = line.indexOf(QLatin1Char(':'));
        if (colon < 0 ||
            line.left(colon).trimmed().compare(autoSubmittedField, Qt::CaseInsensitive) != 0)
            continue;
        return isAutomaticValue(line.mid(colon + 1));
    }
    return false;
}

void Dispatcher::onTextReceived(const IMSessionPtr &session, const UserPtr &sender,
                                const QString &header, const QString &text, bool *enableDefault)
{
    // The client's own handling of the message goes on.
    Q_UNUSED(enableDefault);
    if (m_state.unloading)
        return;
    // Another machine's automatic answer gets none back: two copies of this program, both away,
    // would otherwise answer each other without end. Not even a command runs for it.
    if (isAutoSubmitted(header)) {
        record(ActivityLog::Kind::Unanswered, sender,
               QStringLiteral("Not answered, an automatic answer: ") +
                   ActivityLog::firstLine(text));
        return;
    }

    // Delivered late (offline storage, history): it is recorded, never acted on.
    if (isLateDelivery(header)) {
        record(ActivityLog::Kind::Unanswered, sender,
               QStringLiteral("Not answered, delivered late: ") + ActivityLog::firstLine(text));
        return;
    }

    if (trimBlanks(text) == autoMessageFooter()) {
        skipOnFailure([&] {
            if (sender)
                rememberOtherCopy(sender->GetLogonName());
        });
        record(ActivityLog::Kind::Unanswered, sender,
               QStringLiteral("Not answered: another answering program, which gets no away "
                              "messages until you have been back"));
        return;
    }
    m_commands.beginMessage();
    // The listing's count and the away-message table are what a rebuild produced.
    m_state.bringListsUpToDate();

    // Every command holds a vertical bar, and the greeting "?!"; upper-casing cannot make
    // either appear. A text with neither, the usual chat line, is not upper-cased at all.
    const bool mayHoldCommand =
        text.contains(QLatin1Char('|')) || text.contains(QLatin1String("?!"));
    const QString upper = mayHoldCommand ? text.toUpper() : QString();
    Reply reply(session, ReplyColour::DarkBlue, &m_state.unloading);

    const auto answered = [&](const QString &command) {
        if (reply.sentCount() > 0)
            record(ActivityLog::Kind::Command, sender,
                   command + QStringLiteral(": ") + ActivityLog::firstLine(reply.firstSent()) +
                       (reply.sentCount() > 1 ? QStringLiteral(" (%1 lines)").arg(reply.sentCount())
                                              : QString()));
    };
    if (upper == QLatin1String("|JOKE|") || upper == QLatin1String("|JOKES|")) {
        skipOnFailure([&] { m_commands.sendJoke(reply); });
        answered(QStringLiteral("|joke|"));
        return;
    }
    // The beep answers nothing, so the message goes on down the order like any other text.
    if (upper == QLatin1String("|BEEP|")) {
        skipOnFailure([&] { m_commands.playBeep(); });
        record(ActivityLog::Kind::Command, sender, QStringLiteral("|beep|: the beep played"));
    }
    if (upper.contains(QLatin1String("WASSSUP ?!"))) {
        skipOnFailure([&] { m_commands.sendOnlineUsers(reply); });
        answered(QStringLiteral("wasssup ?!"));
        return;
    }
    if (upper.contains(QLatin1String("|ONLINEUSERS|"))) {
        bool accepted = false;
        skipOnFailure([&] { accepted = m_commands.onlineUsersCodeAccepted(sender, text); });
        if (accepted) {
            skipOnFailure([&] { m_commands.sendOnlineUsers(reply); });
            answered(QStringLiteral("|onlineusers|"));
            return;
        }
    }
    if (upper == QLatin1String("|HELP|")) {
        skipOnFailure([&] { m_commands.sendHelp(reply); });
        answered(QStringLiteral("|help|"));
        return;
    }

    reply.setColour(ReplyColour::Black);
    if (upper.contains(QLatin1String("|CHANGENICK|"))) {
        skipOnFailure([&] { m_commands.changeNickname(sender, text, reply); });
        return;
    }
    if (!m_state.AwayMode) {
        if (upper.contains(QLatin1String("|SETAWAY|")))
            skipOnFailure([&] { m_commands.setAway(sender, text, reply); });
        return;
    }

    m_state.receivedText = text;
    if (trimBlanks(m_state.receivedText) == QLatin1String("\r\n"))
        return;
    PendingEvents::runOnce();
    // The pass may have run the shutdown.
    if (m_state.unloading)
        return;
    if (upper.contains(QLatin1String("|SETBACK|"))) {
        skipOnFailure([&] { m_commands.setBack(sender, text, reply); });
        return;
    }
    sendAwayMessage(sender, reply);
}

void Dispatcher::sendAwayMessage(const UserPtr &sender, Reply &reply)
{
    QString logon;
    if (!sender || !skipOnFailure([&] { logon = sender->GetLogonName(); }))
        return;
    // Free entries have an empty logon name; they must not answer a sender whose name could
    // not be read.
    if (logon.isEmpty())
        return;
    if (isOtherCopy(logon)) {
        record(ActivityLog::Kind::Unanswered, sender,
               QStringLiteral("No away message: another answering program"));
        return;
    }

    // The pending-events pass may have reloaded the lists; use the ones of this moment.
    m_state.bringListsUpToDate();
    const UserCollectionPtr allusers = m_state.allContacts;
    qint32 count = 0;
    if (!allusers || !skipOnFailure([&] { count = allusers->GetCount(); }))
        return;

    for (qint32 i = 0; i < count; ++i) {
        const AwayMessageTable::Entry *entry = m_state.awayMessages.entry(i);
        if (!entry)
            return;
        if (entry->logonName == logon) {
            if (!awayMessageAllowed(logon)) {
                record(ActivityLog::Kind::Unanswered, sender,
                       QStringLiteral("No away message: %1 sent in the last minute already")
                           .arg(awayMessagesPerWindow));
                return;
            }
            if (reply.send(trimBlanks(entry->message)))
                record(ActivityLog::Kind::AwayMessage, sender,
                       QStringLiteral("Away message sent: ") +
                           ActivityLog::firstLine(entry->message));
            reply.send(autoMessageFooter());
            return;
        }
    }
}

} // namespace zelmo
