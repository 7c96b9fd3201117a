#include "e2ebed.h"

#include <QFile>

#include <gtest/gtest.h>

TEST(Pop3CheckE2e, SpamLeavesTheServerAndEveryMessageIsRecorded)
{
    E2eBed bed;
    ASSERT_TRUE(bed.server.isRunning());
    const QList<QByteArray> ham {
        mail("alice@example.org", "Lunch on Friday", "See you at noon.\r\n.\r\nAlice\r\n"),
        mail("bob@example.org", "Minutes", "Attached are the minutes.\r\n"),
        mail("news@shop.test", "Weekly offers", "Offers one.\r\n"),
    };
    const QList<QByteArray> mailbox {
        ham[0],
        mail("promo@spam.test", "Great offer", "Buy now.\r\n"),
        mail("carol@example.net", "Your luck", "Visit our casino tonight.\r\n"),
        ham[1],
        ham[2],
        mail("news@shop.test", "Weekly offers", "Offers two.\r\n"),
    };
    ASSERT_TRUE(bed.server.addUser("e2e-spam", "pass word"));
    ASSERT_TRUE(bed.server.load("e2e-spam", mailbox));
    bed.setAccounts({account("POP3", "Home", "e2e-spam", "pass word", bed.server.pop3Port())});

    ASSERT_TRUE(bed.check());

    EXPECT_EQ(bed.server.inbox("e2e-spam"), ham);
    EXPECT_EQ(bed.history(),
              (QStringList {"Lunch on Friday 70044 10152 Home", "Great offer 70043 10155 Home",
                            "Your luck 70043 10154 Home", "Minutes 70044 10152 Home",
                            "Weekly offers 70044 10152 Home", "Weekly offers 70043 10161 Home"}));
    EXPECT_EQ(
        bed.log(),
        (QStringList {
            "Begin checking mail accounts", "Begin Checking  Home  Account",
            "Home: 6 fetched, 0 from the cache.",
            "Home: deleted the message from <promo@spam.test>, \"Great offer\" (Blocked sender).",
            "Home: deleted the message from <carol@example.net>, \"Your luck\" (Spam words).",
            "Home: deleted the message from <news@shop.test>, \"Weekly offers\" (Repeated "
            "message).",
            "Finished Checking All Account's"}));
    EXPECT_EQ(
        bed.notifier.popups,
        (QStringList {"3 spam messages will be deleted!", "Finished Checking All Account's"}));
    // The server sent the lone dot line stuffed; the saved copy has it as written.
    QFile copy(bed.core->history.mailPath(bed.core->history.at(1).MailNumber));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_TRUE(copy.readAll().contains("noon.<BR>.<BR>Alice"));
    copy.close();

    // The next check fetches only the new message; the others come from the cache, and the
    // spam among the new mail still goes.
    const QByteArray more = mail("promo@spam.test", "Another offer", "Buy more.\r\n");
    ASSERT_TRUE(bed.server.load("e2e-spam", {more}));
    ASSERT_TRUE(bed.check());
    EXPECT_EQ(bed.server.inbox("e2e-spam"), ham);
    EXPECT_EQ(bed.log().mid(4).filter(QStringLiteral("cache")),
              QStringList {"Home: 1 fetched, 3 from the cache."});
    EXPECT_EQ(bed.history().size(), 7);
    EXPECT_EQ(bed.history().last(), "Another offer 70043 10155 Home");
}

TEST(Pop3CheckE2e, WrongPasswordIsReportedAndTheNextAccountIsChecked)
{
    E2eBed bed;
    ASSERT_TRUE(bed.server.isRunning());
    ASSERT_TRUE(bed.server.addUser("e2e-locked", "right"));
    ASSERT_TRUE(bed.server.load("e2e-locked", {mail("promo@spam.test", "Locked offer", "x\r\n")}));
    ASSERT_TRUE(bed.server.addUser("e2e-open", "pw"));
    ASSERT_TRUE(bed.server.load("e2e-open", {mail("promo@spam.test", "Open offer", "x\r\n")}));
    bed.setAccounts({account("POP3", "Locked", "e2e-locked", "wrong", bed.server.pop3Port()),
                     account("POP3", "Open", "e2e-open", "pw", bed.server.pop3Port())});

    ASSERT_TRUE(bed.check());

    EXPECT_EQ(
        bed.log(),
        (QStringList {
            "Begin checking mail accounts", "Begin Checking  Locked  Account",
            "POP3 Error:-ERR [AUTH] Authentication failed.", "",
            "Finished checking  Locked  Account", "Begin checking  Open  Account",
            "Open: 1 fetched, 0 from the cache.",
            "Open: deleted the message from <promo@spam.test>, \"Open offer\" (Blocked sender).",
            "Finished Checking All Account's"}));
    EXPECT_EQ(bed.server.inbox("e2e-locked").size(), 1);
    EXPECT_TRUE(bed.server.inbox("e2e-open").isEmpty());
    EXPECT_EQ(bed.history(), QStringList {"Open offer 70043 10155 Open"});
    EXPECT_EQ(bed.statuses,
              (QList<SessionStatus> {SessionStatus::AuthRejected, SessionStatus::Ok}));
}

