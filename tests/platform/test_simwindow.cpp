#include "platform/messenger/sim/clientwindow.h"

#include "core/program.h"
#include "core/remotecontrol.h"
#include "core/reply.h"
#include "messenger/messengererror.h"
#include "support/fakemainview.h"
#include "support/memorystore.h"
#include "support/printers.h"
#include "support/waituntil.h"
#include "support/texts.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace zelmo;
using namespace zelmo::sim;
using zelmo::test::drainEvents;
using zelmo::test::waitUntil;

namespace {

const QString &kAnn = test::BuiltInAnn;
const QString &kBen = test::BuiltInBen;

// Contacts as comparable lines: "logon|name|state|lists".
QStringList describe(const QList<SimContact> &contacts)
{
    QStringList out;
    for (const SimContact &c : contacts)
        out << c.logonName + QLatin1Char('|') + c.friendlyName + QLatin1Char('|') +
                   QString::number(c.state) + QLatin1Char('|') +
                   ClientWindowLogic::listsText(c.lists);
    return out;
}

class ClientWindowTest : public testing::Test {
protected:
    template <typename W> W *widget(const char *name)
    {
        W *w = window.findChild<W *>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }

    QTreeWidgetItem *item(const QString &logon)
    {
        auto *tree = widget<QTreeWidget>("contacts");
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            if (tree->topLevelItem(i)->data(0, Qt::UserRole).toString() == logon)
                return tree->topLevelItem(i);
        }
        return nullptr;
    }

    // As the user clicks a contact in the list.
    void select(const QString &logon)
    {
        QTreeWidgetItem *it = item(logon);
        ASSERT_NE(it, nullptr) << logon;
        widget<QTreeWidget>("contacts")->setCurrentItem(it);
        ASSERT_EQ(window.currentContact(), logon);
    }

    // As the user picks an entry of a combo box.
    static void choose(QComboBox *box, qint32 state)
    {
        const int index = box->findData(state);
        ASSERT_GE(index, 0) << state;
        box->setCurrentIndex(index);
        Q_EMIT box->activated(index);
    }

    void type(const QString &text)
    {
        auto *input = widget<QLineEdit>("input");
        QTest::keyClicks(input, text);
        QTest::keyClick(input, Qt::Key_Return);
    }

    // The format of the first character of the pane's block that reads text.
    static QTextCharFormat formatOf(QTextEdit *pane, const QString &text)
    {
        for (QTextBlock b = pane->document()->begin(); b.isValid(); b = b.next()) {
            if (b.text() == text)
                return b.begin().fragment().charFormat();
        }
        ADD_FAILURE() << "no line " << text;
        return {};
    }

    SimMessenger sim;
    ClientWindow window{sim};
};

} // namespace

TEST(ClientWindowFormat, HeaderFontAndColourAreDecodedBlueGreenRed)
{
    const MessageFormat blue = parseMessageFormat(ReplyHeader(ReplyColour::DarkBlue));
    EXPECT_EQ(blue.colour, QStringLiteral("#000080"));
    EXPECT_EQ(blue.co, QStringLiteral("800000"));
    EXPECT_EQ(blue.fontFamily, QStringLiteral("Arial"));
    EXPECT_FALSE(blue.bold || blue.italic || blue.underline || blue.strikeOut);
    EXPECT_EQ(parseMessageFormat(ReplyHeader(ReplyColour::Black)).colour,
              QStringLiteral("#000000"));

    const auto format = [](const char *line) {
        return parseMessageFormat(QStringLiteral("MIME-Version: 1.0\r\n") +
                                  QString::fromLatin1(line) + QStringLiteral("\r\n\r\n"));
    };
    EXPECT_EQ(format("X-MMS-IM-Format: CO=ff").colour, QStringLiteral("#ff0000"));
    EXPECT_EQ(format("X-MMS-IM-Format: CO=FF8000").colour, QStringLiteral("#0080ff"));
    const MessageFormat segoe = format("x-mms-im-format: FN=Segoe%20UI; EF=BU; CO=zz; PF=0");
    EXPECT_EQ(segoe.fontFamily, QStringLiteral("Segoe UI"));
    EXPECT_TRUE(segoe.bold && segoe.underline && !segoe.italic);
    EXPECT_EQ(segoe.colour, QStringLiteral("#000000")) << "unreadable colour";
    EXPECT_EQ(format("X-MMS-IM-Format: CO=1000000").colour, QStringLiteral("#000000"));
    EXPECT_TRUE(format("Content-Type: text/plain").fontFamily.isEmpty());
}

