#include "store/datafiles.h"
#include "support/servicesbed.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

TEST(CreateFiles, MakesExactlyTheMissingFilesAndChangesNothingThatExists)
{
    TempDataDir dir;
    EXPECT_TRUE(CreateFiles(dir.path()).isEmpty());
    QStringList names = QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    names.sort();
    EXPECT_EQ(names,
              (QStringList {"Accounts.ini", "BadWords.ini", "BlockedList.ini", "FriendList.ini",
                            "History.ini", "Mails", "Settings.ini", "Spam.log"}));
    EXPECT_EQ(dir.read("Settings.ini"), "EXE;SRC;COM;BMP;JPG;\r\n");
    EXPECT_EQ(dir.read("Spam.log"),
              "Korvane Log File\r\n\r\n\r\n  Time                        Action\r\n"
              "____________               _____________\r\n");
    EXPECT_EQ(dir.read("Accounts.ini"), "");

    dir.write("Settings.ini", "ZIP;\r\n");
    dir.write("FriendList.ini", "a@b.c\r\n");
    EXPECT_TRUE(CreateFiles(dir.path()).isEmpty());
    EXPECT_EQ(dir.read("Settings.ini"), "ZIP;\r\n");
    EXPECT_EQ(dir.read("FriendList.ini"), "a@b.c\r\n");
}

TEST(CreateFiles, ReportsWhatItCannotCreate)
{
    TempDataDir dir;
    dir.write("plain-file", "x");
    // A folder below a plain file can be made by nobody, not even by root.
    EXPECT_EQ(CreateFiles(dir.file("plain-file/data")).size(), 8);
}

TEST(ActionLog, WritesStampedEntriesOnlyWhileSwitchedOn)
{
    ServicesBed bed;
    CreateFiles(bed.dir.path());
    bed.log.Log("Begin Checking");
    bed.settings.WriteLog = false;
    bed.log.Log("not written");
    bed.settings.WriteLog = true;
    bed.clock.current = QDateTime(QDate(2026, 12, 5), QTime(14, 3, 22));
    bed.log.Log("Finished");
    EXPECT_EQ(bed.dir.read("Spam.log"),
              ActionLog::header()
                  + "2026-03-14 09:05:07       Begin Checking\r\n"
                    "2026-12-05 14:03:22       Finished\r\n");
}

TEST(ActionLog, StartupCheckDeletesOnlyALogStrictlyLargerThanTheLimit)
{
    const struct
    {
        bool deleteLog;
        qint64 size;
        bool deleted;
    } cases[]
        = {{true, 200 * 1024, false}, {true, 200 * 1024 + 1, true}, {false, 300 * 1024, false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.size);
        ServicesBed bed;
        bed.settings.DeleteLog = c.deleteLog;
        bed.settings.LogSize = 200;
        bed.dir.write("Spam.log", QByteArray(c.size, 'x'));
        EXPECT_EQ(bed.log.deleteIfOversized(), c.deleted);
        EXPECT_EQ(QFile::exists(bed.log.path()), !c.deleted);
        CreateFiles(bed.dir.path());
        if (c.deleted) {
            EXPECT_EQ(bed.dir.read("Spam.log"), ActionLog::header());
        }
    }
}
