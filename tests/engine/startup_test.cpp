#include "engine/singleinstance.h"
#include "engine/startup.h"
#include "engine/startupwindows.h"
#include "support/coretestbed.h"
#include "support/filemodes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

namespace {

class RecordingWindows final : public StartupWindows
{
public:
    void loadViewer() override { calls << "loadViewer"; }
    void applyMainCaptions() override { calls << "applyMainCaptions"; }
    void showViewer() override { calls << "showViewer"; }
    void showAccountEditorModal() override { calls << "showAccountEditorModal"; }
    void showMainWindow() override { calls << "showMainWindow"; }
    void setDisableEnableCaption(const QString &caption) override { calls << "caption " + caption; }
    QStringList calls;
};

QString uniqueMarker()
{
    return "KorvaneTest-" + QUuid::createUuid().toString(QUuid::Id128);
}

struct StartupBed : CoreTestbed
{
    SingleInstance instance {uniqueMarker()};
    RecordingWindows windows;
    Startup startup {*core, instance, windows};
    QString data(const QString &name) const { return dir.file("data/" + name); }
};

// XDG_RUNTIME_DIR for one test, restored after: a fresh folder of the user's, or the given
// path (unset when it is empty).
class RuntimeFolder
{
public:
    RuntimeFolder() { qputenv("XDG_RUNTIME_DIR", m_dir.path().toLocal8Bit()); }
    explicit RuntimeFolder(const QString &path)
    {
        if (path.isEmpty())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", path.toLocal8Bit());
    }
    ~RuntimeFolder()
    {
        if (m_wasSet)
            qputenv("XDG_RUNTIME_DIR", m_saved);
        else
            qunsetenv("XDG_RUNTIME_DIR");
    }
    RuntimeFolder(const RuntimeFolder &) = delete;
    RuntimeFolder &operator=(const RuntimeFolder &) = delete;

    QString path() const { return m_dir.path(); }

private:
    QByteArray m_saved = qgetenv("XDG_RUNTIME_DIR");
    bool m_wasSet = qEnvironmentVariableIsSet("XDG_RUNTIME_DIR");
    QTemporaryDir m_dir;
};

QByteArray accountFile()
{
    return "POP3\r\nHome\r\npop.example.com\r\njoe\r\nYGFi\r\n110\r\n";
}

} // namespace