// Each state as the client's window shows it, and the own one as the control interface
// reports it to scripts.
TEST(StateNames, InTheClientWindowAndTheControlInterface)
{
    SimMessenger sim;
    test::MemoryStore store;
    test::FakeMainView view;
    Program program{view, &sim, store, nullptr};
    program.start();
    RemoteControl remote(program, &sim);
    const struct {
        qint32 code;
        const char *shown, *reported;
    } rows[] = {{0, "Unknown", "unknown"},
                {1, "Offline", "unknown"},
                {2, "Online", "online"},
                {6, "Offline", "offline"},
                {10, "Busy", "busy"},
                {14, "Be right back", "be right back"},
                {18, "Idle", "idle"},
                {34, "Away", "away"},
                {50, "On the phone", "on the phone"},
                {66, "Out to lunch", "out to lunch"},
                {99, "State 99", "unknown"}};
    for (const auto &row : rows) {
        SCOPED_TRACE(row.code);
        EXPECT_EQ(ClientWindowLogic::stateName(row.code), QLatin1String(row.shown));
        sim.setLocalStateNow(row.code);
        EXPECT_EQ(remote.status().state, QLatin1String(row.reported));
    }
    EXPECT_EQ(ClientWindowLogic::ownStates(), (QList<qint32>{2, 10, 14, 18, 34, 50, 66, 6}));
    EXPECT_EQ(ClientWindowLogic::contactStates(), (QList<qint32>{2, 10, 14, 18, 34, 50, 66, 1}));
}

TEST_F(ClientWindowTest, EveryControlHasAnAccessibleName)
{
    QStringList unnamed;
    for (QWidget *w : window.findChildren<QWidget *>()) {
        const bool control = qobject_cast<QAbstractButton *>(w) || qobject_cast<QComboBox *>(w) ||
                             qobject_cast<QLineEdit *>(w) || qobject_cast<QSpinBox *>(w) ||
                             qobject_cast<QTextEdit *>(w) || qobject_cast<QTreeWidget *>(w);
        // Line edits inside spin and combo boxes speak for their owner; Qt's own parts
        // (the menu bar's overflow button) are named by Qt.
        if (control && w->accessibleName().isEmpty() &&
            !w->objectName().startsWith(QStringLiteral("qt_")) &&
            !qobject_cast<QSpinBox *>(w->parentWidget()) &&
            !qobject_cast<QComboBox *>(w->parentWidget()))
            unnamed << QString::fromLatin1(w->metaObject()->className()) + QLatin1Char(' ') +
                           w->objectName();
    }
    EXPECT_TRUE(unnamed.isEmpty()) << unnamed.join(QStringLiteral(", "));
}

