#include "support/cyclebed.h"

#include <gtest/gtest.h>

TEST(CheckCycle, NoAccountsEndsTheCheckAtOnce)
{
    CycleBed bed;
    bed.cycle.CheckNow();
    EXPECT_FALSE(bed.core->IsChecking);
    EXPECT_EQ(bed.captions, (QStringList {"&Stop Checking", "&Check  Now"}));
    EXPECT_EQ(bed.notifier.popups, QStringList {"NO accounts to check.!"});
    EXPECT_EQ(bed.log(), (QStringList {"Begin checking mail accounts", "NO accounts to check.!"}));
    EXPECT_FALSE(bed.core->tmrTimeOut.Enabled());
    EXPECT_FALSE(bed.cycle.tmrIcon.isActive());
    EXPECT_EQ(bed.tray.events, QStringList {"set 0"});
    EXPECT_TRUE(bed.nets.isEmpty());
}

TEST(CheckCycle, WalksTheAccountsInOrderWithTheirLogLines)
{
    CycleBed bed;
    bed.setAccounts({account("POP3", "Home", "http://www.pop.home.test"),
                     account("POP3", "Work", "pop.work.test"),
                     account("POP3", "Club", "pop.club.test")});
    bed.cycle.CheckNow();
    EXPECT_TRUE(bed.core->IsChecking);
    EXPECT_TRUE(bed.cycle.tmrIcon.isActive());
    EXPECT_TRUE(bed.core->tmrTimeOut.Enabled());
    ASSERT_EQ(bed.nets.size(), 1);
    EXPECT_EQ(bed.nets[0]->host, "pop.home.test");
    EXPECT_EQ(bed.cycle.NextAccountIndex(), 1);
    // A wrong password ends only its own account.
    bed.nets[0]->serverSends("+OK ready\r\n");
    bed.nets[0]->serverSends("+OK\r\n");
    bed.nets[0]->serverSends("-ERR [AUTH] Authentication failed.\r\n");
    ASSERT_EQ(bed.nets.size(), 2);
    EXPECT_EQ(bed.nets[1]->host, "pop.work.test");
    EXPECT_EQ(bed.cycle.NextAccountIndex(), 2);
    CycleBed::emptyMailbox(*bed.nets[1]);
    ASSERT_EQ(bed.nets.size(), 3);
    bed.nets[2]->fail(0, QStringLiteral("Connection refused"));
    EXPECT_FALSE(bed.core->IsChecking);
    EXPECT_EQ(bed.log(),
              (QStringList {"Begin checking mail accounts", "Begin Checking  Home  Account",
                            "POP3 Error:-ERR [AUTH] Authentication failed.", "",
                            "Finished checking  Home  Account", "Begin checking  Work  Account",
                            "There are no messages in this account.",
                            "Finished checking  Work  Account", "Begin checking  Club  Account",
                            "POP3 Connection Error 0 : Connection refused",
                            "Finished Checking All Account's"}));
    EXPECT_EQ(bed.notifier.popups.last(), "Finished Checking All Account's");
    EXPECT_EQ(bed.statuses(),
              (QList<SessionStatus> {SessionStatus::AuthRejected, SessionStatus::Ok,
                                     SessionStatus::ConnectFailed}));
    EXPECT_EQ(bed.captions, (QStringList {"&Stop Checking", "&Check  Now"}));
    EXPECT_FALSE(bed.cycle.tmrIcon.isActive());
    EXPECT_FALSE(bed.core->tmrTimeOut.Enabled());
    EXPECT_EQ(bed.tray.events.last(), "set 0");
}

