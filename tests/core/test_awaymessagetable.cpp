#include "core/awaymessagetable.h"

#include "support/printers.h"

#include <gtest/gtest.h>

using zelmo::AwayMessageTable;

namespace {

TEST(AwayMessageTable, HasOneEntryMoreThanContactsAllFree)
{
    AwayMessageTable table(4);
    EXPECT_EQ(table.entryCount(), 5);
    EXPECT_EQ(table.freeEntryCount(), 5);
    EXPECT_EQ(table.entry(5), nullptr);
    EXPECT_EQ(table.entry(-1), nullptr);
}

TEST(AwayMessageTable, SetMessageOverwritesWhateverTheEntryHeld)
{
    AwayMessageTable table(5);
    ASSERT_TRUE(table.SetMessage("ann@x", "gone fishing", 3));
    ASSERT_TRUE(table.SetMessage("bob@x", "at lunch", 3));
    EXPECT_EQ(table.entry(3)->logonName, "bob@x");
    EXPECT_EQ(table.entry(3)->message, "at lunch");
    EXPECT_EQ(table.GetMessage("ann@x"), "");
}

TEST(AwayMessageTable, OnlyTheLogonNameDecidesWhetherAnEntryIsFree)
{
    AwayMessageTable table(2);
    table.SetMessage("ann@x", "", 1);
    EXPECT_EQ(table.freeEntryCount(), 2);
    EXPECT_EQ(table.entry(1)->logonName, "ann@x");
}

TEST(AwayMessageTable, GetMessageTakesTheLastMatchAndComparesCase)
{
    AwayMessageTable table(6);
    table.SetMessage("ann@x", "first", 2);
    table.SetMessage("ann@x", "second\r\nline", 5);
    EXPECT_EQ(table.GetMessage("ann@x"), "second\r\nline");
    EXPECT_EQ(table.GetMessage("Ann@x"), "");
    EXPECT_EQ(table.GetMessage("nobody"), "");
}

TEST(AwayMessageTable, DeleteMessageClearsEveryMatchInPlace)
{
    AwayMessageTable table(5);
    table.SetMessage("ann@x", "one", 1);
    table.SetMessage("bob@x", "keep", 2);
    table.SetMessage("ann@x", "four", 4);
    table.DeleteMessage("ann@x");
    EXPECT_EQ(table.GetMessage("ann@x"), "");
    EXPECT_EQ(table.entryCount(), 6);
    EXPECT_EQ(table.entry(1)->logonName, "");
    EXPECT_EQ(table.entry(4)->message, "");
    EXPECT_EQ(table.entry(2)->message, "keep");
    table.DeleteMessage("nobody");
    EXPECT_EQ(table.freeEntryCount(), 5);
}

TEST(AwayMessageTable, ResizeKeepsTheLowerEntriesAndDropsTheRest)
{
    AwayMessageTable table(5);
    table.SetMessage("ann@x", "low", 1);
    table.SetMessage("bob@x", "high", 4);
    table.resize(2);
    EXPECT_EQ(table.entryCount(), 3);
    EXPECT_EQ(table.GetMessage("ann@x"), "low");
    EXPECT_EQ(table.GetMessage("bob@x"), "");

    table.resize(6);
    EXPECT_EQ(table.entryCount(), 7);
    EXPECT_EQ(table.entry(4)->logonName, "");
    EXPECT_EQ(table.GetMessage("ann@x"), "low");
}

TEST(AwayMessageTable, SetMessageOutsideTheTableIsRefusedAndChangesNothing)
{
    AwayMessageTable table(2);
    table.SetMessage("ann@x", "kept", 2);
    EXPECT_FALSE(table.SetMessage("bob@x", "lost", 3));
    EXPECT_FALSE(table.SetMessage("bob@x", "lost", -1));
    EXPECT_EQ(table.entryCount(), 3);
    EXPECT_EQ(table.freeEntryCount(), 2);
    EXPECT_EQ(table.GetMessage("bob@x"), "");
    EXPECT_EQ(table.GetMessage("ann@x"), "kept");
}

} // namespace
