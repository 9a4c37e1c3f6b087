#include "core/localstatus.h"

#include "core/appstate.h"
#include "core/pendingevents.h"
#include "messenger/messengererror.h"
#include "messenger/states.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include <limits>

namespace zelmo {

namespace {

MessengerObject &messengerOf(AppState &state, const char *operation)
{
    if (!state.messenger)
        throw MessengerError(QString::fromLatin1(operation), QStringLiteral("no messenger"));
    return *state.messenger;
}

} // namespace

LocalStatus::LocalStatus(AppState &state, StatusView &view, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_view(view)
{
}

QString LocalStatus::mailText(qint16 count)
{
    return QStringLiteral("Unread Mail: ") + QString::number(count > 0 ? count : 0);
}

void LocalStatus::refreshLocalStatus()
{
    m_state.startupStep = QStringLiteral("Getting Status info");
    m_state.advanceProgress();

    skipOnFailure([&] {
        const qint32 count = messengerOf(m_state, "GetUnreadMailCount").GetUnreadMailCount(0);
        if (count < std::numeric_limits<qint16>::min() ||
            count > std::numeric_limits<qint16>::max())
            throw MessengerError(QStringLiteral("GetUnreadMailCount"), QStringLiteral("overflow"));
        m_state.unreadMail = static_cast<qint16>(count);
    });
    m_view.setMailText(mailText(m_state.unreadMail));

    qint32 code = 0;
    if (skipOnFailure([&] { code = messengerOf(m_state, "GetLocalState").GetLocalState(); })) {
        if (const LocalStateInfo *row = localStateInfo(code)) {
            showCaptionAndTitle(*row);
            // Busy is asked for again on every refresh, so that the client keeps it; but not
            // while a switch waits, where the late request would undo the switch.
            if (code == LocalState::Busy && !switchInProgress())
                skipOnFailure([&] { m_state.messenger->SetLocalState(LocalState::Busy); });
            showAwayModeAndStatus(*row);
        }
    }
    m_state.startupDone = true;
}

void LocalStatus::showCaptionAndTitle(const LocalStateInfo &row)
{
    m_view.setSwitchCaption(row.away ? awayCaption() : onlineCaption());
    m_view.setTitle(row.away ? awayTitle() : onlineTitle());
}

void LocalStatus::showAwayModeAndStatus(const LocalStateInfo &row)
{
    m_state.AwayMode = row.away;
    m_view.setStatusText(QStringLiteral("Status: ") + QLatin1String(row.shortName));
}

LocalStatus::SwitchRequest LocalStatus::applySwitchDirection(MessengerObject &mm)
{
    const LocalStateInfo &asked =
        *localStateInfo(m_state.AwayMode ? LocalState::Online : LocalState::Away);
    // Back may end in the user's own status from before (Busy, say) rather than Online. An
    // answer that would turn back into away, or away into back, is not believed: the wait
    // would end at once on the state the switch leaves.
    qint32 code = asked.code;
    skipOnFailure([&] { code = mm.stateForRequest(asked.code); });
    const LocalStateInfo *row = localStateInfo(code);
    if (!row || row->away != asked.away)
        row = &asked;
    showAwayModeAndStatus(*row);
    showCaptionAndTitle(*row);
    return {asked.code, row->code};
}

void LocalStatus::giveWindowBack()
{
    m_target.reset();
    m_view.setWindowEnabled(true);
    m_view.setSwitchEnabled(true);
}

void LocalStatus::abandonSwitch()
{
    giveWindowBack();
    m_view.dismissProgress();
}

LocalStatus::SwitchResult LocalStatus::toggleAway(Outcome outcome)
{
    // Once the program is ending, nothing more is asked of the client.
    if (m_state.unloading) {
        if (outcome)
            outcome(false);
        return SwitchResult::TimedOut;
    }
    MessengerObject *mm = m_state.messenger;
    if (!mm) {
        if (outcome)
            outcome(false);
        throw MessengerError(QStringLiteral("SetLocalState"), QStringLiteral("no messenger"));
    }

    if (m_target) {
        // A switch is already waiting (a remote command arrived during its wait). Rather than
        // nest a second wait inside the first, the waiting switch takes over this request: the
        // latest request wins and the first wait returns once it is confirmed.
        const qint32 previous = *m_target;
        const SwitchRequest request = applySwitchDirection(*mm);
        m_target = request.confirmed;
        m_deadline = QDeadlineTimer(m_waitLimit);
        try {
            mm->SetLocalState(request.asked);
        } catch (const MessengerError &) {
            m_target = previous;
            if (outcome)
                outcome(false);
            throw;
        }
        if (outcome)
            m_outcomes.push_back({request.confirmed, std::move(outcome)});
        return SwitchResult::Redirected;
    }

    const SwitchRequest request = applySwitchDirection(*mm);
    // A completion left over from a switch that ended moments ago would close this switch's
    // progress window at its first tick.
    m_state.switchCompleted = false;
    m_view.setSwitchEnabled(false);
    m_view.showProgress();
    m_view.setWindowEnabled(false);
    m_target = request.confirmed;
    m_deadline = QDeadlineTimer(m_waitLimit);
    if (outcome)
        m_outcomes.push_back({request.confirmed, std::move(outcome)});
    try {
        mm->SetLocalState(request.asked);
        for (;;) {
            const qint32 state = mm->GetLocalState();
            settleOutcomes(state);
            if (state == *m_target)
                break;
            // The program may be ending (its window was closed during the wait): then no
            // event loop runs any more, and waiting on would only spin.
            if (m_state.unloading || !waitForEvents()) {
                abandonSwitch();
                failOutcomes();
                return SwitchResult::TimedOut;
            }
            if (m_deadline.hasExpired()) {
                withdrawRequest(*mm);
                abandonSwitch();
                failOutcomes();
                return SwitchResult::TimedOut;
            }
        }
    } catch (const MessengerError &) {
        abandonSwitch();
        failOutcomes();
        throw;
    }

    // A refresh during the wait may have shown the state the client had before; the one it
    // now reports holds from this moment, not only from the next refresh.
    if (const LocalStateInfo *row = localStateInfo(*m_target)) {
        showCaptionAndTitle(*row);
        showAwayModeAndStatus(*row);
    }
    giveWindowBack();
    m_state.switchCompleted = true;
    failOutcomes();
    return SwitchResult::Completed;
}

void LocalStatus::withdrawRequest(MessengerObject &mm)
{
    // The request given up on is still with the client, which might carry it out later and
    // make "could not be changed" untrue. Asking for the state it reports now replaces it.
    skipOnFailure([&] {
        const qint32 current = mm.GetLocalState();
        if (current != *m_target)
            mm.SetLocalState(current);
    });
}

void LocalStatus::settleOutcomes(qint32 state)
{
    // Taken out before any is called: an outcome sends a reply, which may let events run.
    std::vector<PendingOutcome> settled;
    for (auto it = m_outcomes.begin(); it != m_outcomes.end();) {
        if (it->state == state) {
            settled.push_back(std::move(*it));
            it = m_outcomes.erase(it);
        } else {
            ++it;
        }
    }
    for (PendingOutcome &p : settled)
        p.outcome(true);
}

void LocalStatus::failOutcomes()
{
    std::vector<PendingOutcome> failed;
    failed.swap(m_outcomes);
    for (PendingOutcome &p : failed)
        p.outcome(false);
}

bool LocalStatus::waitForEvents()
{
    // Blocks for events rather than spinning: timers, clicks and messenger events run here,
    // and the state is read again at the latest after pollInterval. Events queued before the
    // wait began are delivered first: a nested loop inside a queued event's handler would
    // otherwise hold them back until that handler returns.
    PendingEvents::Scope scope;
    QCoreApplication::sendPostedEvents();
    QEventLoop loop;
    QTimer::singleShot(pollInterval, &loop, &QEventLoop::quit);
    connect(this, &LocalStatus::confirmationArrived, &loop, &QEventLoop::quit);
    // A loop refuses to run (-1) once the application has been told to quit.
    return loop.exec() != -1;
}

void LocalStatus::markLostIfConnectionLost(const ServicePtr &service)
{
    if (service && service->GetServiceStatus() == ServiceStatus::ConnectionLost)
        m_state.notConnected = true;
}

void LocalStatus::onLocalStateChangeResult(const ServicePtr &service)
{
    Q_EMIT confirmationArrived();
    markLostIfConnectionLost(service);
}

void LocalStatus::onLocalPropertyChangeResult(const ServicePtr &service)
{
    markLostIfConnectionLost(service);
}

void LocalStatus::connectTo(MessengerObject &mm)
{
    // These handlers pass failures to their caller; for an event that is the event loop,
    // where a failure is dropped.
    connect(&mm, &MessengerObject::OnLocalStateChangeResult, this,
            [this](qint32, qint32, const ServicePtr &service) {
                skipOnFailure([&] { onLocalStateChangeResult(service); });
            });
    connect(&mm, &MessengerObject::OnLocalPropertyChangeResult, this,
            [this](qint32, qint32, const QVariant &, const ServicePtr &service) {
                skipOnFailure([&] { onLocalPropertyChangeResult(service); });
            });
}

} // namespace zelmo
