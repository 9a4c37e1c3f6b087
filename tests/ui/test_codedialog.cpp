// The authorization code dialog, driven with key and mouse events on the offscreen platform.

#include "ui/codedialog.h"

#include "core/appstate.h"
#include "core/settingsstore.h"
#include "platform/settings/qsettingsstore.h"
#include "support/memorystore.h"
#include "support/printers.h"
#include "core/authorizationcode.h"
#include "core/idleaway.h"
#include "core/localstatus.h"
#include "support/fakemainview.h"
#include "ui/idledialog.h"
#include "ui/messagebox.h"
#include "ui/twips.h"

#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <memory>

using namespace zelmo;

namespace {

using test::MemoryStore;

class CodeDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        MessageBox::setObserver(
            [this](const QString &title, const QString &text) { boxes << title + ": " + text; });
    }
    void TearDown() override { MessageBox::setObserver(nullptr); }

    void open(QWidget *parent = nullptr)
    {
        dialog = std::make_unique<CodeDialog>(code, parent);
        dialog->show();
        ASSERT_TRUE(active());
        field = dialog->findChild<QLineEdit *>(QStringLiteral("codeField"));
        set = dialog->findChild<QPushButton *>(QStringLiteral("setButton"));
        cancel = dialog->findChild<QPushButton *>(QStringLiteral("cancelButton"));
        ASSERT_TRUE(field && set && cancel);
    }
    // A dialog with a parent counts as active for QWindow as soon as the parent is.
    bool active() const
    {
        return QTest::qWaitFor([this] { return QApplication::activeWindow() == dialog.get(); });
    }
    // Keys go where the keyboard would send them: to the widget that has the focus.
    static void type(const QString &keys) { QTest::keyClicks(QApplication::focusWidget(), keys); }
    static void press(Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); }

    MemoryStore store;
    AppState state;
    AuthorizationCode code{state, store};
    QStringList boxes;
    QWidget mainWindow; // outlives the dialog, which it may own
    std::unique_ptr<CodeDialog> dialog;
    QLineEdit *field = nullptr;
    QPushButton *set = nullptr;
    QPushButton *cancel = nullptr;
};

const QString refusal = QStringLiteral("Zelmo Extensions: Please insert a 5 digit code!");

} // namespace

TEST_F(CodeDialogTest, LayoutFocusAndTheDefaultCode)
{
    mainWindow.setGeometry(0, 0, 120, 80);
    mainWindow.show();
    open(&mainWindow);
    EXPECT_EQ(dialog->windowTitle(), "Zelmo Extensions - View/Change Auth Password");
    const QPoint offCentre =
        dialog->frameGeometry().center() - dialog->screen()->availableGeometry().center();
    EXPECT_LE(offCentre.manhattanLength(), 2) << "centred on the screen, not on the main window";
    EXPECT_EQ(dialog->size(), twipsSize(4710, 510, dialog.get()));
    auto *label = dialog->findChild<QLabel *>(QStringLiteral("codeLabel"));
    ASSERT_TRUE(label);
    EXPECT_EQ(label->geometry(), twipsRect(120, 120, 1695, 255, label));
    EXPECT_LE(label->sizeHint().width(), label->width()) << "the label is clipped";
    EXPECT_EQ(field->geometry(), twipsRect(1920, 120, 615, 285, field));
    EXPECT_EQ(set->geometry(), twipsRect(2760, 120, 855, 315, set));
    EXPECT_EQ(cancel->geometry(), twipsRect(3720, 120, 855, 315, cancel));
    for (QWidget *w : QList<QWidget *>{label, field, set, cancel})
        EXPECT_FALSE(w->accessibleName().isEmpty()) << w->objectName().toStdString();
    EXPECT_FALSE(set->autoDefault() || set->isDefault() || cancel->autoDefault());

    EXPECT_EQ(field->text(), "47209");
    EXPECT_EQ(store.writes, 0) << "showing the default must not store it";
    EXPECT_EQ(QApplication::focusWidget(), field);
    press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), set);
    press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), cancel);
}

