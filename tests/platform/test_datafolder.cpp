#include "platform/datafolder.h"

#include "support/printers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using zelmo::programFolderFor;

TEST(DataFolderTest, FindsTheDataBesideTheProgramOrInstalled)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QDir dir(root.path());
    dir.mkpath(QStringLiteral("bin"));
    const QString bin = dir.filePath(QStringLiteral("bin"));

    // Nothing anywhere: the program's own folder.
    EXPECT_EQ(programFolderFor(bin), bin);

    // Installed: <prefix>/bin and <prefix>/share/zelmo.
    dir.mkpath(QStringLiteral("share/zelmo"));
    EXPECT_EQ(programFolderFor(bin), dir.filePath(QStringLiteral("share/zelmo")));

    // The build tree: the joke file lies beside the program, and that wins.
    QFile beside(QDir(bin).filePath(QStringLiteral("blonde.txt")));
    ASSERT_TRUE(beside.open(QIODevice::WriteOnly));
    beside.close();
    EXPECT_EQ(programFolderFor(bin), bin);
}
