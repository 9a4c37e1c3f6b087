// The away-message editor and viewer windows on the offscreen platform: layout, keys, and the
// real drop-down standing in for what the logic tests fake.

#include "ui/awaymessageeditor.h"
#include "ui/awaymessageviewer.h"

#include "core/appstate.h"
#include "platform/messenger/sim/simmessenger.h"
#include "support/fakemainview.h"
#include "support/printers.h"
#include "support/waituntil.h"
#include "ui/messagebox.h"
#include "ui/twips.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace zelmo;

namespace {

struct Place {
    const char *name;
    int left, top, width, height;
};

class AwayWindowsTest : public ::testing::Test {
protected:
    AwayWindowsTest()
    {
        const QList<ListKind> user{ListKind::AllContacts, ListKind::Users};
        messenger.setContacts({{"ann@example.net", "Ann", 2, user},
                               {"bob@example.net", "Bob", 2, user},
                               {"bob2@example.net", "Bob", 1, user}});
        state.awayMessages.resize(3);
        MessageBox::setObserver(
            [this](const QString &title, const QString &text) { boxes << title + ": " + text; });
    }
    ~AwayWindowsTest() override { MessageBox::setObserver(nullptr); }

    // Shows the window and checks it against its layout, given in tab order; the focus starts
    // on the first control that takes it.
    static void expectLayout(QDialog &window, int width, int height, const QList<Place> &places)
    {
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        EXPECT_EQ(window.size(), twipsSize(width, height, &window));
        EXPECT_EQ(window.minimumSize(), window.maximumSize());
        EXPECT_FALSE(window.windowFlags() &
                     (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
        QStringList tabOrder;
        for (const Place &p : places) {
            auto *w = window.findChild<QWidget *>(QString::fromLatin1(p.name));
            ASSERT_TRUE(w) << p.name;
            EXPECT_EQ(w->geometry(), twipsRect(p.left, p.top, p.width, p.height, w)) << p.name;
            if (qobject_cast<QLabel *>(w)) {
                EXPECT_LE(w->sizeHint().width(), w->width()) << p.name << " is clipped";
            }
            EXPECT_FALSE(w->accessibleName().isEmpty()) << p.name;
            if (w->focusPolicy() & Qt::TabFocus)
                tabOrder << w->objectName();
        }
        QStringList tabbed;
        for (int i = 0; i < tabOrder.size(); ++i) {
            tabbed << QApplication::focusWidget()->objectName();
            press(Qt::Key_Tab);
        }
        EXPECT_EQ(tabbed, tabOrder);
    }
    static void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
    }
    template <typename T> static T *child(QWidget &window, const char *name)
    {
        return window.findChild<T *>(QString::fromLatin1(name));
    }

    sim::SimMessenger messenger;
    AppState state{&messenger};
    test::FakeMainView mainView;
    QStringList boxes;
};

} // namespace

TEST_F(AwayWindowsTest, EditorLayoutAndKeys)
{
    AwayMessageEditor form(state, mainView, nullptr);
    EXPECT_EQ(form.windowTitle(), "Zelmo Extensions - Set Away Message");
    expectLayout(form, 3855, 3105,
                 {{"contactLabel", 0, 0, 1815, 255},
                  {"contacts", 0, 240, 3855, 330},
                  {"message", 0, 600, 3855, 2055},
                  {"okButton", 1560, 2760, 1095, 300},
                  {"cancelButton", 2760, 2760, 1095, 300}});
    auto *combo = child<ContactCombo>(form, "contacts");
    auto *text = child<QPlainTextEdit>(form, "message");
    EXPECT_EQ(combo->currentText(), "Everyone in the list");
    EXPECT_EQ(form.messageText(), "Type away message here\r\n");

    // Esc and Enter press no button, wherever they come from; in the message box Enter breaks the
    // line.
    text->moveCursor(QTextCursor::End);
    for (QWidget *w : {static_cast<QWidget *>(combo), child<QWidget>(form, "okButton"),
                       static_cast<QWidget *>(text)}) {
        w->setFocus();
        press(Qt::Key_Escape);
        press(Qt::Key_Return);
    }
    QTest::keyClicks(text, "Back soon");
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.messageText(), "Type away message here\r\n\r\nBack soon");

    form.close();
    EXPECT_FALSE(form.logic().timerRunning());
    EXPECT_EQ(state.awayMessages.freeEntryCount(), 4);
    EXPECT_EQ(mainView.awayMessagesSetShown, 0);
}

