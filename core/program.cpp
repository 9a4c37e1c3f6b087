#include "core/program.h"

#include "messenger/messengererror.h"

#include <algorithm>

namespace zelmo {

struct Program::ViewSlot : MainView {
    MainView *target = nullptr;
    void setOnlineLines(const QStringList &l) override
    {
        if (target)
            target->setOnlineLines(l);
    }
    void setOnlineCountText(const QString &t) override
    {
        if (target)
            target->setOnlineCountText(t);
    }
    void setMailText(const QString &t) override
    {
        if (target)
            target->setMailText(t);
    }
    void setStatusText(const QString &t) override
    {
        if (target)
            target->setStatusText(t);
    }
    void setSwitchCaption(const QString &t) override
    {
        if (target)
            target->setSwitchCaption(t);
    }
    void setTitle(const QString &t) override
    {
        if (target)
            target->setTitle(t);
    }
    void setSwitchEnabled(bool on) override
    {
        if (target)
            target->setSwitchEnabled(on);
    }
    void setWindowEnabled(bool on) override
    {
        if (target)
            target->setWindowEnabled(on);
    }
    void showProgress() override
    {
        if (target)
            target->showProgress();
    }
    void dismissProgress() override
    {
        if (target)
            target->dismissProgress();
    }
    void showWindow() override
    {
        if (target)
            target->showWindow();
    }
    void setAwayEditorEnabled(bool on) override
    {
        if (target)
            target->setAwayEditorEnabled(on);
    }
    void setOnlineListVisible(bool on) override
    {
        if (target)
            target->setOnlineListVisible(on);
    }
    void setNotConnectedText(const QString &t) override
    {
        if (target)
            target->setNotConnectedText(t);
    }
    void setNotConnectedReason(const QString &r) override
    {
        if (target)
            target->setNotConnectedReason(r);
    }
    void showNoAwayMessages(const QString &t) override
    {
        if (target)
            target->showNoAwayMessages(t);
    }
    void showAwayMessagesSet(const QString &t) override
    {
        if (target)
            target->showAwayMessagesSet(t);
    }
    void warnUser(const QString &t, bool wait) override
    {
        if (target)
            target->warnUser(t, wait);
    }
    void showActivityRecord() override
    {
        if (target)
            target->showActivityRecord();
    }
    void closeSplash() override
    {
        if (target)
            target->closeSplash();
    }
    void removeTrayIcon() override
    {
        if (target)
            target->removeTrayIcon();
    }
    bool keepsCodeHidden() const override { return target && target->keepsCodeHidden(); }
    void endProgram(int status) override
    {
        if (target)
            target->endProgram(status);
    }
};

void Program::setView(MainView *view)
{
    m_slot->target = view;
}

Program::Program(MainView &view, MessengerObject *messenger, SettingsStore &settings,
                 SoundPlayer *sound, IdleSource *idle, QObject *parent)
    : Program(messenger, settings, sound, idle, parent)
{
    setView(&view);
}

Program::Program(MessengerObject *messenger, SettingsStore &settings, SoundPlayer *sound,
                 IdleSource *idle, QObject *parent)
    : QObject(parent)
    , m_slot(std::make_unique<ViewSlot>())
    , m_view(*m_slot)
    , m_messenger(messenger)
    , m_contactLists(m_state, m_view)
    , m_localStatus(m_state, m_view)
    , m_authorizationCode(m_state, settings)
    , m_commands(m_state, m_localStatus, sound)
    , m_dispatcher(m_state, m_commands)
    , m_idleAway(m_state, m_localStatus, settings, idle)
    , m_remembered(m_state, settings, AwayMessageFile(AwayMessageFile::defaultPath()))
{
    // Shown without waiting: a change comes from inside the editor or a command. A message
    // set from outside the window shows at once too; the poller tells when none is left.
    m_state.onAwayMessagesChanged = [this] {
        if (m_state.awayMessages.freeEntryCount() < m_state.awayMessages.entryCount())
            m_view.showAwayMessagesSet(awayMessagesSetText());
        if (const QString problem = m_remembered.tableChanged(); !problem.isEmpty())
            m_view.warnUser(problem, false);
    };
    m_log.setAwayProbe([this] { return m_state.AwayMode; });
    m_log.setFileProblemHandler(
        [this](const QString &problem) { m_view.warnUser(problem, false); });
    m_commands.setLog(&m_log);
    m_dispatcher.setLog(&m_log);
    m_watchdog.setInterval(m_tickInterval);
    m_poller.setInterval(m_tickInterval);
    connect(&m_watchdog, &QTimer::timeout, this, &Program::watchdogTick);
    connect(&m_poller, &QTimer::timeout, this, &Program::pollTick);
}

Program::~Program()
{
    detachMessenger();
}

QString Program::countdownCaption(qint16 seconds)
{
    // No singular form: the last second reads "1 Seconds" too.
    return QStringLiteral("Self Destruction in ") + QString::number(seconds) +
           QStringLiteral(" Seconds");
}

void Program::setTickInterval(int milliseconds)
{
    m_tickInterval = milliseconds;
    m_watchdog.setInterval(milliseconds);
    m_poller.setInterval(milliseconds);
}

void Program::attachMessenger()
{
    m_state.messenger = m_messenger;
    if (!m_messenger)
        return;
    m_contactLists.connectTo(*m_messenger);
    m_localStatus.connectTo(*m_messenger);
    m_idleAway.connectTo(*m_messenger);
    connect(m_messenger, &MessengerObject::OnTextReceived, this,
            [this](const IMSessionPtr &session, const UserPtr &user, const QString &header,
                   const QString &text, bool *enableDefault) {
                m_dispatcher.onTextReceived(session, user, header, text, enableDefault);
            });
    connect(m_messenger, &MessengerObject::OnTextFromStranger, this,
            [this](const QString &logon, const QString &text) {
                m_log.add(ActivityLog::Kind::Unanswered, QString(), logon,
                          QStringLiteral("Not answered, not one of your contacts: ") +
                              ActivityLog::firstLine(text));
            });
    // The logon event guards its steps; the log-off only sets a flag.
    connect(m_messenger, &MessengerObject::OnLogonResult, this, [this] { onLogonResult(); });
    connect(m_messenger, &MessengerObject::OnLogoff, this, [this] { onLogoff(); });
}

void Program::detachMessenger()
{
    if (m_state.messenger) {
        m_state.messenger->disconnect(this);
        m_state.messenger->disconnect(&m_contactLists);
        m_state.messenger->disconnect(&m_localStatus);
        m_state.messenger->disconnect(&m_idleAway);
    }
    m_state.messenger = nullptr;
}

int Program::lossStatus()
{
    if (!m_wasConnected)
        return exitMessengerNotReached;
    // A messenger signed out by the user reads not connected; one that lost its connection,
    // or a client that went away unasked, reads lost.
    return serviceStatus().value_or(ServiceStatus::ConnectionLost) == ServiceStatus::ConnectionLost
               ? exitMessengerLost
               : exitAsked;
}

std::optional<qint32> Program::serviceStatus()
{
    std::optional<qint32> status;
    skipOnFailure([&] {
        if (m_state.messenger)
            status = m_state.messenger->GetServices()->GetPrimaryService()->GetServiceStatus();
    });
    return status;
}

bool Program::connectionTestPassed()
{
    const std::optional<qint32> status = serviceStatus();
    return status && *status != ServiceStatus::NotConnected;
}

void Program::start()
{
    // The watchdog is on from the moment the window is loaded; its first tick comes a
    // second later, after the start-up.
    m_watchdog.setInterval(m_tickInterval);
    m_watchdog.start();

    // Shown without waiting: the start-up goes on behind the box.
    if (const QString notice = m_authorizationCode.load(m_view.keepsCodeHidden());
        !notice.isEmpty())
        m_view.warnUser(notice, false);

    m_state.onlineCount = 0;
    m_state.onlineCountSoFar = 0;
    m_state.emptyAwaySlots = 0;
    m_state.startupProgress = 0;
    m_state.selfDestructCount = 3;
    m_state.notConnected = false;

    m_state.startupStep = QStringLiteral("Opening Joke Files");
    m_state.advanceProgress();
    m_state.loadJokes();

    // Before the messenger is attached: its events add rows after the earlier runs' ones.
    if (!m_recordPath.isEmpty()) {
        if (const QString problem = m_log.attachFile(m_recordPath); !problem.isEmpty())
            m_view.warnUser(problem, false);
    }

    attachMessenger();

    m_wasConnected = connectionTestPassed();
    if (!m_wasConnected) {
        m_state.connectionFailed = true;
        m_state.notConnected = true;
    } else {
        m_state.startupStep = QStringLiteral("Creating Messenger Controls");
        m_state.advanceProgress();

        MessengerObject *mm = m_state.messenger;
        fetchLists();

        m_state.AwayMode = false;

        m_state.startupStep = QStringLiteral("Loading User Lists");
        m_state.advanceProgress();
        m_contactLists.rebuildOnlineList();
        m_localStatus.refreshLocalStatus();

        m_view.setOnlineCountText(ContactLists::onlineCountText(m_state.onlineCount));
        // The table starts empty, one entry per contact and one more.
        m_state.awayMessages = AwayMessageTable();
        skipOnFailure([&] {
            m_state.awayMessages = AwayMessageTable(mm->GetList(ListKind::AllContacts)->GetCount());
        });
        // The messages kept from an earlier run, onto the places of the contacts now listed.
        if (const QString problem = m_remembered.restore(); !problem.isEmpty())
            m_view.warnUser(problem, false);
        if (m_state.awayMessages.freeEntryCount() < m_state.awayMessages.entryCount())
            m_view.showAwayMessagesSet(awayMessagesSetText());
    }

    if (m_state.connectionFailed)
        connectionLost();
    // What a run that ended while the user was away did not show them. Not when the program
    // is about to end again: the window would go with it.
    else if (m_log.owesAwayRows())
        m_view.showActivityRecord();
    // After the code's settings check, and with the messenger attached: it follows the
    // messenger's confirmations of the own state.
    m_idleAway.start();
}

void Program::windowActivated()
{
    if (m_ended)
        return;
    if (!connectionTestPassed())
        m_state.notConnected = true;
}

void Program::showNotConnected()
{
    m_view.showWindow();
    m_view.setSwitchEnabled(false);
    m_view.setAwayEditorEnabled(false);
    m_view.setOnlineListVisible(false);
    m_view.setOnlineCountText(QStringLiteral("Not Connected"));
    m_view.setStatusText(QStringLiteral("Status: Not Connected"));
    m_view.setNotConnectedText(notConnectedText());
    m_view.setNotConnectedReason(endReason());
    m_poller.stop();
}

void Program::shutDown()
{
    if (m_ended)
        return;
    m_ended = true;
    m_state.unloading = true;
    m_idleAway.stop();
    // Read while the messenger is still attached.
    const int status = m_selfDestructing ? lossStatus() : exitAsked;
    // A failing step must not keep the program from ending: none of these throws. A user who
    // closed the program reads why the code was not saved before it ends; after the watchdog's
    // countdown nobody may be there to close a box.
    if (!m_authorizationCode.save())
        m_view.warnUser(m_authorizationCode.notSavedText(), !m_selfDestructing);
    m_log.flush();
    m_watchdog.stop();
    m_poller.stop();
    m_view.closeSplash();
    m_state.awayMessages = AwayMessageTable();
    detachMessenger();
    m_state.allowedUsers.reset();
    m_state.blockedUsers.reset();
    m_state.allContacts.reset();
    m_view.removeTrayIcon();
    m_view.endProgram(status);
}

void Program::awayMessageCheck()
{
    // The count is kept for the length of the check only.
    const qint32 free = m_state.awayMessages.freeEntryCount();
    if (free == m_state.awayMessages.entryCount())
        m_view.showNoAwayMessages(noAwayMessagesText());
    m_state.emptyAwaySlots = 0;
}

void Program::watchdogTick()
{
    if (m_ended)
        return;
    m_state.bringListsUpToDate();
    if (!m_state.notConnected)
        awayMessageCheck();
    if (m_state.selfDestructCount == 0) {
        m_selfDestructing = true;
        shutDown();
        return;
    }
    if (m_state.notConnected) {
        showNotConnected();
        m_view.setTitle(countdownCaption(m_state.selfDestructCount));
        --m_state.selfDestructCount;
    } else {
        m_watchdog.stop();
        m_poller.start();
    }
}

void Program::pollTick()
{
    if (m_ended)
        return;
    m_state.bringListsUpToDate();
    fetchLists();
    m_localStatus.refreshLocalStatus();
    const std::optional<qint32> status = serviceStatus();
    followAwayMode(!m_state.notConnected && status && *status != ServiceStatus::NotConnected &&
                   *status != ServiceStatus::ConnectionLost);
    if (m_state.notConnected)
        enableWatchdog();
    awayMessageCheck();
    if (!status || *status == ServiceStatus::NotConnected)
        m_state.connectionFailed = true;
    if (m_state.connectionFailed)
        connectionLost();
}

void Program::connectionLost()
{
    // The display now, the countdown from the watchdog's next tick.
    showNotConnected();
    m_state.notConnected = true;
    m_watchdog.setInterval(m_tickInterval);
    m_watchdog.start();
    m_poller.stop();
    m_state.connectionFailed = false;
}

void Program::fetchLists()
{
    MessengerObject *mm = m_state.messenger;
    if (!mm)
        return;
    skipOnFailure([&] { m_state.allowedUsers = mm->GetList(ListKind::Users); });
    skipOnFailure([&] { m_state.blockedUsers = mm->GetList(ListKind::Blocked); });
    skipOnFailure([&] { m_state.allContacts = mm->GetList(ListKind::AllContacts); });
}

void Program::followAwayMode(bool connected)
{
    // Still away as far as the record goes: what it holds is shown at the next start.
    if (!connected)
        return;
    if (!m_state.AwayMode) {
        m_dispatcher.userIsBack();
        // The rows since the last poll that found the user here, recorded while away. A row
        // recorded while away is itself the proof of an absence: a user who went away and came
        // back between two polls, with answers sent meanwhile, has returned too.
        const quint64 added = m_log.addedCount() - m_addedWhileHere;
        const auto &rows = m_log.rows();
        const auto since =
            rows.begin() + static_cast<std::ptrdiff_t>(std::min<quint64>(added, rows.size()));
        if (std::any_of(rows.begin(), since,
                        [](const ActivityLog::Row &row) { return row.whileAway; }))
            m_view.showActivityRecord();
        m_addedWhileHere = m_log.addedCount();
    }
}

void Program::enableWatchdog()
{
    // Switching on a running timer leaves it running: restarting it at every poll would keep
    // the watchdog from ever ticking while the poller runs.
    if (!m_watchdog.isActive())
        m_watchdog.start();
}

void Program::onLogonResult()
{
    if (!m_state.AwayMode)
        m_view.setStatusText(QStringLiteral("Status: Online"));
    m_view.setMailText(LocalStatus::mailText(m_state.unreadMail));
}

void Program::onLogoff()
{
    m_state.notConnected = true;
}

} // namespace zelmo
