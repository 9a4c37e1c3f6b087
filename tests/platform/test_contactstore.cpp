// The contacts the network backends share: strangers stay bounded however many write.

#include "platform/messenger/contactstore.h"

#include <gtest/gtest.h>

using namespace zelmo;

TEST(ContactStoreTest, StrangersStayBoundedAndAStrangerWhoJoinsAListBecomesAContact)
{
    MessengerObject *none = nullptr;
    ContactStore store(
        none, std::make_shared<LiveState>(), [](std::function<void()>) {}, 3);
    const LiveUserPtr first = store.met("s0", 2);
    for (int i = 1; i < 10; ++i)
        store.met("s" + QString::number(i), 2);
    EXPECT_EQ(store.strangerCount(), 3u);
    EXPECT_EQ(store.find("s0"), nullptr) << "the least recently met went first";
    EXPECT_EQ(first->logon(), "s0") << "still held by whoever has it";
    EXPECT_EQ(store.met("s9", 2), store.find("s9"));

    const LiveUserPtr s9 = store.find("s9");
    store.setLists({{{s9}, {s9}, {}}});
    EXPECT_EQ(store.contact("s9"), s9);
    EXPECT_EQ(store.strangerCount(), 2u);
}