TEST(CheckCycle, StopCommandClosesTheSessionWithoutQuit)
{
    CycleBed bed;
    bed.setAccounts(
        {account("POP3", "Home", "pop.home.test"), account("POP3", "Work", "pop.work.test")});
    bed.cycle.CheckNow();
    FakeTransport &net = *bed.nets[0];
    for (const char *reply :
         {"+OK ready\r\n", "+OK\r\n", "+OK in\r\n", "+OK 2 99\r\n", "+OK\r\nTOP\r\n.\r\n"})
        net.serverSends(reply);
    net.takeWritten();
    net.serverSends("+OK\r\nSubject: spam one\r\n\r\nx\r\n.\r\n");
    EXPECT_EQ(net.takeWritten(), "RETR 2\r\n");
    // The stop lands while the session waits on the event loop before the verdicts.
    net.deliver("+OK\r\nSubject: spam two\r\n\r\nx\r\n.\r\n");
    bed.cycle.CheckNow();
    FakeTransport::runPending();
    EXPECT_FALSE(bed.core->IsChecking);
    EXPECT_FALSE(net.isOpen);
    EXPECT_EQ(net.takeWritten(), "");
    EXPECT_EQ(net.lostWrites, "");
    EXPECT_EQ(bed.nets.size(), 1);
    EXPECT_EQ(bed.filter.checks, 0);
    EXPECT_TRUE(bed.filter.recorded.isEmpty());
    EXPECT_FALSE(bed.notifier.popups.contains("Finished Checking All Account's"));
    // The stop says so, once the check is over.
    EXPECT_EQ(bed.notifier.popups.last(), "Checking has been stopped.");
    EXPECT_EQ(bed.captions, (QStringList {"&Stop Checking", "&Check  Now"}));
    ASSERT_EQ(bed.statuses(), QList<SessionStatus> {SessionStatus::Cancelled});
    EXPECT_EQ(bed.results[0].step, "Retrieving");
    // A late reply after the stop moves nothing.
    net.serverSends("+OK\r\n");
    EXPECT_EQ(bed.nets.size(), 1);
}

TEST(CheckCycle, SilentServerEndsTheWholeCheckAfterTheTimeOut)
{
    CycleBed bed;
    bed.core->settings.ConnectionTimeOut = 5;
    bed.core->armTimers();
    bed.setAccounts(
        {account("POP3", "Home", "pop.home.test"), account("POP3", "Work", "pop.work.test")});
    bed.cycle.CheckNow();
    ExtraTimer &timeOut = bed.core->tmrTimeOut;
    for (int i = 0; i < 4; ++i)
        timeOut.tick();
    // Data from the server starts the count again.
    bed.nets[0]->serverSends("+OK ready\r\n");
    for (int i = 0; i < 4; ++i)
        timeOut.tick();
    EXPECT_TRUE(bed.core->IsChecking);
    timeOut.tick();
    EXPECT_FALSE(bed.core->IsChecking);
    EXPECT_FALSE(bed.nets[0]->isOpen);
    EXPECT_EQ(bed.nets.size(), 1);
    EXPECT_EQ(bed.notifier.popups,
              QStringList {"Connection Time Out, Checking has been cancelled."});
    EXPECT_EQ(bed.log().last(), "Connection Time Out, Checking has been cancelled.");
    ASSERT_EQ(bed.statuses(), QList<SessionStatus> {SessionStatus::Timeout});
    EXPECT_EQ(bed.results[0].step, "UserSent");
}

TEST(CheckCycle, CheckTimerStartsACheckOnlyWhenIdle)
{
    CycleBed bed;
    bed.setAccounts({account("POP3", "Home", "pop.home.test")});
    bed.core->tmrCheck.setInterval(0);
    bed.core->tmrCheck.tick();
    EXPECT_TRUE(bed.core->IsChecking);
    bed.core->tmrCheck.tick();
    EXPECT_EQ(bed.nets.size(), 1);
    CycleBed::emptyMailbox(*bed.nets[0]);
    EXPECT_FALSE(bed.core->IsChecking);
    EXPECT_EQ(bed.log(),
              (QStringList {"Begin checking mail accounts", "Begin Checking  Home  Account",
                            "There are no messages in this account.",
                            "Finished Checking All Account's"}));
}

// The fingerprint of a refused certificate stays with its account for the account editor, until
// a later connection of that account gets through.
TEST(CheckCycle, RefusedCertificateIsRememberedForItsAccount)
{
    CycleBed bed;
    const MailAccount home = account("POP3", "Home", "pop.home.test");
    const MailAccount work = account("POP3", "Work", "pop.work.test");
    bed.setAccounts({home, work});
    TlsRefusal refusal;
    refusal.reasons = {TlsRefusal::Reason::SelfSigned};
    refusal.sha256 = QStringLiteral("AB:CD");
    bed.cycle.CheckNow();
    bed.nets[0]->refuse(refusal);
    CycleBed::emptyMailbox(*bed.nets[1]);
    EXPECT_EQ(LoadRefusedCertificate(*bed.registry, home), "AB:CD");
    EXPECT_TRUE(LoadRefusedCertificate(*bed.registry, work).isEmpty());

    bed.cycle.CheckNow();
    CycleBed::emptyMailbox(*bed.nets[2]);
    EXPECT_TRUE(LoadRefusedCertificate(*bed.registry, home).isEmpty());
}

