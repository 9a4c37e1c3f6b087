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

// The three contact lists and the list of online contacts, rebuilt from scratch on every
// contact event.
class ContactLists : public QObject {
    Q_OBJECT
public:
    ContactLists(AppState &state, OnlineListView &view, QObject *parent = nullptr);

    static QString blockedSuffix() { return QStringLiteral("  (BLOCKED)"); }
    // "1 Person online", "0 People online", "2 People online".
    static QString onlineCountText(qint16 count);

    // Reloads the lists, lists the online contacts of kind 1, then those of kind 2, sizes the
    // away-message table to the contact count and sets the count. Every step is guarded.
    void RebuildOnlineList();

    // Routes the client's contact events to the handlers below.
    void connectTo(MessengerObject &mm);

    void mm_OnUserStateChanged();
    void mm_OnUserFriendlyNameChangeResult();
    void mm_OnListAddResult();
    void mm_OnListRemoveResult();
    void mm_OnBuddyPropertyChangeResult();

private:
    // A list change result means something only once the service has its lists.
    bool listResultsApply() const;
    void appendOnline(const UserCollectionPtr &list, const QString &suffix, QStringList &lines);

    AppState &m_state;
    OnlineListView &m_view;
};

} // namespace zelmo
