#include "core/contactlists.h"

#include "core/appstate.h"
#include "platform/messenger/sim/simmessenger.h"
#include "support/printers.h"
#include "support/waituntil.h"

#include <gtest/gtest.h>

using namespace zelmo;
using sim::Operation;
using sim::SimContact;
using sim::SimMessenger;

namespace {

class RecordingView : public OnlineListView {
public:
    void setOnlineLines(const QStringList &l) override
    {
        lines = l;
        ++rebuilds;
    }
    void setOnlineCountText(const QString &text) override { countText = text; }

    QStringList lines;
    QString countText;
    int rebuilds = 0;
};

SimContact contact(const QString &name, qint32 state, QList<ListKind> lists)
{
    const QString logon = name.toLower().remove(QLatin1Char(' ')) + QStringLiteral("@example.net");
    return SimContact{logon, name, state, lists};
}

const QList<ListKind> user{ListKind::AllContacts, ListKind::Users};
const QList<ListKind> blocked{ListKind::AllContacts, ListKind::Blocked};

class ContactListsTest : public ::testing::Test {
protected:
    void use(const QList<SimContact> &contacts)
    {
        messenger.setContacts(contacts);
        lists.rebuildOnlineList();
    }

    SimMessenger messenger;
    AppState state{&messenger};
    RecordingView view;
    ContactLists lists{state, view};
};

} // namespace

TEST_F(ContactListsTest, CountLabelUsesSingularOnlyForOne)
{
    use({contact(QStringLiteral("Ann"), 1, user)});
    EXPECT_TRUE(view.lines.isEmpty());
    EXPECT_EQ(view.countText, QStringLiteral("0 People online"));

    use({contact(QStringLiteral("Ann"), 2, user)});
    EXPECT_EQ(view.countText, QStringLiteral("1 Person online"));

    use({contact(QStringLiteral("Ann"), 2, user), contact(QStringLiteral("Bob"), 34, user)});
    EXPECT_EQ(view.countText, QStringLiteral("2 People online"));
}

TEST_F(ContactListsTest, OnlyStatesZeroAndOneCountAsOffline)
{
    use({contact(QStringLiteral("Unknown"), 0, user), contact(QStringLiteral("Offline"), 1, user),
         contact(QStringLiteral("Online"), 2, user), contact(QStringLiteral("Busy"), 10, user),
         contact(QStringLiteral("Away"), 34, user), contact(QStringLiteral("Odd"), 99, user)});
    EXPECT_EQ(view.lines, (QStringList{QStringLiteral("Online"), QStringLiteral("Busy"),
                                       QStringLiteral("Away"), QStringLiteral("Odd")}));
}

TEST_F(ContactListsTest, BlockedContactsFollowUsersWithTheirMark)
{
    const QList<ListKind> both{ListKind::AllContacts, ListKind::Users, ListKind::Blocked};
    use({contact(QStringLiteral("Zed"), 2, blocked), contact(QStringLiteral("Ann"), 2, user),
         contact(QStringLiteral("Twice"), 34, both), contact(QStringLiteral("Gone"), 1, blocked)});

    EXPECT_EQ(view.lines,
              (QStringList{QStringLiteral("Ann"), QStringLiteral("Twice"),
                           QStringLiteral("Zed  (BLOCKED)"), QStringLiteral("Twice  (BLOCKED)")}));
    EXPECT_EQ(view.countText, QStringLiteral("4 People online"));
}

TEST_F(ContactListsTest, RebuildLeavesCountersConsistent)
{
    use({contact(QStringLiteral("Ann"), 2, user), contact(QStringLiteral("Bob"), 2, blocked),
         contact(QStringLiteral("Cy"), 1, user)});
    EXPECT_EQ(state.onlineCount, view.lines.size());
    EXPECT_EQ(state.onlineCountSoFar, 0);
    EXPECT_TRUE(state.listsRebuilt);
    ASSERT_TRUE(state.allowedUsers && state.blockedUsers && state.allContacts);
    EXPECT_EQ(state.allContacts->GetCount(), 3);
    // The away-message table follows the number of contacts: one entry more than contacts.
    EXPECT_EQ(state.awayMessages.entryCount(), 4);

    use({contact(QStringLiteral("Ann"), 2, user)});
    EXPECT_EQ(state.awayMessages.entryCount(), 2);
}

