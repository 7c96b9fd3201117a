#include "platform/cregister.h"
#include "store/settingsfile.h"
#include "store/settingsstore.h"
#include "support/servicesbed.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

struct SettingsBed : ServicesBed
{
    QString storePath = dir.file("config/Korvane 3.2.conf");
    QString autostart = dir.file("config/autostart/Korvane.desktop");
    CRegister registry {storePath};
    SettingsStore store {registry, services, clock, "/opt/Korvane/korvane", autostart};
    SettingsFile file {dir.path(), services};
};

} // namespace

TEST(SettingsStore, FirstStartGivesTheDefaults)
{
    SettingsBed bed;
    AppSettings loaded;
    loaded.SecurityLevel = 5;
    loaded.ChekPeriod = 99;
    loaded.Enabled = false;
    bed.store.LoadSettings(loaded);
    const AppSettings defaults;
    EXPECT_EQ(loaded.SecurityLevel, 3);
    EXPECT_EQ(loaded.ChekPeriod, 10);
    EXPECT_EQ(loaded.ConnectionTimeOut, 60);
    EXPECT_EQ(loaded.LogSize, 200);
    EXPECT_EQ(loaded.Days, 30);
    EXPECT_TRUE(loaded.Enabled);
    EXPECT_TRUE(loaded.StartWithWindows && loaded.NotifyAfterDel && loaded.AskBeforeDel
                && loaded.PlaySound && loaded.WriteLog && loaded.DelOld && loaded.NotifyNew);
    EXPECT_FALSE(loaded.DeleteLog);
    EXPECT_EQ(loaded.FromDate, "2026-03-14");
    EXPECT_EQ(loaded.ToDate, "2026-03-14");
    EXPECT_TRUE(loaded.FromOption);
    EXPECT_FALSE(loaded.TodayOption);
    EXPECT_EQ(loaded.Language, "");
}

TEST(SettingsStore, SavesEveryValueAsTextAndReadsItBack)
{
    SettingsBed bed;
    AppSettings s;
    s.StartWithWindows = false;
    s.PlaySound = false;
    s.SoundPath = "/home/joe/sounds/ding, dong.wav";
    s.Days = 7;
    s.ChekPeriod = 3;
    s.SecurityLevel = 1;
    s.Enabled = false;
    s.Language = "Arabic.ini";
    bed.store.SaveSettings(s);

    CRegister raw(bed.storePath);
    EXPECT_EQ(raw.REGGetSetting("Enabled", "?"), "False");
    EXPECT_EQ(raw.REGGetSetting("PlaySound", "?"), "0");
    EXPECT_EQ(raw.REGGetSetting("NotifyNew", "?"), "1");
    EXPECT_EQ(raw.REGGetSetting("ChekPeriod", "?"), "3");

    AppSettings loaded;
    bed.store.LoadSettings(loaded);
    EXPECT_FALSE(loaded.StartWithWindows);
    EXPECT_FALSE(loaded.PlaySound);
    EXPECT_EQ(loaded.SoundPath, s.SoundPath);
    EXPECT_EQ(loaded.Days, 7);
    EXPECT_EQ(loaded.ChekPeriod, 3);
    EXPECT_EQ(loaded.SecurityLevel, 1);
    EXPECT_FALSE(loaded.Enabled);
    EXPECT_EQ(loaded.Language, "Arabic.ini");
}

TEST(SettingsStore, BooleansReadZeroAndFalseAsOff)
{
    const struct
    {
        const char *stored;
        bool enabled;
    } cases[] = {{"False", false}, {"0", false}, {"True", true}, {"1", true}, {"-1", true}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.stored);
        SettingsBed bed;
        bed.registry.REGSaveSetting("Enabled", c.stored);
        AppSettings loaded;
        bed.store.LoadSettings(loaded);
        EXPECT_EQ(loaded.Enabled, c.enabled);
    }
}

TEST(SettingsStore, NumberOutsideItsRangeFallsBackToTheDefaultAndIsLogged)
{
    SettingsBed bed;
    bed.registry.REGSaveSetting("ChekPeriod", "ten");
    bed.registry.REGSaveSetting("ConnectionTimeOut", "40000");
    bed.registry.REGSaveSetting("SecurityLevel", "9");
    AppSettings loaded;
    bed.store.LoadSettings(loaded);
    EXPECT_EQ(loaded.ChekPeriod, 10);
    EXPECT_EQ(loaded.ConnectionTimeOut, 60);
    EXPECT_EQ(loaded.SecurityLevel, 3);
    const QByteArray log = bed.dir.read("Spam.log");
    EXPECT_TRUE(
        log.contains("ChekPeriod (\"ten\") is not a whole number from 0 to 32767; 10 is used"));
    EXPECT_TRUE(log.contains("ConnectionTimeOut (\"40000\")"));
}

TEST(SettingsStore, StartWithSystemEntryFollowsTheCheckBox)
{
    SettingsBed bed;
    AppSettings s;
    s.StartWithWindows = true;
    bed.store.SaveSettings(s);
    const QByteArray entry = bed.dir.read("config/autostart/Korvane.desktop");
    EXPECT_TRUE(entry.contains("Exec=\"/opt/Korvane/korvane\"\n"));
    s.StartWithWindows = false;
    bed.store.SaveSettings(s);
    EXPECT_FALSE(QFile::exists(bed.autostart));
    bed.store.SaveSettings(s); // a missing entry is no error
    EXPECT_FALSE(QFile::exists(bed.autostart));
}

TEST(SettingsFile, ReadsEveryPieceFollowedBySemicolon)
{
    const struct
    {
        QByteArray content;
        QList<QByteArray> items;
    } cases[] = {
        {"EXE;SRC;COM;BMP;JPG;\r\n", {"EXE", "SRC", "COM", "BMP", "JPG"}},
        {"EXE;SCR", {"EXE"}},
        {"a;;b;\r\nignored;\r\n", {"a", "", "b"}},
        {"", {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.content.constData());
        SettingsBed bed;
        bed.dir.write("Settings.ini", c.content);
        QList<QByteArray> items {"stale"};
        bed.file.LoadSettingsFile(items);
        EXPECT_EQ(items, c.items);
    }
}

TEST(SettingsFile, SavesOneLineAndAnnouncesAMissingFile)
{
    SettingsBed bed;
    ASSERT_TRUE(bed.file.SaveSettingsFile({"exe", "Scr"}));
    EXPECT_EQ(bed.dir.read("Settings.ini"), "exe;Scr;\r\n");
    ASSERT_TRUE(bed.file.SaveSettingsFile({}));
    EXPECT_EQ(bed.dir.read("Settings.ini"), "\r\n");

    QFile::remove(bed.file.path());
    QList<QByteArray> items {"x"};
    bed.file.LoadSettingsFile(items);
    EXPECT_TRUE(items.isEmpty());
    EXPECT_EQ(bed.prompter.criticals,
              QStringList {"Settings.ini is corrupted!, it will be reset."});
}