TEST(CheckCycle, AccountOfUnknownTypeIsSkipped)
{
    CycleBed bed;
    bed.setAccounts(
        {account("pop3", "Odd", "pop.odd.test"), account("POP3", "Home", "pop.home.test")});
    bed.cycle.CheckNow();
    ASSERT_EQ(bed.nets.size(), 1);
    EXPECT_EQ(bed.nets[0]->host, "pop.home.test");
    CycleBed::emptyMailbox(*bed.nets[0]);
    EXPECT_FALSE(bed.core->IsChecking);
    EXPECT_EQ(bed.log(),
              (QStringList {
                  "Begin checking mail accounts", "Unknown server type, account skipped: Odd",
                  "Finished checking  Odd  Account", "Begin checking  Home  Account",
                  "There are no messages in this account.", "Finished Checking All Account's"}));
}

TEST(CheckCycle, UnexpectedFailureIsShownInABoxAndEndsTheCheck)
{
    {
        SCOPED_TRACE("first account");
        CycleBed bed;
        bed.setAccounts({account("POP3", "Home", "pop.home.test")});
        bed.failingFactoryCall = 0;
        bed.cycle.CheckNow();
        EXPECT_FALSE(bed.core->IsChecking);
        EXPECT_EQ(bed.prompter.criticals, QStringList {"Error:out of sockets(BeginCheckMailList)"});
        EXPECT_EQ(bed.log().last(), "Error:out of sockets(BeginCheckMailList)");
        EXPECT_EQ(bed.captions.last(), "&Check  Now");
    }
    {
        SCOPED_TRACE("next account");
        CycleBed bed;
        bed.setAccounts(
            {account("POP3", "Home", "pop.home.test"), account("POP3", "Work", "pop.work.test")});
        bed.failingFactoryCall = 1;
        bed.cycle.CheckNow();
        CycleBed::emptyMailbox(*bed.nets[0]);
        EXPECT_FALSE(bed.core->IsChecking);
        EXPECT_EQ(bed.prompter.criticals, QStringList {"Error:out of sockets(checkNwxtAccount)"});
        EXPECT_EQ(bed.log().last(), "Error:out of sockets(CheckNextAccount)");
        EXPECT_FALSE(bed.notifier.popups.contains("Finished Checking All Account's"));
    }
}

TEST(CheckCycle, TrayIconBlinksDuringACheckAndIsResetAfterIt)
{
    CycleBed bed;
    bed.setAccounts({account("POP3", "Home", "pop.home.test")});
    bed.cycle.CheckNow();
    EXPECT_EQ(bed.cycle.tmrIcon.interval(), 500);
    bed.cycle.onIconTick();
    bed.cycle.onIconTick();
    bed.cycle.onIconTick();
    bed.cycle.CheckNow();
    EXPECT_EQ(bed.tray.events, (QStringList {"set 1", "set 0", "set 1", "set 0"}));
    // The frame carries over to the next check.
    EXPECT_EQ(bed.cycle.IconFrame, 1);
}

TEST(CheckCycle, MessagesAwaitingReviewAreAnnouncedOnceAfterTheLastAccount)
{
    CycleBed bed;
    bed.core->settings.AskBeforeDel = true;
    bed.filter.onReview = [&](const MailAccount &account, const QList<ReviewItem> &items) {
        EXPECT_TRUE(bed.core->reviewQueue.replaceAccount(account, items));
    };
    QList<int> pending;
    QObject::connect(&bed.cycle, &CheckCycle::reviewPending, [&](int count) { pending << count; });
    bed.setAccounts(
        {account("POP3", "Home", "pop.home.test"), account("POP3", "Work", "pop.work.test")});
    bed.cycle.CheckNow();
    const QByteArray spam = "Subject: spam\r\n\r\nBuy\r\n";
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(bed.nets.size(), i + 1);
        FakeTransport &net = *bed.nets[i];
        for (const char *reply :
             {"+OK ready\r\n", "+OK\r\n", "+OK in\r\n", "+OK 2 99\r\n", "+OK\r\nTOP\r\n.\r\n",
              "+OK\r\n1 A\r\n2 B\r\n.\r\n", "+OK\r\n1 26\r\n2 26\r\n.\r\n"})
            net.serverSends(reply);
        for (int n = 0; n < 2; ++n)
            net.serverSends("+OK\r\n" + spam + ".\r\n");
        EXPECT_TRUE(net.takeWritten().endsWith("RETR 2\r\nQUIT\r\n"));
        EXPECT_TRUE(pending.isEmpty());
        net.serverSends("+OK bye\r\n");
    }
    EXPECT_FALSE(bed.core->IsChecking);
    EXPECT_EQ(pending, QList<int> {4});
    EXPECT_EQ(bed.notifier.popups,
              (QStringList {"Finished Checking All Account's", "4 messages await your review"}));
    EXPECT_EQ(bed.log().mid(bed.log().size() - 2),
              (QStringList {"Finished Checking All Account's", "4 messages await your review"}));
}