TEST_F(ClientWindowTest, TypingAsAContactReachesTheProgramAndRepliesShowInItsPane)
{
    QStringList received;
    IMSessionPtr session;
    QObject::connect(
        &sim, &MessengerObject::OnTextReceived,
        [&](IMSessionPtr s, UserPtr user, const QString &, const QString &text, bool *) {
            received << user->GetLogonName() + QStringLiteral(": ") + text;
            session = s;
        });

    select(kAnn);
    type(QStringLiteral("hello"));
    EXPECT_TRUE(widget<QLineEdit>("input")->text().isEmpty());
    drainEvents();
    ASSERT_EQ(received, QStringList{kAnn + QStringLiteral(": hello")});

    // The program answers on the session the text came on, as the dispatcher does.
    session->SendText(ReplyHeader(ReplyColour::DarkBlue), QStringLiteral("a joke"), 2);
    session->SendText(ReplyHeader(ReplyColour::Black), QStringLiteral("Out for lunch,\r\nback"), 2);
    QTextEdit *pane = window.chatPane(kAnn);
    ASSERT_NE(pane, nullptr);
    EXPECT_EQ(formatOf(pane, QStringLiteral("a joke")).foreground().color(), QColor(0, 0, 0x80));
    EXPECT_EQ(formatOf(pane, QStringLiteral("a joke")).fontFamily(), QStringLiteral("Arial"));
    EXPECT_EQ(formatOf(pane, QStringLiteral("back")).foreground().color(), QColor(Qt::black));
    EXPECT_TRUE(pane->toPlainText().contains(QStringLiteral("hello")));
    EXPECT_TRUE(pane->toPlainText().contains(QStringLiteral("Out for lunch,\n")));
    EXPECT_EQ(window.chatPane(kBen), nullptr) << "Ben's chat got Ann's lines";

    // A reply to someone else lands in that contact's pane, not in the one on screen.
    sim.sessionWith(kBen)->SendText(ReplyHeader(ReplyColour::Black), QStringLiteral("hi Ben"), 2);
    ASSERT_NE(window.chatPane(kBen), nullptr);
    EXPECT_TRUE(window.chatPane(kBen)->toPlainText().contains(QStringLiteral("hi Ben")));
    EXPECT_FALSE(pane->toPlainText().contains(QStringLiteral("hi Ben")));

    // Header and colour on demand, for every line already shown.
    const QString headerLine = QStringLiteral("X-MMS-IM-Format: FN=Arial; EF=; CO=800000");
    widget<QCheckBox>("showFormat")->setChecked(true);
    EXPECT_TRUE(pane->toPlainText().contains(headerLine));
    EXPECT_TRUE(pane->toPlainText().contains(QStringLiteral("colour #000080 (CO=800000)")));
    widget<QCheckBox>("showFormat")->setChecked(false);
    EXPECT_FALSE(pane->toPlainText().contains(headerLine));
    EXPECT_TRUE(pane->toPlainText().contains(QStringLiteral("a joke")));

    // A signed-out messenger receives nothing; the pane says so.
    widget<QPushButton>("signOut")->click();
    type(QStringLiteral("anyone?"));
    drainEvents();
    EXPECT_EQ(received.size(), 1);
    EXPECT_TRUE(pane->toPlainText().contains(QStringLiteral("Not delivered")));
}

