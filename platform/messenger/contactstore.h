#pragma once

// The contacts of a network backend, kept once for all of them: who is in which list, what
// each is called and how each is, and the strangers who wrote. The backends feed it what
// their protocol says; it raises the boundary's events for every change, the same on each.

#include "platform/messenger/liveviews.h"

#include <QHash>
#include <QString>

#include <functional>
#include <list>
#include <memory>
#include <utility>

namespace zelmo {

// At most a bound of entries by key; the one used least recently goes first. Whoever holds
// an entry's object still keeps it after it left.
template <typename T> class BoundedCache {
public:
    explicit BoundedCache(std::size_t bound)
        : m_bound(bound == 0 ? 1 : bound)
    {
    }

    // The entry for key, made by make() when missing; it is now the most recently used.
    template <typename Make> T &use(const QString &key, Make make)
    {
        if (const auto found = m_index.find(key); found != m_index.end()) {
            m_order.splice(m_order.begin(), m_order, found.value());
            return m_order.front().second;
        }
        if (m_order.size() >= m_bound) {
            m_index.remove(m_order.back().first);
            m_order.pop_back();
        }
        m_order.emplace_front(key, make());
        m_index.insert(key, m_order.begin());
        return m_order.front().second;
    }
    T value(const QString &key) const
    {
        const auto found = m_index.find(key);
        return found == m_index.end() ? T() : found.value()->second;
    }
    T take(const QString &key)
    {
        const auto found = m_index.find(key);
        if (found == m_index.end())
            return T();
        T taken = std::move(found.value()->second);
        m_order.erase(found.value());
        m_index.erase(found);
        return taken;
    }
    std::size_t size() const { return m_order.size(); }
    template <typename F> void forEach(F f) const
    {
        for (const auto &entry : m_order)
            f(entry.second);
    }

private:
    using Order = std::list<std::pair<QString, T>>;
    std::size_t m_bound;
    Order m_order;
    QHash<QString, typename Order::iterator> m_index;
};

class ContactStore {
public:
    // Queues an event for the backend object's event loop.
    using Raise = std::function<void(std::function<void()>)>;
    // So many strangers are remembered; enough for every conversation of a busy day.
    static constexpr std::size_t strangerBound = 1000;

    ContactStore(MessengerObject *owner, std::shared_ptr<LiveState> state, Raise raise,
                 std::size_t strangers = strangerBound);

    const std::shared_ptr<LiveState> &state() const { return m_state; }

    // Someone in one of the lists, or a stranger remembered; null for anyone else.
    LiveUserPtr find(const QString &logon) const;
    // Someone in the list of all contacts; null for anyone else.
    LiveUserPtr contact(const QString &logon) const;
    // Whoever wrote: the one listed, or the stranger, made with this state when first met.
    LiveUserPtr met(const QString &logon, qint32 state);
    std::size_t strangerCount() const { return m_strangers.size(); }

    // Takes the lists the protocol gives now, and raises the list results for everyone who
    // joined or left one. A stranger who joins a list becomes a contact.
    void setLists(LiveState::Lists lists);
    // A contact's name; announced when it changed, or always when the client said it did.
    void setName(const LiveUserPtr &user, const QString &name, bool always = false);
    void setState(const LiveUserPtr &user, qint32 state);
    // The connection is gone: nobody's state is known any more.
    void allOffline();

private:
    MessengerObject *m_owner;
    std::shared_ptr<LiveState> m_state;
    Raise m_raise;
    QHash<QString, LiveUserPtr> m_listed;
    QHash<QString, LiveUserPtr> m_contacts;
    BoundedCache<LiveUserPtr> m_strangers;
};

} // namespace zelmo