TEST(CheckCycle, TricklingServerIsCutOffAtTheSessionLimitAndTheNextAccountIsChecked)
{
    CycleBed bed;
    bed.core->settings.ConnectionTimeOut = 5;
    bed.core->armTimers();
    bed.setAccounts(
        {account("POP3", "Home", "pop.home.test"), account("POP3", "Work", "pop.work.test")});
    bed.cycle.CheckNow();
    ExtraTimer &clock = bed.cycle.sessionClock;
    const auto loginAndRetr = [](FakeTransport &net) {
        for (const char *reply : {"+OK ready\r\n", "+OK\r\n", "+OK in\r\n", "+OK 1 9999\r\n"})
            net.serverSends(reply);
        net.serverSends("+OK\r\n"); // RETR 1: 41 bytes so far
        EXPECT_EQ(net.takeWritten(), "USER joe\r\nPASS pw\r\nSTAT\r\nRETR 1\r\n");
    };
    FakeTransport &home = *bed.nets[0];
    loginAndRetr(home);
    // 2 KiB of text, then a byte a second, which restarts the connection time-out every
    // time: 4 time-outs of 5 s, and 2 s for the 2,110 bytes received in all.
    home.serverSends(QByteArray(2048, 'a'));
    for (int second = 1; second < 22; ++second) {
        clock.tick();
        home.serverSends("b");
    }
    EXPECT_TRUE(bed.results.isEmpty());
    clock.tick();
    ASSERT_EQ(bed.statuses(), QList<SessionStatus> {SessionStatus::Timeout});
    EXPECT_EQ(bed.results[0].step, "Retrieving");
    EXPECT_FALSE(home.isOpen);
    EXPECT_EQ(home.takeWritten() + home.lostWrites, "");
    EXPECT_TRUE(bed.filter.recorded.isEmpty());
    const QString report = "Home: the server sent only 2110 bytes in 22 seconds, too slowly to go "
                           "on, so the connection to this account was ended.";
    EXPECT_EQ(bed.notifier.popups, QStringList {report});
    EXPECT_TRUE(bed.log().contains(report));
    ASSERT_EQ(bed.nets.size(), 2);
    EXPECT_TRUE(bed.core->IsChecking);

    // A slow but steady 2 KiB a second runs well past the 20 s of grace.
    FakeTransport &work = *bed.nets[1];
    loginAndRetr(work);
    for (int second = 1; second <= 60; ++second) {
        clock.tick();
        work.serverSends(QByteArray(2046, 'x') + "\r\n");
    }
    work.serverSends(".\r\n");
    EXPECT_EQ(work.takeWritten(), "QUIT\r\n");
    work.serverSends("+OK bye\r\n");
    EXPECT_EQ(bed.statuses(), (QList<SessionStatus> {SessionStatus::Timeout, SessionStatus::Ok}));
    EXPECT_FALSE(bed.core->IsChecking);
    EXPECT_FALSE(clock.Enabled());
}

// An account with no mode chosen takes STARTTLS when offered. Once its server has encrypted
// that way, the account keeps STARTTLS: a later check whose offer went missing on the way
// sends no password in clear.
TEST(CheckCycle, AnAccountOnceEncryptedWithStartTlsKeepsIt)
{
    CycleBed bed;
    const MailAccount home = account("POP3", "Home", "pop.home.test");
    bed.setAccounts({home});
    (void)SaveAccountSecurity(*bed.registry, home, {});
    bed.cycle.CheckNow();
    ASSERT_EQ(bed.nets.size(), 1);
    bed.nets[0]->serverSends("+OK ready\r\n");
    bed.nets[0]->serverSends("+OK\r\nSTLS\r\n.\r\n");
    bed.nets[0]->serverSends("+OK Begin TLS\r\n");
    bed.nets[0]->serverEncrypts();
    EXPECT_EQ(LoadAccountSecurity(*bed.registry, home).mode, SecurityMode::StartTls);
    EXPECT_TRUE(bed.log().contains("Home: the server encrypted the connection with STARTTLS, so "
                                   "this account is checked only that way from now on."));
    bed.nets[0]->serverSends("-ERR [AUTH] no\r\n");
    ASSERT_FALSE(bed.core->IsChecking);

    bed.cycle.CheckNow();
    ASSERT_EQ(bed.nets.size(), 2);
    bed.nets[1]->serverSends("+OK ready\r\n");
    EXPECT_EQ(bed.nets[1]->takeWritten(), "CAPA\r\n");
    bed.nets[1]->serverSends("+OK\r\nUSER\r\n.\r\n");
    EXPECT_EQ(bed.statuses().last(), SessionStatus::TlsFailed);
    EXPECT_EQ(bed.nets[1]->takeWritten() + bed.nets[1]->lostWrites, "");
}