TEST_F(ContactListsTest, FailingStepsAreSkipped)
{
    use({contact(QStringLiteral("Ann"), 2, user), contact(QStringLiteral("Bob"), 2, user)});
    const UserCollectionPtr previousUsers = state.allowedUsers;

    // A list that cannot be fetched leaves the member as it was; the rebuild goes on with it.
    messenger.failures().failAfter(Operation::GetList, 0, 1);
    lists.rebuildOnlineList();
    EXPECT_EQ(state.allowedUsers, previousUsers);
    EXPECT_EQ(view.lines.size(), 2);
    messenger.failures().clearAll();

    // A contact whose state cannot be read is not listed; the others are.
    messenger.failures().failAfter(Operation::GetState, 0, 1);
    lists.rebuildOnlineList();
    EXPECT_EQ(view.lines, QStringList{QStringLiteral("Bob")});
    EXPECT_EQ(view.countText, QStringLiteral("1 Person online"));
    messenger.failures().clearAll();

    // Nothing readable at all: no lines, and the count is still set.
    messenger.failures().failAlways(Operation::GetCount);
    lists.rebuildOnlineList();
    EXPECT_TRUE(view.lines.isEmpty());
    EXPECT_EQ(view.countText, QStringLiteral("0 People online"));
    EXPECT_EQ(state.onlineCountSoFar, 0);
}

TEST_F(ContactListsTest, ContactEventsRebuildUnlessTheConnectionIsLost)
{
    use({contact(QStringLiteral("Ann"), 1, user)});
    lists.connectTo(messenger);
    const int before = view.rebuilds;

    messenger.changeContactState(QStringLiteral("ann@example.net"), 2);
    EXPECT_EQ(view.rebuilds, before) << "events arrive through the event queue";
    test::drainEvents();
    EXPECT_EQ(view.rebuilds, before + 1);
    EXPECT_EQ(view.lines, QStringList{QStringLiteral("Ann")});

    messenger.changeContactFriendlyName(QStringLiteral("ann@example.net"), QStringLiteral("Annie"));
    test::drainEvents();
    EXPECT_EQ(view.lines, QStringList{QStringLiteral("Annie")});

    state.notConnected = true;
    messenger.changeContactState(QStringLiteral("ann@example.net"), 1);
    messenger.changeContactFriendlyName(QStringLiteral("ann@example.net"), QStringLiteral("A"));
    test::drainEvents();
    EXPECT_EQ(view.lines, QStringList{QStringLiteral("Annie")});

    // Buddy property results rebuild whatever the connection.
    Q_EMIT messenger.OnBuddyPropertyChangeResult(0, nullptr, 0, QVariant(), nullptr);
    test::drainEvents();
    EXPECT_TRUE(view.lines.isEmpty());
}

TEST_F(ContactListsTest, ListResultsApplyOnlyOnceTheServiceHasItsLists)
{
    use({});
    lists.connectTo(messenger);

    messenger.setServiceStatus(ServiceStatus::Synchronizing);
    messenger.addContact(contact(QStringLiteral("Ann"), 2, user), ListKind::Users);
    test::drainEvents();
    EXPECT_TRUE(view.lines.isEmpty());

    messenger.setServiceStatus(ServiceStatus::Connected);
    messenger.addContact(contact(QStringLiteral("Bob"), 2, user), ListKind::Users);
    test::drainEvents();
    EXPECT_EQ(view.lines.size(), 2);

    messenger.removeContact(QStringLiteral("bob@example.net"), ListKind::Users);
    test::drainEvents();
    EXPECT_EQ(view.lines, QStringList{QStringLiteral("Ann")});

    // An unreadable status still rebuilds: the list did change, and the rebuild is guarded.
    messenger.failures().failAlways(Operation::GetServiceStatus);
    messenger.removeContact(QStringLiteral("ann@example.net"), ListKind::Users);
    test::drainEvents();
    EXPECT_TRUE(view.lines.isEmpty());
}
