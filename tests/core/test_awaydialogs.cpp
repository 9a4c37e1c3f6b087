// The logic of the away-message editor and viewer, on the simulated client, with views that
// behave like the drop-down and the message box of the windows.

#include "core/awayeditor.h"
#include "core/awayviewer.h"

#include "core/appstate.h"
#include "core/program.h"
#include "platform/messenger/sim/simmessenger.h"
#include "support/fakemainview.h"
#include "support/printers.h"
#include "support/waituntil.h"

#include <gtest/gtest.h>

#include <functional>

using namespace zelmo;
using sim::Operation;
using sim::SimContact;
using sim::SimMessenger;

namespace {

// As the contact drop-down behaves: selecting an entry writes its text into the field.
template <typename View> class FakeDialogView : public View {
public:
    void setEntries(const QStringList &e) override
    {
        entries = e;
        ++builds;
    }
    void setEditText(const QString &text) override { editText = text; }
    QString highlightedEditText() const override { return highlighted; }
    qint16 selectedPosition() const override { return position; }
    void selectPosition(qint16 p) override
    {
        position = p;
        editText = p >= 0 ? entries.value(p) : editText;
    }
    void closeWindow() override { closed = true; }
    void showBox(AwayDialogView::BoxIcon icon, const QString &title, const QString &text) override
    {
        const bool info = icon == AwayDialogView::BoxIcon::Information;
        boxes << (info ? "info " : "warning ") + title + ": " + text;
        if (onBox)
            onBox();
    }

    // The user picks an entry, or types over the field and leaves the text highlighted.
    void pick(qint16 p) { selectPosition(p); }
    void typeOver(const QString &text)
    {
        position = -1;
        editText = highlighted = text;
    }

    QStringList entries, boxes;
    QString editText, highlighted;
    qint16 position = -1;
    bool closed = false;
    int builds = 0;
    std::function<void()> onBox;
};

class FakeEditorView : public FakeDialogView<AwayEditorView> {
public:
    QString messageText() const override { return message; }
    QString message = QStringLiteral("Back at six\r\nCall me");
};

class FakeViewerView : public FakeDialogView<AwayViewerView> {
public:
    void setMessageText(const QString &text) override
    {
        message = text;
        ++messagesShown;
    }
    QString message;
    int messagesShown = 0;
};

const QList<ListKind> user{ListKind::AllContacts, ListKind::Users};

SimContact contact(const QString &name, const QString &logon = QString())
{
    return {logon.isEmpty() ? name.toLower() + QStringLiteral("@example.net") : logon, name, 2,
            user};
}

const QString ann = QStringLiteral("ann@example.net");
const QString bob = QStringLiteral("bob@example.net");
const QString cat = QStringLiteral("cat@example.net");
const QString everyone = AwayEditor::everyoneEntry();

class AwayDialogsTest : public ::testing::Test {
protected:
    AwayDialogsTest() { use({contact("Ann"), contact("Bob"), contact("Cat")}); }

    // The contacts, with an empty table sized to them.
    void use(const QList<SimContact> &contacts)
    {
        messenger.setContacts(contacts);
        state.awayMessages = AwayMessageTable(static_cast<qint32>(contacts.size()));
    }
    // What the main window's rebuild of its online list leaves for the open dialogs.
    void onlineListRebuilt(qint16 onlineLines)
    {
        state.onlineCount = onlineLines;
        state.onlineCountSoFar = 0;
        state.listsRebuilt = true;
    }
    QStringList logons() const
    {
        QStringList names;
        for (qint32 i = 0; i < state.awayMessages.entryCount(); ++i)
            names << state.awayMessages.entry(i)->logonName;
        return names;
    }

    SimMessenger messenger;
    AppState state{&messenger};
    test::FakeMainView mainView;
};

class AwayEditorTest : public AwayDialogsTest {
protected:
    void open()
    {
        view = FakeEditorView();
        editor.start();
    }

    FakeEditorView view;
    AwayEditor editor{state, mainView, view};
};

class AwayViewerTest : public AwayDialogsTest {
protected:
    FakeViewerView view;
    AwayViewer viewer{state, view};
};

} // namespace

