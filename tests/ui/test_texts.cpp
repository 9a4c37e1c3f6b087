// The program's own texts as it shows or sends them, against the literals, to the letter.

#include "ui/mainwindow.h"
#include "ui/switchprogress.h"

#include "platform/messenger/sim/simmessenger.h"
#include "support/memorystore.h"
#include "support/printers.h"
#include "support/waituntil.h"

#include <QLabel>

#include <gtest/gtest.h>

using namespace zelmo;

TEST(ProgramTexts, AreTheLiteralsToTheLetter)
{
    sim::SimMessenger sim;
    sim.setConfirmDelay(-1); // a set away that never completes shows its progress, then fails
    sim.setContacts({{"ann@zelmo.test", "Ann", 2, {ListKind::AllContacts}}});
    test::MemoryStore store;
    Program program(&sim, store);
    MainWindow form(program);
    QStringList shown;
    form.state().onProgress = [&](const QString &status) { shown << status; };
    form.start();
    form.localStatus().setWaitLimit(std::chrono::milliseconds(300));
    QTimer::singleShot(100, &form, [&] {
        shown << form.progressWindow()->findChild<QLabel *>(QStringLiteral("waitLabel"))->text();
    });
    const auto session = sim.receiveText("ann@zelmo.test", "|setaway| 47209");
    ASSERT_TRUE(test::waitUntil([&] { return !session->sent().isEmpty(); }));
    shown << session->sentTexts() << form.program().notConnectedText();

    EXPECT_EQ(shown, QStringList({"Opening Joke Files", "Loading file contents",
                                  "Creating Messenger Controls", "Loading User Lists",
                                  "Getting Status info", "Changing status. Please wait ...",
                                  "--- Status could not be changed, please try again later! ---",
                                  "Please switch MSN on before using this program.."}));
}
