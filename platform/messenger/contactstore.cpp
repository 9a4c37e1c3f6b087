#include "platform/messenger/contactstore.h"

#include <QSet>

namespace zelmo {

namespace {
constexpr qint32 kOk = 0;
}

ContactStore::ContactStore(MessengerObject *owner, std::shared_ptr<LiveState> state, Raise raise,
                           std::size_t strangers)
    : m_owner(owner)
    , m_state(std::move(state))
    , m_raise(std::move(raise))
    , m_strangers(strangers)
{
}

LiveUserPtr ContactStore::find(const QString &logon) const
{
    if (LiveUserPtr user = m_listed.value(logon))
        return user;
    return m_strangers.value(logon);
}

LiveUserPtr ContactStore::contact(const QString &logon) const
{
    return m_contacts.value(logon);
}

LiveUserPtr ContactStore::met(const QString &logon, qint32 state)
{
    if (LiveUserPtr user = m_listed.value(logon))
        return user;
    return m_strangers.use(logon, [&] { return std::make_shared<LiveUser>(logon, logon, state); });
}

void ContactStore::setLists(LiveState::Lists lists)
{
    const LiveState::Lists before = std::exchange(m_state->lists, std::move(lists));
    m_listed.clear();
    m_contacts.clear();
    for (std::size_t k = 0; k < LiveState::listCount; ++k) {
        for (const LiveUserPtr &user : m_state->lists[k]) {
            m_listed.insert(user->logon(), user);
            if (k == static_cast<std::size_t>(ListKind::AllContacts))
                m_contacts.insert(user->logon(), user);
            m_strangers.take(user->logon());
        }
    }
    for (std::size_t k = 0; k < LiveState::listCount; ++k) {
        const ListKind kind = static_cast<ListKind>(k);
        QSet<const LiveUser *> was, is;
        for (const LiveUserPtr &u : before[k])
            was.insert(u.get());
        for (const LiveUserPtr &u : m_state->lists[k])
            is.insert(u.get());
        for (const LiveUserPtr &u : before[k]) {
            if (!is.contains(u.get()))
                m_raise([q = m_owner, kind, u] { Q_EMIT q->OnListRemoveResult(kOk, kind, u); });
        }
        for (const LiveUserPtr &u : m_state->lists[k]) {
            if (!was.contains(u.get()))
                m_raise([q = m_owner, kind, u] { Q_EMIT q->OnListAddResult(kOk, kind, u); });
        }
    }
}

void ContactStore::setName(const LiveUserPtr &user, const QString &name, bool always)
{
    const QString previous = user->name();
    if (name == previous && !always)
        return;
    user->setName(name);
    m_raise([q = m_owner, user, previous] {
        Q_EMIT q->OnUserFriendlyNameChangeResult(kOk, user, previous);
    });
}

void ContactStore::setState(const LiveUserPtr &user, qint32 state)
{
    const qint32 previous = user->state();
    if (state == previous)
        return;
    user->setState(state);
    m_raise([q = m_owner, user, previous] {
        bool enableDefault = true;
        Q_EMIT q->OnUserStateChanged(user, previous, &enableDefault);
    });
}

void ContactStore::allOffline()
{
    for (const LiveUserPtr &user : std::as_const(m_listed))
        setState(user, ContactState::Offline);
    m_strangers.forEach([this](const LiveUserPtr &user) { setState(user, ContactState::Offline); });
}

} // namespace zelmo
