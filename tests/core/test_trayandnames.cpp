// The main window's logic that needs no window: the tray and the logon names behind a line.

#include "core/logonnames.h"
#include "core/tray.h"
#include "platform/messenger/sim/simmessenger.h"

#include "support/printers.h"

#include <gtest/gtest.h>

using namespace zelmo;

namespace {

class FakeIcon : public TrayIcon {
public:
    bool isAvailable() const override { return available; }
    void showIcon(const QString &t) override
    {
        shown = true;
        tip = t;
    }
    void removeIcon() override
    {
        shown = false;
        ++removals;
    }
    bool available = true, shown = false;
    QString tip;
    int removals = 0;
};

class FakeWindow : public TrayWindow {
public:
    QString currentTitle() const override { return title; }
    void hideWindow() override { visible = false; }
    bool isShown() const override { return visible; }
    void restoreWindow() override
    {
        visible = true;
        ++restores;
    }
    void closeWindow() override { closed = true; }
    QString title = QStringLiteral("Zelmo Extensions");
    bool visible = true, closed = false;
    int restores = 0;
};

TEST(TrayTest, MinimisingHidesBehindAnIconWithTheTitleOfThatMoment)
{
    FakeIcon icon;
    FakeWindow window;
    Tray tray(icon, window);

    window.title = QStringLiteral("Zelmo Extensions - Auto Away");
    tray.windowResized(true);
    EXPECT_FALSE(window.visible);
    EXPECT_TRUE(icon.shown);
    EXPECT_EQ(icon.tip, "Zelmo Extensions - Auto Away");
    // The tip stays as it was while the window is in the tray.
    window.title = QStringLiteral("Zelmo Extensions");
    EXPECT_EQ(icon.tip, "Zelmo Extensions - Auto Away");

    // A state change while the window is hidden leaves the only way back in place.
    tray.windowResized(false);
    EXPECT_TRUE(icon.shown);
    // A double click brings the window back, and the icon goes.
    tray.iconDoubleClicked();
    EXPECT_TRUE(window.visible);
    EXPECT_FALSE(icon.shown);

    tray.windowResized(true);
    EXPECT_EQ(icon.tip, "Zelmo Extensions");
    tray.restoreChosen();
    EXPECT_EQ(window.restores, 2);
    tray.exitChosen();
    EXPECT_TRUE(window.closed);
}

TEST(TrayTest, WithoutANotificationAreaTheWindowStaysReachable)
{
    FakeIcon icon;
    icon.available = false;
    FakeWindow window;
    Tray tray(icon, window);
    tray.windowResized(true);
    EXPECT_TRUE(window.visible) << "left minimised in the task bar, not hidden";
    EXPECT_FALSE(icon.shown);
    EXPECT_FALSE(tray.inTray());
}

TEST(LogonNamesTest, EveryContactTheLineStandsForInListOrder)
{
    sim::SimMessenger sim;
    const QList<ListKind> all{ListKind::AllContacts};
    sim.setContacts({
        {QStringLiteral("al@x"), QStringLiteral("al"), 2, all},
        {QStringLiteral("bob@x"), QStringLiteral("Bob"), 2, all},
        {QStringLiteral("smith@x"), QStringLiteral("Smith"), 2, all},
        {QStringLiteral("hugo@x"), QStringLiteral("Hugo"), 2, all},
    });
    const UserCollectionPtr allusers = sim.GetList(ListKind::AllContacts);

    EXPECT_EQ(logonNamesForLine(allusers, "Al Smith"), QStringList({"al@x", "smith@x"}));
    // The blocked suffix does not hide the name.
    EXPECT_EQ(logonNamesForLine(allusers, "Hugo  (BLOCKED)"), QStringList{"hugo@x"});
    EXPECT_TRUE(logonNamesForLine(allusers, QString()).isEmpty());
    EXPECT_TRUE(logonNamesForLine(nullptr, "Bob").isEmpty());

    // A blank name stands in every line that is not blank, and equals an empty one.
    sim.setContacts({{QStringLiteral("blank@x"), QStringLiteral("  "), 2, all},
                     {QStringLiteral("bob@x"), QStringLiteral("Bob"), 2, all}});
    EXPECT_EQ(logonNamesForLine(allusers, "Bob"), QStringList({"blank@x", "bob@x"}));
    EXPECT_TRUE(logonNamesForLine(allusers, "   ").isEmpty());

    // A contact that cannot be read is left out; the others still match.
    sim.failures().failAfter(sim::Operation::GetFriendlyName, 0, 1);
    EXPECT_EQ(logonNamesForLine(allusers, "Bob"), QStringList{"bob@x"});
}

} // namespace