TEST_F(AwayEditorTest, OkStoresLogonNamesByPositionForOneContactOrEveryone)
{
    open();
    EXPECT_EQ(view.entries, (QStringList{"Ann", "Bob", "Cat", everyone}));
    EXPECT_EQ(view.position, 3);
    EXPECT_EQ(view.editText, everyone);
    EXPECT_TRUE(editor.timerRunning());
    editor.save();
    EXPECT_EQ(logons(), (QStringList{ann, bob, cat, ""}));
    EXPECT_EQ(state.GetMessage(cat), view.message);
    EXPECT_EQ(mainView.indicatorText, Program::awayMessagesSetText());
    EXPECT_TRUE(view.closed);

    // One contact; then a name that reads as the everyone entry, whatever its letter case.
    use({contact("Ann"), contact("Party: EVERYone in THE list!", "party@example.net"),
         contact("Cat")});
    open();
    view.pick(0);
    editor.save();
    EXPECT_EQ(logons(), (QStringList{ann, "", "", ""}));
    open();
    view.pick(1);
    editor.save();
    EXPECT_EQ(logons(), (QStringList{ann, "party@example.net", cat, ""}));
}

TEST_F(AwayEditorTest, TypedTextStoresNothingAnEmptyListStoresNothingButSwitches)
{
    open();
    view.typeOver("Bo");
    editor.save();
    editor.cancel();
    editor.stop();
    EXPECT_EQ(state.awayMessages.freeEntryCount(), 4);
    EXPECT_EQ(mainView.awayMessagesSetShown, 0);
    EXPECT_TRUE(view.closed) << "by Cancel";
    EXPECT_FALSE(editor.timerRunning());

    use({});
    open();
    EXPECT_EQ(view.entries, QStringList{everyone});
    editor.save();
    EXPECT_EQ(mainView.awayMessagesSetShown, 1);
    EXPECT_TRUE(view.closed);
}

// The list grew by more than the table's spare entry since the table was last sized.
TEST_F(AwayEditorTest, WhatTheTableRefusesIsToldAndTheEditorStaysOpen)
{
    use({contact("Ann"), contact("Bob"), contact("Cat"), contact("Dan"), contact("Eve")});
    state.awayMessages.resize(2);
    open();
    view.pick(4);
    editor.save();
    view.pick(5);
    editor.save();
    EXPECT_EQ(view.boxes,
              (QStringList{"warning Zelmo Extensions: The away message could not be stored for "
                           "Eve. Please try again in a moment.",
                           "warning Zelmo Extensions: The away message was stored for 3 of your 5 "
                           "contacts, but could not be stored for the other 2. Please try again "
                           "in a moment."}));
    EXPECT_EQ(logons(), (QStringList{ann, bob, cat}));
    EXPECT_EQ(mainView.awayMessagesSetShown, 1) << "only once anything was stored";
    EXPECT_FALSE(view.closed);

    state.awayMessages.resize(5);
    editor.save();
    EXPECT_TRUE(view.closed);
    EXPECT_EQ(view.boxes.size(), 2);
}

TEST_F(AwayEditorTest, MessengerFailuresAreSkipped)
{
    // An unreadable name keeps its line, so that positions still match the list.
    messenger.failures().failAfter(Operation::GetFriendlyName, 1, 1);
    open();
    EXPECT_EQ(view.entries, (QStringList{"Ann", bob, "Cat", everyone}));

    messenger.failures().failAlways(Operation::GetList);
    AwayEditor fresh(state, mainView, view);
    view = FakeEditorView();
    fresh.start();
    EXPECT_EQ(view.entries, QStringList{everyone});
    fresh.save();
    ASSERT_EQ(view.boxes.size(), 1);
    EXPECT_TRUE(view.boxes[0].contains("contact list cannot be read")) << view.boxes[0];
    EXPECT_FALSE(view.closed);
    EXPECT_EQ(state.awayMessages.freeEntryCount(), 4);
}

