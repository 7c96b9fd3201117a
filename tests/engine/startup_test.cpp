#include "engine/singleinstance.h"
#include "engine/startup.h"
#include "engine/startupwindows.h"
#include "store/actionlog.h"
#include "store/historycodec.h"
#include "support/coretestbed.h"
#include "support/filemodes.h"
#include "support/historysample.h"
#include "support/runtimefolder.h"
#include "support/tmpfsmount.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

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

// Where a marker without a private runtime folder goes; these tests give them one.
QString dataFolder()
{
    static const QTemporaryDir folder;
    return folder.path();
}

QString uniqueMarker()
{
    return "KorvaneTest-" + QUuid::createUuid().toString(QUuid::Id128);
}

struct StartupBed : CoreTestbed
{
    SingleInstance instance {dataFolder(), uniqueMarker()};
    RecordingWindows windows;
    Startup startup {*core, instance, windows};
    QString data(const QString &name) const { return dir.file("data/" + name); }
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
    SingleInstance running(dataFolder(), marker);
    ASSERT_FALSE(running.FindWin());
    ASSERT_TRUE(running.publish());

    CoreTestbed bed;
    SingleInstance second(dataFolder(), marker);
    RecordingWindows windows;
    // Not even the news of an unwritable program folder comes before the refusal.
    bed.dir.write("app/Accounts.ini", accountFile());
    Startup startup(*bed.core, second, windows,
                    DataDirChoice {bed.dir.file("data"), true, bed.dir.file("app")});
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
        SingleInstance ended(dataFolder(), marker);
        ASSERT_FALSE(ended.FindWin());
        ASSERT_TRUE(ended.publish());
    }
    SingleInstance next(dataFolder(), marker);
    EXPECT_FALSE(next.FindWin());
    EXPECT_TRUE(next.publish());
}

TEST(SingleInstance, MarkerLivesInTheUsersRuntimeFolder)
{
    RuntimeFolder runtime;
    const QString marker = uniqueMarker();
    SingleInstance running(dataFolder(), marker);
    ASSERT_FALSE(running.FindWin());
    ASSERT_TRUE(running.publish());
    EXPECT_EQ(running.lockPath(), runtime.path() + "/" + marker + ".lock");
    EXPECT_TRUE(QFileInfo::exists(running.lockPath()));
    EXPECT_TRUE(QFileInfo::exists(runtime.path() + "/" + marker));
    EXPECT_FALSE(QFileInfo::exists(QDir::temp().filePath(marker + ".lock")));
    EXPECT_FALSE(QFileInfo::exists(QDir::temp().filePath(marker)));

    SingleInstance second(dataFolder(), marker);
    EXPECT_TRUE(second.FindWin());
}

