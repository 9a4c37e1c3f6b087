#pragma once

#include "messenger/messenger.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>

namespace zelmo {

class AppState;
class LocalStatus;
class SettingsStore;

// Tells when the desktop has had no input for a while. Implemented in platform/ on the
// desktop's own idle time.
class IdleSource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    virtual bool available() const = 0;
    // Why idle time cannot be read here, for the user; empty while available.
    virtual QString unavailableReason() const = 0;
    // From now on: idle() once the desktop has had no input for idleFor, then resumed() at the
    // next input, and so on until stop(). Watching again replaces the earlier bound.
    virtual void watch(std::chrono::milliseconds idleFor) = 0;
    virtual void stop() = 0;

Q_SIGNALS:
    void idle();
    void resumed();
};

// Goes away when the desktop has been idle for the chosen time, as the away/back switch does,
// and comes back at the next input, but only when it was the one that went away: a user who
// chose away (or came back) for themselves keeps that choice.
class IdleAway : public QObject {
    Q_OBJECT
public:
    struct Choice {
        bool enabled = false;
        int minutes = 10;
    };
    static constexpr int minMinutes = 1;
    static constexpr int maxMinutes = 1440;
    static QString enabledKey() { return QStringLiteral("GoAwayWhenIdle"); }
    static QString minutesKey() { return QStringLiteral("IdleMinutes"); }

    // source may be null: idle time cannot be read then. None of them is owned.
    IdleAway(AppState &state, LocalStatus &status, SettingsStore &store, IdleSource *source,
             QObject *parent = nullptr);

    // The choice in force: the stored one from start() on, off before.
    Choice choice() const { return m_choice; }
    // Stores the choice (minutes clamped to minMinutes..maxMinutes) and starts or stops
    // watching at once. Returns false when it could not be stored; it is in force all the same.
    bool setChoice(Choice choice);
    // Reads the stored choice (bad values read as off and 10 minutes) and watches when it is on
    // and idle time can be read. Called once the start-up has loaded the settings and attached
    // the messenger.
    void start();
    void stop();
    // Follows the states the client confirms, so that a user back by hand is seen.
    void connectTo(MessengerObject &mm);

    bool available() const;
    QString unavailableReason() const;
    // The program went away because the desktop was idle, and will come back at the next input.
    bool wentAwayByItself() const { return m_wentAway; }
    // The user asked for away themselves (from outside the window): the next input must not
    // bring them back, even when idle time went away first or is going away now.
    void awaySetByHand();

    // A minute is 60 s unless set; tests shorten it.
    void setMinuteLength(std::chrono::milliseconds length) { m_minute = length; }

private:
    void watchOrStop();
    void onIdle();
    void onResumed();
    // A state the client confirmed: one that is not away means the user is back, by hand.
    void onStateConfirmed(qint32 state);
    // Not while the program is without a connection, ending, or changing the state already.
    bool mayAct() const;

    AppState &m_state;
    LocalStatus &m_status;
    SettingsStore &m_store;
    QPointer<IdleSource> m_source;
    Choice m_choice;
    std::chrono::milliseconds m_minute{60000};
    bool m_wentAway = false;
    bool m_goingAway = false;        // our own switch to away is waiting
    bool m_resumedMeanwhile = false; // input came back during that wait
    bool m_byHandMeanwhile = false;  // the user asked for away during that wait
};

} // namespace zelmo