TEST_F(AwayWindowsTest, EditorOkStoresForThePickedContactButNotForTypedText)
{
    AwayMessageEditor form(state, mainView, nullptr);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    auto *combo = child<ContactCombo>(form, "contacts");
    combo->setFocus();
    press(Qt::Key_Up);
    ASSERT_EQ(form.selectedPosition(), 2);
    // Typed text names no contact, even where the completion fills in a whole name and the
    // focus then moves to the button as a mouse click moves it.
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo->lineEdit(), "An");
    ASSERT_EQ(combo->currentText(), "Ann");
    QTest::mouseClick(child<QPushButton>(form, "okButton"), Qt::LeftButton);
    ASSERT_TRUE(child<QPushButton>(form, "okButton")->hasFocus());
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(state.awayMessages.freeEntryCount(), 4);

    combo->showPopup();
    combo->view()->setCurrentIndex(combo->model()->index(2, 0));
    QTest::keyClick(combo->view(), Qt::Key_Return);
    child<QPushButton>(form, "okButton")->click();
    EXPECT_EQ(state.awayMessages.entry(2)->logonName, "bob2@example.net");
    EXPECT_EQ(state.GetMessage("bob2@example.net"), "Type away message here\r\n");
    EXPECT_EQ(mainView.awayMessagesSetShown, 1);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(form.result(), QDialog::Accepted);
}

TEST_F(AwayWindowsTest, EditorRunsModallyAndFollowsARebuildWhileOpen)
{
    AwayMessageEditor form(state, mainView, nullptr);
    QTimer::singleShot(0, [&] {
        messenger.setContacts({{"cat@example.net", "Cat", 2, {ListKind::AllContacts}}});
        state.awayMessages.resize(1);
        state.onlineCount = 1;
        state.listsRebuilt = true;
    });
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (child<QComboBox>(form, "contacts")->itemText(0) == "Cat")
            child<QPushButton>(form, "okButton")->click();
    });
    poll.start(20);
    QTimer::singleShot(5000, &form, &QDialog::reject);
    EXPECT_EQ(form.exec(), QDialog::Accepted);
    EXPECT_EQ(state.GetMessage("cat@example.net"), "Type away message here\r\n");
}

TEST_F(AwayWindowsTest, ViewerLayoutFocusAndButtons)
{
    state.SetMessage("ann@example.net", "Out\r\nfor lunch", 0);
    state.SetMessage("bob@example.net", "Gone", 1);
    AwayMessageViewer form(state, nullptr);
    EXPECT_EQ(form.windowTitle(), "Zelmo Extensions - View Away messages");
    auto *text = child<QPlainTextEdit>(form, "message");
    auto *combo = child<ContactCombo>(form, "contacts");
    expectLayout(form, 4095, 2820,
                 {{"message", 0, 600, 4095, 1815},
                  {"deleteButton", 120, 2520, 1215, 255},
                  {"okButton", 1440, 2520, 1215, 255},
                  {"cancelButton", 2760, 2520, 1215, 255},
                  {"contacts", 0, 240, 4095, 330},
                  {"contactLabel", 0, 0, 1935, 255}});
    EXPECT_EQ(QApplication::focusWidget(), text);
    EXPECT_TRUE(text->isReadOnly());
    EXPECT_EQ(combo->currentText(), "Ann");
    EXPECT_EQ(text->toPlainText(), "Out\nfor lunch");

    // Typed text picks nobody: Delete then deletes nothing.
    QTest::mouseClick(combo->lineEdit(), Qt::LeftButton);
    combo->lineEdit()->selectAll();
    QTest::keyClicks(combo->lineEdit(), "Bo");
    QTest::mouseClick(child<QPushButton>(form, "deleteButton"), Qt::LeftButton);
    EXPECT_EQ(state.GetMessage("bob@example.net"), "Gone");
    EXPECT_EQ(text->toPlainText(), "Out\nfor lunch");

    combo->setFocus();
    press(Qt::Key_Down);
    EXPECT_EQ(text->toPlainText(), "Gone");
    QTest::mouseDClick(combo->lineEdit(), Qt::LeftButton);
    EXPECT_EQ(boxes, (QStringList{"Zelmo Extensions - Buddy Login ID: bob@example.net",
                                  "Zelmo Extensions - Buddy Login ID: bob2@example.net"}));

    // A mnemonic presses its button the way a click does, a moment later.
    press(Qt::Key_Escape);
    press(Qt::Key_D, Qt::AltModifier);
    ASSERT_TRUE(test::waitUntil([&] { return text->toPlainText().isEmpty(); }));
    EXPECT_EQ(state.GetMessage("bob@example.net"), "");
    EXPECT_TRUE(form.isVisible());
    press(Qt::Key_O, Qt::AltModifier);
    EXPECT_TRUE(test::waitUntil([&] { return !form.isVisible(); }));
    EXPECT_EQ(form.result(), QDialog::Accepted);
    EXPECT_FALSE(form.logic().timerRunning());
}
