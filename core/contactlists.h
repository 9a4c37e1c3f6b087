#pragma once

#include "messenger/messenger.h"

#include <QObject>
#include <QString>
#include <QStringList>

namespace zelmo {

class AppState;

// What the online list needs of a window: the list box of online contacts and its count.
class OnlineListView {
public:
    virtual ~OnlineListView() = default;
    // Replaces every line of the list at once.
    virtual void setOnlineLines(const QStringList &lines) = 0;
    virtual void setOnlineCountText(const QString &text) = 0;
};

// The three contact lists and the list of online contacts. A contact event marks the list
// stale and schedules one rebuild, which runs once the events already queued have been
// handled: a sign-in, one event per contact, then costs one rebuild instead of one each.
// Readers of what a rebuild produces bring it up to date first (AppState::bringListsUpToDate).
class ContactLists : public QObject {
    Q_OBJECT
public:
    ContactLists(AppState &state, OnlineListView &view, QObject *parent = nullptr);
    ~ContactLists() override;

    static QString blockedSuffix() { return QStringLiteral("  (BLOCKED)"); }
    // "1 Person online", "0 People online", "2 People online".
    static QString onlineCountText(qint16 count);

    // Reloads the lists, lists the online contacts of kind 1, then those of kind 2, sizes the
    // away-message table to the contact count and sets the count. Every step is guarded.
    void rebuildOnlineList();

    // Rebuilds now when a contact event has left the list stale.
    void bringUpToDate();
    bool isStale() const { return m_stale; }
    // One rebuild per event, as a reference for tests and measurements.
    void setRebuildPerEvent(bool perEvent) { m_rebuildPerEvent = perEvent; }

    // Routes the client's contact events to the handlers below.
    void connectTo(MessengerObject &mm);

    void onUserStateChanged();
    void onUserFriendlyNameChangeResult();
    void onListAddResult();
    void onListRemoveResult();
    void onBuddyPropertyChangeResult();

private:
    void contactEvent();
    // A list change result means something only once the service has its lists.
    bool listResultsApply() const;
    void appendOnline(const UserCollectionPtr &list, const QString &suffix, QStringList &lines);

    AppState &m_state;
    OnlineListView &m_view;
    bool m_stale = false;
    bool m_rebuildScheduled = false;
    bool m_rebuildPerEvent = false;
};

} // namespace zelmo
