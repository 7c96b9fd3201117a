#include "e2ebed.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

// The IMAP port of the shared server, from the "env" file of its folder.
quint16 imapPort(const MailServer &server)
{
    QFile env(server.folder() + QStringLiteral("/env"));
    if (!env.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : env.readAll().split('\n')) {
        if (line.startsWith("IMAP_PORT="))
            return quint16(line.mid(10).toUInt());
    }
    return 0;
}

// The maildir flags of the user's messages ("" for an unread one), in their order.
QStringList maildirFlags(const MailServer &server, const QString &user)
{
    QStringList flags;
    for (const char *sub : {"cur", "new"}) {
        const QDir dir(server.folder() + QStringLiteral("/mail/") + user + QLatin1Char('/')
                       + QLatin1String(sub));
        for (const QString &file : dir.entryList(QDir::Files, QDir::Name))
            flags << file.section(QStringLiteral(":2,"), 1);
    }
    return flags;
}

// Loaded messages arrive read; this makes them unread again before any session sees them.
bool markUnread(const MailServer &server, const QString &user)
{
    const QDir cur(server.folder() + QStringLiteral("/mail/") + user + QStringLiteral("/cur"));
    for (const QString &file : cur.entryList(QDir::Files)) {
        if (file.endsWith(QStringLiteral(":2,S"))
            && !QFile::rename(cur.filePath(file), cur.filePath(file.chopped(1))))
            return false;
    }
    return true;
}

} // namespace

