#pragma once

#include "messenger/messenger.h"

#include <QDeadlineTimer>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <optional>
#include <vector>

namespace zelmo {

class AppState;
struct LocalStateInfo;

// What the own-status display and the away/back switch need of the main window.
class StatusView {
public:
    virtual ~StatusView() = default;
    virtual void setMailText(const QString &text) = 0;   // status bar panel 1
    virtual void setStatusText(const QString &text) = 0; // status bar panel 2
    virtual void setSwitchCaption(const QString &text) = 0;
    virtual void setTitle(const QString &title) = 0;
    virtual void setSwitchEnabled(bool enabled) = 0;
    virtual void setWindowEnabled(bool enabled) = 0;
    // The "changing status" progress window: shown not modal, closed by itself once
    // switchCompleted is set, or dismissed when a switch is given up.
    virtual void showProgress() = 0;
    virtual void dismissProgress() = 0;
};

// The user's own state: the refresh that shows it and the away/back switch.
class LocalStatus : public QObject {
    Q_OBJECT
public:
    LocalStatus(AppState &state, StatusView &view, QObject *parent = nullptr);

    static QString awayTitle() { return QStringLiteral("Zelmo Extensions - Auto Away"); }
    static QString onlineTitle() { return QStringLiteral("Zelmo Extensions"); }
    static QString awayCaption() { return QStringLiteral("Set yourself Back"); }
    static QString onlineCaption() { return QStringLiteral("Set yourself Away"); }
    static QString mailText(qint16 count);

    // Reads the unread mail count and the own state and shows them; sets done. Each step
    // is guarded on its own.
    void refreshLocalStatus();

    enum class SwitchResult {
        Completed, // the client reported the requested state
        TimedOut,  // no confirmation in time, or the program is ending; the window is given back
        Redirected // a switch was already waiting: it now waits for this request instead
    };
    // Told whether the state a switch requested was read back from the client: true as soon
    // as it is, false once that can no longer happen (the wait gave up or failed). Called
    // exactly once, before toggleAway returns, or later for a redirected switch.
    using Outcome = std::function<void(bool confirmed)>;

    // The away/back switch. Its direction follows AwayMode at the moment of the call.
    // Returns once the client reports the new state, or the wait limit has passed; then the
    // request is withdrawn. A failing client call gives the window back first, then throws
    // MessengerError. Once the program is unloading it asks nothing and fails at once.
    SwitchResult toggleAway(Outcome outcome = {});
    bool switchInProgress() const { return m_target.has_value(); }

    // How long a switch waits for the client's confirmation; 15 s unless set.
    void setWaitLimit(std::chrono::milliseconds limit) { m_waitLimit = limit; }
    // How often the state is read again while waiting.
    static constexpr std::chrono::milliseconds pollInterval{20};

    void connectTo(MessengerObject &mm);
    void onLocalStateChangeResult(const ServicePtr &service);
    void onLocalPropertyChangeResult(const ServicePtr &service);

Q_SIGNALS:
    // Raised when the client's confirmation of an own state has arrived, to end a wait early.
    void confirmationArrived();

private:
    struct SwitchRequest {
        qint32 asked;     // the state requested of the client
        qint32 confirmed; // the state the client will confirm for it
    };
    // Steps 1-4 of a switch: the flag and what the window shows, for the state the client
    // will end in.
    SwitchRequest applySwitchDirection(MessengerObject &mm);
    void giveWindowBack();
    // What a state's row of the table shows: in two parts, as the refresh asks for busy again
    // between them.
    void showCaptionAndTitle(const LocalStateInfo &row);
    void showAwayModeAndStatus(const LocalStateInfo &row);
    // The wait gave up: the client is asked to stay in the state it reports, so that the
    // request given up on is not carried out after all.
    void withdrawRequest(MessengerObject &mm);
    // A switch given up: the window back, the progress window gone, no completion signalled.
    void abandonSwitch();
    // Returns false once the application is quitting.
    bool waitForEvents();
    void markLostIfConnectionLost(const ServicePtr &service);
    // Tells the requests waiting for the state just read that it has come.
    void settleOutcomes(qint32 state);
    // Tells every request still waiting that its state will not come.
    void failOutcomes();

    AppState &m_state;
    StatusView &m_view;
    std::chrono::milliseconds m_waitLimit{15000};
    std::optional<qint32> m_target; // the state a waiting switch waits for
    QDeadlineTimer m_deadline;      // when it gives up; a redirected switch starts anew
    struct PendingOutcome {
        qint32 state;
        Outcome outcome;
    };
    std::vector<PendingOutcome> m_outcomes; // the requests of the switch now waiting
};

} // namespace zelmo