// An account with no mode chosen whose server offers no STARTTLS sends no password, and the
// cycle asks the windows to let the user choose; once "None" is chosen, the login goes out.
TEST(CheckCycle, AnAccountWithoutStartTlsWaitsForTheUsersChoice)
{
    CycleBed bed;
    const MailAccount home = account("POP3", "Home", "pop.home.test");
    bed.setAccounts({home});
    (void)SaveAccountSecurity(*bed.registry, home, {});
    QList<QByteArray> asked;
    QObject::connect(&bed.cycle, &CheckCycle::encryptionChoiceNeeded,
                     [&asked](const MailAccount &a) { asked << a.AccountName; });
    bed.cycle.CheckNow();
    ASSERT_EQ(bed.nets.size(), 1);
    bed.nets[0]->serverSends("+OK ready\r\n");
    EXPECT_EQ(bed.nets[0]->takeWritten(), "CAPA\r\n");
    bed.nets[0]->serverSends("+OK\r\nUSER\r\n.\r\n");
    EXPECT_EQ(bed.statuses().last(), SessionStatus::TlsFailed);
    EXPECT_EQ(bed.nets[0]->takeWritten() + bed.nets[0]->lostWrites, "");
    EXPECT_EQ(asked, QList<QByteArray> {"Home"});
    EXPECT_FALSE(LoadAccountSecurity(*bed.registry, home).mode);
    ASSERT_FALSE(bed.core->IsChecking);

    (void)SaveAccountSecurity(*bed.registry, home, {SecurityMode::None, {}});
    bed.cycle.CheckNow();
    ASSERT_EQ(bed.nets.size(), 2);
    bed.nets[1]->serverSends("+OK ready\r\n");
    EXPECT_EQ(bed.nets[1]->takeWritten(), "USER joe\r\n");
    EXPECT_EQ(asked.size(), 1);
}

// An account whose check failed stays listed with why and when until a check of it succeeds;
// a check the user stopped changes nothing.
TEST(CheckCycle, FailedAccountsStayListedUntilTheirNextGoodCheck)
{
    CycleBed bed;
    const MailAccount home = account("POP3", "Home", "pop.home.test");
    bed.setAccounts({home});
    int changes = 0;
    QObject::connect(&bed.cycle, &CheckCycle::problemsChanged, [&changes] { ++changes; });

    bed.cycle.CheckNow();
    ASSERT_EQ(bed.nets.size(), 1);
    bed.nets[0]->serverSends("+OK ready\r\n");
    bed.nets[0]->serverSends("-ERR [AUTH] no\r\n");
    ASSERT_FALSE(bed.core->IsChecking);
    ASSERT_EQ(bed.cycle.problems().list().size(), 1);
    const AccountProblems::Problem &problem = bed.cycle.problems().list().at(0);
    EXPECT_EQ(problem.account, "Home");
    EXPECT_EQ(problem.reason, "the server refused the user name or the password (-ERR [AUTH] no)");
    EXPECT_EQ(problem.at, bed.clock.now());
    EXPECT_EQ(AccountProblems::listText(bed.core->services, bed.cycle.problems().list()),
              "The last check of these accounts failed:\nHome, "
                  + bed.clock.now().toString("yyyy-MM-dd HH:mm")
                  + ": the server refused the user name or the password (-ERR [AUTH] no)");
    EXPECT_EQ(changes, 1);

    bed.cycle.CheckNow();
    ASSERT_EQ(bed.nets.size(), 2);
    bed.nets[1]->serverSends("+OK ready\r\n+OK\r\n+OK\r\n+OK 0 0\r\n");
    bed.nets[1]->serverSends("+OK bye\r\n");
    ASSERT_FALSE(bed.core->IsChecking);
    EXPECT_TRUE(bed.cycle.problems().list().isEmpty());
    EXPECT_EQ(changes, 2);
}
