#include "core/appstate.h"
#include "core/dispatcher.h"
#include "core/remotecommands.h"
#include "core/reply.h"
#include "messenger/messengererror.h"
#include "platform/messenger/sim/simmessenger.h"

#include "support/printers.h"
#include "support/waituntil.h"
#include "support/texts.h"

#include <QSet>

#include <gtest/gtest.h>

using namespace zelmo;
using sim::Operation;

namespace {

using test::Ann;
using test::Bob;
using test::Footer;

// Each command answers with its own name, so a reply shows which step ran and in which
// colour; a command named in `throwing` fails before it sends anything.
class FakeCommands : public RemoteCommands {
public:
    void sendJoke(Reply &reply) override { run(QStringLiteral("joke"), &reply); }
    void playBeep() override { run(QStringLiteral("beep")); }
    bool onlineUsersCodeAccepted(const UserPtr &, const QString &text) override
    {
        run(QStringLiteral("code test"));
        return text.endsWith(QLatin1String(" 47209"));
    }
    void sendOnlineUsers(Reply &reply) override { run(QStringLiteral("online users"), &reply); }
    void sendHelp(Reply &reply) override { run(QStringLiteral("help"), &reply); }
    void changeNickname(const UserPtr &, const QString &text, Reply &reply) override
    {
        lastText = text;
        run(QStringLiteral("change nick"), &reply);
    }
    void setAway(const UserPtr &, const QString &text, Reply &reply) override
    {
        lastText = text;
        run(QStringLiteral("set away"), &reply);
    }
    void setBack(const UserPtr &, const QString &text, Reply &reply) override
    {
        lastText = text;
        run(QStringLiteral("set back"), &reply);
    }

    QStringList calls;
    QSet<QString> throwing;
    QString lastText;

private:
    void run(const QString &name, Reply *reply = nullptr)
    {
        calls << name;
        if (throwing.contains(name))
            throw MessengerError(name, QStringLiteral("injected"));
        if (reply)
            reply->send(name);
    }
};

class DispatcherTest : public testing::Test {
protected:
    DispatcherTest()
    {
        QList<sim::SimContact> contacts;
        for (const char *name : {"ann", "bob", "cat", "dan", "eve", "fay"}) {
            const QString n = QString::fromLatin1(name);
            contacts << sim::SimContact{n + QStringLiteral("@zelmo.test"),
                                        n,
                                        LocalState::Online,
                                        {ListKind::AllContacts, ListKind::Users}};
        }
        sim.setContacts(contacts);
        state.allContacts = sim.GetList(ListKind::AllContacts);
        state.awayMessages.resize(state.allContacts->GetCount());
        QObject::connect(&sim, &MessengerObject::OnTextReceived, &sim,
                         [this](const IMSessionPtr &session, const UserPtr &user,
                                const QString &header, const QString &text, bool *enableDefault) {
                             dispatcher.onTextReceived(session, user, header, text, enableDefault);
                         });
    }

    // What the contact got back for one message, each line as "<colour> <text>".
    QStringList receive(const QString &logon, const QString &text, bool autoSubmitted = false)
    {
        const auto session = sim.receiveText(logon, text, autoSubmitted);
        session->clearSent();
        test::drainEvents();
        return replies(*session);
    }

    static QStringList replies(const sim::SimSession &session)
    {
        QStringList out;
        for (const sim::SentText &m : session.sent()) {
            EXPECT_EQ(m.messageType, 2);
            const QString colour = m.header == ReplyHeader(ReplyColour::DarkBlue) ? "blue"
                                   : m.header == ReplyHeader(ReplyColour::Black)  ? "black"
                                                                                  : "bad header";
            out << colour + QLatin1Char(' ') + m.text;
        }
        return out;
    }

    void awayWithMessage(const QString &message = QStringLiteral("out for lunch"))
    {
        state.AwayMode = true;
        state.SetMessage(Ann, message, 0);
    }

    const QStringList awayReply = {QStringLiteral("black out for lunch"), "black " + Footer};

