#include "store/datafiles.h"
#include "store/history.h"
#include "store/historycodec.h"
#include "store/listfiles.h"
#include "store/reviewqueue.h"
#include "store/settingsfile.h"
#include "support/filesizelimit.h"
#include "support/historysample.h"
#include "support/servicesbed.h"
#include "support/tmpfsmount.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <functional>
#include <optional>

#include <gtest/gtest.h>

// What a damaged data file costs: nothing. Its complete records are written back for the next
// start, and the original is kept whole under a ".bad" name that the announcement gives.

namespace {

// Every data file of one folder with its loader.
struct FilesBed : ServicesBed
{
    explicit FilesBed(const QString &folder = {})
        : dataDir(folder.isEmpty() ? dir.path() : folder)
    {
    }
    QString dataDir;
    MailLists lists;
    ListFiles files {dataDir, lists, services};
    History history {dataDir, services, clock};
    SettingsFile settingsFile {dataDir, services};
    ReviewQueue queue {dataDir, services};
    QList<QByteArray> extensions;
};

QByteArray accountLines(const QByteArray &name, const QByteArray &port = "110")
{
    return "POP3\r\n" + name + "\r\nmail.example.com\r\njoe\r\nYGFi\r\n" + port + "\r\n";
}

QString keptAs(const QString &path)
{
    return QStringLiteral("\nThe original file was kept as %1.").arg(path);
}

const MailAccount reviewAccount {"POP3", "Home", "mail.example.com", "joe", "secret", 110};
const QByteArray reviewItem
    = "item2\r\nHome\r\nPOP3,joe,mail.example.com,110\r\nU1\r\n512\r\nab\r\n"
      "7\r\nBob\r\nHi\r\nMon\r\n12\r\n10155\r\nwhy\r\n";

} // namespace

TEST(CorruptFiles, CompleteRecordsAreWrittenBackAndTheOriginalIsKeptAside)
{
    const QByteArray goodRecord = encodeHistory({historyRecord("good", 5)});
    const struct
    {
        const char *file;
        // Nothing: a folder stands in the file's place, so that it cannot be read at all.
        std::optional<QByteArray> content;
        QString message;
        std::function<void(FilesBed &)> load;
        std::optional<QByteArray> writtenBack; // nothing: no file until CreateFiles makes one
        std::function<qsizetype(const FilesBed &)> recordsAtNextStart;
        qsizetype expectedAtNextStart;
    } cases[] = {
        // Records after the damage are left to the original: these files mark no boundary
        // between records, so "Late" is not guessed at.
        {"History.ini", goodRecord + "orphan\r\n", "History.ini is corrupted, it will be reset.",
         [](FilesBed &b) { b.history.LoadHistory(); }, goodRecord,
         [](const FilesBed &b) { return qsizetype(b.history.count()); }, 1},
        {"Accounts.ini", accountLines("Home") + accountLines("Work", "abc") + accountLines("Late"),
         "Accounts.ini is corrupted, it will be reset.",
         [](FilesBed &b) { b.files.LoadAccounts(false); }, accountLines("Home"),
         [](const FilesBed &b) { return b.lists.Accounts.size(); }, 1},
        {"BadWords.ini", "free money\r\n40\r\nviagra\r\nlots\r\ncasino\r\n30\r\n",
         "BadWords.ini is corrupted, it will be rest.", [](FilesBed &b) { b.files.LoadBadWords(); },
         "free money\r\n40\r\n", [](const FilesBed &b) { return b.lists.BadWords.size(); }, 1},
        {"Review.ini", reviewItem + "gone\r\nkept2\r\nPOP3,joe,mail.example.com,110\r\nU2\r\n",
         "Review.ini is corrupted, it will be reset.",
         [](FilesBed &b) { b.queue.load({reviewAccount}); }, reviewItem,
         [](const FilesBed &b) { return qsizetype(b.queue.count()); }, 1},
        // One address a line: only a file that cannot be read at all is damaged.
        {"FriendList.ini", std::nullopt, "FriendList.ini is corrupted , it will be reset.",
         [](FilesBed &b) { b.files.LoadFriendList(); }, std::nullopt,
         [](const FilesBed &b) { return b.lists.FriendList.size(); }, 0},
        {"BlockedList.ini", std::nullopt, "BockedList.ini is corrupted, it will be reset.",
         [](FilesBed &b) { b.files.LoadBlockedList(); }, std::nullopt,
         [](const FilesBed &b) { return b.lists.BlockedList.size(); }, 0},
        // Nothing written back lets CreateFiles bring the default extensions back.
        {"Settings.ini", std::nullopt, "Settings.ini is corrupted!, it will be reset.",
         [](FilesBed &b) { b.settingsFile.LoadSettingsFile(b.extensions); }, std::nullopt,
         [](const FilesBed &b) { return b.extensions.size(); }, 5},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.file);
        FilesBed bed;
        const QString path = bed.dir.file(c.file);
        const QString bad = path + ".bad";
        if (c.content)
            bed.dir.write(c.file, *c.content);
        else
            ASSERT_TRUE(QDir().mkpath(path));

        c.load(bed);

        EXPECT_EQ(bed.prompter.criticals, QStringList {c.message + keptAs(bad)});
        if (c.content)
            EXPECT_EQ(bed.dir.read(QString(c.file) + ".bad"), *c.content);
        else
            EXPECT_TRUE(QFileInfo(bad).isDir());
        if (c.writtenBack)
            EXPECT_EQ(bed.dir.read(c.file), *c.writtenBack);
        else
            EXPECT_FALSE(QFileInfo::exists(path));
        EXPECT_TRUE(bed.notifier.popups.isEmpty());

        // The next start: CreateFiles, then the same loader, which finds a sound file.
        EXPECT_TRUE(CreateFiles(bed.dir.path()).isEmpty());
        c.load(bed);
        EXPECT_EQ(bed.prompter.criticals.size(), 1);
        EXPECT_EQ(c.recordsAtNextStart(bed), c.expectedAtNextStart);
    }
}