TEST_F(AwayEditorTest, RefreshRebuildsOncePerOnlineListRebuildAndKeepsThePosition)
{
    use({contact("Ann"), contact("Bob")});
    open();
    state.listsRebuilt = true; // but onlineCount equals onlineCountSoFar: no rebuild
    editor.refresh();
    EXPECT_EQ(view.builds, 1);
    EXPECT_TRUE(state.listsRebuilt);

    // Everyone's position becomes the new contact's, and Ok goes by the position.
    use({contact("Ann"), contact("Bob"), contact("Cat")});
    onlineListRebuilt(2);
    editor.refresh();
    editor.refresh();
    EXPECT_EQ(view.builds, 2);
    EXPECT_FALSE(state.listsRebuilt);
    EXPECT_EQ(view.editText, "Cat");
    editor.save();
    EXPECT_EQ(logons(), (QStringList{"", "", cat, ""}));

    // A position beyond the new entries falls back to the last one; typed text survives
    // only as far as it was highlighted.
    use({contact("Ann")});
    onlineListRebuilt(1);
    editor.refresh();
    EXPECT_EQ(view.entries, (QStringList{"Ann", everyone}));
    EXPECT_EQ(view.position, 1);
    view.typeOver("Bo");
    onlineListRebuilt(2);
    editor.refresh();
    EXPECT_EQ(view.editText, "Bo");
    EXPECT_EQ(view.position, -1);
}

TEST_F(AwayViewerTest, ShowsThePickedContactsMessageAndDeletesIt)
{
    state.SetMessage(ann, QStringLiteral("to\r\nAnn"), 0);
    state.SetMessage(bob, QStringLiteral("to Bob"), 1);
    const int reads = messenger.failures().calls(Operation::GetLogonName);
    viewer.start();
    EXPECT_EQ(view.entries, (QStringList{"Ann", "Bob", "Cat"}));
    EXPECT_EQ(view.position, 0);
    EXPECT_EQ(view.message, "to\r\nAnn");
    EXPECT_EQ(messenger.failures().calls(Operation::GetLogonName), reads + 1);

    viewer.deleteSelected();
    EXPECT_EQ(state.GetMessage(ann), "");
    EXPECT_EQ(view.message, "");
    view.pick(1);
    viewer.showSelected();
    EXPECT_EQ(view.message, "to Bob");

    // Typed text names no contact; a contact that cannot be read is neither shown nor deleted.
    view.typeOver("Bo");
    viewer.showSelected();
    viewer.deleteSelected();
    view.pick(1);
    messenger.failures().failAlways(Operation::GetLogonName);
    viewer.deleteSelected();
    EXPECT_EQ(state.GetMessage(bob), "to Bob");
    EXPECT_EQ(view.message, "to Bob");
    viewer.showSelected();
    EXPECT_EQ(view.message, "");
    EXPECT_FALSE(view.closed);
    viewer.ok();
    EXPECT_TRUE(view.closed);

    use({});
    FakeViewerView emptyView;
    AwayViewer(state, emptyView).start();
    EXPECT_EQ(emptyView.position, -1);
    EXPECT_EQ(emptyView.messagesShown, 0);
}

TEST_F(AwayViewerTest, DoubleClickShowsOneBoxPerExactNameMatchInListOrder)
{
    use({contact("Bob", "bob1@example.net"), contact("Ann"), contact("bob", "bob2@example.net"),
         contact("Bob", "bob3@example.net")});
    viewer.start();
    viewer.showLogonNames();
    const QString title = QStringLiteral("info Zelmo Extensions - Buddy Login ID: ");
    EXPECT_EQ(view.boxes, (QStringList{title + "bob1@example.net", title + "bob3@example.net"}));

    // The list shrinks and the entries are rebuilt while the first box is open: the contacts
    // that went are skipped.
    view.boxes.clear();
    view.onBox = [this] {
        use({contact("Bob", "bob1@example.net")});
        onlineListRebuilt(1);
        viewer.refresh();
    };
    viewer.showLogonNames();
    EXPECT_EQ(view.boxes, QStringList{title + "bob1@example.net"});
}

TEST_F(AwayViewerTest, RefreshShowsTheMessageAgainAndTheFirstDialogTakesTheRebuild)
{
    viewer.start();
    view.pick(2);
    use({contact("Ann"), contact("Bob")});
    state.SetMessage(bob, QStringLiteral("to Bob"), 1);
    onlineListRebuilt(3);
    viewer.refresh();
    EXPECT_EQ(view.position, 1) << "the last contact stands in for one that went";
    EXPECT_EQ(view.message, "to Bob") << "shown again";

    FakeEditorView editorView;
    AwayEditor editor(state, mainView, editorView);
    editor.start();
    onlineListRebuilt(2);
    viewer.refresh();
    editor.refresh();
    EXPECT_EQ(view.builds, 3);
    EXPECT_EQ(editorView.builds, 1);

    // The timers tick by themselves.
    onlineListRebuilt(2);
    EXPECT_TRUE(test::waitUntil([&] { return !state.listsRebuilt; }, 3000));
}
