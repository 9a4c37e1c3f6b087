#pragma once

#include "core/activitylog.h"
#include "messenger/messenger.h"

#include <QHash>
#include <QString>

#include <chrono>
#include <deque>
#include <functional>
#include <list>

namespace zelmo {

class AppState;
class RemoteCommands;

// Decides what to answer to each incoming instant message: at most one remote command, or
// the away message the user stored for the sender.
class Dispatcher {
public:
    Dispatcher(AppState &state, RemoteCommands &commands);

    void onTextReceived(const IMSessionPtr &session, const UserPtr &sender, const QString &header,
                        const QString &text, bool *enableDefault);

    // The footer sent after every away message.
    static QString autoMessageFooter();
    // Whether a message header carries an Auto-Submitted line other than "no".
    static bool isAutoSubmitted(const QString &header);

    // Two automatic responders that are both away would answer each other without end where
    // the messenger carries no header to mark automatic messages. So a sender whose text is
    // this program's own footer is another copy of it, and gets no away message until the
    // user has been back; and no contact gets more than this many away messages in a window.
    static constexpr int awayMessagesPerWindow = 5;
    static constexpr std::chrono::milliseconds awayMessageWindow{60000};
    using Clock = std::function<std::chrono::milliseconds()>;
    // A monotonic clock unless set; tests hand in their own.
    void setClock(Clock clock);
    // The user has been back: other copies of the program may be answered again.
    void userIsBack()
    {
        m_otherCopies.clear();
        m_otherCopyOrder.clear();
    }
    // The other copies remembered at most, the latest heard from: forgetting one costs no more
    // than the away messages the limit per window lets through, and a flood of footers from
    // new addresses cannot grow the set.
    static constexpr int otherCopiesKept = 1000;
    int otherCopyCount() const { return static_cast<int>(m_otherCopies.size()); }
    // Where what was answered, and what was not, is recorded; none unless set.
    void setLog(ActivityLog *log) { m_log = log; }

private:
    void sendAwayMessage(const UserPtr &sender, class Reply &reply);
    // Whether another away message may go to this contact now; counts it if so.
    bool awayMessageAllowed(const QString &logon);
    void record(ActivityLog::Kind kind, const UserPtr &sender, const QString &what);
    void rememberOtherCopy(const QString &logon);
    // Whether the sender is a remembered other copy; it then counts as heard from just now.
    bool isOtherCopy(const QString &logon);

    AppState &m_state;
    RemoteCommands &m_commands;
    Clock m_clock;
    ActivityLog *m_log = nullptr;
    // Latest first.
    std::list<QString> m_otherCopyOrder;
    QHash<QString, std::list<QString>::iterator> m_otherCopies;
    QHash<QString, std::deque<std::chrono::milliseconds>> m_awaySent;
};

} // namespace zelmo
