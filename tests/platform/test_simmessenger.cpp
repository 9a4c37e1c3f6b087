#include "platform/messenger/sim/simmessenger.h"

#include "messenger/messengererror.h"
#include "support/printers.h"
#include "support/waituntil.h"
#include "support/texts.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

using namespace zelmo;
using zelmo::sim::Operation;
using zelmo::sim::SimMessenger;
using zelmo::test::drainEvents;
using zelmo::test::waitUntil;

namespace {

QStringList logons(const UserCollectionPtr &list)
{
    QStringList out;
    for (qint32 i = 0; i < list->GetCount(); ++i)
        out << list->Item(i)->GetLogonName();
    return out;
}

// The operation a failing call names, or an empty string when it succeeds.
QString failure(const std::function<void()> &call)
{
    try {
        call();
    } catch (const MessengerError &e) {
        return e.operation();
    }
    return QString();
}

// Which of n calls in a row succeed.
QList<bool> outcomes(int n, const std::function<void()> &call)
{
    QList<bool> out;
    for (int i = 0; i < n; ++i)
        out << skipOnFailure(call);
    return out;
}

const QString &kAnn = test::BuiltInAnn;

} // namespace

TEST(SimMessenger, EventsArriveOnlyFromTheEventLoop)
{
    SimMessenger sim;
    QStringList texts;
    QList<IMSessionPtr> sessions;
    QObject::connect(
        &sim, &MessengerObject::OnTextReceived,
        [&](IMSessionPtr s, UserPtr u, const QString &header, const QString &text, bool *) {
            EXPECT_EQ(u->GetLogonName(), kAnn);
            EXPECT_TRUE(header.endsWith(QStringLiteral("\r\n\r\n")));
            texts << text;
            sessions << s;
        });
    QList<qint32> previousStates;
    QObject::connect(&sim, &MessengerObject::OnUserStateChanged,
                     [&](UserPtr u, qint32 prev, bool *) {
                         EXPECT_EQ(u->GetState(), LocalState::Away);
                         previousStates << prev;
                     });
    QSignalSpy logoff(&sim, &MessengerObject::OnLogoff);
    QSignalSpy added(&sim, &MessengerObject::OnListAddResult);

    const auto session = sim.receiveText(kAnn, QStringLiteral("hi"));
    sim.receiveText(kAnn, QStringLiteral("there"));
    ASSERT_TRUE(sim.changeContactState(kAnn, LocalState::Away));
    sim.addContact({QStringLiteral("new@example.net"), QStringLiteral("New"), 2, {}},
                   ListKind::Users);
    sim.loseConnection();

    EXPECT_TRUE(texts.isEmpty());
    EXPECT_TRUE(previousStates.isEmpty());
    EXPECT_EQ(logoff.count(), 0);
    EXPECT_EQ(added.count(), 0);

    drainEvents();
    EXPECT_EQ(texts, (QStringList{"hi", "there"}));
    EXPECT_EQ(sessions, (QList<IMSessionPtr>{session, session}));
    EXPECT_EQ(previousStates, QList<qint32>{LocalState::Online});
    EXPECT_EQ(logoff.count(), 1);
    EXPECT_EQ(added.count(), 2); // the list asked for, and the list of all contacts it implies
}

TEST(SimMessenger, ListViewsAreLive)
{
    SimMessenger sim;
    const auto all = sim.GetList(ListKind::AllContacts);
    const auto blocked = sim.GetList(ListKind::Blocked);
    const qint32 total = all->GetCount();
    const UserPtr ann = sim.GetList(ListKind::Users)->Item(0);
    ASSERT_EQ(ann->GetLogonName(), kAnn);
    EXPECT_EQ(blocked->GetCount(), 1);

    sim.addContact({kAnn, QString(), ContactState::Offline, {}}, ListKind::Blocked);
    EXPECT_EQ(blocked->GetCount(), 2);
    EXPECT_EQ(all->GetCount(), total);
    EXPECT_EQ(ann->GetState(), LocalState::Online) << "blocking must not touch the contact";

    sim.changeContactFriendlyName(kAnn, QStringLiteral("Annie"));
    EXPECT_EQ(ann->GetFriendlyName(), QStringLiteral("Annie"));

    EXPECT_TRUE(sim.removeContact(kAnn, ListKind::AllContacts));
    EXPECT_FALSE(logons(all).contains(kAnn));
    EXPECT_FALSE(logons(blocked).contains(kAnn));
    EXPECT_FALSE(sim.removeContact(kAnn, ListKind::Users));

    EXPECT_EQ(failure([&] { all->Item(all->GetCount()); }), QStringLiteral("Item"));
    EXPECT_EQ(failure([&] { all->Item(-1); }), QStringLiteral("Item"));
    sim.setContacts({});
    EXPECT_EQ(all->GetCount(), 0);
}

