#include "store/datafiles.h"
#include "store/history.h"
#include "store/listfiles.h"
#include "store/reviewqueue.h"
#include "store/settingsfile.h"
#include "support/filemodes.h"
#include "support/historysample.h"
#include "support/servicesbed.h"

#include <QDir>
#include <QFile>

#include <functional>

#include <gtest/gtest.h>

namespace {

struct ModesBed : ServicesBed
{
    MailLists lists;
    ListFiles files {dir.path(), lists, services};
    SettingsFile settingsFile {dir.path(), services};
    History history {dir.path(), services, clock};
    ReviewQueue queue {dir.path(), services};

    void writeWithMode(const QString &name, int mode) const
    {
        dir.write(name, "older\r\n");
        setMode(dir.file(name), mode);
    }
};

ReviewItem reviewItem()
{
    ReviewItem item;
    item.AccountName = "home";
    item.serverId = "1";
    item.MailNumber = 1;
    return item;
}

} // namespace

// Passwords (only scrambled) and mail: every file and folder the program makes in the data
// folder is its owner's alone, whatever the umask.
TEST(FileModes, EveryDataFileAndFolderIsMadePrivate)
{
    PermissiveUmask permissive;
    using Modes = QList<std::pair<QString, int>>;
    const struct
    {
        const char *name;
        std::function<bool(ModesBed &)> make;
        Modes modes;
    } cases[] = {
        {"CreateFiles",
         [](ModesBed &bed) { return CreateFiles(bed.dir.path()).isEmpty(); },
         {{"Mails", 0700},
          {"Accounts.ini", 0600},
          {"Spam.log", 0600},
          {"BadWords.ini", 0600},
          {"BlockedList.ini", 0600},
          {"FriendList.ini", 0600},
          {"History.ini", 0600},
          {"Settings.ini", 0600}}},
        {"list saves",
         [](ModesBed &bed) {
             bed.lists.Accounts
                 = {MailAccount {"POP3", "home", "mail.example.com", "joe", "secret", 110}};
             bed.lists.FriendList = {"ann@example.com"};
             bed.lists.BlockedList = {"*@spam.example"};
             return bed.files.SaveAccounts() && bed.files.SaveFriendList()
                 && bed.files.SaveBlockedList();
         },
         {{"Accounts.ini", 0600}, {"FriendList.ini", 0600}, {"BlockedList.ini", 0600}}},
        {"a save over a file others could read",
         [](ModesBed &bed) {
             bed.writeWithMode("Accounts.ini", 0644);
             return bed.files.SaveAccounts();
         },
         {{"Accounts.ini", 0600}}},
        {"SaveSettingsFile",
         [](ModesBed &bed) { return bed.settingsFile.SaveSettingsFile({"exe"}); },
         {{"Settings.ini", 0600}}},
        {"the review queue",
         [](ModesBed &bed) {
             const MailAccount home {"POP3", "home", "mail.example.com", "joe", "secret", 110};
             return bed.queue.replaceAccount(home, {reviewItem()});
         },
         {{"Review.ini", 0600}}},
        {"SaveHist",
         [](ModesBed &bed) {
             bed.history.append(historyRecord("Offer", 1));
             return bed.history.SaveHist();
         },
         {{"History.ini", 0600}}},
        {"saved copy and verdict",
         [](ModesBed &bed) {
             return bed.history.saveCopy(1, "the mail") && bed.history.saveEvidence(1, {});
         },
         {{"Mails", 0700}, {"Mails/1.mal", 0600}, {"Mails/1.why", 0600}}},
        {"the log", [](ModesBed &bed) { return bed.log.Log("an entry"); }, {{"Spam.log", 0600}}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ModesBed bed;
        ASSERT_TRUE(c.make(bed));
        for (const auto &[name, mode] : c.modes) {
            SCOPED_TRACE(name.toStdString());
            EXPECT_EQ(modeOf(bed.dir.file(name)), mode);
        }
    }
}

// Files an older Korvane made readable by all are tightened; what else a user keeps in the
// folder, the program itself and whatever a link points to are not Korvane's to change.
TEST(FileModes, ProtectingTightensOnlyKorvanesOwnFiles)
{
    ModesBed bed;
    const QString outside = bed.dir.file("elsewhere.txt");
    bed.writeWithMode("elsewhere.txt", 0644);
    ASSERT_TRUE(QDir().mkpath(bed.dir.file("data/Mails")));
    setMode(bed.dir.file("data/Mails"), 0755);
    const QList<std::pair<QString, int>> files = {
        {"data/Accounts.ini", 0600}, {"data/History.ini", 0600},       {"data/Review.ini", 0600},
        {"data/Spam.log", 0600},     {"data/Accounts.ini.bad", 0600},  {"data/Mails/12.mal", 0600},
        {"data/Mails/12.why", 0600}, {"data/Mails/13.why.part", 0600}, {"data/notes.txt", 0644},
        {"data/korvane", 0755},      {"data/Mails/readme.txt", 0644},
    };
    for (const auto &[name, mode] : files)
        bed.writeWithMode(name, mode == 0600 ? 0644 : mode);
    ASSERT_TRUE(QFile::link(outside, bed.dir.file("data/Settings.ini")));

    EXPECT_TRUE(protectDataFiles(bed.dir.file("data")).isEmpty());
    for (const auto &[name, mode] : files) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(modeOf(bed.dir.file(name)), mode);
    }
    EXPECT_EQ(modeOf(bed.dir.file("data/Mails")), 0700);
    EXPECT_EQ(modeOf(outside), 0644);
}
