// The program's own texts as it shows or sends them, against the literals they must be to the
// letter: a typo in any of them is caught here.

#include "ui/form1.h"
#include "ui/form6.h"

#include "core/commands.h"
#include "platform/messenger/sim/simmessenger.h"
#include "support/memorystore.h"
#include "support/printers.h"
#include "support/waituntil.h"

#include <QLabel>

#include <gtest/gtest.h>

using namespace zelmo;
using namespace std::chrono_literals;

TEST(ProgramTexts, AreTheLiteralsToTheLetter)
{
    sim::SimMessenger sim;
    sim.setConfirmDelay(-1);
    sim.setContacts({{"ann@zelmo.test", "Ann", 2, {ListKind::AllContacts, ListKind::Users}}});
    test::MemoryStore store;
    Form1 form(&sim, store);
    form.setEndProgram([] {});
    QStringList steps;
    form.state().onProgress = [&](const QString &status) { steps << status; };
    form.Form_Load();
    form.localStatus().setWaitLimit(300ms);

    // A set away that the client never confirms shows the progress window, then fails.
    QString progressText;
    QTimer::singleShot(100, &form, [&] {
        if (Form6 *progress = form.progressWindow())
            progressText = progress->findChild<QLabel *>(QStringLiteral("Label1"))->text();
    });
    const auto session = sim.receiveText("ann@zelmo.test", "|setaway| 47209");
    ASSERT_TRUE(test::waitUntil([&] { return !session->sent().isEmpty(); }));

    const struct {
        QString shown;
        const char *literal;
    } rows[] = {
        {steps.value(0), "Opening Joke Files"},
        {steps.value(1), "Loading file contents"},
        {steps.value(2), "Creating Messenger Controls"},
        {steps.value(3), "Loading User Lists"},
        {steps.value(4), "Getting Status info"},
        {progressText, "Changing status. Please wait ..."},
        {session->sentTexts().value(0),
         "--- Status could not be changed, please try again later! ---"},
        {form.program().notConnectedText(), "Please switch MSN on before using this program.."},
    };
    for (const auto &row : rows)
        EXPECT_EQ(row.shown, QString::fromUtf8(row.literal));
    EXPECT_EQ(steps.size(), 5);
}
