#include "store/listfiles.h"
#include "store/password.h"
#include "support/servicesbed.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

struct ListBed : ServicesBed
{
    MailLists lists;
    ListFiles files {dir.path(), lists, services};
};

QByteArray accountLines(const QByteArray &name, const QByteArray &port = "110")
{
    return "POP3\r\n" + name + "\r\nmail.example.com\r\njoe\r\nYGFi\r\n" + port + "\r\n";
}

} // namespace

TEST(Password, ScramblesEachByteLessOneThenBase64)
{
    EXPECT_EQ(EncodePassword("abc"), "YGFi");
    EXPECT_EQ(DecodePassword("YGFi"), "abc");
    EXPECT_EQ(EncodePassword(""), "");
    EXPECT_EQ(DecodePassword(""), "");
    const QByteArray awkward("\x00\x01\xff p\xc3\xa4ss", 9);
    EXPECT_EQ(DecodePassword(EncodePassword(awkward)), awkward);
}

TEST(ListFiles, LoadsAccountsWithPasswordsAndPorts)
{
    ListBed bed;
    bed.dir.write("Accounts.ini", accountLines("Home") + accountLines("Work", " 143 "));
    bed.files.LoadAccounts(false);
    ASSERT_EQ(bed.lists.Accounts.size(), 2);
    EXPECT_TRUE(bed.lists.AccountsLoaded);
    EXPECT_EQ(bed.lists.Accounts[0].AccountName, "Home");
    EXPECT_EQ(bed.lists.Accounts[0].Password, "abc");
    EXPECT_EQ(bed.lists.Accounts[0].Port, 110);
    EXPECT_EQ(bed.lists.Accounts[1].Port, 143);
    EXPECT_TRUE(bed.prompter.criticals.isEmpty());
}

TEST(ListFiles, CutShortAccountsFileKeepsWhatWasReadAndMovesTheFileAside)
{
    ListBed bed;
    const QByteArray thirteen = accountLines("Home") + accountLines("Work") + "IMAP\r\n";
    bed.dir.write("Accounts.ini", thirteen);
    bed.files.LoadAccounts(false);
    ASSERT_EQ(bed.lists.Accounts.size(), 3);
    EXPECT_EQ(bed.lists.Accounts[2].ServerType, "IMAP");
    EXPECT_TRUE(bed.lists.Accounts[2].AccountName.isEmpty());
    EXPECT_EQ(bed.lists.Accounts[2].Port, 0);
    EXPECT_EQ(bed.prompter.criticals,
              QStringList {"Accounts.ini is corrupted, it will be reset.\n"
                           "The original file was kept as "
                           + bed.dir.file("Accounts.ini.bad") + "."});
    EXPECT_EQ(bed.dir.read("Accounts.ini"), accountLines("Home") + accountLines("Work"));
    EXPECT_EQ(bed.dir.read("Accounts.ini.bad"), thirteen);
}

TEST(ListFiles, PortMustBeASixteenBitNumber)
{
    struct Case
    {
        QByteArray port;
        bool valid;
        qint16 value;
    };
    const Case cases[] = {
        {"143", true, 143},   {"abc", false, 0},    {"32768", false, 0}, {"-32768", true, -32768},
        {"110.5", true, 110}, {"111.5", true, 112}, {"", false, 0}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.port.constData());
        ListBed bed;
        bed.dir.write("Accounts.ini", accountLines("Home", c.port));
        bed.files.LoadAccounts(false);
        ASSERT_EQ(bed.lists.Accounts.size(), 1);
        EXPECT_EQ(bed.prompter.criticals.isEmpty(), c.valid);
        EXPECT_EQ(bed.lists.AccountsLoaded, c.valid);
        EXPECT_EQ(bed.lists.Accounts[0].Port, c.value);
    }
}

TEST(ListFiles, LoadAccountsLeavesTheListAloneWhileChecking)
{
    ListBed bed;
    bed.lists.Accounts = {MailAccount {"POP3", "Old", "h", "u", "p", 110}};
    bed.dir.write("Accounts.ini", accountLines("New"));
    bed.files.LoadAccounts(true);
    ASSERT_EQ(bed.lists.Accounts.size(), 1);
    EXPECT_EQ(bed.lists.Accounts[0].AccountName, "Old");
}

