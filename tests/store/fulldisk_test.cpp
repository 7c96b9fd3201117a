#include "store/history.h"
#include "store/listfiles.h"
#include "store/reviewqueue.h"
#include "store/settingsfile.h"
#include "support/historysample.h"
#include "support/servicesbed.h"
#include "support/tmpfsmount.h"

#include <QDir>

#include <functional>

#include <gtest/gtest.h>

namespace {

QString madeFolder(const QString &path)
{
    QDir().mkpath(path);
    return path;
}

// A data folder on its own small file system, so that a test can fill the disk under it.
// The folder is unmounted before the temporary folder around it goes.
struct FullDiskBed : ServicesBed
{
    QString dataDir = madeFolder(dir.file("data"));
    TmpfsMount disk {dataDir, "size=256k"};
    MailLists lists;
    ListFiles files {dataDir, lists, services};
    SettingsFile settingsFile {dataDir, services};
    History history {dataDir, services, clock};
    ReviewQueue queue {dataDir, services};

    QByteArray read(const QString &path) const
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
    }
};

MailAccount account(const QByteArray &name)
{
    return MailAccount {"POP3", name, "mail.example.com", "joe", "secret", 110};
}

ReviewItem reviewItem(const QByteArray &serverId)
{
    ReviewItem item;
    item.AccountName = "home";
    item.serverId = serverId;
    item.MailNumber = 1;
    item.Subject = "Cheap watches";
    return item;
}

} // namespace

// A full disk must never cost the previous content of a data file: every save that does not
// fit fails, is reported, and leaves the file byte for byte as it was.
TEST(FullDisk, EverySaveThatDoesNotFitFailsAndKeepsTheOldFile)
{
    FullDiskBed bed;
    if (!bed.disk.isMounted())
        GTEST_SKIP() << "a full disk needs a tmpfs of its own, which only root can mount: "
                     << bed.disk.error().toStdString();

    for (int n = 1; n <= 40; ++n)
        bed.history.append(historyRecord("Offer " + QByteArray::number(n), n));
    ASSERT_TRUE(bed.history.SaveHist());
    bed.lists.Accounts = {account("home")};
    ASSERT_TRUE(bed.files.SaveAccounts());
    bed.lists.FriendList = {"ann@example.com"};
    ASSERT_TRUE(bed.files.SaveFriendList());
    bed.lists.BlockedList = {"*@spam.example"};
    ASSERT_TRUE(bed.files.SaveBlockedList());
    ASSERT_TRUE(bed.settingsFile.SaveSettingsFile({"exe"}));
    ASSERT_TRUE(bed.queue.replaceAccount(account("home"), {reviewItem("1")}));
    ASSERT_TRUE(bed.history.saveCopy(1, "first copy"));
    ASSERT_TRUE(bed.history.saveEvidence(1, Verdict {}));
    const QStringList filesBefore = QDir(bed.dataDir).entryList(QDir::Files | QDir::Hidden);
    const QByteArray evidenceBefore = bed.read(bed.history.evidencePath(1));
    ASSERT_GT(bed.disk.fill("filler"), 0);

    const struct
    {
        const char *name;
        QString path;
        QString procedure;
        std::function<bool()> growAndSave;
    } cases[] = {
        {"history", bed.history.path(), "SaveHist",
         [&] {
             bed.history.append(historyRecord("Offer 41", 41));
             return bed.history.SaveHist();
         }},
        {"accounts", bed.files.accountsPath(), "SaveAccounts",
         [&] {
             bed.lists.Accounts << account("work");
             return bed.files.SaveAccounts();
         }},
        {"friend list", bed.files.friendListPath(), "SaveFriendList",
         [&] {
             bed.lists.FriendList << "bob@example.com";
             return bed.files.SaveFriendList();
         }},
        {"blocked list", bed.files.blockedListPath(), "SaveBlockedList",
         [&] {
             bed.lists.BlockedList << "*@junk.example";
             return bed.files.SaveBlockedList();
         }},
        {"settings file", bed.settingsFile.path(), "SaveSettingsFile",
         [&] {
             return bed.settingsFile.SaveSettingsFile({"exe", "scr", "pif"});
         }},
        {"review queue", bed.queue.path(), "SaveReview",
         [&] {
             return bed.queue.replaceAccount(account("home"), {reviewItem("1"), reviewItem("2")});
         }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray before = bed.read(c.path);
        ASSERT_FALSE(before.isEmpty());
        bed.notifier.popups.clear();
        EXPECT_FALSE(c.growAndSave());
        EXPECT_EQ(bed.read(c.path), before);
        EXPECT_EQ(
            bed.notifier.popups,
            QStringList {QStringLiteral("Error: Cannot write %1(%2)").arg(c.path, c.procedure)});
    }

    // A copy or an evidence file that does not fit fails too; the evidence already there
    // stays, and no half-written temporary file is left behind.
    EXPECT_FALSE(bed.history.saveCopy(2, QByteArray(8192, 'x')));
    Verdict spam;
    spam.status = MessageStatus::Deleted;
    spam.reason = Reason::SpamWords;
    EXPECT_FALSE(bed.history.saveEvidence(1, spam));
    EXPECT_EQ(bed.read(bed.history.evidencePath(1)), evidenceBefore);
    EXPECT_FALSE(QFile::exists(bed.history.evidencePath(1) + ".part"));
    QStringList expected = filesBefore;
    expected << "filler";
    expected.sort();
    QStringList files = QDir(bed.dataDir).entryList(QDir::Files | QDir::Hidden);
    files.sort();
    EXPECT_EQ(files, expected);
}
