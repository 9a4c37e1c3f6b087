// A burst of contact events ends in one rebuild of the online list, and nobody can tell:
// every reader sees what it would have seen with one rebuild per event.

#include "core/awayeditor.h"
#include "core/program.h"
#include "platform/messenger/sim/simmessenger.h"

#include "support/fakemainview.h"
#include "support/memorystore.h"
#include "support/printers.h"
#include "support/waituntil.h"

#include <gtest/gtest.h>

#include <random>

using namespace zelmo;
using sim::SimContact;

namespace {

class CountingView : public test::FakeMainView {
public:
    void setOnlineLines(const QStringList &l) override
    {
        FakeMainView::setOnlineLines(l);
        ++rebuilds;
    }
    int rebuilds = 0;
};

// One program on its own simulated client; `perEvent` makes it the reference.
struct Side {
    explicit Side(bool perEvent)
    {
        sim.setConfirmDelay(0);
        QList<SimContact> contacts;
        for (int i = 0; i < 12; ++i)
            contacts << SimContact{
                logon(i),
                QStringLiteral("Contact %1").arg(i),
                i % 3 ? 2 : 1,
                {ListKind::AllContacts, i % 5 ? ListKind::Users : ListKind::Blocked}};
        sim.setContacts(contacts);
        program.contactLists().setRebuildPerEvent(perEvent);
        program.start();
        for (int i = 0; i < 12; i += 2)
            program.state().SetMessage(logon(i), QStringLiteral("message %1").arg(i),
                                       static_cast<qint16>(i));
    }

    static QString logon(int i) { return QStringLiteral("c%1@zelmo.test").arg(i); }

    QStringList tableContents()
    {
        QStringList cells;
        const AwayMessageTable &table = program.state().awayMessages;
        for (qint32 i = 0; i < table.entryCount(); ++i)
            cells << table.entry(i)->logonName + QLatin1Char('=') + table.entry(i)->message;
        return cells;
    }

    sim::SimMessenger sim;
    test::MemoryStore store;
    CountingView view;
    Program program{view, &sim, store, nullptr};
};

// A random contact event, the same on both sides for the same draw.
void randomEvent(std::mt19937 &random, Side &a, Side &b, int &nextContact)
{
    const int kind = std::uniform_int_distribution<int>(0, 5)(random);
    const QString who = Side::logon(std::uniform_int_distribution<int>(0, nextContact - 1)(random));
    const qint32 state = std::array<qint32, 6>{0, 1, 2, 10, 34, 66}[random() % 6];
    const ListKind list = random() % 4 ? ListKind::Users : ListKind::Blocked;
    for (Side *side : {&a, &b}) {
        switch (kind) {
        case 0:
        case 1:
            side->sim.changeContactState(who, state);
            break;
        case 2:
            side->sim.changeContactFriendlyName(who, QStringLiteral("Renamed %1").arg(state));
            break;
        case 3:
            side->sim.addContact(
                SimContact{Side::logon(nextContact), QStringLiteral("New"), state, {}}, list);
            break;
        case 4:
            side->sim.removeContact(who, list);
            break;
        default:
            side->sim.removeContact(who, ListKind::AllContacts);
            break;
        }
    }
    if (kind == 3)
        ++nextContact;
}

TEST(RebuildBurstTest, ABurstEndsAsOneRebuildPerEventWouldLeaveIt)
{
    std::mt19937 random(20261208);
    Side burst(false), reference(true);
    int nextContact = 12;
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        const int size = std::uniform_int_distribution<int>(1, 30)(random);
        const int rebuildsBefore = burst.view.rebuilds;
        for (int i = 0; i < size; ++i)
            randomEvent(random, burst, reference, nextContact);
        test::drainEvents();

        EXPECT_LE(burst.view.rebuilds - rebuildsBefore, 1);
        EXPECT_EQ(burst.view.lines, reference.view.lines);
        EXPECT_EQ(burst.view.countText, reference.view.countText);
        EXPECT_EQ(burst.program.state().onlineCount, reference.program.state().onlineCount);
        EXPECT_EQ(burst.program.state().onlineCountSoFar, 0);
        EXPECT_EQ(burst.tableContents(), reference.tableContents());
    }
    EXPECT_GT(reference.view.rebuilds, 4 * burst.view.rebuilds);
}

TEST(RebuildBurstTest, AMessageInTheMiddleOfABurstIsAnsweredAsWithOneRebuildPerEvent)
{
    std::mt19937 random(7);
    Side burst(false), reference(true);
    for (Side *side : {&burst, &reference}) {
        side->sim.setLocalStateNow(LocalState::Away);
        side->program.localStatus().refreshLocalStatus();
    }
    int nextContact = 12;
    for (int round = 0; round < 15; ++round) {
        SCOPED_TRACE(round);
        for (int i = 0; i < 10; ++i)
            randomEvent(random, burst, reference, nextContact);
        // Whoever holds position 0 now writes, and another asks for the listing and its count,
        // in the middle of the burst.
        const QString first = burst.sim.GetList(ListKind::AllContacts)->Item(0)->GetLogonName();
        std::shared_ptr<sim::SimSession> sessions[2][2];
        int n = 0;
        for (Side *side : {&burst, &reference}) {
            sessions[n][0] = side->sim.receiveText(first, QStringLiteral("hi"));
            sessions[n][1] = side->sim.receiveText(Side::logon(1), "|ONLINEUSERS| 47209");
            sessions[n][0]->clearSent();
            sessions[n][1]->clearSent();
            ++n;
        }
        for (int i = 0; i < 10; ++i)
            randomEvent(random, burst, reference, nextContact);
        test::drainEvents();
        EXPECT_EQ(sessions[0][0]->sentTexts(), sessions[1][0]->sentTexts());
        EXPECT_EQ(sessions[0][1]->sentTexts(), sessions[1][1]->sentTexts());
        EXPECT_FALSE(sessions[0][1]->sentTexts().isEmpty());
    }
}

class FakeEditorView : public AwayEditorView {
public:
    void setEntries(const QStringList &e) override { entries = e; }
    void setEditText(const QString &) override {}
    QString highlightedEditText() const override { return QString(); }
    qint16 selectedPosition() const override { return position; }
    void selectPosition(qint16 p) override { position = p; }
    void closeWindow() override {}
    void showBox(BoxIcon, const QString &, const QString &) override {}
    QString messageText() const override { return QString(); }
    QStringList entries;
    qint16 position = -1;
};

TEST(RebuildBurstTest, TheEditorsRefreshSeesTheRebuildOfABurstStillQueued)
{
    Side side(false);
    FakeEditorView view;
    AwayEditor editor(side.program.state(), side.view, view);
    editor.start();
    test::drainEvents();
    side.program.state().listsRebuilt = false;
    const qsizetype before = view.entries.size();

    // A contact event has been handled, and its rebuild is still queued when the editor's
    // tick comes.
    side.sim.addContact(SimContact{QStringLiteral("zed@zelmo.test"), QStringLiteral("Zed"), 2, {}},
                        ListKind::Users);
    Q_EMIT side.sim.OnListAddResult(0, ListKind::Users, nullptr);
    ASSERT_TRUE(side.program.contactLists().isStale());
    editor.refresh();
    EXPECT_EQ(view.entries.size(), before + 1);
    EXPECT_FALSE(side.program.state().listsRebuilt) << "the editor took the rebuild";
    editor.refresh();
    EXPECT_EQ(view.entries.size(), before + 1);
    test::drainEvents();
}

} // namespace