TEST(SimMessenger, LocalStateIsConfirmedLater)
{
    SimMessenger sim;
    QSignalSpy results(&sim, &MessengerObject::OnLocalStateChangeResult);

    sim.SetLocalState(LocalState::Away);
    EXPECT_EQ(sim.GetLocalState(), LocalState::Online);
    EXPECT_EQ(results.count(), 0);
    ASSERT_TRUE(waitUntil([&] { return results.count() == 1; }));
    EXPECT_EQ(sim.GetLocalState(), LocalState::Away);
    EXPECT_EQ(results.at(0).at(1).toInt(), LocalState::Away);

    sim.setConfirmDelay(80);
    sim.SetLocalState(LocalState::Online);
    drainEvents();
    EXPECT_EQ(sim.GetLocalState(), LocalState::Away);
    EXPECT_TRUE(waitUntil([&] { return sim.GetLocalState() == LocalState::Online; }));

    sim.setConfirmDelay(-1);
    sim.SetLocalState(LocalState::Busy);
    EXPECT_FALSE(waitUntil([&] { return sim.GetLocalState() == LocalState::Busy; }, 150));
    EXPECT_EQ(sim.lastRequestedState(), LocalState::Busy);
    EXPECT_EQ(sim.requestedStates(),
              (QList<qint32>{LocalState::Away, LocalState::Online, LocalState::Busy}));

    sim.setLocalStateNow(LocalState::Idle);
    EXPECT_EQ(sim.GetLocalState(), LocalState::Idle);
}

TEST(SimMessenger, SignedOutClientRefusesRequests)
{
    SimMessenger sim;
    const auto service = sim.GetServices()->GetPrimaryService();
    QSignalSpy property(&sim, &MessengerObject::OnLocalPropertyChangeResult);
    service->SetFriendlyName(QStringLiteral(" Nick"));
    EXPECT_EQ(sim.ownFriendlyName(), QStringLiteral(" Nick"));
    EXPECT_EQ(property.count(), 0);
    drainEvents();
    EXPECT_EQ(property.count(), 1);

    sim.signOut();
    EXPECT_EQ(service->GetServiceStatus(), ServiceStatus::NotConnected);
    EXPECT_FALSE(failure([&] { sim.SetLocalState(LocalState::Away); }).isEmpty());
    EXPECT_FALSE(failure([&] { service->SetFriendlyName(QStringLiteral("x")); }).isEmpty());
    EXPECT_FALSE(failure([&] { sim.sessionWith(kAnn)->SendText("", "x", 2); }).isEmpty());
    EXPECT_TRUE(sim.requestedStates().isEmpty());

    QSignalSpy logon(&sim, &MessengerObject::OnLogonResult);
    sim.signIn();
    drainEvents();
    EXPECT_EQ(logon.count(), 1);
    EXPECT_EQ(failure([&] { sim.SetLocalState(LocalState::Away); }), QString());
    EXPECT_FALSE(failure([&] { sim.SetLocalState(12345); }).isEmpty()) << "not a state code";
}

TEST(SimMessenger, FailurePlanFailsTheChosenCalls)
{
    SimMessenger sim;
    auto &plan = sim.failures();
    const auto users = sim.GetList(ListKind::Users);
    const UserPtr ann = users->Item(0);

    plan.failAlways(Operation::GetState);
    EXPECT_EQ(failure([&] { ann->GetState(); }), QStringLiteral("GetState"));
    EXPECT_EQ(outcomes(1, [&] { ann->GetFriendlyName(); }), QList<bool>{true});
    plan.clear(Operation::GetState);
    EXPECT_EQ(outcomes(1, [&] { ann->GetState(); }), QList<bool>{true});

    // Two succeed, then every call fails.
    plan.failAfter(Operation::GetCount, 2);
    EXPECT_EQ(outcomes(4, [&] { users->GetCount(); }), (QList<bool>{true, true, false, false}));
    plan.clearAll();

    // One succeeds, two fail, then it recovers.
    plan.failAfter(Operation::GetList, 1, 2);
    EXPECT_EQ(outcomes(5, [&] { sim.GetList(ListKind::AllContacts); }),
              (QList<bool>{true, false, false, true, true}));
    EXPECT_EQ(plan.calls(Operation::GetList), 6); // failed calls count too
}

