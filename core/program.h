#pragma once

#include "core/activitylog.h"
#include "core/appstate.h"
#include "core/authorizationcode.h"
#include "core/commands.h"
#include "core/contactlists.h"
#include "core/dispatcher.h"
#include "core/idleaway.h"
#include "core/rememberedmessages.h"
#include "core/localstatus.h"
#include "core/mainview.h"

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace zelmo {

class SettingsStore;
class SoundPlayer;

// Everything the program holds for the whole run, and the logic of its life: the start-up,
// the activation test, the shutdown, the not-connected display and the two one-second timers
// that watch the connection. A view (the main window, or the lines of a run without a display)
// shows it and forwards its events here.
class Program : public QObject {
    Q_OBJECT
public:
    // messenger may be null (no client could be had): the start-up then finds it missing.
    // sound and idle may be null (no idle time: the program never goes away by itself). None
    // of them is owned. The view is set once it exists (setView); until then nothing is shown.
    Program(MessengerObject *messenger, SettingsStore &settings, SoundPlayer *sound = nullptr,
            IdleSource *idle = nullptr, QObject *parent = nullptr);
    Program(MainView &view, MessengerObject *messenger, SettingsStore &settings, SoundPlayer *sound,
            IdleSource *idle = nullptr, QObject *parent = nullptr);
    ~Program() override;

    // The view that shows the program; null: none (a view going away before the program).
    void setView(MainView *view);
    // Why the messenger could not be reached or went, asked each time the not-connected
    // display is shown; empty while there is nothing to tell.
    void setEndReason(std::function<QString()> reason) { m_endReason = std::move(reason); }
    QString endReason() const { return m_endReason ? m_endReason() : QString(); }

    // The not-connected text, naming the messenger in use.
    static QString notConnectedText(const QString &client)
    {
        return QStringLiteral("Please switch ") + client +
               QStringLiteral(" on before using this program..");
    }
    QString notConnectedText() const
    {
        return notConnectedText(m_messenger ? m_messenger->clientName() : QStringLiteral("MSN"));
    }
    static QString noAwayMessagesText() { return QStringLiteral("No away messages has been set!"); }
    static QString awayMessagesSetText()
    {
        return QStringLiteral("Away message has been set. Click to view");
    }
    static QString countdownCaption(qint16 seconds);

    // How the program ends, for whoever started it (a script, a systemd unit): the user asked
    // for it (closing it, "Exit Program", signing the messenger out), the messenger was lost
    // once connected, or it could not be reached at all.
    static constexpr int exitAsked = 0;
    static constexpr int exitMessengerLost = 3;
    static constexpr int exitMessengerNotReached = 4;

    AppState &state() { return m_state; }
    ContactLists &contactLists() { return m_contactLists; }
    LocalStatus &localStatus() { return m_localStatus; }
    AuthorizationCode &authorizationCode() { return m_authorizationCode; }
    Commands &commands() { return m_commands; }
    Dispatcher &dispatcher() { return m_dispatcher; }
    IdleAway &idleAway() { return m_idleAway; }
    // The away messages kept in a file across runs, when the user wants them kept.
    RememberedMessages &rememberedMessages() { return m_remembered; }
    // What was done for whom, with the rows of earlier runs once a file is set.
    ActivityLog &activityLog() { return m_log; }
    // The file that keeps the record across runs, one per account; set before the start-up,
    // which reads it. Without one the record is kept in memory only.
    void setRecordFile(const QString &path) { m_recordPath = path; }

    // The start-up: the code, the jokes, the messenger, the connection test, the lists, the
    // first status. Every step runs even when an earlier one failed.
    void start();
    // Each activation of the window tests the connection again.
    void windowActivated();
    // The one way out: saves the code, stops the timers, lets go of the messenger and ends
    // the program. Runs once; later calls do nothing.
    void shutDown();
    void showNotConnected();

    // The watchdog: on at start, hands over to the poller, counts down once the
    // connection is lost.
    void watchdogTick();
    // The poller, while connected: fresh lists, the status, the indicator, the connection.
    void pollTick();
    void enableWatchdog();
    void onLogonResult();
    void onLogoff();

    bool watchdogRunning() const { return m_watchdog.isActive(); }
    bool pollerRunning() const { return m_poller.isActive(); }
    bool ended() const { return m_ended; }
    // One second unless set; tests shorten it.
    void setTickInterval(int milliseconds);

private:
    // The connection test: false when the service status is 1 or cannot be read.
    bool connectionTestPassed();
    // The exit status of the watchdog's end: why the messenger went.
    int lossStatus();
    // The primary service's status; none when there is no messenger or it cannot be read.
    std::optional<qint32> serviceStatus();
    // The not-connected display, with the watchdog taking over from the poller.
    void connectionLost();
    // Users, BlockedUsers and allusers afresh from the messenger, each step guarded.
    void fetchLists();
    void awayMessageCheck();
    // Follows the user going away and coming back: on a return, the record of what was done
    // meanwhile opens by itself, once. Without a connection nothing is a return: a messenger
    // signed out or lost reads offline, which is not back.
    void followAwayMode(bool connected);
    void attachMessenger();
    void detachMessenger();

    // Passes everything on to the view in place, or drops it while there is none.
    struct ViewSlot;
    std::unique_ptr<ViewSlot> m_slot;
    MainView &m_view;
    std::function<QString()> m_endReason;
    MessengerObject *m_messenger;
    AppState m_state;
    ContactLists m_contactLists;
    LocalStatus m_localStatus;
    AuthorizationCode m_authorizationCode;
    Commands m_commands;
    Dispatcher m_dispatcher;
    IdleAway m_idleAway;
    RememberedMessages m_remembered;
    ActivityLog m_log;
    QString m_recordPath;
    quint64 m_addedWhileHere = 0; // the record's count at the last poll that found the user here
    QTimer m_watchdog;
    QTimer m_poller;
    int m_tickInterval = 1000;
    bool m_ended = false;
    bool m_selfDestructing = false; // the watchdog's countdown ran out
    bool m_wasConnected = false;    // the start-up's connection test passed
};

} // namespace zelmo
