#include "ui/mainwindow.h"

#include "core/remotecontrol.h"
#include "platform/messenger/sim/simmessenger.h"
#include "support/memorystore.h"
#include "support/printers.h"
#include "support/waituntil.h"
#include "ui/switchprogress.h"
#include "ui/awaymessageviewer.h"
#include "ui/recordwindow.h"
#include "ui/messagebox.h"
#include "ui/systemtray.h"
#include "ui/twips.h"

#include <QApplication>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QListView>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStringListModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTime>
#include <QTimer>

#include <gtest/gtest.h>

using namespace zelmo;
using sim::Operation;
using sim::SimContact;
using sim::SimMessenger;

namespace {

using test::MemoryStore;

class MainWindowTest : public ::testing::Test {
protected:
    MainWindowTest()
    {
        const QList<ListKind> user{ListKind::AllContacts, ListKind::Users};
        messenger.setContacts(
            {{QStringLiteral("ann@example.net"), QStringLiteral("Ann"), 2, user},
             {QStringLiteral("bob@example.net"), QStringLiteral("Bob"), 1, user}});
        form.show();
    }

    template <typename T> T *child(const char *name)
    {
        T *w = form.findChild<T *>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    QStringList listLines()
    {
        QStringList lines;
        QAbstractItemModel *model = child<QListView>("onlineList")->model();
        for (int row = 0; row < model->rowCount(); ++row)
            lines << model->index(row, 0).data().toString();
        return lines;
    }

    SimMessenger messenger;
    MemoryStore store;
    Program program{&messenger, store};
    MainWindow form{program};
};

} // namespace

TEST_F(MainWindowTest, StartsWithItsControlsInPlace)
{
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Zelmo Extensions"));
    EXPECT_EQ(form.centralWidget()->size(), twipsSize(4815, 3375 - 255, &form));
    EXPECT_EQ(child<QGroupBox>("onlineFrame")->geometry(), twipsRect(0, 0, 4815, 2175, &form));
    EXPECT_EQ(child<QGroupBox>("onlineFrame")->title(), QStringLiteral("Online Users"));
    // The caption sits in the frame's top border: the border, found down the left edge,
    // meets the top within the rows the caption's letters take.
    const QImage frame = child<QGroupBox>("onlineFrame")->grab().toImage();
    const QRgb back = form.palette().color(QPalette::Window).rgb();
    int border = 0, captionTop = -1, captionBottom = -1;
    while (border < frame.height() && frame.pixel(1, border) == back)
        ++border;
    for (int y = 0; y < frame.height() / 2; ++y)
        for (int x = 10; x < 40; ++x)
            if (QRgb p = frame.pixel(x, y); p != back && p != frame.pixel(x, border))
                (captionTop < 0 ? captionTop : captionBottom) = y;
    EXPECT_LT(captionTop, border);
    EXPECT_GT(captionBottom, border);
    EXPECT_EQ(child<QListView>("onlineList")->toolTip(), QStringLiteral("Online Contacts"));
    EXPECT_EQ(child<QPushButton>("awayButton")->text(), QStringLiteral("Set yourself &away"));
    EXPECT_EQ(child<QPushButton>("messageButton")->text(), QStringLiteral("Set away &message"));
    EXPECT_EQ(child<QLabel>("indicator")->text(), QStringLiteral("No away messages has been set!"));
    EXPECT_TRUE(child<QLabel>("noAwayIcon")->isVisible());
    EXPECT_FALSE(child<QLabel>("awayIcon")->isVisible());
    EXPECT_TRUE(child<QLabel>("onlineCount")->text().isEmpty());

    EXPECT_EQ(form.panelText(1), QStringLiteral("Unread Mail: "));
    EXPECT_EQ(form.panelText(2), QStringLiteral("Status:"));
    const QString now = MainWindow::clockText(QTime::currentTime());
    const QString aMinuteAgo = MainWindow::clockText(QTime::currentTime().addSecs(-60));
    EXPECT_TRUE(form.panelText(3) == now || form.panelText(3) == aMinuteAgo) << form.panelText(3);
    EXPECT_FALSE(MainWindow::clockText(QTime(9, 5, 7)).contains(QStringLiteral("07")))
        << "hours and minutes only";
}

TEST_F(MainWindowTest, ContactEventsReachTheListAndItsCount)
{
    form.start();
    form.contactLists().rebuildOnlineList();
    EXPECT_EQ(listLines(), QStringList{QStringLiteral("Ann")});
    EXPECT_EQ(child<QLabel>("onlineCount")->text(), QStringLiteral("1 Person online"));

    messenger.changeContactState(QStringLiteral("bob@example.net"), 34);
    test::drainEvents();
    EXPECT_EQ(listLines(), (QStringList{QStringLiteral("Ann"), QStringLiteral("Bob")}));
    EXPECT_EQ(child<QLabel>("onlineCount")->text(), QStringLiteral("2 People online"));
}

// What a script sets through the control interface shows in the windows as if set there.
TEST_F(MainWindowTest, FollowsTheControlInterface)
{
    form.start();
    RemoteControl remote(form.program(), &messenger);
    EXPECT_TRUE(remote.setMessage(QStringLiteral("ANN@example.net"), "Out.\nBack soon.").ok());
    EXPECT_EQ(child<QLabel>("indicator")->text(), Program::awayMessagesSetText());
    const AwayMessageViewer viewer(form.state(), nullptr);
    EXPECT_EQ(viewer.findChild<QPlainTextEdit *>("message")->toPlainText(), "Out.\nBack soon.");

    std::optional<bool> done;
    remote.goAway([&](const RemoteControl::Result &result) { done = result.ok(); });
    EXPECT_TRUE(test::waitUntil([&] { return done.has_value(); }));
    EXPECT_EQ(done, true);
    EXPECT_EQ(form.windowTitle(), LocalStatus::awayTitle());
    EXPECT_EQ(form.panelText(2), QStringLiteral("Status: Away"));

    EXPECT_TRUE(remote.unsetMessageForEveryone().ok());
    form.program().pollTick();
    EXPECT_EQ(child<QLabel>("indicator")->text(), Program::noAwayMessagesText());
}

TEST_F(MainWindowTest, RefreshShowsTheOwnStatus)
{
    form.start();
    messenger.setUnreadMailCount(3);
    messenger.setLocalStateNow(LocalState::OutToLunch);
    form.localStatus().refreshLocalStatus();
    EXPECT_EQ(form.panelText(1), QStringLiteral("Unread Mail: 3"));
    EXPECT_EQ(form.panelText(2), QStringLiteral("Status: Lunch/Away"));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Zelmo Extensions - Auto Away"));
    EXPECT_EQ(child<QPushButton>("awayButton")->text(), QStringLiteral("Set yourself Back"));

    // The panels keep their widths, and a three-digit count still fits the first.
    messenger.setUnreadMailCount(123);
    form.localStatus().refreshLocalStatus();
    for (const char *name : {"statusPanel1", "statusPanel2"}) {
        const auto *panel = child<QLabel>(name);
        EXPECT_LE(panel->sizeHint().width(), panel->width()) << name << ": " << panel->text();
    }
}

TEST_F(MainWindowTest, TheButtonSwitchesWithTheProgressWindow)
{
    form.start();
    messenger.setConfirmDelay(250);
    bool disabledWithProgress = false;
    QTimer::singleShot(100, &form, [&] {
        SwitchProgress *progress = form.progressWindow();
        disabledWithProgress = !form.isEnabled() && progress && progress->isVisible() &&
                               progress->windowTitle() == QStringLiteral("Zelmo - Changing Status");
    });

    QTest::mouseClick(child<QPushButton>("awayButton"), Qt::LeftButton);
    EXPECT_TRUE(disabledWithProgress);
    EXPECT_EQ(messenger.GetLocalState(), LocalState::Away);
    EXPECT_TRUE(form.isEnabled());
    EXPECT_EQ(form.panelText(2), QStringLiteral("Status: Away"));
    // The progress window closes itself on its next tick.
    EXPECT_TRUE(test::waitUntil([&] { return form.progressWindow() == nullptr; }, 2000));
    EXPECT_FALSE(form.state().switchCompleted);
}

TEST_F(MainWindowTest, AFailedSwitchLeavesTheWindowUsable)
{
    form.start();
    messenger.failures().failAlways(Operation::SetLocalState);
    QTest::mouseClick(child<QPushButton>("awayButton"), Qt::LeftButton);
    EXPECT_TRUE(form.isEnabled());
    EXPECT_TRUE(child<QPushButton>("awayButton")->isEnabled());
    EXPECT_TRUE(test::waitUntil([&] { return form.progressWindow() == nullptr; }, 2000));
}

TEST(SwitchProgressTest, ProgressStepsToNinetyThenCompletes)
{
    AppState state;
    auto *progress = new SwitchProgress(state);
    progress->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<SwitchProgress> alive(progress);
    progress->show();
    auto *timer = progress->findChild<QTimer *>(QStringLiteral("ticker"));
    auto *bar = progress->findChild<QProgressBar *>(QStringLiteral("bar"));
    ASSERT_TRUE(timer && bar);
    EXPECT_EQ(timer->interval(), 100);
    EXPECT_TRUE(timer->isActive());

    QList<int> shown;
    for (int tick = 0; tick < 22; ++tick) {
        QMetaObject::invokeMethod(timer, "timeout");
        shown << bar->value();
    }
    EXPECT_EQ(shown.mid(0, 4), (QList<int>{0, 5, 10, 15}));
    EXPECT_EQ(shown.mid(18), (QList<int>{90, 90, 90, 90}));

    state.switchCompleted = true;
    QMetaObject::invokeMethod(timer, "timeout");
    EXPECT_EQ(bar->value(), 100);
    EXPECT_FALSE(state.switchCompleted);
    EXPECT_TRUE(test::waitUntil([&] { return alive.isNull(); }, 1000));
}

TEST(SwitchProgressTest, AnEarlyConfirmationGoesStraightToOneHundred)
{
    AppState state;
    SwitchProgress progress(state);
    progress.show();
    state.switchCompleted = true;
    auto *bar = progress.findChild<QProgressBar *>(QStringLiteral("bar"));
    QMetaObject::invokeMethod(progress.findChild<QTimer *>(QStringLiteral("ticker")), "timeout");
    EXPECT_EQ(bar->value(), 100);
    EXPECT_FALSE(progress.isVisible());
    EXPECT_EQ(progress.size(), twipsSize(3495, 645, &progress));
}

TEST(RecordWindowTest, RowsTheOpenWindowShowsAreNotOwedAgainAtTheNextStart)
{
    const QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("record.jsonl"));
    ActivityLog log;
    log.setAwayProbe([] { return true; });
    ASSERT_TRUE(log.attachFile(path).isEmpty());
    log.add(ActivityLog::Kind::AwayMessage, "Ann", "ann@zelmo.test", "Away message sent: Out");
    EXPECT_TRUE(log.owesAwayRows());
    RecordWindow record(log);
    record.show();
    log.add(ActivityLog::Kind::AwayMessage, "Bob", "bob@zelmo.test", "Away message sent: Out");
    log.flush();
    ActivityLog next;
    ASSERT_TRUE(next.attachFile(path).isEmpty());
    EXPECT_EQ(next.rows().size(), 2u);
    EXPECT_FALSE(next.owesAwayRows());
}