TEST(CorruptFiles, ASecondDamageKeepsTheFirstOriginal)
{
    FilesBed bed;
    const QByteArray good = encodeHistory({historyRecord("good", 5)});
    bed.dir.write("History.ini", good + "first damage\r\n");
    bed.history.LoadHistory();
    bed.dir.write("History.ini", good + "second damage\r\n");

    bed.history.LoadHistory();

    ASSERT_EQ(bed.prompter.criticals.size(), 2);
    EXPECT_EQ(bed.prompter.criticals.at(1),
              "History.ini is corrupted, it will be reset."
                  + keptAs(bed.dir.file("History.ini.bad2")));
    EXPECT_EQ(bed.dir.read("History.ini.bad"), good + "first damage\r\n");
    EXPECT_EQ(bed.dir.read("History.ini.bad2"), good + "second damage\r\n");
    EXPECT_EQ(bed.dir.read("History.ini"), good);
}

TEST(CorruptFiles, FailedWriteBackIsReportedAndTheOriginalStaysAside)
{
    FilesBed bed;
    const QByteArray original
        = accountLines("Home") + accountLines("Work") + accountLines("Away") + "IMAP\r\n";
    bed.dir.write("Accounts.ini", original);
    {
        // Moving the original aside writes nothing; writing back three accounts does not fit.
        FileSizeLimit limit(64);
        bed.files.LoadAccounts(false);
    }

    const QString path = bed.files.accountsPath();
    EXPECT_EQ(bed.prompter.criticals,
              QStringList {"Accounts.ini is corrupted, it will be reset." + keptAs(path + ".bad")});
    EXPECT_EQ(bed.notifier.popups,
              QStringList {QStringLiteral("Error: Cannot write %1(LoadAccounts)").arg(path)});
    EXPECT_EQ(bed.dir.read("Accounts.ini.bad"), original);
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_EQ(bed.lists.Accounts.size(), 4) << "three accounts and the one cut short";
}

TEST(CorruptFiles, OriginalThatCannotBeMovedAsideIsNotWrittenOver)
{
    ServicesBed outer;
    const QString folder = outer.dir.file("data");
    ASSERT_TRUE(QDir().mkpath(folder));
    TmpfsMount mount(folder, "size=64k");
    if (!mount.isMounted())
        GTEST_SKIP() << "a read-only folder needs a tmpfs of its own, which only root can mount: "
                     << mount.error().toStdString();
    FilesBed bed(folder);
    const QByteArray original = accountLines("Home") + "IMAP\r\n";
    const QString path = bed.files.accountsPath();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(original) == original.size());
    file.close();
    ASSERT_TRUE(mount.remount("ro")) << mount.error().toStdString();

    bed.files.LoadAccounts(false);

    EXPECT_EQ(bed.prompter.criticals,
              QStringList {QStringLiteral("Accounts.ini is corrupted, it will be reset.\n"
                                          "The original file could not be moved aside and is "
                                          "still at %1.")
                               .arg(path)});
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), original);
    EXPECT_EQ(bed.lists.Accounts.size(), 2);
}
