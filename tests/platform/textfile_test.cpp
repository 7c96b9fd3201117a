#include "platform/autostart.h"
#include "platform/cregister.h"
#include "platform/datadir.h"
#include "platform/textfile.h"
#include "support/filemodes.h"
#include "support/tempdatadir.h"
#include "support/tmpfsmount.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

TEST(TextFile, ReadsCrLfAndLfLinesAndTheLastLineWithoutEnd)
{
    TempDataDir dir;
    const struct
    {
        QByteArray content;
        QList<QByteArray> lines;
    } cases[] = {
        {"", {}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\nb", {"a", "b"}},
        {"\r\n\r\n", {"", ""}},
        {"x\ry\r\n", {"x\ry"}},
        {QByteArray("n\0ul\r\n", 6), {QByteArray("n\0ul", 4)}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.content.constData());
        dir.write("f.txt", c.content);
        EXPECT_EQ(TextFile::readLines(dir.file("f.txt")), c.lines);
    }
    EXPECT_EQ(TextFile::readLines(dir.file("missing.txt")), std::nullopt);
}

TEST(TextFile, WritesCrLfAtomically)
{
    TempDataDir dir;
    ASSERT_TRUE(TextFile::writeLines(dir.file("f.txt"), {"one", "", "three"}));
    EXPECT_EQ(dir.read("f.txt"), "one\r\n\r\nthree\r\n");
    // A write that cannot happen leaves the old file whole.
    EXPECT_FALSE(TextFile::writeLines(dir.file("nofolder/f.txt"), {"x"}));
}

// Every ".bad" file is the original of an earlier damaged file: a second damage must not
// destroy the first one's original.
TEST(TextFile, MovesBadFilesAsideToTheFirstFreeNameAndKeepsOlderOnes)
{
    const struct
    {
        const char *name;
        QStringList older;
        QString used;
    } cases[] = {
        {"first damage", {}, "f.txt.bad"},
        {"second damage", {"f.txt.bad"}, "f.txt.bad2"},
        {"third damage", {"f.txt.bad", "f.txt.bad2"}, "f.txt.bad3"},
        {"a free first name is used again", {"f.txt.bad2"}, "f.txt.bad"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TempDataDir dir;
        for (const QString &name : c.older)
            dir.write(name, name.toUtf8());
        dir.write("f.txt", "damaged");

        EXPECT_EQ(TextFile::moveAside(dir.file("f.txt")), dir.file(c.used));

        EXPECT_FALSE(QFile::exists(dir.file("f.txt")));
        EXPECT_EQ(dir.read(c.used), "damaged");
        for (const QString &name : c.older)
            EXPECT_EQ(dir.read(name), name.toUtf8());
    }
    TempDataDir dir;
    EXPECT_EQ(TextFile::moveAside(dir.file("missing.txt")), std::nullopt);
}

TEST(TextFile, WriteIntoAnUnwritableFolderFailsAndKeepsTheOldFile)
{
    TempDataDir dir;
    const QString folder = dir.file("data");
    ASSERT_TRUE(QDir().mkpath(folder));
    // Root writes into a folder whatever its permissions say, so a read-only file system
    // makes the folder unwritable where mounting is allowed; elsewhere the permissions do.
    TmpfsMount mount(folder, "size=64k");
    const QString path = QDir(folder).filePath("f.txt");
    ASSERT_TRUE(TextFile::writeAll(path, "old\r\n"));
    const auto writable = QFile::permissions(folder);
    const bool unwritable = mount.isMounted()
        ? mount.remount("ro")
        : QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    QFile probe(QDir(folder).filePath("probe"));
    if (!unwritable || probe.open(QIODevice::WriteOnly)) {
        QFile::setPermissions(folder, writable);
        GTEST_SKIP() << "cannot make a folder unwritable here: " << mount.error().toStdString();
    }

    EXPECT_FALSE(TextFile::writeLines(path, {"new", "and longer"}));
    EXPECT_FALSE(TextFile::writeAll(path, ""));
    EXPECT_EQ(dir.read("data/f.txt"), "old\r\n");
    EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList {"f.txt"});
    QFile::setPermissions(folder, writable);
}

TEST(DataDir, FallsBackWhenTheProgramFolderCannotBeWritten)
{
    TempDataDir dir;
    const DataDirChoice own = resolveDataDir(dir.path());
    EXPECT_EQ(own.path, dir.path());
    EXPECT_FALSE(own.isFallback);

    dir.write("plain-file", "x");
    qputenv("XDG_DATA_HOME", dir.file("xdg").toUtf8());
    const PermissiveUmask permissive;
    const DataDirChoice fallback = resolveDataDir(dir.file("plain-file/bin"));
    qunsetenv("XDG_DATA_HOME");
    EXPECT_TRUE(fallback.isFallback);
    EXPECT_EQ(fallback.path, dir.file("xdg/Korvane"));
    EXPECT_EQ(fallback.programDir, dir.file("plain-file/bin"));
    EXPECT_EQ(modeOf(fallback.path), 0700);

    // A writable folder of an installed program, as root has it: its data goes to the user's
    // data folder all the same.
    dir.write("usr/share/korvane/Korvane.html", "guide");
    dir.write("usr/bin/korvane", "program");
    qputenv("XDG_DATA_HOME", dir.file("xdg").toUtf8());
    const DataDirChoice installed = resolveDataDir(dir.file("usr/bin"));
    qunsetenv("XDG_DATA_HOME");
    EXPECT_TRUE(installed.isFallback);
    EXPECT_EQ(installed.path, dir.file("xdg/Korvane"));

    EXPECT_EQ(dataPath("/d", "\\Lang\\"), "/d/Lang/");
    EXPECT_EQ(dataPath("/d", "\\Accounts.ini"), "/d/Accounts.ini");
    // The shipped files of a program installed in /usr/bin.
    EXPECT_EQ(sharedDataDir("/usr/bin"), "/usr/share/korvane");
}

TEST(CRegister, KeepsStringValuesAndDefaults)
{
    TempDataDir dir;
    const QString path = dir.file("Tessaly/Korvane 3.2.conf");
    {
        CRegister reg(path);
        EXPECT_EQ(reg.REGGetSetting("Days", "30"), "30");
        EXPECT_TRUE(reg.REGSaveSetting("Days", "7"));
        EXPECT_TRUE(reg.REGSaveSetting("SoundPath", "a,b;c=d \"e\""));
        EXPECT_TRUE(reg.REGSaveSetting("Empty", ""));
    }
    CRegister reg(path);
    EXPECT_EQ(reg.REGGetSetting("Days", "30"), "7");
    EXPECT_EQ(reg.REGGetSetting("SoundPath", ""), "a,b;c=d \"e\"");
    EXPECT_EQ(reg.REGGetSetting("Empty", "default"), "default");
    EXPECT_TRUE(reg.REGDeleteSetting("Days"));
    EXPECT_EQ(reg.REGGetSetting("Days", "30"), "30");
    EXPECT_TRUE(reg.REGDeleteSetting(""));
    EXPECT_EQ(reg.REGGetSetting("SoundPath", "none"), "none");
}

TEST(Autostart, EntryQuotesThePathAndRemovingTwiceIsFine)
{
    TempDataDir dir;
    const QString entry = dir.file("autostart/Korvane.desktop");
    ASSERT_TRUE(Autostart::write("/home/joe/My Apps/$korvane", entry));
    const QByteArray text = dir.read("autostart/Korvane.desktop");
    EXPECT_TRUE(text.startsWith("[Desktop Entry]\n"));
    EXPECT_TRUE(text.contains("Exec=\"/home/joe/My Apps/\\$korvane\"\n"));
    EXPECT_TRUE(Autostart::remove(entry));
    EXPECT_FALSE(QFile::exists(entry));
    EXPECT_TRUE(Autostart::remove(entry));
}