TEST(ImapCheckE2e, SpamIsExpungedEveryMessageRecordedAndUnreadMailStaysUnread)
{
    E2eBed bed;
    ASSERT_TRUE(bed.server.isRunning());
    const quint16 port = imapPort(bed.server);
    ASSERT_NE(port, 0);
    const QList<QByteArray> ham {
        mail("alice@example.org", "Lunch on Friday",
             "See you at noon.\r\nok completed\r\nAlice\r\n"),
        mail("bob@example.org", "Minutes", "a654 OK Fetch completed.\r\n"),
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
    ASSERT_TRUE(bed.server.addUser("e2e-imap-spam", "pa\\ss \"word\""));
    ASSERT_TRUE(bed.server.load("e2e-imap-spam", mailbox));
    ASSERT_TRUE(markUnread(bed.server, "e2e-imap-spam"));
    bed.core->settings.NotifyNew = true;
    bed.setAccounts({account("IMAP", "Mail", "e2e-imap-spam", "pa\\ss \"word\"", port)});

    ASSERT_TRUE(bed.check());

    EXPECT_EQ(bed.server.inbox("e2e-imap-spam"), ham);
    EXPECT_EQ(maildirFlags(bed.server, "e2e-imap-spam"), (QStringList {"", "", ""}));
    EXPECT_EQ(bed.history(),
              (QStringList {"Lunch on Friday 70044 10152 Mail", "Great offer 70043 10155 Mail",
                            "Your luck 70043 10154 Mail", "Minutes 70044 10152 Mail",
                            "Weekly offers 70044 10152 Mail", "Weekly offers 70043 10161 Mail"}));
    EXPECT_EQ(
        bed.log(),
        (QStringList {
            "Begin checking mail accounts", "Begin Checking  Mail  Account",
            "Mail: 6 fetched, 0 from the cache.",
            "Mail: deleted the message from <promo@spam.test>, \"Great offer\" (Blocked sender).",
            "Mail: deleted the message from <carol@example.net>, \"Your luck\" (Spam words).",
            "Mail: deleted the message from <news@shop.test>, \"Weekly offers\" (Repeated "
            "message).",
            "Finished Checking All Account's"}));
    EXPECT_EQ(
        bed.notifier.popups,
        (QStringList {"You have 6  New messages in Mail  account.",
                      "3 spam messages will be deleted!", "Finished Checking All Account's"}));
    // The saved copy is the whole message: the words that look like the end of the reply
    // did not cut it.
    QFile copy(bed.core->history.mailPath(bed.core->history.at(1).MailNumber));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_TRUE(copy.readAll().contains("noon.<BR>ok completed<BR>Alice"));
}

TEST(ImapCheckE2e, MixedAccountsAreCheckedInOrderPastAWrongPassword)
{
    E2eBed bed;
    ASSERT_TRUE(bed.server.isRunning());
    const quint16 port = imapPort(bed.server);
    ASSERT_NE(port, 0);
    ASSERT_TRUE(bed.server.addUser("e2e-imap-locked", "right"));
    ASSERT_TRUE(
        bed.server.load("e2e-imap-locked", {mail("promo@spam.test", "Locked offer", "x\r\n")}));
    ASSERT_TRUE(bed.server.addUser("e2e-mixed-pop", "pw"));
    ASSERT_TRUE(bed.server.load("e2e-mixed-pop", {mail("promo@spam.test", "Pop offer", "x\r\n")}));
    ASSERT_TRUE(bed.server.addUser("e2e-imap-empty", "pw"));
    ASSERT_TRUE(bed.server.addUser("e2e-imap-open", "pw"));
    ASSERT_TRUE(bed.server.load("e2e-imap-open",
                                {mail("alice@example.org", "Hello", "x\r\n"),
                                 mail("promo@spam.test", "Imap offer", "x\r\n")}));
    bed.core->settings.NotifyNew = false;
    bed.setAccounts({account("IMAP", "Locked", "e2e-imap-locked", "wrong", port),
                     account("POP3", "Pop", "e2e-mixed-pop", "pw", bed.server.pop3Port()),
                     account("IMAP", "Empty", "e2e-imap-empty", "pw", port),
                     account("IMAP", "Open", "e2e-imap-open", "pw", port)});

    ASSERT_TRUE(bed.check());

    EXPECT_EQ(
        bed.log(),
        (QStringList {
            "Begin checking mail accounts", "Begin Checking  Locked  Account",
            "IMAP Error: a001 NO [AUTHENTICATIONFAILED] Authentication failed.", "",
            "Finished checking  Locked  Account", "Begin checking  Pop  Account",
            "Pop: 1 fetched, 0 from the cache.",
            "Pop: deleted the message from <promo@spam.test>, \"Pop offer\" (Blocked sender).",
            "Finished checking  Pop  Account", "Begin checking  Empty  Account",
            "There are no messages in this account.", "Finished checking  Empty  Account",
            "Begin checking  Open  Account", "Open: 2 fetched, 0 from the cache.",
            "Open: deleted the message from <promo@spam.test>, \"Imap offer\" (Blocked sender).",
            "Finished Checking All Account's"}));
    EXPECT_TRUE(bed.notifier.popups.contains("Empty, There are no messages in this account."));
    EXPECT_EQ(bed.server.inbox("e2e-imap-locked").size(), 1);
    EXPECT_TRUE(bed.server.inbox("e2e-mixed-pop").isEmpty());
    EXPECT_EQ(bed.server.inbox("e2e-imap-open"),
              QList<QByteArray> {mail("alice@example.org", "Hello", "x\r\n")});
    EXPECT_EQ(bed.history(),
              (QStringList {"Pop offer 70043 10155 Pop", "Hello 70044 10152 Open",
                            "Imap offer 70043 10155 Open"}));
    EXPECT_EQ(bed.statuses,
              (QList<SessionStatus> {SessionStatus::AuthRejected, SessionStatus::Ok,
                                     SessionStatus::Ok, SessionStatus::Ok}));
}

TEST(ImapCheckE2e, RefusedConnectionIsReportedAndSilentServerEndsInTheTimeOut)
{
    E2eBed bed;
    ASSERT_TRUE(bed.server.isRunning());
    const quint16 port = imapPort(bed.server);
    ASSERT_NE(port, 0);
    // Accepts and never answers.
    SilentServer silent;
    ASSERT_TRUE(silent.listen());
    // Refuses: a port that was just free.
    const quint16 closedPort = refusingPort();
    ASSERT_NE(closedPort, 0);
    ASSERT_TRUE(bed.server.addUser("e2e-imap-after", "pw"));
    ASSERT_TRUE(
        bed.server.load("e2e-imap-after", {mail("promo@spam.test", "Still here", "x\r\n")}));
    bed.core->settings.ConnectionTimeOut = 2;
    bed.core->armTimers();
    bed.setAccounts({account("IMAP", "Closed", "joe", "pw", closedPort),
                     account("IMAP", "Silent", "joe", "pw", silent.port()),
                     account("IMAP", "After", "e2e-imap-after", "pw", port)});

    ASSERT_TRUE(bed.check(20));

    EXPECT_EQ(silent.accepted.size(), 1);
    EXPECT_EQ(bed.statuses,
              (QList<SessionStatus> {SessionStatus::ConnectFailed, SessionStatus::Timeout}));
    EXPECT_EQ(bed.log(),
              (QStringList {"Begin checking mail accounts", "Begin Checking  Closed  Account",
                            "IMAP Connection Error 0 : Connection refused",
                            "Finished checking  Closed  Account", "Begin checking  Silent  Account",
                            "Connection Time Out, Checking has been cancelled."}));
    EXPECT_EQ(bed.notifier.popups,
              (QStringList {"IMAP Connection Error  0 : Connection refused",
                            "Connection Time Out, Checking has been cancelled."}));
    EXPECT_TRUE(bed.history().isEmpty());
    EXPECT_EQ(bed.server.inbox("e2e-imap-after").size(), 1);
}

TEST(ImapCheckE2e, AskModeLeavesTheInboxAloneAndQueuesTheSpamByUid)
{
    E2eBed bed;
    ASSERT_TRUE(bed.server.isRunning());
    const quint16 port = imapPort(bed.server);
    ASSERT_NE(port, 0);
    bed.core->settings.AskBeforeDel = true;
    bed.core->settings.NotifyNew = false;
    const QList<QByteArray> mailbox {
        mail("promo@spam.test", "Great offer", "Buy now.\r\n"),
        mail("alice@example.org", "Lunch on Friday", "See you at noon.\r\n"),
        mail("carol@example.net", "Your luck", "Visit our casino tonight.\r\n"),
    };
    ASSERT_TRUE(bed.server.addUser("e2e-imap-ask", "pw"));
    ASSERT_TRUE(bed.server.load("e2e-imap-ask", mailbox));
    ASSERT_TRUE(markUnread(bed.server, "e2e-imap-ask"));
    const QStringList flags = maildirFlags(bed.server, "e2e-imap-ask");
    bed.setAccounts({account("IMAP", "Mail", "e2e-imap-ask", "pw", port)});

    ASSERT_TRUE(bed.check());

    EXPECT_EQ(bed.server.inbox("e2e-imap-ask"), mailbox);
    EXPECT_EQ(maildirFlags(bed.server, "e2e-imap-ask"), flags);
    const QList<QByteArray> ids = bed.server.imapIds("e2e-imap-ask");
    ASSERT_EQ(ids.size(), 3);
    EXPECT_EQ(bed.history(),
              (QStringList {"Great offer 280007 10155 Mail", "Lunch on Friday 70044 10152 Mail",
                            "Your luck 280007 10154 Mail"}));
    EXPECT_EQ(bed.queued(),
              (QStringList {QString::fromUtf8(ids[0] + " Great offer"),
                            QString::fromUtf8(ids[2] + " Your luck")}));
    EXPECT_EQ(bed.notifier.popups.last(), "2 messages await your review");
    EXPECT_EQ(bed.statuses, QList<SessionStatus> {SessionStatus::Ok});
}

// A message that another mail program only marked \Deleted is that program's user's to undo
// or expunge: a check removes exactly what it flagged itself, in ask mode nothing at all.
TEST(ImapCheckE2e, AnotherProgramsDeletedMarkSurvivesTheCheck)
{
    E2eBed bed;
    ASSERT_TRUE(bed.server.isRunning());
    const quint16 port = imapPort(bed.server);
    ASSERT_NE(port, 0);
    const QByteArray spam = mail("promo@spam.test", "Great offer", "Buy now.\r\n");
    const QByteArray marked = mail("alice@example.org", "Old lunch", "Undo me.\r\n");
    for (bool isAsking : {false, true}) {
        SCOPED_TRACE(isAsking ? "ask mode" : "delete mode");
        const QString user
            = isAsking ? QStringLiteral("e2e-imap-marked-ask") : QStringLiteral("e2e-imap-marked");
        ASSERT_TRUE(bed.server.addUser(user, "pw"));
        ASSERT_TRUE(bed.server.load(user, {spam, marked}));
        // Maildir's "T" is IMAP's \Deleted: set as another program would, before any check.
        const QDir cur(bed.server.folder() + QStringLiteral("/mail/") + user
                       + QStringLiteral("/cur"));
        const QStringList files = cur.entryList(QDir::Files, QDir::Name);
        ASSERT_EQ(files.size(), 2);
        ASSERT_TRUE(QFile::rename(
            cur.filePath(files[1]),
            cur.filePath(files[1].section(QStringLiteral(":2,"), 0, 0) + QStringLiteral(":2,ST"))));
        bed.core->settings.AskBeforeDel = isAsking;
        bed.setAccounts({account("IMAP", "Mail", user.toUtf8(), "pw", port)});

        ASSERT_TRUE(bed.check());

        const QList<QByteArray> left
            = isAsking ? QList<QByteArray> {spam, marked} : QList<QByteArray> {marked};
        EXPECT_EQ(bed.server.inbox(user), left);
        EXPECT_TRUE(maildirFlags(bed.server, user).constLast().contains(QLatin1Char('T')));
    }
}