TEST(Startup, FreshFolderGetsItsFilesAndTheUserIsOfferedTheAccountEditor)
{
    StartupBed bed;
    bed.prompter.answers = {true};
    ASSERT_TRUE(bed.startup.run());
    QStringList names
        = QDir(bed.dir.file("data")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
    names.sort();
    EXPECT_EQ(names,
              (QStringList {"Accounts.ini", "BadWords.ini", "BlockedList.ini", "FriendList.ini",
                            "History.ini", "Mails", "Settings.ini", "Spam.log"}));
    EXPECT_EQ(bed.windows.calls,
              (QStringList {"loadViewer", "applyMainCaptions", "caption Disable Korvane",
                            "showViewer", "showAccountEditorModal", "showMainWindow"}));
    EXPECT_EQ(bed.prompter.questions, QStringList {"No mail accounts defined,Add accounts now?"});
    EXPECT_EQ(bed.tray.events, (QStringList {"add", "set 0"}));
    EXPECT_TRUE(bed.core->tmrCheck.Enabled());
    EXPECT_EQ(bed.core->tmrCheck.IntervalUnit(), 1);
    EXPECT_EQ(bed.core->tmrCheck.Interval(), 10);
    EXPECT_EQ(bed.core->tmrTimeOut.IntervalUnit(), 0);
    EXPECT_EQ(bed.core->tmrTimeOut.Interval(), 60);
    EXPECT_FALSE(bed.core->tmrTimeOut.Enabled());
    EXPECT_EQ(bed.core->lang.LanguageFile, "English.ini");
    EXPECT_FLOAT_EQ(bed.core->settings.EffectiveThreshold, 200.0f);
    // The missing BadWords.ini was made before anything was loaded: no message.
    EXPECT_TRUE(bed.prompter.criticals.isEmpty());
}

TEST(Startup, SecondStartChangesNothing)
{
    StartupBed first;
    ASSERT_TRUE(first.startup.run());
    first.startup.shutdown();
    QMap<QString, QByteArray> before;
    for (const QString &name : QDir(first.dir.file("data")).entryList(QDir::Files))
        before[name] = first.dir.read("data/" + name);

    Startup again(*first.core, first.instance, first.windows);
    ASSERT_TRUE(again.run());
    for (auto it = before.cbegin(); it != before.cend(); ++it) {
        SCOPED_TRACE(it.key().toStdString());
        EXPECT_EQ(first.dir.read("data/" + it.key()), it.value());
    }
}

TEST(Startup, AnotherInstanceRunningEndsStartupWithoutWritingAnything)
{
    const QString marker = uniqueMarker();
    SingleInstance running(marker);
    ASSERT_FALSE(running.FindWin());
    ASSERT_TRUE(running.publish());

    CoreTestbed bed;
    SingleInstance second(marker);
    RecordingWindows windows;
    Startup startup(*bed.core, second, windows);
    EXPECT_FALSE(startup.run());
    EXPECT_EQ(bed.prompter.warnings, QStringList {"Korvane is already runing.!"});
    EXPECT_TRUE(QDir(bed.dir.file("data")).isEmpty());
    EXPECT_TRUE(bed.tray.events.isEmpty());
    EXPECT_EQ(windows.calls, QStringList {"loadViewer"});
    EXPECT_FALSE(QFile::exists(bed.settingsPath()));
}

TEST(Startup, MarkerOfAnEndedInstanceDoesNotBlock)
{
    const QString marker = uniqueMarker();
    {
        SingleInstance ended(marker);
        ASSERT_FALSE(ended.FindWin());
        ASSERT_TRUE(ended.publish());
    }
    SingleInstance next(marker);
    EXPECT_FALSE(next.FindWin());
    EXPECT_TRUE(next.publish());
}

TEST(SingleInstance, MarkerLivesInTheUsersRuntimeFolder)
{
    RuntimeFolder runtime;
    const QString marker = uniqueMarker();
    SingleInstance running(marker);
    ASSERT_FALSE(running.FindWin());
    ASSERT_TRUE(running.publish());
    EXPECT_EQ(running.lockPath(), runtime.path() + "/" + marker + ".lock");
    EXPECT_TRUE(QFileInfo::exists(running.lockPath()));
    EXPECT_TRUE(QFileInfo::exists(runtime.path() + "/" + marker));
    EXPECT_FALSE(QFileInfo::exists(QDir::temp().filePath(marker + ".lock")));
    EXPECT_FALSE(QFileInfo::exists(QDir::temp().filePath(marker)));

    SingleInstance second(marker);
    EXPECT_TRUE(second.FindWin());
}

TEST(SingleInstance, WithoutAPrivateRuntimeFolderTheMarkerIsInTheTemporaryFolder)
{
    QTemporaryDir shared;
    ASSERT_TRUE(QFile::setPermissions(shared.path(),
                                      QFile::permissions(shared.path()) | QFileDevice::WriteGroup
                                          | QFileDevice::WriteOther));
    for (const QString &runtime : {QString(), shared.path() + "/missing", shared.path()}) {
        SCOPED_TRACE(runtime.toStdString());
        RuntimeFolder unusable(runtime);
        const QString marker = uniqueMarker();
        SingleInstance instance(marker);
        EXPECT_EQ(instance.lockPath(), QDir::temp().filePath(marker + ".lock"));
    }
}

// A lock file that names no process (one left empty by a crash between making and writing
// it, or one that cannot be read) must not keep Korvane from starting; a lock that a live
// instance holds still must.
TEST(SingleInstance, LockThatNamesNoProcessIsTakenOverButALiveOneBlocks)
{
    const struct
    {
        const char *name;
        QByteArray content;
        QFileDevice::Permissions permissions;
    } cases[] = {
        {"empty", "", QFileDevice::ReadOwner | QFileDevice::WriteOwner},
        {"no process id", "not a lock\n", QFileDevice::ReadOwner | QFileDevice::WriteOwner},
        {"unreadable", "", {}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        RuntimeFolder runtime;
        const QString marker = uniqueMarker();
        SingleInstance starting(marker);
        QFile planted(starting.lockPath());
        ASSERT_TRUE(planted.open(QIODevice::WriteOnly));
        planted.write(c.content);
        planted.close();
        ASSERT_TRUE(QFile::setPermissions(planted.fileName(), c.permissions));

        EXPECT_FALSE(starting.FindWin());
        EXPECT_TRUE(starting.publish());
        SingleInstance second(marker);
        EXPECT_TRUE(second.FindWin());
    }
}

TEST(Startup, DisabledCheckingShowsTheCrossedEyeAndStartsNoTimer)
{
    StartupBed bed;
    bed.registry->REGSaveSetting("Enabled", "False");
    bed.dir.write("data/Accounts.ini", accountFile());
    ASSERT_TRUE(bed.startup.run());
    EXPECT_FALSE(bed.core->tmrCheck.Enabled());
    EXPECT_EQ(bed.tray.events, (QStringList {"add", "set 2"}));
    EXPECT_TRUE(bed.windows.calls.contains("caption Enable Korvane"));
    EXPECT_TRUE(bed.prompter.questions.isEmpty());
    EXPECT_FALSE(bed.windows.calls.contains("showViewer"));
}

TEST(Startup, OversizedLogIsReplacedOnlyWhenDeletingIsOn)
{
    for (const bool deleteLog : {true, false}) {
        SCOPED_TRACE(deleteLog);
        StartupBed bed;
        bed.registry->REGSaveSetting("DeleteLog", deleteLog ? "1" : "0");
        bed.registry->REGSaveSetting("LogSize", "1");
        bed.dir.write("data/Accounts.ini", accountFile());
        bed.dir.write("data/Spam.log", QByteArray(1025, 'x'));
        ASSERT_TRUE(bed.startup.run());
        bed.core->log.Log("after start");
        const QByteArray log = bed.dir.read("data/Spam.log");
        EXPECT_EQ(log.startsWith(ActionLog::header()), deleteLog);
        EXPECT_TRUE(log.endsWith("       after start\r\n"));
    }
}

TEST(Startup, ShutdownStoresTheCheckerStateAndTheLanguage)
{
    for (const bool enabled : {true, false}) {
        SCOPED_TRACE(enabled);
        StartupBed bed;
        bed.dir.write("data/Accounts.ini", accountFile());
        bed.registry->REGSaveSetting("Language", "Arabic");
        ASSERT_TRUE(bed.startup.run());
        bed.core->setCheckingEnabled(enabled);
        bed.startup.shutdown();
        EXPECT_EQ(bed.tray.events.last(), "remove");
        CRegister stored(bed.settingsPath());
        EXPECT_EQ(stored.REGGetSetting("Enabled", "?"), enabled ? "True" : "False");
        EXPECT_EQ(stored.REGGetSetting("Language", "?"), "Arabic.ini");
        EXPECT_TRUE(QFile::exists(bed.autostartPath()));
    }
}

TEST(Startup, StoredCheckPeriodThatIsNoNumberUsesTheDefault)
{
    StartupBed bed;
    bed.dir.write("data/Accounts.ini", accountFile());
    bed.registry->REGSaveSetting("ChekPeriod", "99999");
    bed.registry->REGSaveSetting("ConnectionTimeOut", "-5");
    ASSERT_TRUE(bed.startup.run());
    EXPECT_EQ(bed.core->tmrCheck.Interval(), 10);
    EXPECT_EQ(bed.core->tmrTimeOut.Interval(), 60);
    const QByteArray log = bed.dir.read("data/Spam.log");
    EXPECT_TRUE(log.contains("ChekPeriod (\"99999\")"));
    EXPECT_TRUE(log.contains("ConnectionTimeOut (\"-5\")"));
}

TEST(Startup, MakesTheDataFolderAndTheFilesOfOlderVersionsPrivate)
{
    PermissiveUmask permissive;
    StartupBed bed;
    setMode(bed.dir.file("data"), 0755);
    bed.dir.write("data/Accounts.ini", accountFile());
    setMode(bed.data("Accounts.ini"), 0644);
    ASSERT_TRUE(bed.startup.run());
    EXPECT_EQ(modeOf(bed.dir.file("data")), 0700);
    EXPECT_EQ(modeOf(bed.data("Mails")), 0700);
    EXPECT_EQ(modeOf(bed.data("Accounts.ini")), 0600);
    EXPECT_EQ(modeOf(bed.data("Spam.log")), 0600);
}
