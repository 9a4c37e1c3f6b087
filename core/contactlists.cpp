#include "core/contactlists.h"

#include "core/appstate.h"
#include "messenger/messengererror.h"

namespace zelmo {

ContactLists::ContactLists(AppState &state, OnlineListView &view, QObject *parent)
    : QObject(parent)
    , m_state(state)
    , m_view(view)
{
    m_state.setListRefresher([this] { bringUpToDate(); });
}

ContactLists::~ContactLists()
{
    m_state.setListRefresher(nullptr);
}

void ContactLists::contactEvent()
{
    if (m_rebuildPerEvent) {
        rebuildOnlineList();
        return;
    }
    m_stale = true;
    if (m_rebuildScheduled)
        return;
    m_rebuildScheduled = true;
    // Queued behind the events already waiting, so that a burst ends in one rebuild.
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_rebuildScheduled = false;
            bringUpToDate();
        },
        Qt::QueuedConnection);
}

void ContactLists::bringUpToDate()
{
    if (m_stale)
        rebuildOnlineList();
}

QString ContactLists::onlineCountText(qint16 count)
{
    return QString::number(count) +
           (count == 1 ? QStringLiteral(" Person online") : QStringLiteral(" People online"));
}

void ContactLists::appendOnline(const UserCollectionPtr &list, const QString &suffix,
                                QStringList &lines)
{
    if (!list)
        return;
    qint32 count = 0;
    if (!skipOnFailure([&] { count = list->GetCount(); }))
        return;
    lines.reserve(lines.size() + count);
    for (qint32 index = 0; index < count; ++index) {
        // A contact whose state or name cannot be read is not listed.
        skipOnFailure([&] {
            const UserPtr user = list->Item(index);
            if (!isOnline(user->GetState()))
                return;
            QString line = user->GetFriendlyName();
            if (!suffix.isEmpty())
                line += suffix;
            lines.append(std::move(line));
            ++m_state.onlineCountSoFar;
        });
    }
}

void ContactLists::rebuildOnlineList()
{
    // Cleared first: an event marked during the rebuild schedules another one.
    m_stale = false;
    MessengerObject *mm = m_state.messenger;
    // The lines are handed to the window in one batch at the end, not one by one: a sign-in
    // brings one rebuild per contact.
    QStringList lines;
    if (mm) {
        skipOnFailure([&] { m_state.allowedUsers = mm->GetList(ListKind::Users); });
        skipOnFailure([&] { m_state.blockedUsers = mm->GetList(ListKind::Blocked); });
        skipOnFailure([&] { m_state.allContacts = mm->GetList(ListKind::AllContacts); });
    }
    appendOnline(m_state.allowedUsers, QString(), lines);
    appendOnline(m_state.blockedUsers, blockedSuffix(), lines);
    m_view.setOnlineLines(lines);

    if (mm) {
        skipOnFailure(
            [&] { m_state.awayMessages.resize(mm->GetList(ListKind::AllContacts)->GetCount()); });
    }
    m_state.onlineCount = m_state.onlineCountSoFar;
    m_state.listsRebuilt = true;
    m_view.setOnlineCountText(onlineCountText(m_state.onlineCountSoFar));
    m_state.onlineCountSoFar = 0;
    if (m_state.onListsRebuilt)
        m_state.onListsRebuilt();
}

void ContactLists::connectTo(MessengerObject &mm)
{
    connect(&mm, &MessengerObject::OnUserStateChanged, this, [this] { onUserStateChanged(); });
    connect(&mm, &MessengerObject::OnUserFriendlyNameChangeResult, this,
            [this] { onUserFriendlyNameChangeResult(); });
    connect(&mm, &MessengerObject::OnListAddResult, this, [this] { onListAddResult(); });
    connect(&mm, &MessengerObject::OnListRemoveResult, this, [this] { onListRemoveResult(); });
    connect(&mm, &MessengerObject::OnBuddyPropertyChangeResult, this,
            [this] { onBuddyPropertyChangeResult(); });
}

void ContactLists::onUserStateChanged()
{
    if (!m_state.notConnected)
        contactEvent();
}

void ContactLists::onUserFriendlyNameChangeResult()
{
    if (!m_state.notConnected)
        contactEvent();
}

bool ContactLists::listResultsApply() const
{
    if (!m_state.messenger)
        return false;
    qint32 status = ServiceStatus::Connected;
    // When the status cannot be read the list still changed: rebuilding is harmless, since
    // every step of the rebuild is guarded.
    skipOnFailure([&] {
        status = m_state.messenger->GetServices()->GetPrimaryService()->GetServiceStatus();
    });
    return status != ServiceStatus::Synchronizing;
}

void ContactLists::onListAddResult()
{
    if (listResultsApply())
        contactEvent();
}

void ContactLists::onListRemoveResult()
{
    if (listResultsApply())
        contactEvent();
}

void ContactLists::onBuddyPropertyChangeResult()
{
    contactEvent();
}

} // namespace zelmo