TEST_F(ClientWindowTest, ContactActionsRaiseTheEventsOfARealClient)
{
    QList<qint32> previousStates;
    QObject::connect(&sim, &MessengerObject::OnUserStateChanged,
                     [&](UserPtr, qint32 previous, bool *) { previousStates << previous; });
    QSignalSpy renamed(&sim, &MessengerObject::OnUserFriendlyNameChangeResult);
    QStringList listEvents;
    const auto record = [&](const char *what) {
        return [&listEvents, what](qint32, ListKind list, UserPtr user) {
            listEvents << QString::fromLatin1(what) + QString::number(static_cast<int>(list)) +
                              QLatin1Char(' ') + user->GetLogonName();
        };
    };
    QObject::connect(&sim, &MessengerObject::OnListAddResult, record("add "));
    QObject::connect(&sim, &MessengerObject::OnListRemoveResult, record("remove "));

    select(kBen);
    choose(widget<QComboBox>("contactState"), LocalState::Busy);
    widget<QLineEdit>("nameEdit")->setText(QStringLiteral("Benny"));
    widget<QPushButton>("rename")->click();
    drainEvents();
    EXPECT_EQ(previousStates, QList<qint32>{LocalState::Away});
    ASSERT_EQ(renamed.count(), 1);
    EXPECT_EQ(renamed.at(0).at(2).toString(), QStringLiteral("Ben Ortiz"));
    EXPECT_EQ(item(kBen)->text(0), QStringLiteral("Benny\n") + kBen);
    EXPECT_EQ(item(kBen)->text(1), QStringLiteral("Busy\nall, users"));

    // Blocking moves the contact from the contact list to the blocked one, and back.
    auto *block = widget<QPushButton>("block");
    block->click();
    drainEvents();
    EXPECT_EQ(listEvents, (QStringList{"add 2 " + kBen, "remove 1 " + kBen}));
    EXPECT_EQ(ClientWindowLogic::listsText(window.logic().contact(kBen).lists),
              QStringLiteral("all, blocked"));
    EXPECT_EQ(block->accessibleName(), QStringLiteral("Unblock"));
    listEvents.clear();
    block->click();
    drainEvents();
    EXPECT_EQ(listEvents, (QStringList{"add 1 " + kBen, "remove 2 " + kBen}));

    // A new contact is written in and opened; removing takes it off every list.
    listEvents.clear();
    auto *logon = widget<QLineEdit>("newLogon");
    QTest::keyClicks(logon, QStringLiteral("zoe@example.net"));
    QTest::keyClick(logon, Qt::Key_Return);
    drainEvents();
    EXPECT_EQ(listEvents, (QStringList{"add 0 zoe@example.net", "add 1 zoe@example.net"}));
    EXPECT_EQ(window.currentContact(), QStringLiteral("zoe@example.net"));
    ASSERT_NE(item(QStringLiteral("zoe@example.net")), nullptr);
    listEvents.clear();
    widget<QPushButton>("remove")->click();
    drainEvents();
    EXPECT_EQ(listEvents, (QStringList{"remove 1 zoe@example.net", "remove 0 zoe@example.net"}));
    EXPECT_EQ(item(QStringLiteral("zoe@example.net")), nullptr);
    EXPECT_EQ(widget<QTreeWidget>("contacts")->currentItem(), nullptr);

    // Nothing to add: no request reaches the client.
    listEvents.clear();
    EXPECT_FALSE(window.logic().addContact(QStringLiteral("  ")));
    EXPECT_FALSE(window.logic().addContact(QStringLiteral("two words")));
    drainEvents();
    EXPECT_TRUE(listEvents.isEmpty());
}

TEST_F(ClientWindowTest, OwnAccountControlsDriveTheClientAndFollowIt)
{
    QSignalSpy logoff(&sim, &MessengerObject::OnLogoff);
    QSignalSpy logon(&sim, &MessengerObject::OnLogonResult);
    auto *signOut = widget<QPushButton>("signOut");
    auto *signIn = widget<QPushButton>("signIn");

    signOut->click();
    drainEvents();
    EXPECT_EQ(sim.serviceStatus(), ServiceStatus::NotConnected);
    EXPECT_EQ(logoff.count(), 1);
    EXPECT_FALSE(signOut->isEnabled());
    ASSERT_TRUE(signIn->isEnabled());
    signIn->click();
    drainEvents();
    EXPECT_EQ(sim.serviceStatus(), ServiceStatus::Connected);
    EXPECT_EQ(logon.count(), 1);
    widget<QPushButton>("loseConnection")->click();
    drainEvents();
    EXPECT_EQ(sim.serviceStatus(), ServiceStatus::ConnectionLost);
    EXPECT_EQ(logoff.count(), 2);
    signIn->click();

    // A state the program asks for is marked until the client confirms it.
    widget<QSpinBox>("confirmDelay")->setValue(150);
    EXPECT_EQ(sim.confirmDelay(), 150);
    sim.SetLocalState(LocalState::Away);
    drainEvents();
    auto *pending = widget<QLabel>("pending");
    EXPECT_FALSE(pending->isHidden());
    EXPECT_TRUE(pending->text().contains(QStringLiteral("Away")));
    EXPECT_EQ(widget<QLabel>("ownState")->text(), QStringLiteral("(Online)"));
    ASSERT_TRUE(waitUntil([&] { return pending->isHidden(); }));
    EXPECT_EQ(widget<QLabel>("ownState")->text(), QStringLiteral("(Away)"));

    // A change made in the client itself is at once the confirmed state.
    QSignalSpy result(&sim, &MessengerObject::OnLocalStateChangeResult);
    choose(widget<QComboBox>("ownStateBox"), LocalState::Busy);
    EXPECT_EQ(sim.localState(), LocalState::Busy);
    drainEvents();
    EXPECT_EQ(result.count(), 1);

    widget<QSpinBox>("unreadMail")->setValue(3);
    EXPECT_EQ(sim.GetUnreadMailCount(0), 3);
    // What the control side changes by itself shows too.
    sim.setUnreadMailCount(7);
    sim.signOut();
    drainEvents();
    EXPECT_EQ(widget<QSpinBox>("unreadMail")->value(), 7);
    EXPECT_EQ(widget<QLabel>("connection")->text(), QStringLiteral("Signed out"));
}

