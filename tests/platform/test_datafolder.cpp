#include "platform/datafolder.h"

#include "support/printers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using zelmo::programFolderFor;

TEST(DataFolderTest, FindsTheDataInTheDataFoldersOrBesideTheProgram)
{
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QDir dir(root.path());
    dir.mkpath(QStringLiteral("bin"));
    const QString bin = dir.filePath(QStringLiteral("bin"));

    const auto put = [&](const QString &folder) {
        dir.mkpath(folder);
        QFile(dir.filePath(folder + QStringLiteral("/blonde.txt"))).open(QIODevice::WriteOnly);
        return dir.filePath(folder);
    };
    const QStringList data{dir.filePath(QStringLiteral("home")),
                           dir.filePath(QStringLiteral("usr"))};

    // Nothing anywhere: the program's own folder.
    EXPECT_EQ(programFolderFor(data, bin), bin);
    // Installed under a prefix the data folders do not name: <prefix>/share/zelmo.
    dir.mkpath(QStringLiteral("share/zelmo"));
    EXPECT_EQ(programFolderFor(data, bin), dir.filePath(QStringLiteral("share/zelmo")));
    // The build tree: the joke file lies beside the program.
    EXPECT_EQ(programFolderFor(data, put(QStringLiteral("bin"))), bin);
    // Installed: the first data folder that holds the files wins.
    const QString system = put(QStringLiteral("usr/zelmo"));
    EXPECT_EQ(programFolderFor(data, bin), system);
    const QString user = put(QStringLiteral("home/zelmo"));
    EXPECT_EQ(programFolderFor(data, bin), user);
}