    sim::SimMessenger sim;
    FakeCommands commands;
    AppState state{&sim};
    Dispatcher dispatcher{state, commands};
};

TEST_F(DispatcherTest, JokeNeedsTheWholeTextInAnyCase)
{
    EXPECT_EQ(receive(Ann, "|joke|"), QStringList{"blue joke"});
    EXPECT_EQ(receive(Ann, "|JOKES|"), QStringList{"blue joke"});
    awayWithMessage();
    EXPECT_EQ(receive(Ann, " |JOKE|"), awayReply);
    EXPECT_EQ(receive(Ann, "|JOKE| please"), awayReply);
}

TEST_F(DispatcherTest, BeepPlaysAndTheMessageGoesOn)
{
    awayWithMessage();
    EXPECT_EQ(receive(Ann, "|beep|"), awayReply);
    EXPECT_EQ(commands.calls, QStringList({"beep"}));
}

TEST_F(DispatcherTest, GreetingListsOnlineUsersWithoutACode)
{
    EXPECT_EQ(receive(Ann, "hey WASSSUP ?! all"), QStringList{"blue online users"});
    EXPECT_EQ(receive(Ann, "|OnlineUsers| 47209"), QStringList{"blue online users"});
    EXPECT_EQ(commands.calls, QStringList({"online users", "code test", "online users"}));
}

TEST_F(DispatcherTest, WrongOnlineUsersCodeFallsThroughToTheAwayMessage)
{
    awayWithMessage();
    EXPECT_EQ(receive(Ann, "|ONLINEUSERS| 12345"), awayReply);
}

TEST_F(DispatcherTest, HelpNeedsTheWholeTextWhileChangeNickIsFoundAnywhere)
{
    EXPECT_EQ(receive(Ann, "|help|"), QStringList{"blue help"});
    EXPECT_EQ(receive(Ann, "|HELP| me"), QStringList{});
    EXPECT_EQ(receive(Ann, "x |changenick| 47209 Neo"), QStringList{"black change nick"});
    EXPECT_EQ(commands.lastText, "x |changenick| 47209 Neo");
}

TEST_F(DispatcherTest, ChangeNickWinsOverSetAwayInEitherMode)
{
    EXPECT_EQ(receive(Ann, "|CHANGENICK| |SETAWAY| 47209"), QStringList{"black change nick"});
    awayWithMessage();
    EXPECT_EQ(receive(Ann, "|CHANGENICK| |SETBACK| 47209"), QStringList{"black change nick"});
}

TEST_F(DispatcherTest, WhileNotAwayOnlySetAwayIsAnswered)
{
    state.SetMessage(Ann, "unused", 0);
    EXPECT_EQ(receive(Ann, "|setaway| 47209"), QStringList{"black set away"});
    EXPECT_EQ(receive(Ann, "|SETBACK| 47209"), QStringList{});
    EXPECT_EQ(receive(Ann, "hello"), QStringList{});
    EXPECT_EQ(commands.calls, QStringList({"set away"}));
}

TEST_F(DispatcherTest, WhileAwaySetBackRunsAndSetAwayGetsTheAwayMessage)
{
    awayWithMessage();
    EXPECT_EQ(receive(Ann, "|SETAWAY| 47209"), awayReply);
    EXPECT_EQ(receive(Ann, "|setback| 47209"), QStringList{"black set back"});
    EXPECT_EQ(commands.lastText, "|setback| 47209");
}

TEST_F(DispatcherTest, ALineBreakAloneGetsNoAnswerButIsKept)
{
    awayWithMessage();
    EXPECT_EQ(receive(Ann, "  \r\n "), QStringList{});
    EXPECT_EQ(state.receivedText, "  \r\n ");
    EXPECT_EQ(receive(Ann, "\t\r\n"), awayReply);
}

TEST_F(DispatcherTest, AwayMessageIsTheFirstMatchTrimmedOfBlanksOnly)
{
    state.AwayMode = true;
    EXPECT_EQ(receive(Ann, "hi"), QStringList{});

    state.SetMessage(Ann, "   ", 2);
    state.SetMessage(Ann, "later entry", 5);
    state.SetMessage(Ann.toUpper(), "wrong case", 1);
    EXPECT_EQ(receive(Ann, "hi"), QStringList({"black ", "black " + Footer}));

    state.SetMessage(Ann, "  back at\r\nnine\t ", 2);
    EXPECT_EQ(receive(Ann, "hi"), QStringList({"black back at\r\nnine\t", "black " + Footer}));
}

TEST_F(DispatcherTest, OnlyEntriesOfListedContactsAreScanned)
{
    state.AwayMode = true;
    // The table's last entry lies beyond the contacts.
    state.SetMessage(Ann, "beyond", static_cast<qint16>(state.allContacts->GetCount()));
    EXPECT_EQ(receive(Ann, "hi"), QStringList{});

    state.awayMessages.resize(1);
    state.SetMessage(Bob, "bob's", 1);
    EXPECT_EQ(receive(Bob, "hi"), QStringList({"black bob's", "black " + Footer}));
}

TEST_F(DispatcherTest, UnreadableSenderOrListGetsNoReply)
{
    state.AwayMode = true;
    state.SetMessage(Ann, "out", 0);
    // Free entries hold an empty logon name; a sender whose name fails must not match them.
    sim.failures().failAlways(Operation::GetLogonName);
    EXPECT_EQ(receive(Bob, "hi"), QStringList{});
    sim.failures().clearAll();

    sim.failures().failAlways(Operation::GetCount);
    EXPECT_EQ(receive(Ann, "hi"), QStringList{});
    sim.failures().clearAll();

    state.allContacts.reset();
    EXPECT_EQ(receive(Ann, "hi"), QStringList{});
}

TEST_F(DispatcherTest, AFailedSendLosesOnlyThatLine)
{
    awayWithMessage();
    const auto session = sim.receiveText(Ann, "hi");
    sim.failures().failAfter(Operation::SendText, 0, 1);
    test::drainEvents();
    EXPECT_EQ(replies(*session), QStringList{"black " + Footer});
}

TEST_F(DispatcherTest, AFailingCommandStepIsSkipped)
{
    awayWithMessage();
    commands.throwing = {"beep", "code test", "joke"};
    EXPECT_EQ(receive(Ann, "|BEEP|"), awayReply);
    EXPECT_EQ(receive(Ann, "|ONLINEUSERS| 47209"), awayReply);
    EXPECT_EQ(receive(Ann, "|JOKE|"), QStringList{});
    EXPECT_EQ(receive(Ann, "hi"), awayReply);
}

TEST_F(DispatcherTest, PendingEventsRunBeforeTheLookupButAfterTheAwayDecision)
{
    awayWithMessage();
    const auto session = sim.receiveText(Ann, "hi");
    QMetaObject::invokeMethod(
        &sim,
        [this] {
            state.SetMessage(Ann, "changed meanwhile", 0);
            state.AwayMode = false;
        },
        Qt::QueuedConnection);
    test::drainEvents();
    EXPECT_EQ(replies(*session), QStringList({"black changed meanwhile", "black " + Footer}));
}

TEST_F(DispatcherTest, AnAutomaticAnswerGetsNothingBackNotEvenACommand)
{
    // Two copies of the program, both away with a message for each other, must not answer
    // each other without end: the machine-made answer is marked and left unanswered.
    awayWithMessage();
    EXPECT_TRUE(receive(Ann, "back at five", true).isEmpty());
    for (const char *text : {"|help|", "|joke|", "|beep|", "wasssup ?!", "|setback| 47209"})
        EXPECT_TRUE(receive(Ann, QString::fromLatin1(text), true).isEmpty()) << text;
    EXPECT_TRUE(commands.calls.isEmpty()) << commands.calls.join(", ");
    EXPECT_TRUE(state.receivedText.isEmpty());
    // The same sender writing by hand is answered as before.
    EXPECT_EQ(receive(Ann, "back at five"), awayReply);
}

TEST(DispatcherHeaderTest, AutoSubmittedIsAnyValueButNoInAnyCase)
{
    const QString head = QStringLiteral("MIME-Version: 1.0\r\nContent-Type: text/plain\r\n");
    EXPECT_TRUE(Dispatcher::isAutoSubmitted(head + "Auto-Submitted: auto-replied\r\n\r\n"));
    EXPECT_TRUE(Dispatcher::isAutoSubmitted(head + "auto-submitted:auto-generated\r\n\r\n"));
    EXPECT_FALSE(Dispatcher::isAutoSubmitted(head + "Auto-Submitted: No\r\n\r\n"));
    EXPECT_FALSE(Dispatcher::isAutoSubmitted(head + "\r\n"));
    // The field's name must be the whole name, not part of another.
    EXPECT_FALSE(Dispatcher::isAutoSubmitted(head + "X-Auto-Submitted-By: me\r\n\r\n"));
}

} // namespace