TEST(SimMessenger, SessionsRecordWhatIsSent)
{
    SimMessenger sim;
    const auto session = sim.sessionWith(kAnn);
    EXPECT_EQ(sim.receiveText(kAnn, QStringLiteral("hello")), session);

    session->SendText(QStringLiteral("H1"), QStringLiteral("one"), 2);
    sim.failures().failAfter(Operation::SendText, 0, 1);
    EXPECT_EQ(failure([&] { session->SendText("H1", "lost", 2); }), QStringLiteral("SendText"));
    session->SendText(QStringLiteral("H2"), QStringLiteral("two"), 2);

    EXPECT_EQ(session->sentTexts(), (QStringList{QStringLiteral("one"), QStringLiteral("two")}));
    EXPECT_EQ(session->sent().at(1).header, QStringLiteral("H2"));
    EXPECT_EQ(session->sent().at(1).messageType, 2);
    EXPECT_TRUE(sim.sessionWith(QStringLiteral("ben.ortiz@example.org"))->sent().isEmpty());
}

class SimContactsFile : public testing::Test {
protected:
    QString write(const QByteArray &json)
    {
        const QString path = dir.filePath(QStringLiteral("contacts%1.json").arg(++files));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(json);
        return path;
    }

    QTemporaryDir dir;
    int files = 0;
    SimMessenger sim;
};

TEST_F(SimContactsFile, LoadsContactsAndOwnData)
{
    QString error;
    ASSERT_TRUE(sim.loadContactsFile(write(R"({"friendlyName": "Me", "unreadMail": 3,
        "localState": 34, "contacts": [
        {"logon": "a@example.net", "name": "A", "state": 2, "lists": [1]},
        {"logon": "b@example.net", "lists": [0, 2]},
        {"logon": "c@example.net", "state": 34}]})"),
                                     &error))
        << error.toStdString();
    EXPECT_EQ(logons(sim.GetList(ListKind::AllContacts)),
              (QStringList{"a@example.net", "b@example.net", "c@example.net"}));
    EXPECT_EQ(logons(sim.GetList(ListKind::Users)),
              (QStringList{"a@example.net", "c@example.net"}));
    EXPECT_EQ(logons(sim.GetList(ListKind::Blocked)), QStringList{"b@example.net"});
    const UserPtr b = sim.GetList(ListKind::Blocked)->Item(0);
    EXPECT_EQ(b->GetFriendlyName(), QStringLiteral("b@example.net"));
    EXPECT_EQ(b->GetState(), ContactState::Offline);
    EXPECT_EQ(sim.ownFriendlyName(), QStringLiteral("Me"));
    EXPECT_EQ(sim.GetUnreadMailCount(0), 3);
    EXPECT_EQ(sim.GetLocalState(), LocalState::Away);
}

TEST_F(SimContactsFile, RejectsBadFilesAndKeepsTheOldContacts)
{
    const QList<QByteArray> bad{
        "not json",
        R"({"friendlyName": "x"})",
        R"({"contacts": {}})",
        R"({"contacts": [{"name": "no logon"}]})",
        R"({"unreadMail": 5, "contacts": [{"logon": ""}]})",
        R"({"contacts": [{"logon": "a@x", "lists": [3]}]})",
        R"({"contacts": [{"logon": "a@x", "lists": ["1"]}]})",
        R"({"contacts": [{"logon": "a@x", "state": "online"}]})",
        R"({"contacts": [{"logon": "a@x"}, {"logon": "a@x"}]})",
        R"({"unreadMail": 1.5, "contacts": []})",
    };
    const QStringList before = logons(sim.GetList(ListKind::AllContacts));
    for (const QByteArray &json : bad) {
        QString error;
        EXPECT_FALSE(sim.loadContactsFile(write(json), &error)) << json.toStdString();
        EXPECT_FALSE(error.isEmpty()) << json.toStdString();
    }
    QString error;
    EXPECT_FALSE(sim.loadContactsFile(dir.filePath(QStringLiteral("missing.json")), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("missing.json")));
    EXPECT_EQ(logons(sim.GetList(ListKind::AllContacts)), before);
    EXPECT_EQ(sim.GetUnreadMailCount(0), 0);
}
