#pragma once

// What the network backends hand out as their lists and services: views of state they share
// with the client object, so that a view handed out earlier keeps reading the current lists,
// and stays valid after the client object is gone.

#include "messenger/messenger.h"
#include "messenger/messengererror.h"

#include <QPointer>

#include <array>
#include <memory>
#include <vector>

namespace zelmo {

template <typename User> struct LiveState {
    static constexpr std::size_t listCount = 3;
    std::array<std::vector<std::shared_ptr<User>>, listCount> lists;
    qint32 serviceStatus = ServiceStatus::NotConnected;
};

// One list of a LiveState, by kind.
template <typename User> class LiveUserList : public UserCollection {
public:
    LiveUserList(std::shared_ptr<LiveState<User>> state, ListKind kind)
        : m_state(std::move(state))
        , m_kind(static_cast<std::size_t>(kind))
    {
    }
    qint32 GetCount() const override { return static_cast<qint32>(m_state->lists[m_kind].size()); }
    UserPtr Item(qint32 index) const override
    {
        const auto &list = m_state->lists[m_kind];
        if (index < 0 || static_cast<std::size_t>(index) >= list.size())
            throw MessengerError(QStringLiteral("Item"),
                                 QStringLiteral("index %1 out of range").arg(index));
        return list[static_cast<std::size_t>(index)];
    }

private:
    std::shared_ptr<LiveState<User>> m_state;
    std::size_t m_kind;
};

// The one service of a backend: its status from the shared state, its name change through
// the backend object, while there is one.
template <typename User, typename Owner> class LiveService : public MessengerService {
public:
    LiveService(std::shared_ptr<LiveState<User>> state, Owner *owner)
        : m_state(std::move(state))
        , m_owner(owner)
    {
    }
    void SetFriendlyName(const QString &name) override
    {
        if (!m_owner)
            throw MessengerError(QStringLiteral("SetFriendlyName"),
                                 QStringLiteral("the client is gone"));
        m_owner->setFriendlyName(name);
    }
    qint32 GetServiceStatus() const override { return m_state->serviceStatus; }

private:
    std::shared_ptr<LiveState<User>> m_state;
    QPointer<Owner> m_owner;
};

// A client with the one service.
class SingleService : public ServiceCollection {
public:
    explicit SingleService(ServicePtr primary)
        : m_primary(std::move(primary))
    {
    }
    ServicePtr GetPrimaryService() const override { return m_primary; }

private:
    ServicePtr m_primary;
};

} // namespace zelmo
