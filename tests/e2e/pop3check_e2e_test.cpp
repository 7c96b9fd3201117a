#include "mailserver.h"
#include "engine/checkcycle.h"
#include "support/coretestbed.h"
#include "support/logentries.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QEventLoop>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <memory>

namespace {

QByteArray mail(const QByteArray &sender, const QByteArray &subject, const QByteArray &body)
{
    return "Return-Path: <" + sender + ">\r\nFrom: <" + sender + ">\r\nTo: <joe@example.org>\r\n"
           "Subject: " + subject + "\r\nDate: Fri, 13 Mar 2026 10:00:00 +0000\r\n"
           "Message-ID: <" + QByteArray::number(qHash(subject + body)) + "@example.org>\r\n\r\n" + body;
}

MailAccount pop3Account(const QByteArray &name, const QByteArray &user, const QByteArray &password,
                        quint16 port)
{
    MailAccount account;
    account.ServerType = "POP3";
    account.AccountName = name;
    account.MailServer = "127.0.0.1";
    account.UserName = user;
    account.Password = password;
    account.Port = qint16(port); // the bits of the port, as an account keeps it
    return account;
}

// A core with the real rules and real connections; each test has its own mail users.
struct E2eBed : CoreTestbed
{
    E2eBed()
    {
        core->armTimers();
        core->lists.BlockedList = {"*@spam.test"};
        core->lists.BlockedListLoaded = true;
        core->lists.BadWords = {{"casino", 300}};
        core->lists.BadWordsLoaded = true;
    }
    // Runs one check to its end; false when it is still running after the deadline.
    bool check(int seconds = 60)
    {
        core->checkCycle.CheckNow();
        QDeadlineTimer deadline(seconds * 1000);
        while (core->IsChecking && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        return !core->IsChecking;
    }
    QStringList log() const { return logEntries(core->log.path()); }
    // The history as "subject status reason account" lines.
    QStringList history() const
    {
        QStringList lines;
        for (int i = 1; i <= core->history.count(); ++i) {
            const HistoryRecord &r = core->history.at(i);
            lines << QString::fromUtf8(r.Subject + ' ' + r.Status + ' ' + r.Reason + ' ' + r.AccountName);
        }
        return lines;
    }
    MailServer &server = MailServer::shared();
};

} // namespace

TEST(Pop3CheckE2e, SpamLeavesTheServerAndEveryMessageIsRecorded)
{
    E2eBed bed;
    ASSERT_TRUE(bed.server.isRunning());
    const QList<QByteArray> ham{
        mail("alice@example.org", "Lunch on Friday", "See you at noon.\r\n.\r\nAlice\r\n"),
        mail("bob@example.org", "Minutes", "Attached are the minutes.\r\n"),
        mail("news@shop.test", "Weekly offers", "Offers one.\r\n"),
    };
    const QList<QByteArray> mailbox{
        ham[0],
        mail("promo@spam.test", "Great offer", "Buy now.\r\n"),
        mail("carol@example.net", "Your luck", "Visit our casino tonight.\r\n"),
        ham[1],
        ham[2],
        mail("news@shop.test", "Weekly offers", "Offers two.\r\n"),
    };
    ASSERT_TRUE(bed.server.addUser("e2e-spam", "pass word"));
    ASSERT_TRUE(bed.server.load("e2e-spam", mailbox));
    bed.core->lists.Accounts = {pop3Account("Home", "e2e-spam", "pass word", bed.server.pop3Port())};
    bed.core->lists.AccountsLoaded = true;

    ASSERT_TRUE(bed.check());

    EXPECT_EQ(bed.server.inbox("e2e-spam"), ham);
    EXPECT_EQ(bed.history(), (QStringList{"Lunch on Friday 70044 10152 Home",
                                          "Great offer 70043 10155 Home",
                                          "Your luck 70043 10154 Home",
                                          "Minutes 70044 10152 Home",
                                          "Weekly offers 70044 10152 Home",
                                          "Weekly offers 70043 10161 Home"}));
    EXPECT_EQ(bed.log(), (QStringList{"Begin checking mail accounts", "Begin Checking  Home  Account",
                                      "Finished Checking All Account's"}));
    EXPECT_EQ(bed.notifier.popups, (QStringList{"3 spam messages will be deleted!",
                                                "Finished Checking All Account's"}));
    // The server sent the lone dot line stuffed; the saved copy has it as written.
    QFile copy(bed.core->history.mailPath(bed.core->history.at(1).MailNumber));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_TRUE(copy.readAll().contains("noon.<BR>.<BR>Alice"));
}

TEST(Pop3CheckE2e, WrongPasswordIsReportedAndTheNextAccountIsChecked)
{
    E2eBed bed;
    ASSERT_TRUE(bed.server.isRunning());
    ASSERT_TRUE(bed.server.addUser("e2e-locked", "right"));
    ASSERT_TRUE(bed.server.load("e2e-locked", {mail("promo@spam.test", "Locked offer", "x\r\n")}));
    ASSERT_TRUE(bed.server.addUser("e2e-open", "pw"));
    ASSERT_TRUE(bed.server.load("e2e-open", {mail("promo@spam.test", "Open offer", "x\r\n")}));
    bed.core->lists.Accounts = {pop3Account("Locked", "e2e-locked", "wrong", bed.server.pop3Port()),
                                pop3Account("Open", "e2e-open", "pw", bed.server.pop3Port())};
    bed.core->lists.AccountsLoaded = true;

    ASSERT_TRUE(bed.check());

    EXPECT_EQ(bed.log(), (QStringList{"Begin checking mail accounts", "Begin Checking  Locked  Account",
                                      "POP3 Error:-ERR [AUTH] Authentication failed.", "",
                                      "Finished checking  Locked  Account",
                                      "Begin checking  Open  Account",
                                      "Finished Checking All Account's"}));
    EXPECT_EQ(bed.server.inbox("e2e-locked").size(), 1);
    EXPECT_TRUE(bed.server.inbox("e2e-open").isEmpty());
    EXPECT_EQ(bed.history(), QStringList{"Open offer 70043 10155 Open"});
}

TEST(Pop3CheckE2e, SilentServerEndsInTheTimeOutAndRefusedConnectionIsReported)
{
    E2eBed bed;
    ASSERT_TRUE(bed.server.isRunning());
    // Accepts and never answers.
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    QList<QTcpSocket *> accepted;
    QObject::connect(&silent, &QTcpServer::newConnection, [&] { accepted << silent.nextPendingConnection(); });
    // Refuses: a port that was just free.
    quint16 refusingPort = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost));
        refusingPort = probe.serverPort();
    }
    ASSERT_TRUE(bed.server.addUser("e2e-after", "pw"));
    ASSERT_TRUE(bed.server.load("e2e-after", {mail("alice@example.org", "Still here", "x\r\n")}));
    bed.core->settings.ConnectionTimeOut = 2;
    bed.core->armTimers();
    bed.core->lists.Accounts = {pop3Account("Closed", "joe", "pw", refusingPort),
                                pop3Account("Silent", "joe", "pw", silent.serverPort()),
                                pop3Account("After", "e2e-after", "pw", bed.server.pop3Port())};
    bed.core->lists.AccountsLoaded = true;

    ASSERT_TRUE(bed.check(20));

    EXPECT_EQ(accepted.size(), 1);
    EXPECT_EQ(bed.log(), (QStringList{"Begin checking mail accounts", "Begin Checking  Closed  Account",
                                      "POP3 Connection Error 0 : Connection refused",
                                      "Finished checking  Closed  Account",
                                      "Begin checking  Silent  Account",
                                      "Connection Time Out, Checking has been cancelled."}));
    EXPECT_TRUE(bed.history().isEmpty());
    EXPECT_EQ(bed.server.inbox("e2e-after").size(), 1);
}
