// The settings store on real files.

#include "platform/settings/qsettingsstore.h"

#include "support/printers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace zelmo;

namespace {

const QString app = QStringLiteral("Zelmo Extensions");

QString readCode(QSettingsStore &store)
{
    return store.read(app, QStringLiteral("Settings"), QStringLiteral("AuthorizedPassword"),
                      QStringLiteral("47209"));
}

bool writeCode(QSettingsStore &store, const QString &value)
{
    return store.write(app, QStringLiteral("Settings"), QStringLiteral("AuthorizedPassword"),
                       value);
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void putFile(const QString &path, const QByteArray &data)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(data);
}

class SettingsStoreTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QSettingsStore store{dir.path()};
    QString path = store.filePath(app);
};

} // namespace

TEST_F(SettingsStoreTest, AbsentValueGivesTheDefaultAndCreatesNothing)
{
    EXPECT_EQ(path, dir.path() + "/Zelmo Extensions/Zelmo Extensions.ini");
    EXPECT_EQ(readCode(store), "47209");
    EXPECT_FALSE(QFileInfo::exists(QFileInfo(path).path()));

    putFile(path, "[Other]\nAuthorizedPassword=11111\n");
    EXPECT_EQ(readCode(store), "47209") << "the section is part of the address";
}

TEST_F(SettingsStoreTest, WrittenValueIsReadBackAndOtherKeysSurvive)
{
    putFile(path, "[Settings]\nSound=on\n\n[Other]\nKey=kept\n");
    ASSERT_TRUE(writeCode(store, "12345"));
    ASSERT_TRUE(writeCode(store, "54321")) << "a second write replaces the first";

    QSettingsStore fresh(dir.path());
    EXPECT_EQ(readCode(fresh), "54321");
    EXPECT_EQ(fresh.read(app, "Settings", "Sound", ""), "on");
    EXPECT_EQ(fresh.read(app, "Other", "Key", ""), "kept");
    EXPECT_TRUE(contents(path).contains("[Settings]"));
    EXPECT_TRUE(contents(path).contains("AuthorizedPassword=54321"));
}

TEST_F(SettingsStoreTest, TextIsKeptAsItIs)
{
    for (const QString &value : {QStringLiteral(" a,b;c "), QStringLiteral("@1=\"ä€")}) {
        ASSERT_TRUE(writeCode(store, value));
        QSettingsStore fresh(dir.path());
        EXPECT_EQ(readCode(fresh), value);
    }
    // A comma typed into the file by hand is part of the value.
    putFile(path, "[Settings]\nAuthorizedPassword=12,345\n");
    EXPECT_EQ(readCode(store), "12,345");
}

TEST_F(SettingsStoreTest, BadFilesDoNoHarm)
{
    // Tests run as root, where permissions block nothing; a folder where the file should be
    // and a file where the folder should be block even root.
    ASSERT_TRUE(QDir().mkpath(path));
    EXPECT_EQ(readCode(store), "47209");
    EXPECT_FALSE(writeCode(store, "12345"));

    putFile(dir.filePath("plain"), "not a folder");
    QSettingsStore underFile(dir.filePath("plain"));
    EXPECT_EQ(readCode(underFile), "47209");
    EXPECT_FALSE(writeCode(underFile, "12345"));

    // A malformed file is read as well as it can be, and a write keeps what was understood.
    const char raw[] = "[Settings\nAuthorizedPassword=11111\n\xff\x00\x01\n[Other]\nKey=kept\n";
    const QByteArray broken(raw, sizeof raw - 1);
    putFile(dir.filePath("broken/Zelmo Extensions/Zelmo Extensions.ini"), broken);
    QSettingsStore brokenStore(dir.filePath("broken"));
    EXPECT_EQ(readCode(brokenStore), "11111");
    EXPECT_EQ(brokenStore.health(app), SettingsStore::Health::Malformed) << "asked after a read";
    EXPECT_TRUE(writeCode(brokenStore, "12345"));
    QSettingsStore brokenAgain(dir.filePath("broken"));
    EXPECT_EQ(readCode(brokenAgain), "12345");
    EXPECT_EQ(brokenAgain.read(app, "Other", "Key", ""), "kept");
}

// The file holds the code: new, found loose at start, or set aside, only the user reads it.
TEST_F(SettingsStoreTest, TheFileAndItsCopiesAreTheUsersAlone)
{
    constexpr QFileDevice::Permissions ownerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    const auto mode = [](const QString &file) {
        return QFileInfo(file).permissions() & ~(QFileDevice::ReadUser | QFileDevice::WriteUser);
    };
    const mode_t oldMask = umask(022);
    ASSERT_TRUE(writeCode(store, "12345"));
    EXPECT_EQ(mode(path), ownerOnly);

    const QString copy = path + ".unreadable-20260101-000000";
    putFile(copy, "[Settings]\nAuthorizedPassword=54321\n");
    const auto loose = ownerOnly | QFileDevice::ReadGroup | QFileDevice::ReadOther;
    ASSERT_TRUE(QFile::setPermissions(path, loose) && QFile::setPermissions(copy, loose));
    QSettingsStore atStart(dir.path());
    EXPECT_EQ(readCode(atStart), "12345");
    EXPECT_EQ(mode(path), ownerOnly);
    EXPECT_EQ(mode(copy), ownerOnly);

    ASSERT_TRUE(QFile::setPermissions(path, loose));
    EXPECT_EQ(mode(atStart.setAside(app)), ownerOnly);
    umask(oldMask);
}

TEST(SettingsStoreDefaultFolder, IsTheUsersConfigFolder)
{
    QSettingsStore store;
    const QString expected =
        qEnvironmentVariable("XDG_CONFIG_HOME") + "/Zelmo Extensions/Zelmo Extensions.ini";
    EXPECT_EQ(store.filePath(app), expected);
    EXPECT_EQ(readCode(store), "47209");
    ASSERT_TRUE(writeCode(store, "24680"));
    EXPECT_TRUE(contents(expected).contains("AuthorizedPassword=24680"));
    QFile::remove(expected);
}