TEST_F(CodeDialogTest, ClickEmptiesAndOnlyDigitsAreTyped)
{
    open();
    QTest::mouseClick(field, Qt::LeftButton);
    EXPECT_EQ(field->text(), "");
    type("1a2b3");
    EXPECT_EQ(field->text(), "123");

    QTest::mouseClick(set, Qt::LeftButton);
    EXPECT_EQ(boxes, QStringList{refusal});
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(field->text(), "123");
    EXPECT_EQ(store.writes, 0);
}

TEST_F(CodeDialogTest, ASixthDigitIsDroppedAndSetStoresTheCode)
{
    open();
    QTest::mouseClick(field, Qt::LeftButton);
    type("123456");
    EXPECT_EQ(field->text(), "12345");

    QTest::mouseClick(set, Qt::LeftButton);
    EXPECT_TRUE(boxes.isEmpty());
    EXPECT_EQ(store.code(), "12345");
    EXPECT_EQ(state.authorizationCode, "12345");
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
}

TEST_F(CodeDialogTest, EditingKeys)
{
    open();
    for (Qt::Key key : {Qt::Key_Backspace, Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space})
        press(key);
    EXPECT_EQ(field->text(), "47209") << "Backspace, Enter and Space change nothing";
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(boxes.isEmpty()) << "Enter pressed a button";

    // Delete comes with a DEL character on X11, yet it still deletes. Ctrl+V types a control
    // character, which the field discards like any other.
    QApplication::clipboard()->setText(QStringLiteral("9"));
    press(Qt::Key_Home);
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QStringLiteral("\x7f"));
    QApplication::sendEvent(field, &del);
    press(Qt::Key_Delete);
    QKeyEvent paste(QEvent::KeyPress, Qt::Key_V, Qt::ControlModifier, QStringLiteral("\x16"));
    QApplication::sendEvent(field, &paste);
    EXPECT_EQ(field->text(), "209");

    // With the caret inside the text, digits still go to the end, and so do digits typed
    // while a button has the focus.
    press(Qt::Key_Right);
    type("8");
    EXPECT_EQ(field->text(), "2098");
    press(Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), set);
    type("45");
    EXPECT_EQ(field->text(), "20984");
    EXPECT_EQ(QApplication::focusWidget(), set);
    EXPECT_TRUE(dialog->isVisible());
}

TEST_F(CodeDialogTest, CancelEscapeAndCloseBoxStoreNothing)
{
    store.values.insert(MemoryStore::address(), QStringLiteral("11111"));
    state.authorizationCode = QStringLiteral("11111");
    const std::function<void()> ways[] = {[this] { QTest::mouseClick(cancel, Qt::LeftButton); },
                                          [] { press(Qt::Key_Escape); },
                                          [this] { dialog->close(); }};
    for (const auto &leave : ways) {
        open();
        QTest::mouseClick(field, Qt::LeftButton);
        type("222");
        leave();
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_EQ(dialog->result(), QDialog::Rejected);
        EXPECT_EQ(store.writes, 0);
        EXPECT_EQ(state.authorizationCode, "11111");
    }
    open();
    EXPECT_EQ(field->text(), "11111");
}

TEST_F(CodeDialogTest, PastedCodeIsStoredAsItIs)
{
    open();
    QApplication::clipboard()->setText(QStringLiteral("a-b c"));
    QTest::mouseClick(field, Qt::RightButton);
    EXPECT_EQ(field->text(), "47209") << "a right click is no click";
    field->selectAll();
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, field->rect().center());
    QApplication::sendEvent(field, &menuEvent);
    auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    ASSERT_TRUE(menu);
    for (QAction *action : menu->actions())
        if (action->text().startsWith(QStringLiteral("&Paste")))
            action->trigger();
    menu->close();
    EXPECT_EQ(field->text(), "a-b c");

    QTest::mouseClick(set, Qt::LeftButton);
    EXPECT_EQ(store.code(), "a-b c");
    EXPECT_EQ(state.authorizationCode, "a-b c");
}