TEST(ListFiles, SaveAccountsSkipsDeletedRecordsAndReloadDropsThem)
{
    ListBed bed;
    bed.lists.Accounts = {MailAccount {"POP3", "Home", "pop.example.com", "joe", "abc", 110},
                          MailAccount {"IMAP", "", "gone.example.com", "x", "y", 143},
                          MailAccount {"IMAP", "Work", "imap.example.com", "ann", "", 993}};
    ASSERT_TRUE(bed.files.SaveAccounts());
    EXPECT_EQ(bed.dir.read("Accounts.ini"),
              "POP3\r\nHome\r\npop.example.com\r\njoe\r\nYGFi\r\n110\r\n"
              "IMAP\r\nWork\r\nimap.example.com\r\nann\r\n\r\n993\r\n");
    bed.files.LoadAccounts(false);
    ASSERT_EQ(bed.lists.Accounts.size(), 2);
    EXPECT_EQ(bed.lists.Accounts[1].AccountName, "Work");
    EXPECT_EQ(bed.lists.Accounts[1].Password, "");

    bed.lists.Accounts.clear();
    ASSERT_TRUE(bed.files.SaveAccounts());
    EXPECT_EQ(bed.dir.read("Accounts.ini"), "");
}

TEST(ListFiles, AddressListsKeepEmptyLinesAndIgnoreEmptyFiles)
{
    ListBed bed;
    bed.lists.FriendList = {"keep@example.com"};
    bed.dir.write("FriendList.ini", "");
    bed.files.LoadFriendList();
    EXPECT_EQ(bed.lists.FriendList, QList<QByteArray> {"keep@example.com"});
    EXPECT_FALSE(bed.lists.FriendListLoaded);

    bed.dir.write("FriendList.ini", "\r\n");
    bed.files.LoadFriendList();
    EXPECT_EQ(bed.lists.FriendList, QList<QByteArray> {""});
    EXPECT_TRUE(bed.lists.FriendListLoaded);

    // LF alone and a last line without a line end are read too.
    bed.dir.write("BlockedList.ini", "*@spam.example\nbad@*\r\nlast@example.com");
    bed.files.LoadBlockedList();
    EXPECT_EQ(bed.lists.BlockedList,
              (QList<QByteArray> {"*@spam.example", "bad@*", "last@example.com"}));
}

TEST(ListFiles, AddressListSaversWriteEveryEntryAndLeaveFileForEmptyList)
{
    ListBed bed;
    bed.dir.write("BlockedList.ini", "old@example.com\r\n");
    EXPECT_TRUE(bed.files.SaveBlockedList());
    EXPECT_EQ(bed.dir.read("BlockedList.ini"), "old@example.com\r\n");

    bed.lists.BlockedList = {"one@example.com"};
    EXPECT_TRUE(bed.files.SaveBlockedList());
    EXPECT_EQ(bed.dir.read("BlockedList.ini"), "one@example.com\r\n");

    bed.lists.FriendList = {"a@example.com", "", "*@example.org"};
    EXPECT_TRUE(bed.files.SaveFriendList());
    EXPECT_EQ(bed.dir.read("FriendList.ini"), "a@example.com\r\n\r\n*@example.org\r\n");
}

TEST(ListFiles, BadWordsMissingOrCorrupt)
{
    ListBed bed;
    bed.files.LoadBadWords();
    EXPECT_EQ(
        bed.prompter.criticals,
        (QStringList {"BadWords.ini is not exist", "BadWords.ini is corrupted, it will be rest."}));

    ListBed good;
    good.dir.write("BadWords.ini", "free money\r\n40\r\nviagra\r\n-3\r\n");
    good.files.LoadBadWords();
    ASSERT_EQ(good.lists.BadWords.size(), 2);
    EXPECT_EQ(good.lists.BadWords[0].Word, "free money");
    EXPECT_EQ(good.lists.BadWords[1].Value, -3);

    ListBed bad;
    bad.dir.write("BadWords.ini", "free money\r\n40\r\nviagra\r\nlots\r\n");
    bad.files.LoadBadWords();
    ASSERT_EQ(bad.lists.BadWords.size(), 2);
    EXPECT_EQ(bad.lists.BadWords[1].Word, "viagra");
    EXPECT_TRUE(bad.lists.BadWordsLoaded);
    EXPECT_TRUE(QFile::exists(bad.dir.file("BadWords.ini.bad")));
}

TEST(ListFiles, UnreadableFileIsAnnouncedInTheActiveLanguageAndMovedAside)
{
    ListBed bed;
    bed.lang.LanguageFile = "Test.ini";
    bed.dir.write("Lang/Test.ini", "[Korvane]\r\n270000=Freundesliste kaputt\r\n");
    bed.dir.write("FriendList.ini/not-a-file", "");
    bed.files.LoadFriendList();
    EXPECT_EQ(bed.prompter.criticals,
              QStringList {"Freundesliste kaputt\nThe original file was kept as "
                           + bed.dir.file("FriendList.ini.bad") + "."});
    EXPECT_TRUE(QFile::exists(bed.dir.file("FriendList.ini.bad")));
}
