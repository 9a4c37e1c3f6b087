#pragma once

// What the network backends hand out as their lists and services: views of state they share
// with the client object, so that a view handed out earlier keeps reading the current lists,
// and stays valid after the client object is gone.

#include "messenger/messenger.h"
#include "messenger/messengererror.h"

#include <QPointer>

#include <array>
#include <memory>
#include <utility>
#include <vector>

namespace zelmo {

// A contact as the network backends keep it: what the client last said of it.
class LiveUser : public MessengerUser {
public:
    LiveUser(QString logon, QString name, qint32 state)
        : m_logon(std::move(logon))
        , m_name(std::move(name))
        , m_state(state)
    {
    }

    QString GetFriendlyName() const override { return m_name; }
    qint32 GetState() const override { return m_state; }
    QString GetLogonName() const override { return m_logon; }

    const QString &logon() const { return m_logon; }
    const QString &name() const { return m_name; }
    qint32 state() const { return m_state; }
    void setName(const QString &name) { m_name = name; }
    void setState(qint32 state) { m_state = state; }

private:
    QString m_logon;
    QString m_name;
    qint32 m_state;
};

using LiveUserPtr = std::shared_ptr<LiveUser>;

struct LiveState {
    static constexpr std::size_t listCount = 3;
    using Lists = std::array<std::vector<LiveUserPtr>, listCount>;
    Lists lists;
    qint32 serviceStatus = ServiceStatus::NotConnected;
};

// One list of a LiveState, by kind.
class LiveUserList : public UserCollection {
public:
    LiveUserList(std::shared_ptr<LiveState> state, ListKind kind)
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
    std::shared_ptr<LiveState> m_state;
    std::size_t m_kind;
};

// The one service of a backend: its status from the shared state, its name change through
// the backend object, while there is one.
template <typename Owner> class LiveService : public MessengerService {
public:
    LiveService(std::shared_ptr<LiveState> state, Owner *owner)
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
    std::shared_ptr<LiveState> m_state;
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

// Everything a backend hands out over one shared state: its lists and its one service.
template <typename Owner> struct LiveViews {
    LiveViews(const std::shared_ptr<LiveState> &state, Owner *owner)
        : service(std::make_shared<LiveService<Owner>>(state, owner))
        , services(std::make_shared<SingleService>(service))
    {
        for (std::size_t k = 0; k < LiveState::listCount; ++k)
            lists[k] = std::make_shared<LiveUserList>(state, static_cast<ListKind>(k));
    }

    UserCollectionPtr list(ListKind kind) const
    {
        const int k = static_cast<int>(kind);
        if (k < 0 || k >= static_cast<int>(LiveState::listCount))
            throw MessengerError(QStringLiteral("GetList"),
                                 QStringLiteral("unknown list kind %1").arg(k));
        return lists[static_cast<std::size_t>(k)];
    }

    std::array<UserCollectionPtr, LiveState::listCount> lists;
    ServicePtr service;
    ServiceCollectionPtr services;
};

} // namespace zelmo