TEST(UpdateLinesTest, EndsWithExactlyTheNewLines)
{
    QStringListModel model;
    const QList<QStringList> steps = {
        {},
        {QStringLiteral("a")},
        {QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")},
        {QStringLiteral("a"), QStringLiteral("x"), QStringLiteral("b"), QStringLiteral("c")},
        {QStringLiteral("a"), QStringLiteral("c")},
        {QStringLiteral("c"), QStringLiteral("a")},
        {QStringLiteral("a"), QStringLiteral("a"), QStringLiteral("a")},
        {QStringLiteral("a")},
        {},
    };
    for (const QStringList &lines : steps) {
        updateLines(model, lines);
        EXPECT_EQ(model.stringList(), lines);
    }

    QStringList many;
    for (int i = 0; i < 200; ++i)
        many << QString::number(i);
    updateLines(model, many);
    EXPECT_EQ(model.stringList(), many);
    std::reverse(many.begin(), many.end());
    updateLines(model, many);
    EXPECT_EQ(model.stringList(), many);
}

TEST_F(MainWindowTest, ASelectedContactStaysSelectedAcrossRebuilds)
{
    form.start();
    form.contactLists().rebuildOnlineList();
    auto *list = child<QListView>("onlineList");
    list->setCurrentIndex(list->model()->index(0, 0));

    messenger.changeContactState(QStringLiteral("bob@example.net"), 2);
    test::drainEvents();
    ASSERT_EQ(listLines().size(), 2);
    EXPECT_EQ(list->currentIndex().data().toString(), QStringLiteral("Ann"));
}

// The list skips repaints that would change nothing; what is on screen must still be what the
// list would paint afresh, as contacts come and go one at a time and the user scrolls.
TEST_F(MainWindowTest, TheListOnScreenStaysCurrentAsContactsComeAndGo)
{
    const QList<ListKind> user{ListKind::AllContacts, ListKind::Users};
    QList<SimContact> contacts;
    for (int i = 0; i < 40; ++i)
        contacts.append({QStringLiteral("c%1@example.net").arg(i),
                         QStringLiteral("Contact %1").arg(i), ContactState::Offline, user});
    messenger.setContacts(contacts);
    form.start();
    auto *list = child<QListView>("onlineList");
    // Painting trails the change by a few passes of the event loop; a stale picture never
    // catches up.
    const auto onScreenMatches = [&](const char *when, int step) {
        const auto matches = [&] {
            const QRect area(list->mapTo(&form, QPoint(0, 0)), list->size());
            const QImage fresh = list->grab().toImage();
            const QImage shown = form.screen()->grabWindow(form.winId()).copy(area).toImage();
            return shown.convertToFormat(fresh.format()) == fresh;
        };
        test::drainEvents();
        EXPECT_TRUE(test::waitUntil(matches, 2000)) << when << ' ' << step;
    };
    for (int i = 0; i < contacts.size(); ++i) {
        messenger.changeContactState(contacts.at(i).logonName, 2);
        onScreenMatches("coming online", i);
    }
    list->scrollToBottom();
    onScreenMatches("scrolled to the bottom", 0);
    for (int i = 0; i < contacts.size(); i += 3) {
        messenger.changeContactState(contacts.at(i).logonName, ContactState::Offline);
        onScreenMatches("going offline", i);
    }
}

TEST_F(MainWindowTest, TheWindowShowsALostClientAndClosingItShutsDown)
{
    int ended = 0;
    form.setEndProgram([&](int) { ++ended; });
    messenger.setServiceStatus(ServiceStatus::NotConnected);
    form.start();

    EXPECT_FALSE(child<QListView>("onlineList")->isVisible());
    EXPECT_TRUE(child<QLabel>("statusMessage")->isVisible());
    EXPECT_EQ(child<QLabel>("statusMessage")->text(),
              QStringLiteral("Please switch MSN on before using this program.."));
    // A reason under the text, however long, is shown in full: the box grows or scrolls.
    QLabel *statusMessage = child<QLabel>("statusMessage");
    form.setNotConnectedText(statusMessage->text() + "<br>" +
                             QString("Reason, a long one. ").repeated(30));
    QCoreApplication::sendPostedEvents();
    EXPECT_GE(statusMessage->height(), statusMessage->heightForWidth(statusMessage->width()));
    EXPECT_EQ(child<QLabel>("onlineCount")->text(), QStringLiteral("Not Connected"));
    EXPECT_FALSE(child<QPushButton>("messageButton")->isEnabled());
    EXPECT_FALSE(child<QPushButton>("awayButton")->isEnabled());
    EXPECT_EQ(form.panelText(2), QStringLiteral("Status: Not Connected"));

    form.state().authorizationCode = QStringLiteral("11223");
    form.close();
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(store.code(), QStringLiteral("11223"));
    EXPECT_TRUE(form.program().ended());
}

TEST_F(MainWindowTest, TheOpenersTheLogonNameBoxesAndMinimisingWithoutATray)
{
    form.start();
    QStringList boxes;
    MessageBox::setObserver([&](const QString &title, const QString &text) {
        boxes << title + QStringLiteral(": ") + text;
    });

    // Releasing the mouse over the list shows the logon name behind the selected line.
    auto *list = child<QListView>("onlineList");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(0, 0)).center());
    test::drainEvents();
    EXPECT_EQ(boxes, QStringList{"Zelmo Extensions - Buddy Login ID: ann@example.net"});

    // Each opener shows its dialog modally; the test closes whatever came up.
    QStringList opened;
    const auto closeWhenUp = [&] {
        QTimer::singleShot(50, [&] {
            if (QWidget *modal = QApplication::activeModalWidget()) {
                opened << modal->windowTitle();
                modal->close();
            }
        });
    };
    closeWhenUp();
    QTest::mouseClick(child<QPushButton>("messageButton"), Qt::LeftButton);
    closeWhenUp();
    QTest::mouseClick(child<QLabel>("indicator"), Qt::LeftButton);
    closeWhenUp();
    QTest::mouseClick(child<QLabel>("noAwayIcon"), Qt::LeftButton);
    closeWhenUp();
    form.aboutChosen();
    EXPECT_EQ(
        opened,
        QStringList({"Zelmo Extensions - Set Away Message", "Zelmo Extensions - View Away messages",
                     "Zelmo Extensions - View Away messages", "About Zelmo Extensions"}));

    // With no notification area, minimising must not hide the window for good.
    ASSERT_FALSE(form.systemTray().isAvailable());
    form.showMinimized();
    test::drainEvents();
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.tray().inTray());
    MessageBox::setObserver(nullptr);
}