// Without a private runtime folder the marker lives in the data folder, never in the shared
// temporary folder: there another user could make the folder or the files it would use first,
// with a lock and a listening socket that stop every start.
TEST(SingleInstance, WithoutAPrivateRuntimeFolderTheMarkerIsInTheDataFolder)
{
    QTemporaryDir shared;
    ASSERT_TRUE(QFile::setPermissions(shared.path(),
                                      QFile::permissions(shared.path()) | QFileDevice::WriteGroup
                                          | QFileDevice::WriteOther));
    QTemporaryDir temporary;
    const QByteArray savedTemp = qgetenv("TMPDIR");
    const auto restoreTemp = qScopeGuard([&savedTemp] { qputenv("TMPDIR", savedTemp); });
    qputenv("TMPDIR", temporary.path().toLocal8Bit());
    // What a start script or Qt would make in the temporary folder, made first.
    ASSERT_TRUE(
        QDir().mkdir(temporary.filePath(QStringLiteral("runtime-")
                                        + QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name)),
                     QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    QTemporaryDir data;
    for (const QString &runtime : {QString(), shared.path() + "/missing", shared.path()}) {
        SCOPED_TRACE(runtime.toStdString());
        RuntimeFolder unusable(runtime);
        const QString marker = uniqueMarker();
        SingleInstance instance(data.path(), marker);
        EXPECT_EQ(instance.lockPath(), QDir(data.path()).filePath(marker + ".lock"));
        ASSERT_FALSE(instance.FindWin());
        ASSERT_TRUE(instance.publish());
        EXPECT_EQ(instance.serverPath(), QDir(data.path()).filePath(marker));
        EXPECT_TRUE(QDir(temporary.path()).entryList(QDir::Files | QDir::System).isEmpty());
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
        SingleInstance starting(dataFolder(), marker);
        QFile planted(starting.lockPath());
        ASSERT_TRUE(planted.open(QIODevice::WriteOnly));
        planted.write(c.content);
        planted.close();
        ASSERT_TRUE(QFile::setPermissions(planted.fileName(), c.permissions));

        EXPECT_FALSE(starting.FindWin());
        EXPECT_TRUE(starting.publish());
        SingleInstance second(dataFolder(), marker);
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

namespace {

// The program folder of an earlier install, holding its data files, that can no longer be
// written: a read-only mount where mounting is allowed (root writes whatever the permission
// bits say), its permission bits elsewhere.
struct UnwritableProgramBed : StartupBed
{
    QString app = dir.file("app");
    QMap<QString, QByteArray> files {
        {"Accounts.ini", accountFile()},
        {"FriendList.ini", "ann@example.com\r\n"},
        {"History.ini", encodeHistory({historyRecord("Offer", 1)})},
        {"Spam.log", ActionLog::header() + "2026-03-01 10:00:00       an old entry\r\n"},
        {"Mails/1.mal", "<html>the saved mail"},
        {"Mails/1.why", "the verdict"},
    };
    bool isMade = QDir().mkpath(app); // before the mount goes on it
    TmpfsMount mount {app, "size=1m"};
    QString whyWritable;

    UnwritableProgramBed()
    {
        for (auto it = files.cbegin(); it != files.cend(); ++it)
            dir.write("app/" + it.key(), it.value());
        dir.write("app/notes.txt", "the user's own");
        if (mount.isMounted()
                ? !mount.remount("ro")
                : !QFile::setPermissions(app, QFileDevice::ReadOwner | QFileDevice::ExeOwner))
            whyWritable = "neither a read-only mount nor permissions: " + mount.error();
        else if (QFile(app + "/probe").open(QIODevice::WriteOnly))
            whyWritable = "the folder stays writable: " + mount.error();
    }
    ~UnwritableProgramBed() { QFile::setPermissions(app, privateFolderMode); }

    DataDirChoice fallback() const { return {dir.file("data"), true, app}; }
};

} // namespace

// Korvane used to start on the empty fallback folder and ask for accounts: the user's data
// looked gone. It is copied over once, and the user is told where it is now.
TEST(Startup, DataFilesOfAnUnwritableProgramFolderAreCopiedOnceAndTheUserIsTold)
{
    PermissiveUmask permissive;
    UnwritableProgramBed bed;
    if (!bed.whyWritable.isEmpty())
        GTEST_SKIP() << bed.whyWritable.toStdString();

    Startup first(*bed.core, bed.instance, bed.windows, bed.fallback());
    ASSERT_TRUE(first.run());
    const QString copied = QString("The program folder %1 cannot be written, so Korvane keeps "
                                   "its data files in %2. The data files of the program "
                                   "folder have been copied there.")
                               .arg(bed.app, bed.dir.file("data"));
    EXPECT_EQ(bed.prompter.warnings, QStringList {copied});
    EXPECT_TRUE(bed.prompter.questions.isEmpty()); // the accounts are there
    EXPECT_EQ(bed.core->lists.Accounts.size(), 1);
    EXPECT_EQ(bed.core->history.count(), 1);
    for (auto it = bed.files.cbegin(); it != bed.files.cend(); ++it) {
        SCOPED_TRACE(it.key().toStdString());
        EXPECT_TRUE(bed.dir.read("data/" + it.key()).startsWith(it.value()));
        EXPECT_EQ(modeOf(bed.data(it.key())), 0600);
    }
    EXPECT_EQ(modeOf(bed.data("Mails")), 0700);
    EXPECT_FALSE(QFile::exists(bed.data("notes.txt")));
    EXPECT_TRUE(QDir(bed.dir.file("data")).entryList({"*.copying"}).isEmpty());
    EXPECT_TRUE(QDir(bed.data("Mails")).entryList({"*.copying"}).isEmpty());

    // The data in the folder now used is newer: it is never replaced.
    bed.dir.write("data/Accounts.ini", "");
    bed.prompter.warnings.clear();
    Startup again(*bed.core, bed.instance, bed.windows, bed.fallback());
    ASSERT_TRUE(again.run());
    EXPECT_EQ(bed.dir.read("data/Accounts.ini"), "");
    EXPECT_EQ(bed.prompter.warnings,
              QStringList {QString("The program folder %1 cannot be written, so Korvane keeps "
                                   "its data files in %2. The data files in the program folder "
                                   "are not used.")
                               .arg(bed.app, bed.dir.file("data"))});
}

// A copy that does not fit (or cannot be read) is reported and leaves no file that looks
// complete; Korvane starts on fresh files.
TEST(Startup, DataFilesThatCannotBeCopiedAreReportedAndNothingHalfCopiedRemains)
{
    StartupBed bed;
    bed.dir.write("app/Accounts.ini", accountFile());
    bed.dir.write("app/Mails/1.mal", QByteArray(256 * 1024, 'm'));
    TmpfsMount small(bed.dir.file("data"), "size=64k");
    // The open log would keep the small disk from being unmounted.
    const auto closeLog = qScopeGuard([&bed] { bed.core->log.close(); });
    if (!small.isMounted() && !QFile::setPermissions(bed.dir.file("app/Mails/1.mal"), {}))
        GTEST_SKIP() << "a copy cannot be made to fail here: " << small.error().toStdString();

    Startup startup(*bed.core, bed.instance, bed.windows,
                    DataDirChoice {bed.dir.file("data"), true, bed.dir.file("app")});
    ASSERT_TRUE(startup.run());
    EXPECT_EQ(bed.prompter.criticals,
              QStringList {QString("The program folder %1 cannot be written, so Korvane keeps "
                                   "its data files in %2, but it could not copy them there:\n"
                                   "%3\nThe files in the program folder are unchanged; Korvane "
                                   "starts without them.")
                               .arg(bed.dir.file("app"), bed.dir.file("data"),
                                    bed.dir.file("app/Mails/1.mal"))});
    EXPECT_TRUE(
        QDir(bed.data("Mails")).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
    EXPECT_EQ(bed.dir.read("data/Accounts.ini"), "");
    EXPECT_EQ(bed.dir.read("app/Accounts.ini"), accountFile());
}

TEST(Startup, UnwritableProgramFolderWithoutDataFilesIsOnlyLogged)
{
    StartupBed bed;
    QDir().mkpath(bed.dir.file("app"));
    Startup startup(*bed.core, bed.instance, bed.windows,
                    DataDirChoice {bed.dir.file("data"), true, bed.dir.file("app")});
    ASSERT_TRUE(startup.run());
    EXPECT_TRUE(bed.prompter.warnings.isEmpty());
    EXPECT_TRUE(bed.prompter.criticals.isEmpty());
    EXPECT_TRUE(bed.dir.read("data/Spam.log")
                    .contains("The program folder cannot be written; the data files are in "
                              + bed.dir.file("data").toUtf8()));
}
