#include "core/idleaway.h"

#include "core/appstate.h"
#include "core/authorizationcode.h"
#include "core/localstatus.h"
#include "core/settingsstore.h"
#include "messenger/messengererror.h"
#include "messenger/states.h"

#include <algorithm>
#include <utility>

namespace zelmo {

IdleAway::IdleAway(AppState &state, LocalStatus &status, SettingsStore &store, IdleSource *source,
                   QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_status(status)
    , m_store(store)
    , m_source(source)
{
    if (source) {
        connect(source, &IdleSource::idle, this, &IdleAway::onIdle);
        connect(source, &IdleSource::resumed, this, &IdleAway::onResumed);
    }
}

bool IdleAway::setChoice(Choice choice)
{
    choice.minutes = std::clamp(choice.minutes, minMinutes, maxMinutes);
    m_choice = choice;
    // Both writes are tried: a store that takes one of them still keeps what it can.
    const bool enabledStored =
        m_store.write(AuthorizationCode::application(), AuthorizationCode::section(), enabledKey(),
                      choice.enabled ? QStringLiteral("1") : QStringLiteral("0"));
    const bool minutesStored =
        m_store.write(AuthorizationCode::application(), AuthorizationCode::section(), minutesKey(),
                      QString::number(choice.minutes));
    watchOrStop();
    return enabledStored && minutesStored;
}

void IdleAway::start()
{
    const auto stored = [this](const QString &key) {
        return m_store.read(AuthorizationCode::application(), AuthorizationCode::section(), key,
                            QString());
    };
    Choice choice;
    choice.enabled = stored(enabledKey()) == QLatin1String("1");
    bool ok = false;
    const int minutes = stored(minutesKey()).toInt(&ok, 10);
    // The dialog never stores a value out of range: one that is was not written by us.
    if (ok && minutes >= minMinutes && minutes <= maxMinutes)
        choice.minutes = minutes;
    m_choice = choice;
    watchOrStop();
}

void IdleAway::connectTo(MessengerObject &mm)
{
    // A user back by hand in the client shows up here, not in AwayMode until the next refresh.
    connect(&mm, &MessengerObject::OnLocalStateChangeResult, this,
            [this](qint32, qint32 state, const ServicePtr &) { onStateConfirmed(state); });
}

void IdleAway::stop()
{
    if (m_source)
        m_source->stop();
    // No input will be reported any more, so nothing is left to come back from.
    m_wentAway = false;
}

bool IdleAway::available() const
{
    return m_source && m_source->available();
}

QString IdleAway::unavailableReason() const
{
    if (!m_source)
        return QStringLiteral("Idle time cannot be read on this desktop");
    return m_source->unavailableReason();
}

void IdleAway::watchOrStop()
{
    if (m_choice.enabled && available())
        m_source->watch(m_choice.minutes * m_minute);
    else
        stop();
}

bool IdleAway::mayAct() const
{
    return m_state.messenger && !m_state.notConnected && !m_state.unloading &&
           !m_status.switchInProgress();
}

void IdleAway::onIdle()
{
    if (!m_choice.enabled || !mayAct() || m_state.AwayMode)
        return;
    m_goingAway = true;
    m_resumedMeanwhile = false;
    m_byHandMeanwhile = false;
    // Guarded as the window's own button is: a failing client leaves the state as it was, and
    // only a confirmed away is ours to undo.
    skipOnFailure([&] {
        m_status.toggleAway(
            [this](bool confirmed) { m_wentAway = confirmed && !m_byHandMeanwhile; });
    });
    m_goingAway = false;
    // The user came back while the client was still confirming: back at once.
    if (std::exchange(m_resumedMeanwhile, false))
        onResumed();
}

void IdleAway::awaySetByHand()
{
    m_wentAway = false;
    if (m_goingAway)
        m_byHandMeanwhile = true;
}

void IdleAway::onResumed()
{
    if (m_goingAway) {
        m_resumedMeanwhile = true;
        return;
    }
    if (!std::exchange(m_wentAway, false))
        return;
    // A switch of the user's own, or AwayMode false: they have already decided.
    if (!mayAct() || !m_state.AwayMode)
        return;
    skipOnFailure([&] { m_status.toggleAway(); });
}

void IdleAway::onStateConfirmed(qint32 state)
{
    if (m_goingAway)
        return;
    if (const LocalStateInfo *info = localStateInfo(state); info && !info->away)
        m_wentAway = false;
}

} // namespace zelmo