TEST_F(ClientWindowTest, FailuresMenuSetsThePlanAndTheWindowNeverSpendsIt)
{
    const auto session = sim.sessionWith(kAnn);
    const auto send = [&] {
        return skipOnFailure([&] { session->SendText(ReplyHeader(ReplyColour::Black), "x", 2); });
    };
    window.findChild<QAction *>(QStringLiteral("always-SendText"))->trigger();
    EXPECT_FALSE(send());
    EXPECT_EQ(window.logic().failureMode(Operation::SendText), FailureMode::Always);
    auto *menu = window.findChild<QMenu *>(QStringLiteral("fail-SendText"));
    Q_EMIT window.findChild<QMenu *>(QStringLiteral("failuresMenu"))->aboutToShow();
    EXPECT_TRUE(menu->title().contains(QStringLiteral("fails always")));
    window.findChild<QAction *>(QStringLiteral("never-SendText"))->trigger();
    EXPECT_TRUE(send());

    window.logic().setFailure(Operation::GetCount, FailureMode::AfterCalls, 2);
    const auto users = sim.GetList(ListKind::Users);
    const auto count = [&] { return skipOnFailure([&] { users->GetCount(); }); };
    EXPECT_EQ((QList<bool>{count(), count(), count()}), (QList<bool>{true, true, false}));

    // Refreshing the window reads the client without calling its boundary.
    for (Operation op : ClientWindowLogic::operations())
        window.logic().setFailure(op, FailureMode::Always);
    const int calls = sim.failures().calls(Operation::GetFriendlyName);
    sim.changeContactFriendlyName(kAnn, QStringLiteral("Annie"));
    drainEvents();
    EXPECT_EQ(item(kAnn)->text(0), QStringLiteral("Annie\n") + kAnn);
    EXPECT_EQ(sim.failures().calls(Operation::GetFriendlyName), calls);

    window.findChild<QAction *>(QStringLiteral("clearFailures"))->trigger();
    EXPECT_TRUE(count());
    EXPECT_EQ(window.logic().failureMode(Operation::GetCount), FailureMode::Never);
}

TEST(ClientWindowContactsFile, SaveThenLoadRoundTrips)
{
    SimMessenger sim;
    ClientWindowLogic logic(sim);
    logic.setBlocked(kBen, true);
    logic.renameContact(kAnn, QStringLiteral("Ann \"the\" Moss"));
    logic.addContact(QStringLiteral("zoe@example.net"));
    sim.removeContact(QStringLiteral("dev.patel@example.net"), ListKind::Users);
    sim.GetServices()->GetPrimaryService()->SetFriendlyName(QStringLiteral(" Jo"));
    sim.setUnreadMailCount(4);
    sim.setLocalStateNow(LocalState::Away);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("contacts.json"));
    QString error;
    ASSERT_TRUE(sim.saveContactsFile(path, &error)) << error;

    SimMessenger other;
    ASSERT_TRUE(other.loadContactsFile(path, &error)) << error;
    EXPECT_EQ(describe(other.contacts()), describe(sim.contacts()));
    EXPECT_TRUE(describe(other.contacts()).contains("dev.patel@example.net|Dev Patel|1|all"));
    EXPECT_EQ(other.ownFriendlyName(), QStringLiteral(" Jo"));
    EXPECT_EQ(other.unreadMailCount(), 4);
    EXPECT_EQ(other.localState(), LocalState::Away);

    EXPECT_FALSE(sim.saveContactsFile(dir.filePath(QStringLiteral("no/such/folder.json")), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("folder.json"))) << error;
}