TEST(Pop3CheckE2e, SilentServerEndsInTheTimeOutAndRefusedConnectionIsReported)
{
    E2eBed bed;
    ASSERT_TRUE(bed.server.isRunning());
    // Accepts and never answers.
    SilentServer silent;
    ASSERT_TRUE(silent.listen());
    // Refuses: a port that was just free.
    const quint16 closedPort = refusingPort();
    ASSERT_NE(closedPort, 0);
    ASSERT_TRUE(bed.server.addUser("e2e-after", "pw"));
    ASSERT_TRUE(bed.server.load("e2e-after", {mail("alice@example.org", "Still here", "x\r\n")}));
    bed.core->settings.ConnectionTimeOut = 2;
    bed.core->armTimers();
    bed.setAccounts({account("POP3", "Closed", "joe", "pw", closedPort),
                     account("POP3", "Silent", "joe", "pw", silent.port()),
                     account("POP3", "After", "e2e-after", "pw", bed.server.pop3Port())});

    ASSERT_TRUE(bed.check(20));

    EXPECT_EQ(silent.accepted.size(), 1);
    EXPECT_EQ(bed.statuses,
              (QList<SessionStatus> {SessionStatus::ConnectFailed, SessionStatus::Timeout}));
    EXPECT_EQ(bed.log(),
              (QStringList {"Begin checking mail accounts", "Begin Checking  Closed  Account",
                            "POP3 Connection Error 0 : Connection refused",
                            "Finished checking  Closed  Account", "Begin checking  Silent  Account",
                            "Connection Time Out, Checking has been cancelled."}));
    EXPECT_TRUE(bed.history().isEmpty());
    EXPECT_EQ(bed.server.inbox("e2e-after").size(), 1);
}

TEST(Pop3CheckE2e, AskModeLeavesTheMailboxAloneAndQueuesTheSpamByUidl)
{
    E2eBed bed;
    ASSERT_TRUE(bed.server.isRunning());
    bed.core->settings.AskBeforeDel = true;
    const QList<QByteArray> mailbox {
        mail("alice@example.org", "Lunch on Friday", "See you at noon.\r\n"),
        mail("promo@spam.test", "Great offer", "Buy now.\r\n"),
        mail("carol@example.net", "Your luck", "Visit our casino tonight.\r\n"),
    };
    ASSERT_TRUE(bed.server.addUser("e2e-ask", "pw"));
    ASSERT_TRUE(bed.server.load("e2e-ask", mailbox));
    const QList<QByteArray> ids = bed.server.pop3Ids("e2e-ask");
    ASSERT_EQ(ids.size(), 3);
    bed.setAccounts({account("POP3", "Home", "e2e-ask", "pw", bed.server.pop3Port())});

    // A second check finds the same messages and changes nothing.
    for (int check = 1; check <= 2; ++check) {
        SCOPED_TRACE(check);
        ASSERT_TRUE(bed.check());
        EXPECT_EQ(bed.server.inbox("e2e-ask"), mailbox);
        EXPECT_EQ(bed.history(),
                  (QStringList {"Lunch on Friday 70044 10152 Home", "Great offer 280007 10155 Home",
                                "Your luck 280007 10154 Home"}));
        EXPECT_EQ(bed.queued(),
                  (QStringList {QString::fromUtf8(ids[1] + " Great offer"),
                                QString::fromUtf8(ids[2] + " Your luck")}));
        EXPECT_EQ(bed.notifier.popups.last(), "2 messages await your review");
        EXPECT_EQ(bed.statuses.last(), SessionStatus::Ok);
    }
    EXPECT_EQ(bed.log().last(), "2 messages await your review");
}
