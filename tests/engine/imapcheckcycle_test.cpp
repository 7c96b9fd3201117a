#include "support/cyclebed.h"

#include <gtest/gtest.h>

using enum MessageStatus;

TEST(ImapCheckCycle, MixedAccountListIsWalkedInOrder)
{
    CycleBed bed;
    bed.core->settings.NotifyNew = false;
    bed.setAccounts({account("IMAP", "Mail", "imap.mail.test"),
                     account("POP3", "Home", "pop.home.test"),
                     account("IMAP", "Work", "imap.work.test")});
    bed.cycle.CheckNow();
    ASSERT_EQ(bed.nets.size(), 1);
    EXPECT_EQ(bed.nets[0]->host, "imap.mail.test");
    EXPECT_EQ(bed.nets[0]->port, 143);
    CycleBed::imapLogin(*bed.nets[0], 1);
    bed.nets[0]->takeWritten();
    bed.nets[0]->serverSends("* 1 FETCH (UID 7)\r\na610 OK Fetch completed.\r\n");
    EXPECT_EQ(bed.nets[0]->takeWritten(), "a654 FETCH 1 (FLAGS BODY.PEEK[])\r\n");
    const QByteArray spam = "Subject: spam\r\n\r\nBuy\r\n";
    bed.nets[0]->serverSends("* 1 FETCH (BODY[] {" + QByteArray::number(spam.size()) + "}\r\n"
                             + spam + ")\r\na654 OK Fetch completed.\r\n");
    EXPECT_EQ(bed.nets[0]->takeWritten(), "a005 UID STORE 7 +Flags \\Deleted\r\n");
    bed.nets[0]->serverSends("a005 OK Store completed.\r\n");
    EXPECT_EQ(bed.nets[0]->takeWritten(), "a203 CAPABILITY\r\n");
    bed.nets[0]->serverSends("* CAPABILITY IMAP4rev1 UIDPLUS\r\na203 OK\r\n");
    EXPECT_EQ(bed.nets[0]->takeWritten(), "a204 UID EXPUNGE 7\r\n");
    bed.nets[0]->serverSends("* 1 EXPUNGE\r\na204 OK Expunge completed.\r\n");
    EXPECT_EQ(bed.nets[0]->takeWritten(), "a399 LOGOUT\r\n");

    ASSERT_EQ(bed.nets.size(), 2);
    EXPECT_EQ(bed.nets[1]->host, "pop.home.test");
    for (const char *reply : {"+OK ready\r\n", "+OK\r\n", "+OK in\r\n", "+OK 0 0\r\n"})
        bed.nets[1]->serverSends(reply);

    ASSERT_EQ(bed.nets.size(), 3);
    EXPECT_EQ(bed.nets[2]->host, "imap.work.test");
    // The option is read when the search would be sent: switched on during the check.
    bed.core->settings.NotifyNew = true;
    CycleBed::imapLogin(*bed.nets[2], 2);
    EXPECT_EQ(bed.nets[2]->takeWritten(),
              "a001 LOGIN \"joe\" \"pw\"\r\na142 SELECT INBOX\r\na282 SEARCH UNSEEN\r\n");
    bed.nets[2]->serverSends("a282 NO Server is busy\r\n");
    EXPECT_EQ(bed.nets[2]->takeWritten(), "a610 FETCH 1:2 (UID RFC822.SIZE)\r\n");
    bed.nets[2]->serverSends("* 1 FETCH (UID 3)\r\n* 2 FETCH (UID 4)\r\na610 OK\r\n");
    EXPECT_EQ(bed.nets[2]->takeWritten(),
              "a654 FETCH 1 (FLAGS BODY.PEEK[])\r\na654 FETCH 2 (FLAGS BODY.PEEK[])\r\n");
    // A refusal leaves out only its message: here both are refused.
    bed.nets[2]->serverSends("a654 NO Message is gone\r\n");
    bed.nets[2]->serverSends("a654 NO Message is gone\r\n");
    FakeTransport::runPending();

    EXPECT_FALSE(bed.core->IsChecking);
    EXPECT_EQ(bed.filter.recorded,
              (QList<FakeMailboxFilter::Recorded> {{"Mail", "spam", Deleted}}));
    EXPECT_EQ(bed.log(),
              (QStringList {
                  "Begin checking mail accounts", "Begin Checking  Mail  Account",
                  "Mail: deleted the message from <>, \"spam\" (Blocked sender).",
                  "Finished checking  Mail  Account", "Begin checking  Home  Account",
                  "There are no messages in this account.", "Finished checking  Home  Account",
                  "Begin checking  Work  Account", "IMAP Error: a654 NO Message is gone", "",
                  "IMAP Error: a654 NO Message is gone", "", "Finished Checking All Account's"}));
}

TEST(ImapCheckCycle, StopDuringAnImapSessionClosesWithoutExpunge)
{
    CycleBed bed;
    bed.core->settings.NotifyNew = false;
    bed.setAccounts({account("IMAP", "Mail", "imap.mail.test")});
    bed.cycle.CheckNow();
    ASSERT_EQ(bed.nets.size(), 1);
    CycleBed::imapLogin(*bed.nets[0], 2);
    bed.nets[0]->takeWritten();
    bed.cycle.CheckNow();
    EXPECT_FALSE(bed.core->IsChecking);
    EXPECT_FALSE(bed.nets[0]->isOpen);
    EXPECT_EQ(bed.nets[0]->takeWritten(), "");
    EXPECT_TRUE(bed.filter.recorded.isEmpty());
    EXPECT_EQ(bed.log(),
              (QStringList {"Begin checking mail accounts", "Begin Checking  Mail  Account",
                            "Checking has been stopped."}));
}