TEST_F(CodeDialogTest, ACodeThatCannotBeSavedIsInForceWithAWarning)
{
    store.writable = false;
    open();
    QTest::mouseClick(field, Qt::LeftButton);
    type("54321");
    QTest::mouseClick(set, Qt::LeftButton);
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].startsWith("Zelmo Extensions: ") && boxes[0].contains("not be saved"))
        << boxes[0].toStdString();
    EXPECT_EQ(state.authorizationCode, "54321");
    EXPECT_FALSE(dialog->isVisible());
}

TEST_F(CodeDialogTest, ActivationRefillsOnlyWhenComingFromAnotherProgram)
{
    open();
    QTest::mouseClick(field, Qt::LeftButton);
    type("123");

    // The real refusal box: once it is closed, the window manager activates the dialog again.
    MessageBox::setObserver(nullptr);
    QTimer::singleShot(0, [] {
        if (QWidget *box = QApplication::activeModalWidget())
            box->close();
    });
    QTest::mouseClick(set, Qt::LeftButton);
    dialog->activateWindow();
    ASSERT_TRUE(active());
    EXPECT_EQ(field->text(), "123");

    // A bare window, none of the program's widgets, stands for another program.
    QWindow elsewhere;
    elsewhere.show();
    elsewhere.requestActivate();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&elsewhere));
    dialog->activateWindow();
    ASSERT_TRUE(active());
    EXPECT_EQ(field->text(), "47209");
}

// The code with the file store the program uses.
TEST(AuthorizationCodeOnFile, LoadSetSaveAndBadFiles)
{
    QTemporaryDir dir;
    QSettingsStore store(dir.path());
    AppState state;
    AuthorizationCode code(state, store);
    EXPECT_EQ(code.load(), QString()) << "a first start has nothing to tell";
    EXPECT_EQ(code.stored(), state.authorizationCode);
    EXPECT_EQ(code.set("13579"), AuthorizationCode::SetResult::Stored);
    AppState next;
    AuthorizationCode(next, store).load();
    EXPECT_EQ(next.authorizationCode, "13579");

    // A file that cannot be parsed is moved aside, not written over.
    const QString path = store.filePath(AuthorizationCode::application());
    const QByteArray broken("[Settings\nAuthorizedPassword=11111\nnotes kept by hand\n");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(broken);
    }
    AppState third;
    const QString told = AuthorizationCode(third, store).load();
    EXPECT_TRUE(told.contains("could not be read; it was moved to " + path + ".unreadable-"))
        << told;
    const QStringList aside = QDir(QFileInfo(path).path()).entryList({"*.unreadable-*"});
    ASSERT_EQ(aside.size(), 1);
    QFile kept(QFileInfo(path).path() + '/' + aside.value(0));
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), broken);
    EXPECT_EQ(store.read(AuthorizationCode::application(), AuthorizationCode::section(),
                         AuthorizationCode::key(), QString()),
              third.authorizationCode);

    ASSERT_TRUE(QFile::remove(path) && QDir().mkpath(path));
    EXPECT_EQ(code.set("97531"), AuthorizationCode::SetResult::NotSaved);
    EXPECT_EQ(state.authorizationCode, "97531");
    EXPECT_FALSE(code.save());
}

// The go-away-when-idle dialog: the minutes follow the box, only Ok stores.
TEST(IdleDialog, MinutesFollowTheBoxAndOnlyOkStores)
{
    MemoryStore store;
    AppState state;
    test::FakeMainView view;
    LocalStatus status(state, view);
    IdleAway idleAway(state, status, store, nullptr);
    for (auto button : {QDialogButtonBox::Cancel, QDialogButtonBox::Ok}) {
        IdleDialog dialog(idleAway);
        auto *minutes = dialog.findChild<QSpinBox *>();
        EXPECT_FALSE(minutes->isEnabled());
        dialog.findChild<QCheckBox *>()->click();
        EXPECT_TRUE(minutes->isEnabled() && !minutes->accessibleName().isEmpty());
        minutes->setValue(25);
        dialog.findChild<QDialogButtonBox *>()->button(button)->click();
        EXPECT_EQ(idleAway.choice().minutes, button == QDialogButtonBox::Ok ? 25 : 10);
    }
}
