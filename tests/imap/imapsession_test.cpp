#include "imap/imapsession.h"
#include "session/mailboxcache.h"
#include "store/history.h"
#include "support/sessionbed.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

QByteArray mail(const QByteArray &subject, const QByteArray &body = "Hello\r\n")
{
    return "From: Jo <jo@example.org>\r\nSubject: " + subject + "\r\n\r\n" + body;
}

// The untagged FETCH response with the message as its literal, as Dovecot sends it.
QByteArray fetchData(int n, const QByteArray &message)
{
    return "* " + QByteArray::number(n) + " FETCH (FLAGS (\\Recent) BODY[] {"
        + QByteArray::number(message.size()) + "}\r\n" + message + ")\r\n";
}

constexpr char fetchOk[] = "a654 OK Fetch completed (0.001 + 0.000 secs).\r\n";

QByteArray fetchCommand(int n)
{
    return "a654 FETCH " + QByteArray::number(n) + " (FLAGS BODY.PEEK[])\r\n";
}

MailAccount homeAccount()
{
    MailAccount account;
    account.ServerType = "IMAP";
    account.AccountName = "Home";
    account.UserName = "joe";
    account.Password = "se \"cr\\et";
    account.Port = 143;
    return account;
}

// One IMAP session over a fake connection, with recording services and verdicts.
struct ImapBed : SessionBed
{
    explicit ImapBed(bool notifyNew = false, MailAccount mailAccount = homeAccount())
        : account(std::move(mailAccount))
    {
        services.settings.NotifyNew = notifyNew;
        watch(session);
        session.start(QStringLiteral("imap.example.com"), 143);
    }

    // Greeting, LOGIN and SELECT with the given count; the search, when asked, is left open.
    void login(int count)
    {
        send("* OK [CAPABILITY IMAP4rev1 LITERAL+ AUTH=PLAIN] Dovecot ready.\r\n");
        EXPECT_EQ(net.takeWritten(), "a001 LOGIN \"joe\" \"se \\\"cr\\\\et\"\r\n");
        send("* CAPABILITY IMAP4rev1 SORT\r\na001 OK [CAPABILITY IMAP4rev1] Logged in\r\n");
        EXPECT_EQ(net.takeWritten(), "a142 SELECT INBOX\r\n");
        send("* FLAGS (\\Answered \\Flagged \\Deleted \\Seen \\Draft)\r\n"
             "* OK [PERMANENTFLAGS (\\Deleted \\Seen \\*)] Flags permitted.\r\n* "
             + QByteArray::number(count)
             + " EXISTS\r\n* 0 RECENT\r\n"
               "* OK [UIDVALIDITY 1765000000] UIDs valid\r\n"
               "a142 OK [READ-WRITE] Select completed (0.001 + 0.000 secs).\r\n");
    }
    // The UID fetch of count messages, answered with UID 40 + n for message n.
    // A server without UIDPLUS on which only this check's messages carry \Deleted: the
    // plain EXPUNGE goes out.
    void expungeWithoutUidPlus(const QByteArray &flaggedUids)
    {
        EXPECT_EQ(net.takeWritten(), "a203 CAPABILITY\r\n");
        send("* CAPABILITY IMAP4rev1 LITERAL+\r\na203 OK\r\n");
        EXPECT_EQ(net.takeWritten(), "a205 UID SEARCH DELETED\r\n");
        send("* SEARCH " + flaggedUids + "\r\na205 OK Search completed.\r\n");
        EXPECT_EQ(net.takeWritten(), "a202 EXPUNGE\r\n");
    }
    void giveUids(int count)
    {
        EXPECT_EQ(net.takeWritten(),
                  "a610 FETCH 1:" + QByteArray::number(count) + " (UID RFC822.SIZE)\r\n");
        QByteArray reply;
        for (int n = 1; n <= count; ++n)
            reply += "* " + QByteArray::number(n) + " FETCH (UID " + QByteArray::number(40 + n)
                + ")\r\n";
        send(reply + "a610 OK Fetch completed.\r\n");
    }
    // The FETCHes written since, in order from the last one seen; false when anything else
    // was written.
    bool takeFetches()
    {
        QByteArray written = net.takeWritten();
        while (written.startsWith(fetchCommand(requested + 1))) {
            written.remove(0, fetchCommand(requested + 1).size());
            ++requested;
        }
        EXPECT_EQ(written, "");
        return written.isEmpty();
    }
    // Message n's text and the completion of its FETCH, which is out by now.
    void fetch(int n, const QByteArray &message)
    {
        takeFetches();
        EXPECT_GE(requested, n);
        send(fetchData(n, message) + fetchOk);
    }

    // Several replies in one arrival: the session takes one step per turn of the event loop,
    // and each turn runs only what was queued before it.
    void sendAll(const QByteArray &bytes)
    {
        send(bytes);
        for (int turn = 0; turn < 100; ++turn)
            FakeTransport::runPending();
    }
    int requested = 0; // the FETCHes seen written
    MailAccount account;
    ImapSession session {std::move(ownNet), account, services.settings, services.services, filter};
};

using Recorded = FakeMailboxFilter::Recorded;
using enum MessageStatus;

} // namespace

TEST(ImapSession, FetchesEveryMessageThenFlagsTheSpamExpungesAndCloses)
{
    for (bool isBytewise : {false, true}) {
        SCOPED_TRACE(isBytewise ? "one byte per arrival" : "one reply per arrival");
        ImapBed bed;
        bed.isBytewise = isBytewise;
        EXPECT_EQ(bed.net.host, "imap.example.com");
        EXPECT_EQ(bed.net.port, 143);
        bed.login(3);
        bed.giveUids(3);
        bed.fetch(1, mail("spam one"));
        bed.fetch(2, mail("hello"));
        EXPECT_EQ(bed.filter.checks, 0);
        bed.fetch(3, mail("spam two"));
        EXPECT_EQ(bed.filter.checks, 1);
        // Every message is in the history before the first one is flagged for deletion,
        // pending until the server's expunge confirms it.
        EXPECT_EQ(bed.filter.recorded,
                  (QList<Recorded> {{"Home", "spam one", DeletionPending},
                                    {"Home", "hello", Kept},
                                    {"Home", "spam two", DeletionPending}}));
        EXPECT_EQ(bed.net.takeWritten(), "a005 UID STORE 41 +Flags \\Deleted\r\n");
        bed.send("* 1 FETCH (FLAGS (\\Deleted))\r\na005 OK Store completed.\r\n");
        EXPECT_EQ(bed.net.takeWritten(), "a005 UID STORE 43 +Flags \\Deleted\r\n");
        bed.send("* 3 FETCH (FLAGS (\\Deleted))\r\na005 OK Store completed.\r\n");
        // RFC 4315: UID EXPUNGE removes exactly the messages this check flagged.
        EXPECT_EQ(bed.net.takeWritten(), "a203 CAPABILITY\r\n");
        bed.send("* CAPABILITY IMAP4rev1 UIDPLUS MOVE\r\na203 OK Capability completed.\r\n");
        EXPECT_EQ(bed.net.takeWritten(), "a204 UID EXPUNGE 41,43\r\n");
        EXPECT_EQ(bed.finishedCount, 0);
        bed.send("* 3 EXPUNGE\r\n* 1 EXPUNGE\r\na204 OK Expunge completed.\r\n");
        EXPECT_EQ(bed.net.takeWritten(), "a399 LOGOUT\r\n");
        EXPECT_EQ(bed.filter.recorded,
                  (QList<Recorded> {{"Home", "spam one", Deleted},
                                    {"Home", "hello", Kept},
                                    {"Home", "spam two", Deleted}}));
        EXPECT_EQ(bed.finishedCount, 1);
        EXPECT_EQ(bed.result.status, SessionStatus::Ok);
        EXPECT_FALSE(bed.net.isOpen);
        EXPECT_EQ(bed.session.ImapMessages().Count(), 3);
        EXPECT_EQ(bed.session.ImapMessages().Item(QStringLiteral("2"))->Subject, "hello");
        EXPECT_TRUE(bed.services.notifier.popups.isEmpty());
        // Each deletion the server confirmed is logged.
        EXPECT_EQ(bed.log(),
                  (QStringList {"Home: deleted the message from Jo <jo@example.org>, \"spam one\" "
                                "(Blocked sender).",
                                "Home: deleted the message from Jo <jo@example.org>, \"spam two\" "
                                "(Blocked sender)."}));
        EXPECT_GE(bed.activityCount, 8);
    }
}

TEST(ImapSession, MailboxWithoutSpamIsRecordedAndClosedWithoutExpunge)
{
    ImapBed bed;
    bed.login(1);
    bed.giveUids(1);
    bed.fetch(1, mail("hello"));
    EXPECT_EQ(bed.net.takeWritten(), "a399 LOGOUT\r\n");
    EXPECT_EQ(bed.filter.recorded, (QList<Recorded> {{"Home", "hello", Kept}}));
    EXPECT_EQ(bed.finishedCount, 1);
}

// The parser gets exactly the literal: neither the FETCH line around it, nor words in the
// body that look like the end of the reply cut it short, wherever the arrivals split it.
TEST(ImapSession, MessageTextIsExactlyTheLiteralWhateverTheSplit)
{
    const QByteArray text
        = mail("ok completed", "Fine.\r\na654 OK completed\r\nok fetch completed\r\n");
    // Untagged data between the FETCH response and its tagged reply changes nothing.
    const QByteArray wire
        = fetchData(1, text) + "* 2 EXISTS\r\n* 1 FETCH (FLAGS (\\Recent \\Flagged))\r\n" + fetchOk;
    for (qsizetype cut = 1; cut < wire.size(); ++cut) {
        SCOPED_TRACE("split after byte " + std::to_string(cut));
        ImapBed bed;
        bed.login(1);
        bed.giveUids(1);
        EXPECT_EQ(bed.net.takeWritten(), fetchCommand(1));
        bed.send(wire.first(cut));
        ASSERT_EQ(bed.net.takeWritten(), "");
        bed.send(wire.sliced(cut));
        ASSERT_EQ(bed.net.takeWritten(), "a399 LOGOUT\r\n");
        const CMessage *message = bed.session.ImapMessages().Item(1);
        ASSERT_NE(message, nullptr);
        EXPECT_EQ(message->SIZE, text.size());
        EXPECT_EQ(message->Subject, "ok completed");
        EXPECT_TRUE(message->MessageBody.contains("a654 OK completed<BR>ok fetch completed"))
            << message->MessageBody.constData();
    }
}

TEST(ImapSession, PreauthenticatedGreetingGoesStraightToSelect)
{
    ImapBed bed;
    bed.send("* PREAUTH [CAPABILITY IMAP4rev1] Logged in as joe\r\n");
    EXPECT_EQ(bed.net.takeWritten(), "a142 SELECT INBOX\r\n");
    bed.send("* 1 EXISTS\r\na142 OK [READ-WRITE] Select completed.\r\n");
    bed.giveUids(1);
    bed.fetch(1, mail("hello"));
    EXPECT_EQ(bed.net.takeWritten(), "a399 LOGOUT\r\n");
    EXPECT_EQ(bed.finishedCount, 1);
}

TEST(ImapSession, EmptyInboxIsAnnouncedAndTheMailboxClosed)
{
    for (bool notifyNew : {false, true}) {
        SCOPED_TRACE(notifyNew ? "announcing new mail" : "not announcing new mail");
        ImapBed bed(notifyNew);
        bed.login(0);
        EXPECT_EQ(bed.net.takeWritten(), "a399 LOGOUT\r\n");
        EXPECT_FALSE(bed.net.isOpen);
        EXPECT_EQ(bed.finishedCount, 1);
        EXPECT_EQ(bed.services.notifier.popups,
                  QStringList {"Home, There are no messages in this account."});
        EXPECT_EQ(bed.log(), QStringList {"There are no messages in this account."});
        EXPECT_EQ(bed.filter.checks, 0);
        EXPECT_TRUE(bed.filter.recorded.isEmpty());
    }
}

TEST(ImapSession, NewMessagesAreAnnouncedBeforeTheFirstFetch)
{
    struct Case
    {
        const char *name;
        QByteArray searchReply;
        QStringList popups;
    };
    const Case cases[] = {
        {"two unseen",
         "* SEARCH 1 3\r\na282 OK Search completed (0.001 + 0.000 secs).\r\n",
         {"You have 2  New messages in Home  account."}},
        {"none unseen", "* SEARCH\r\na282 OK Search completed.\r\n", {}},
        {"search refused", "a282 BAD Error in IMAP command SEARCH\r\n", {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ImapBed bed(true);
        bed.login(3);
        EXPECT_EQ(bed.net.takeWritten(), "a282 SEARCH UNSEEN\r\n");
        bed.send(c.searchReply);
        EXPECT_EQ(bed.services.notifier.popups, c.popups);
        bed.giveUids(3);
        EXPECT_EQ(bed.net.takeWritten(), fetchCommand(1) + fetchCommand(2));
        EXPECT_EQ(bed.finishedCount, 0);
        EXPECT_TRUE(bed.log().isEmpty());
    }
}

TEST(ImapSession, NegativeReplyEndsTheSessionWithTheServersLine)
{
    struct Case
    {
        const char *name;
        int stepsBefore; // greeting, LOGIN, SELECT of 2
        QByteArray written; // the last command before the refusal
        QByteArray refusal;
        SessionStatus status;
        const char *step;
    };
    const Case cases[] = {
        {"greeting", 0, "", "* BYE Too many connections, look again later\r\n",
         SessionStatus::ConnectFailed, "Greeting"},
        {"LOGIN, with \"ok\" in its text", 1, "a001 LOGIN \"joe\" \"se \\\"cr\\\\et\"\r\n",
         "a001 NO [AUTHENTICATIONFAILED] Authentication failed, look again.\r\n",
         SessionStatus::AuthRejected, "LoginSent"},
        {"SELECT", 2, "a142 SELECT INBOX\r\n", "a142 NO Mailbox doesn't exist: INBOX\r\n",
         SessionStatus::ProtocolError, "SelectSent"},
    };
    const QByteArray okReplies[] = {"* OK ready\r\n", "a001 OK\r\n"};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ImapBed bed;
        for (int i = 0; i < c.stepsBefore; ++i) {
            bed.net.takeWritten();
            bed.send(okReplies[i]);
        }
        EXPECT_EQ(bed.net.takeWritten(), c.written);
        // A refusal split over two arrivals is judged once, whole.
        const qsizetype half = c.refusal.size() / 2;
        bed.send(c.refusal.first(half));
        EXPECT_EQ(bed.finishedCount, 0);
        bed.send(c.refusal.sliced(half));
        EXPECT_EQ(bed.finishedCount, 1);
        EXPECT_FALSE(bed.net.isOpen);
        EXPECT_EQ(bed.net.takeWritten(), "");
        const QByteArray line
            = c.refusal.sliced(c.refusal.lastIndexOf("\r\n", c.refusal.size() - 3) + 1).trimmed();
        const QByteArray shown = c.refusal.startsWith("* 1") ? line : c.refusal.trimmed();
        EXPECT_EQ(bed.services.notifier.popups,
                  QStringList {"IMAP Error: " + QString::fromLatin1(shown) + "\r\n"});
        EXPECT_EQ(bed.log(), (QStringList {"IMAP Error: " + QString::fromLatin1(shown), ""}));
        EXPECT_EQ(bed.result.status, c.status);
        EXPECT_EQ(bed.result.step, c.step);
        EXPECT_EQ(bed.result.serverText, QString::fromLatin1(shown));
        EXPECT_EQ(bed.filter.checks, 0);
        EXPECT_TRUE(bed.filter.recorded.isEmpty());
    }
}

TEST(ImapSession, RefusedStoreIsReportedAndTheMessageRecordedAsKept)
{
    {
        SCOPED_TRACE("one of two refused");
        ImapBed bed;
        bed.login(2);
        bed.giveUids(2);
        bed.fetch(1, mail("spam a"));
        bed.fetch(2, mail("spam b"));
        EXPECT_EQ(bed.net.takeWritten(), "a005 UID STORE 41 +Flags \\Deleted\r\n");
        bed.send("a005 NO [CANNOT] Mailbox is read-only\r\n");
        EXPECT_EQ(bed.net.takeWritten(), "a005 UID STORE 42 +Flags \\Deleted\r\n");
        bed.send("a005 OK Store completed.\r\n");
        bed.expungeWithoutUidPlus("42");
        EXPECT_EQ(bed.services.notifier.popups,
                  QStringList {"IMAP Error: a005 NO [CANNOT] Mailbox is read-only\r\n"});
        EXPECT_EQ(
            bed.filter.recorded,
            (QList<Recorded> {{"Home", "spam a", Kept}, {"Home", "spam b", DeletionPending}}));
        bed.send("a202 OK Expunge completed.\r\n");
        EXPECT_EQ(bed.filter.recorded,
                  (QList<Recorded> {{"Home", "spam a", Kept}, {"Home", "spam b", Deleted}}));
        EXPECT_EQ(bed.net.takeWritten(), "a399 LOGOUT\r\n");
        EXPECT_EQ(bed.finishedCount, 1);
    }
    {
        SCOPED_TRACE("the only one refused: nothing to expunge");
        ImapBed bed;
        bed.login(1);
        bed.giveUids(1);
        bed.fetch(1, mail("spam a"));
        EXPECT_EQ(bed.net.takeWritten(), "a005 UID STORE 41 +Flags \\Deleted\r\n");
        bed.send("a005 BAD Error in IMAP command\r\n");
        EXPECT_EQ(bed.net.takeWritten(), "a399 LOGOUT\r\n");
        EXPECT_EQ(bed.filter.recorded, (QList<Recorded> {{"Home", "spam a", Kept}}));
        EXPECT_EQ(bed.log(), (QStringList {"IMAP Error: a005 BAD Error in IMAP command", ""}));
        EXPECT_EQ(bed.finishedCount, 1);
    }
}

// The check removes only what it flagged itself: a message that another mail program only
// marked \Deleted stays, since its user may still undo that. CLOSE is never sent.
TEST(ImapSession, RemovesOnlyItsOwnFlaggedMessages)
{
    struct Case
    {
        const char *name;
        QByteArray capabilities; // the reply to a203
        QList<QByteArray> exchange; // command sent, then the server's reply, in turn
        MessageStatus recorded;
        QStringList popups;
    };
    const QString othersFlagged = "Home: other messages of this mailbox are marked deleted too, "
                                  "so the messages to delete were flagged \\Deleted but not "
                                  "expunged, and are recorded as kept.";
    const Case cases[] = {
        {"UIDPLUS: exactly its own",
         "* CAPABILITY IMAP4rev1 UIDPLUS\r\na203 OK\r\n",
         {"a204 UID EXPUNGE 41\r\n", "* 1 EXPUNGE\r\na204 OK\r\n"},
         Deleted,
         {}},
        {"no UIDPLUS, only its own flagged",
         "* CAPABILITY IMAP4rev1\r\na203 OK\r\n",
         {"a205 UID SEARCH DELETED\r\n", "* SEARCH 41\r\na205 OK\r\n", "a202 EXPUNGE\r\n",
          "* 1 EXPUNGE\r\na202 OK\r\n"},
         Deleted,
         {}},
        {"no UIDPLUS, another message flagged too",
         "* CAPABILITY IMAP4rev1\r\na203 OK\r\n",
         {"a205 UID SEARCH DELETED\r\n", "* SEARCH 17 41\r\na205 OK\r\n"},
         Kept,
         {othersFlagged}},
        {"no UIDPLUS, search refused",
         "a203 OK\r\n",
         {"a205 UID SEARCH DELETED\r\n", "a205 BAD not supported\r\n"},
         Kept,
         {othersFlagged}},
        {"capabilities refused: the careful way",
         "a203 NO later\r\n",
         {"a205 UID SEARCH DELETED\r\n", "* SEARCH 41\r\na205 OK\r\n", "a202 EXPUNGE\r\n",
          "a202 OK\r\n"},
         Deleted,
         {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ImapBed bed;
        bed.login(1);
        bed.giveUids(1);
        bed.fetch(1, mail("spam a"));
        EXPECT_EQ(bed.net.takeWritten(), "a005 UID STORE 41 +Flags \\Deleted\r\n");
        bed.send("a005 OK Store completed.\r\n");
        EXPECT_EQ(bed.net.takeWritten(), "a203 CAPABILITY\r\n");
        bed.send(c.capabilities);
        for (qsizetype i = 0; i + 1 < c.exchange.size(); i += 2) {
            EXPECT_EQ(bed.net.takeWritten(), c.exchange.at(i));
            bed.send(c.exchange.at(i + 1));
        }
        EXPECT_EQ(bed.net.takeWritten(), "a399 LOGOUT\r\n");
        EXPECT_EQ(bed.finishedCount, 1);
        EXPECT_EQ(bed.result.status, SessionStatus::Ok);
        EXPECT_EQ(bed.filter.recorded.constLast(), (Recorded {"Home", "spam a", c.recorded}));
        EXPECT_EQ(bed.services.notifier.popups, c.popups);
    }
}

// The flagged messages stay when EXPUNGE is refused, and the history calls them kept.
TEST(ImapSession, RefusedExpungeRecordsTheFlaggedMessagesAsKeptAndEndsWithoutClose)
{
    ImapBed bed;
    bed.login(3);
    bed.giveUids(3);
    bed.fetch(1, mail("spam a"));
    bed.fetch(2, mail("spam b"));
    bed.fetch(3, mail("hello"));
    EXPECT_EQ(bed.net.takeWritten(), "a005 UID STORE 41 +Flags \\Deleted\r\n");
    bed.send("a005 OK Store completed.\r\n");
    EXPECT_EQ(bed.net.takeWritten(), "a005 UID STORE 42 +Flags \\Deleted\r\n");
    bed.send("a005 NO Mailbox is read-only\r\n");
    bed.expungeWithoutUidPlus("41");
    bed.send("a202 NO Expunge failed\r\n");
    EXPECT_EQ(bed.net.takeWritten(), "a399 LOGOUT\r\n");
    EXPECT_EQ(bed.net.lostWrites, "");
    EXPECT_FALSE(bed.net.isOpen);
    EXPECT_EQ(bed.filter.recorded,
              (QList<Recorded> {
                  {"Home", "spam a", Kept}, {"Home", "spam b", Kept}, {"Home", "hello", Kept}}));
    EXPECT_EQ(bed.services.notifier.popups,
              (QStringList {"IMAP Error: a005 NO Mailbox is read-only\r\n",
                            "IMAP Error: a202 NO Expunge failed\r\n",
                            "Home: the server refused EXPUNGE, so the messages are flagged "
                            "\\Deleted but not removed, and recorded as kept."}));
    EXPECT_EQ(bed.finishedCount, 1);
    EXPECT_EQ(bed.result.status, SessionStatus::Ok);
}

// A history that cannot be written must not let a deletion happen unrecorded: nothing is
// flagged, and the queue keeps what it held.
TEST(ImapSession, UnsavedHistoryFlagsNothingAndSaysSo)
{
    for (bool isHolding : {false, true}) {
        SCOPED_TRACE(isHolding ? "ask mode" : "deleting at once");
        ImapBed bed;
        bed.services.settings.AskBeforeDel = isHolding;
        bed.filter.failsToRecord = true;
        bed.login(2);
        bed.giveUids(2);
        bed.fetch(1, mail("spam a"));
        bed.fetch(2, mail("hello"));
        EXPECT_EQ(bed.net.takeWritten(), "a399 LOGOUT\r\n");
        EXPECT_EQ(bed.finishedCount, 1);
        EXPECT_EQ(bed.filter.recorded,
                  (QList<Recorded> {{"Home", "spam a", isHolding ? AwaitingReview : Kept},
                                    {"Home", "hello", Kept}}));
        EXPECT_TRUE(bed.filter.reviews.isEmpty());
        const QString notice = isHolding
            ? "Home: the history could not be saved, so nothing was put up for review on this "
              "account."
            : "Home: the history could not be saved, so nothing was deleted on this account.";
        EXPECT_EQ(bed.services.notifier.popups, QStringList {notice});
        EXPECT_EQ(bed.log(), QStringList {notice});
    }
}

TEST(ImapSession, HangUpOrConnectionErrorEndsTheSessionWithoutDeleting)
{
    {
        SCOPED_TRACE("hang-up in the middle of a message");
        ImapBed bed;
        bed.login(2);
        bed.giveUids(2);
        bed.net.takeWritten();
        bed.send("* 1 FETCH (FLAGS () BODY[] {900}\r\nFrom: a@b.c\r\nSubject: half");
        bed.net.drop();
        EXPECT_EQ(bed.finishedCount, 1);
        EXPECT_EQ(bed.result.status, SessionStatus::ProtocolError);
        EXPECT_EQ(bed.result.step, "Fetching");
        EXPECT_EQ(bed.filter.checks, 0);
        EXPECT_TRUE(bed.filter.recorded.isEmpty());
        EXPECT_TRUE(bed.services.notifier.popups.isEmpty());
        EXPECT_EQ(bed.log(),
                  QStringList {"Home: the server closed the connection during Fetching."});
    }
    {
        SCOPED_TRACE("refused connection: the popup's text keeps its trailing blank");
        ImapBed bed;
        bed.net.fail(0, QStringLiteral("Connection refused"));
        EXPECT_EQ(bed.finishedCount, 1);
        EXPECT_EQ(bed.result.status, SessionStatus::ConnectFailed);
        EXPECT_EQ(bed.result.step, "Greeting");
        EXPECT_EQ(bed.result.serverText, "Connection refused");
        EXPECT_EQ(bed.services.notifier.popups,
                  QStringList {"IMAP Connection Error  0 : Connection refused"});
        EXPECT_EQ(bed.log(), QStringList {"IMAP Connection Error 0 : Connection refused"});
    }
}

TEST(ImapSession, UnusableRepliesAndLoginsAreReportedAsFailures)
{
    struct Case
    {
        const char *name;
        QByteArray password;
        QList<QByteArray> replies; // after the greeting
        QString report;
    };
    const QByteArray loggedIn = "a001 OK Logged in\r\n";
    const Case cases[] = {
        {"a count no mailbox has",
         "pw",
         {loggedIn, "* 20000000 EXISTS\r\na142 OK\r\n"},
         "Error: The server announced 20000000 messages, more than the 10000000 that one check "
         "follows"},
        {"a count beyond 32 bits",
         "pw",
         {loggedIn, "* 4294967296 EXISTS\r\na142 OK\r\n"},
         "Error: The SELECT reply holds no message count: * 4294967296 EXISTS"},
        {"SELECT without a count",
         "pw",
         {loggedIn, "* FLAGS ()\r\na142 OK Select completed.\r\n"},
         "Error: The SELECT reply holds no message count: a142 OK Select completed."},
        {"FETCH without the text",
         "pw",
         {loggedIn, "* 1 EXISTS\r\na142 OK\r\n", "a610 OK\r\n",
          "* 1 FETCH (FLAGS ())\r\na654 OK\r\n"},
         "Error: The server sent no text for message 1"},
        {"an absurd literal",
         "pw",
         {loggedIn, "* 1 EXISTS\r\na142 OK\r\n", "a610 OK\r\n",
          "* 1 FETCH (BODY[] {99999999999}\r\n"},
         "Error: The server announced a literal of more than 1073741824 bytes"},
        {"a password that would end the command",
         "pw\r\na2 DELETE INBOX",
         {},
         "Error: The user name or the password holds a line break"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        MailAccount account = homeAccount();
        account.Password = c.password;
        ImapBed bed(false, account);
        bed.send("* OK ready\r\n");
        for (const QByteArray &reply : c.replies)
            bed.send(reply);
        EXPECT_EQ(bed.finishedCount, 1);
        EXPECT_FALSE(bed.net.isOpen);
        EXPECT_FALSE(bed.net.takeWritten().contains("DELETE"));
        EXPECT_EQ(bed.services.notifier.popups, QStringList {c.report});
        EXPECT_EQ(bed.log(), QStringList {c.report});
        EXPECT_EQ(bed.result.status, SessionStatus::ProtocolError);
        EXPECT_TRUE(bed.filter.recorded.isEmpty());
    }
}

TEST(ImapSession, GetIMAPInboxReadsTheWordBeforeExists)
{
    struct Case
    {
        const char *name;
        QByteArray text;
        std::optional<qint32> count;
    };
    const Case cases[] = {
        {"Dovecot's reply", "* FLAGS (\\Seen)\r\n* 23 EXISTS\r\n* 0 RECENT\r\na142 OK\r\n", 23},
        {"lower case", "* 7 exists\r\n", 7},
        {"past 16 bits", "* 40000 EXISTS\r\n", 40000},
        {"largest count", "* 2147483647 EXISTS\r\n", 2147483647},
        {"no such word", "* FLAGS ()\r\na142 OK\r\n", 0},
        {"the first word", "EXISTS 3", std::nullopt},
        {"not a number", "* many EXISTS", std::nullopt},
        {"beyond 32 bits", "* 2147483648 EXISTS", std::nullopt},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(GetIMAPInbox(c.text), c.count);
    }
}

// A reply that the connection hands over while the session writes its next FETCH waits
// until the handler that writes is done: every text is parsed once, under its own message.
TEST(ImapSession, AReplyHandedOverDuringAWriteWaitsForTheWritingHandler)
{
    ImapBed bed;
    bed.login(3);
    bed.giveUids(3);
    EXPECT_EQ(bed.net.takeWritten(), fetchCommand(1) + fetchCommand(2));
    bed.net.arrivesDuringWrite = fetchData(2, mail("second")) + fetchOk;
    // The first completion sends FETCH 3, and the second arrives inside that write.
    bed.net.serverSends(fetchData(1, mail("first")) + fetchOk);
    bed.net.serverSends(fetchData(3, mail("third")) + fetchOk);
    // The handed-over reply went through one more turn of the event loop.
    FakeTransport::runPending();
    EXPECT_EQ(bed.net.takeWritten(), fetchCommand(3) + "a399 LOGOUT\r\n");
    EXPECT_EQ(bed.filter.checks, 1);
    ASSERT_EQ(bed.session.ImapMessages().Count(), 3);
    for (int p = 1; p <= 3; ++p)
        EXPECT_EQ(bed.session.ImapMessages().Item(p)->Subject,
                  QByteArrayList({"first", "second", "third"}).at(p - 1));
}

TEST(ImapSession, AbortWhileAMessageWaitsToBeParsedSendsNothingMore)
{
    ImapBed bed;
    bed.login(2);
    bed.giveUids(2);
    EXPECT_EQ(bed.net.takeWritten(), fetchCommand(1) + fetchCommand(2));
    // Both FETCHes are out; the parse waits on the event loop.
    bed.net.deliver(fetchData(1, mail("spam a")) + fetchOk);
    EXPECT_EQ(bed.net.takeWritten(), "");
    FakeTransport::runPending();
    // The last message is in; its parse and the verdicts wait when the stop lands.
    bed.net.deliver(fetchData(2, mail("spam b")) + fetchOk);
    bed.session.abort();
    FakeTransport::runPending();
    EXPECT_FALSE(bed.net.isOpen);
    EXPECT_EQ(bed.net.takeWritten(), "");
    EXPECT_EQ(bed.net.lostWrites, "");
    EXPECT_EQ(bed.finishedCount, 0);
    EXPECT_EQ(bed.filter.checks, 0);
    // A late arrival after the stop is ignored, and the next session starts clean.
    bed.net.serverSends("a654 OK\r\n");
    EXPECT_EQ(bed.finishedCount, 0);
    bed.session.start(QStringLiteral("imap.example.com"), 143);
    bed.login(1);
    bed.giveUids(1);
    bed.fetch(1, mail("again"));
    EXPECT_EQ(bed.session.ImapMessages().Count(), 1);
    EXPECT_EQ(bed.filter.recorded, (QList<Recorded> {{"Home", "again", Kept}}));
}

TEST(ImapSession, LogsTheDialogueWithThePasswordMasked)
{
    ProtocolLogCapture capture;
    ImapBed bed;
    bed.login(1);
    bed.giveUids(1);
    bed.fetch(1, mail("hello"));
    const QStringList lines = ProtocolLogCapture::lines();
    EXPECT_TRUE(lines.contains("C: a001 LOGIN \"joe\" ****")) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines.contains("S: * 1 FETCH (FLAGS (\\Recent) BODY[] {52})"));
    EXPECT_EQ(lines.last(), "C: a399 LOGOUT");
    EXPECT_FALSE(lines.join('\n').contains("cr\\\\et"));
}

namespace {

constexpr char noUidValidityNotice[]
    = "Home: This server gives no message ids (UIDVALIDITY): its messages can only be deleted "
      "with \"Ask me before deleting\" off.";

} // namespace

TEST(ImapSession, AskModeNamesTheMessagesByUidAndNeitherFlagsNorExpunges)
{
    for (bool notifyNew : {false, true}) {
        SCOPED_TRACE(notifyNew ? "after the search for new mail" : "straight after SELECT");
        ImapBed bed(notifyNew);
        bed.services.settings.AskBeforeDel = true;
        bed.filter.keptIds = {"Home/1765000000:47"};
        bed.login(3);
        if (notifyNew) {
            EXPECT_EQ(bed.net.takeWritten(), "a282 SEARCH UNSEEN\r\n");
            bed.send("* SEARCH\r\na282 OK Search completed.\r\n");
        }
        EXPECT_EQ(bed.net.takeWritten(), "a610 FETCH 1:3 (UID RFC822.SIZE)\r\n");
        bed.send("* 1 FETCH (UID 41)\r\n* 2 FETCH (FLAGS (\\Seen) UID 42)\r\n"
                 "* 3 FETCH (UID 47)\r\na610 OK Fetch completed.\r\n");
        bed.fetch(1, mail("spam one"));
        bed.fetch(2, mail("hello"));
        bed.fetch(3, mail("spam two"));
        EXPECT_EQ(bed.net.takeWritten(), "a399 LOGOUT\r\n");
        EXPECT_EQ(bed.filter.recorded,
                  (QList<Recorded> {{"Home", "spam one", AwaitingReview},
                                    {"Home", "hello", Kept},
                                    {"Home", "spam two", Kept}}));
        ASSERT_EQ(bed.filter.reviews.size(), 1);
        const QList<ReviewItem> items = bed.filter.reviews.at(0).second;
        ASSERT_EQ(items.size(), 1);
        EXPECT_EQ(items.at(0).serverId, "1765000000:41");
        EXPECT_EQ(items.at(0).Subject, "spam one");
        EXPECT_EQ(bed.finishedCount, 1);
        EXPECT_EQ(bed.result.status, SessionStatus::Ok);
        EXPECT_TRUE(bed.services.notifier.popups.isEmpty());
    }
}

TEST(ImapSession, AskModeWithoutUidsGoesOnDeletesNothingAndSaysWhy)
{
    const QByteArray selectWithoutValidity
        = "* 1 EXISTS\r\na142 OK [READ-WRITE] Select completed.\r\n";
    for (bool hasValidity : {false, true}) {
        SCOPED_TRACE(hasValidity ? "UID fetch refused" : "no UIDVALIDITY");
        ImapBed bed;
        bed.services.settings.AskBeforeDel = true;
        if (hasValidity) {
            bed.login(1);
            EXPECT_EQ(bed.net.takeWritten(), "a610 FETCH 1:1 (UID RFC822.SIZE)\r\n");
            bed.send("a610 BAD Error in IMAP command\r\n");
        } else {
            bed.send("* OK ready\r\n");
            bed.net.takeWritten();
            bed.send("a001 OK Logged in\r\n");
            bed.net.takeWritten();
            bed.send(selectWithoutValidity);
            // The UIDs still come: only they name a message for sure during the check.
            bed.giveUids(1);
        }
        EXPECT_EQ(bed.services.notifier.popups, QStringList {noUidValidityNotice});
        bed.fetch(1, mail("spam"));
        EXPECT_EQ(bed.net.takeWritten(), "a399 LOGOUT\r\n");
        EXPECT_EQ(bed.filter.recorded, (QList<Recorded> {{"Home", "spam", Kept}}));
        EXPECT_TRUE(bed.filter.reviews.isEmpty());
        EXPECT_EQ(bed.result.status, SessionStatus::Ok);
    }
}

TEST(ImapSession, ResponseLineThatNeverEndsEndsTheSessionButLiteralLinesMayBeLong)
{
    const QByteArray longLine = QByteArray(2 << 20, 'x') + "\r\n";
    {
        SCOPED_TRACE("a message line of 2 MiB");
        ImapBed bed;
        bed.login(1);
        bed.giveUids(1);
        bed.fetch(1, mail("long", longLine));
        EXPECT_EQ(bed.net.takeWritten(), "a399 LOGOUT\r\n");
        EXPECT_EQ(bed.filter.recorded, (QList<Recorded> {{"Home", "long", Kept}}));
    }
    {
        SCOPED_TRACE("a response line that never ends");
        ImapBed bed;
        bed.login(1);
        bed.giveUids(1);
        EXPECT_EQ(bed.net.takeWritten(), fetchCommand(1));
        const QByteArray chunk(64 * 1024, 'x');
        bed.send("* 1 FETCH (FLAGS ");
        for (int i = 0; i < 15; ++i)
            bed.send(chunk);
        EXPECT_EQ(bed.finishedCount, 0);
        // Past 1 MiB without a line end: no need to wait for one.
        bed.send(chunk);
        EXPECT_EQ(bed.finishedCount, 1);
        EXPECT_EQ(bed.result.status, SessionStatus::ProtocolError);
        EXPECT_EQ(bed.result.step, "Fetching");
        EXPECT_FALSE(bed.net.isOpen);
        const QString report = "Home: the server sent a line longer than 1048576 bytes, so the "
                               "connection to this account was ended.";
        EXPECT_EQ(bed.log(), QStringList {report});
        EXPECT_EQ(bed.services.notifier.popups, QStringList {report});
        EXPECT_TRUE(bed.filter.recorded.isEmpty());
        bed.send(chunk + "\r\n");
        EXPECT_EQ(bed.finishedCount, 1);
        EXPECT_EQ(bed.net.takeWritten(), "");
    }
}

namespace {

// The inbox of a scripted server: it answers the check's commands, numbering its messages as
// RFC 3501 does, and lets another client expunge a message, or a new message arrive, in the
// reply to one chosen command.
class ServerInbox
{
public:
    struct Message
    {
        quint32 uid = 0;
        QByteArray subject;
        bool isDeleted = false;
    };
    enum class Event { None, Expunge, Arrival };

    explicit ServerInbox(QList<Message> messages)
        : m_messages(std::move(messages))
    {
    }

    // The event comes in the reply to the first command that begins with `command`: before
    // the command is carried out, or after it, just before its tagged reply.
    void schedule(Event event, quint32 uid, QByteArray command, bool isBefore)
    {
        m_event = event;
        m_eventUid = uid;
        m_eventCommand = std::move(command);
        m_isEventBefore = isBefore;
    }
    // The reply to the UID fetch, in place of the messages' UIDs and OK.
    void replaceUidReply(QByteArray data, QByteArray status)
    {
        m_uidData = std::move(data);
        m_uidStatus = std::move(status);
    }

    // The whole reply to one command line.
    QByteArray answer(const QByteArray &line)
    {
        const bool hasEvent = m_event != Event::None && line.startsWith(m_eventCommand);
        QByteArray reply = hasEvent && m_isEventBefore ? happen() : QByteArray();
        const QByteArray tag = line.left(line.indexOf(' '));
        const QByteArray status = carryOut(line.sliced(tag.size() + 1), reply);
        if (hasEvent && !m_isEventBefore)
            reply += happen();
        return reply + tag + ' ' + status + "\r\n";
    }

    QList<quint32> uids() const
    {
        QList<quint32> uids;
        for (const Message &message : m_messages)
            uids << message.uid;
        return uids;
    }
    QList<quint32> flagged; // every UID flagged \Deleted, in order

private:
    QByteArray carryOut(const QByteArray &command, QByteArray &data)
    {
        const QList<QByteArray> words = command.split(' ');
        const QByteArray verb = words.value(0) == "UID" ? "UID " + words.value(1) : words.value(0);
        const int n = words.value(1).toInt();
        if (verb == "FETCH" && command.endsWith("(UID RFC822.SIZE)")) {
            if (!m_uidStatus.isEmpty()) {
                data += m_uidData;
                return m_uidStatus;
            }
            const int last
                = std::min<int>(words.value(1).split(':').value(1).toInt(), int(m_messages.size()));
            for (int i = 1; i <= last; ++i)
                data += "* " + QByteArray::number(i) + " FETCH (UID "
                    + QByteArray::number(m_messages.at(i - 1).uid) + ")\r\n";
            return "OK Fetch completed.";
        }
        if (verb == "FETCH") {
            if (n < 1 || n > m_messages.size())
                return "BAD Error in IMAP command FETCH: Invalid messageset";
            data += fetchData(n, mail(m_messages.at(n - 1).subject));
            return "OK Fetch completed.";
        }
        if (verb == "UID STORE" || verb == "STORE") {
            for (qsizetype i = 0; i < m_messages.size(); ++i) {
                Message &message = m_messages[i];
                if (verb == "UID STORE" ? message.uid == words.value(2).toUInt() : i + 1 == n) {
                    message.isDeleted = true;
                    flagged << message.uid;
                    data += "* " + QByteArray::number(i + 1) + " FETCH (FLAGS (\\Deleted))\r\n";
                }
            }
            return "OK Store completed.";
        }
        if (verb == "CAPABILITY") {
            data += "* CAPABILITY IMAP4rev1 UIDPLUS\r\n";
            return "OK Capability completed.";
        }
        if (verb == "EXPUNGE" || verb == "UID EXPUNGE" || verb == "CLOSE") {
            // RFC 4315 §2.1: UID EXPUNGE removes only the flagged messages of its set; RFC 3501
            // §6.4.2: CLOSE removes every flagged message too, without telling.
            const QList<quint32> only
                = verb == "UID EXPUNGE" ? uidsOf(words.value(2)) : QList<quint32>();
            for (qsizetype i = 0; i < m_messages.size();) {
                const Message &message = m_messages.at(i);
                if (!message.isDeleted || (!only.isEmpty() && !only.contains(message.uid))) {
                    ++i;
                    continue;
                }
                m_messages.removeAt(i);
                if (verb != "CLOSE")
                    data += "* " + QByteArray::number(i + 1) + " EXPUNGE\r\n";
            }
            return "OK Expunge completed.";
        }
        if (verb == "LOGOUT") {
            data += "* BYE Logging out\r\n";
            return "OK Logout completed.";
        }
        return "BAD Error in IMAP command";
    }
    // The UIDs of a set such as "12,14:16".
    static QList<quint32> uidsOf(const QByteArray &set)
    {
        QList<quint32> uids;
        for (const QByteArray &part : set.split(',')) {
            const QList<QByteArray> ends = part.split(':');
            for (quint32 uid = ends.value(0).toUInt(); uid <= ends.constLast().toUInt(); ++uid)
                uids << uid;
        }
        return uids;
    }
    QByteArray happen()
    {
        const Event event = std::exchange(m_event, Event::None);
        if (event == Event::Arrival) {
            m_messages.append({m_eventUid, "spam that came later"});
            return "* " + QByteArray::number(m_messages.size()) + " EXISTS\r\n";
        }
        for (qsizetype i = 0; i < m_messages.size(); ++i) {
            if (m_messages.at(i).uid == m_eventUid) {
                m_messages.removeAt(i);
                return "* " + QByteArray::number(i + 1) + " EXPUNGE\r\n";
            }
        }
        return {};
    }

    QList<Message> m_messages;
    Event m_event = Event::None;
    quint32 m_eventUid = 0;
    QByteArray m_eventCommand;
    bool m_isEventBefore = false;
    QByteArray m_uidData;
    QByteArray m_uidStatus;
};

// The inbox answers every command of the session after the SELECT of its messages, and
// hears the ones sent as the session ends. Gives the commands.
QList<QByteArray> serve(ImapBed &bed, ServerInbox &inbox, int count)
{
    bed.login(count);
    QList<QByteArray> commands;
    while (commands.size() < 100) {
        const QByteArray written = bed.net.takeWritten();
        if (written.isEmpty())
            break;
        for (const QByteArray &line : written.trimmed().split('\n')) {
            commands << line.trimmed();
            const QByteArray reply = inbox.answer(line.trimmed());
            if (bed.net.isOpen)
                bed.sendAll(reply);
        }
    }
    return commands;
}

// Five messages: two of them spam, the other three the user's.
QList<ServerInbox::Message> fourMessages()
{
    return {{11, "spam one"}, {12, "hello"}, {13, "spam two"}, {14, "from a friend"}};
}

} // namespace

// Another client's expunge renumbers the messages after it, wherever the server tells it:
// the check fetches each message that is still there once, flags only the spam it fetched,
// by UID, and the history names what happened to each.
TEST(ImapSession, ExpungeByAnotherClientNeverMakesTheCheckFlagTheWrongMessage)
{
    using Event = ServerInbox::Event;
    struct Case
    {
        const char *name;
        Event event;
        quint32 uid; // expunged, or the new message's
        QByteArray during; // the command whose reply tells it
        bool isBefore; // before the command is carried out, else after it
        QList<quint32> flagged;
        QList<Recorded> recorded;
        QList<quint32> left; // the inbox after the check
    };
    const Case cases[] = {
        {"in the reply to the UID fetch",
         Event::Expunge,
         11,
         "a610",
         false,
         {13},
         {{"Home", "hello", Kept}, {"Home", "spam two", Deleted}, {"Home", "from a friend", Kept}},
         {12, 14}},
        {"before the first FETCH is carried out",
         Event::Expunge,
         11,
         "a654 FETCH 1 ",
         true,
         {13},
         {{"Home", "hello", Kept}, {"Home", "spam two", Deleted}, {"Home", "from a friend", Kept}},
         {12, 14}},
        {"of a fetched message, after the next FETCH",
         Event::Expunge,
         11,
         "a654 FETCH 2 ",
         false,
         {13},
         {{"Home", "spam one", Kept},
          {"Home", "hello", Kept},
          {"Home", "spam two", Deleted},
          {"Home", "from a friend", Kept}},
         {12, 14}},
        {"of a fetched message, before a FETCH is carried out",
         Event::Expunge,
         11,
         "a654 FETCH 3 ",
         true,
         {13},
         {{"Home", "spam one", Kept},
          {"Home", "hello", Kept},
          {"Home", "spam two", Deleted},
          {"Home", "from a friend", Kept}},
         {12, 14}},
        {"of a message not fetched yet, between FETCHes",
         Event::Expunge,
         13,
         "a654 FETCH 2 ",
         false,
         {11},
         {{"Home", "spam one", Deleted}, {"Home", "hello", Kept}, {"Home", "from a friend", Kept}},
         {12, 14}},
        {"of spam still to flag, in the reply to the first STORE",
         Event::Expunge,
         13,
         "a005",
         false,
         {11},
         {{"Home", "spam one", Deleted},
          {"Home", "hello", Kept},
          {"Home", "spam two", Kept},
          {"Home", "from a friend", Kept}},
         {12, 14}},
        {"of a message before the next spam, ahead of the first STORE",
         Event::Expunge,
         12,
         "a005",
         true,
         {11, 13},
         {{"Home", "spam one", Deleted},
          {"Home", "hello", Kept},
          {"Home", "spam two", Deleted},
          {"Home", "from a friend", Kept}},
         {14}},
        {"a new message during the FETCHes waits for the next check",
         Event::Arrival,
         15,
         "a654 FETCH 2 ",
         false,
         {11, 13},
         {{"Home", "spam one", Deleted},
          {"Home", "hello", Kept},
          {"Home", "spam two", Deleted},
          {"Home", "from a friend", Kept}},
         {12, 14, 15}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ImapBed bed;
        ServerInbox inbox(fourMessages());
        inbox.schedule(c.event, c.uid, c.during, c.isBefore);
        const QList<QByteArray> commands = serve(bed, inbox, 4);
        EXPECT_EQ(inbox.flagged, c.flagged) << commands.join('\n').constData();
        EXPECT_EQ(bed.filter.recorded, c.recorded);
        EXPECT_EQ(inbox.uids(), c.left);
        EXPECT_EQ(commands.last(), "a399 LOGOUT");
        EXPECT_EQ(bed.finishedCount, 1);
        EXPECT_EQ(bed.result.status, SessionStatus::Ok);
        EXPECT_TRUE(bed.services.notifier.popups.isEmpty());
    }
}

// Only a UID names a message for sure: a message the server gave none, or the UID of another
// message too, is recorded as kept and never flagged.
TEST(ImapSession, MessageWithoutItsOwnUidIsNeverFlagged)
{
    struct Case
    {
        const char *name;
        QByteArray uidData; // the untagged part of the reply to the UID fetch
        QByteArray uidStatus;
        QList<quint32> flagged;
        QList<Recorded> recorded;
        QList<quint32> left; // the inbox after the check
    };
    const Case cases[] = {
        {"no UID for the first spam",
         "* 1 FETCH (FLAGS ())\r\n* 2 FETCH (UID 12)\r\n* 3 FETCH (UID 13)\r\n* 4 FETCH (UID "
         "14)\r\n",
         "OK Fetch completed.",
         {13},
         {{"Home", "spam one", Kept},
          {"Home", "hello", Kept},
          {"Home", "spam two", Deleted},
          {"Home", "from a friend", Kept}},
         {11, 12, 14}},
        {"the spam given the UID of a friend's message",
         "* 1 FETCH (UID 14)\r\n* 2 FETCH (UID 12)\r\n* 3 FETCH (UID 13)\r\n* 4 FETCH (UID 14)\r\n",
         "OK Fetch completed.",
         {13},
         {{"Home", "spam one", Kept},
          {"Home", "hello", Kept},
          {"Home", "spam two", Deleted},
          {"Home", "from a friend", Kept}},
         {11, 12, 14}},
        {"the UID fetch refused after some UIDs",
         "* 1 FETCH (UID 11)\r\n",
         "NO Fetch failed.",
         {},
         {{"Home", "spam one", Kept},
          {"Home", "hello", Kept},
          {"Home", "spam two", Kept},
          {"Home", "from a friend", Kept}},
         {11, 12, 13, 14}},
    };
    const QString notice = "Home: the server gave no UID for some messages to delete, so they "
                           "were not deleted and are recorded as kept.";
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ImapBed bed;
        ServerInbox inbox(fourMessages());
        inbox.replaceUidReply(c.uidData, c.uidStatus);
        const QList<QByteArray> commands = serve(bed, inbox, 4);
        EXPECT_EQ(inbox.flagged, c.flagged) << commands.join('\n').constData();
        EXPECT_EQ(bed.filter.recorded, c.recorded);
        EXPECT_EQ(inbox.uids(), c.left);
        EXPECT_EQ(bed.services.notifier.popups, QStringList {notice});
        QStringList log {notice};
        for (const Recorded &r : c.recorded)
            if (r.status == Deleted)
                log << "Home: deleted the message from Jo <jo@example.org>, \""
                        + QString::fromUtf8(r.subject) + "\" (Blocked sender).";
        EXPECT_EQ(bed.log(), log);
        EXPECT_EQ(commands.last(), "a399 LOGOUT");
        EXPECT_EQ(bed.result.status, SessionStatus::Ok);
    }
}

namespace {

QByteArray fetchCommands(int first, int last)
{
    QByteArray commands;
    for (int n = first; n <= last; ++n)
        commands += fetchCommand(n);
    return commands;
}

} // namespace

TEST(ImapSession, SeveralFetchesInFlightCompleteInTheOrderSent)
{
    ImapBed bed;
    bed.login(20);
    bed.giveUids(20);
    // Until a text is in, one FETCH waits behind another.
    EXPECT_EQ(bed.session.FetchWindow(), 2);
    EXPECT_EQ(bed.net.takeWritten(), fetchCommands(1, 2));
    // Texts may come before the completion of an earlier FETCH; every FETCH has one tag.
    bed.send(fetchData(1, mail("hello 1")) + fetchData(2, mail("spam two")) + fetchOk);
    EXPECT_EQ(bed.session.FetchWindow(), 16);
    EXPECT_EQ(bed.net.takeWritten(), fetchCommands(3, 17));
    bed.send(fetchOk);
    EXPECT_EQ(bed.net.takeWritten(), fetchCommands(18, 18));
    QByteArray rest;
    for (int n = 3; n <= 20; ++n)
        rest += fetchData(n, mail(n == 9 ? "spam nine" : "hello " + QByteArray::number(n)))
            + fetchOk;
    bed.sendAll(rest);
    EXPECT_EQ(bed.net.takeWritten(),
              fetchCommands(19, 20) + "a005 UID STORE 42 +Flags \\Deleted\r\n");
    bed.send("a005 OK\r\n");
    EXPECT_EQ(bed.net.takeWritten(), "a005 UID STORE 49 +Flags \\Deleted\r\n");
    ASSERT_EQ(bed.filter.recorded.size(), 20);
    EXPECT_EQ(bed.filter.recorded.at(1), (Recorded {"Home", "spam two", DeletionPending}));
    EXPECT_EQ(bed.filter.recorded.at(8), (Recorded {"Home", "spam nine", DeletionPending}));
    EXPECT_EQ(bed.filter.recorded.at(19), (Recorded {"Home", "hello 20", Kept}));
}

// A refusal of one FETCH among several in flight is told and leaves that message alone: it
// is neither judged nor flagged, and the others are flagged by their own UIDs.
TEST(ImapSession, RefusedFetchInFlightLeavesOnlyItsMessageOut)
{
    struct Case
    {
        const char *name;
        int refused;
        QByteArray refusal;
        quint32 flaggedUid;
        QList<Recorded> recorded;
    };
    const Case cases[] = {
        {"NO in the middle",
         2,
         "a654 NO Message is not available\r\n",
         43,
         {{"Home", "hello", Kept}, {"Home", "spam three", Deleted}}},
        {"BAD for the last, after a partial response",
         3,
         "* 3 FETCH (FLAGS ())\r\na654 BAD Internal error\r\n",
         42,
         {{"Home", "hello", Kept}, {"Home", "spam two", Deleted}}},
    };
    const QByteArray subjects[] = {"hello", "spam two", "spam three"};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ImapBed bed;
        bed.login(3);
        bed.giveUids(3);
        EXPECT_EQ(bed.net.takeWritten(), fetchCommands(1, 2));
        QByteArray replies;
        for (int n = 1; n <= 3; ++n)
            replies += n == c.refused ? c.refusal : fetchData(n, mail(subjects[n - 1])) + fetchOk;
        bed.sendAll(replies);
        const QByteArray shown = c.refusal.sliced(c.refusal.indexOf("a654")).trimmed();
        EXPECT_EQ(bed.services.notifier.popups,
                  QStringList {"IMAP Error: " + QString::fromLatin1(shown) + "\r\n"});
        EXPECT_EQ(bed.net.takeWritten(),
                  fetchCommand(3) + "a005 UID STORE " + QByteArray::number(c.flaggedUid)
                      + " +Flags \\Deleted\r\n");
        bed.send("a005 OK\r\n");
        bed.expungeWithoutUidPlus(QByteArray::number(c.flaggedUid));
        bed.send("a202 OK\r\n");
        EXPECT_EQ(bed.filter.recorded, c.recorded);
        EXPECT_EQ(bed.finishedCount, 1);
        EXPECT_EQ(bed.result.status, SessionStatus::Ok);
    }
}

// A stop (or a time-out, which ends the session the same way) with several FETCHes out and
// a literal half read: nothing is judged, recorded or sent, whatever still arrives.
TEST(ImapSession, AbortWithSeveralFetchesInFlightLeavesNothingBehind)
{
    ImapBed bed;
    bed.login(20);
    bed.giveUids(20);
    bed.send(fetchData(1, mail("spam one")) + fetchOk);
    EXPECT_EQ(bed.net.takeWritten(), fetchCommands(1, 17));
    const QByteArray second = fetchData(2, mail("spam two")) + fetchOk;
    bed.send(second.first(40));
    bed.session.abort();
    FakeTransport::runPending();
    EXPECT_FALSE(bed.net.isOpen);
    bed.net.serverSends(second.sliced(40) + fetchData(3, mail("spam three")) + fetchOk);
    EXPECT_EQ(bed.net.takeWritten(), "");
    EXPECT_EQ(bed.net.lostWrites, "");
    EXPECT_EQ(bed.finishedCount, 0);
    EXPECT_EQ(bed.filter.checks, 0);
    EXPECT_TRUE(bed.filter.recorded.isEmpty());
}

// Servers may give a UID again under the same UIDVALIDITY. A message the cache holds is taken
// from it only under the same UID and RFC822.SIZE, and flagged only when its headers are
// the ones it was judged with; another message under the UID is not flagged on the old
// verdict, and the cache lets it go, so that the next check fetches and judges it.
TEST(ImapSession, ACachedVerdictIsUsedOnlyForTheMessageItWasMadeOn)
{
    const QByteArray judged = mail("spam from before");
    const QByteArray judgedSize = QByteArray::number(judged.size());
    const auto headers = [](const QByteArray &fields) {
        return "* 1 FETCH (UID 41 BODY[HEADER.FIELDS (MESSAGE-ID DATE FROM SUBJECT)] {"
            + QByteArray::number(fields.size() + 2) + "}\r\n" + fields + "\r\n)\r\n";
    };
    const QByteArray sameHeaders
        = headers("From: Jo <jo@example.org>\r\nSubject: spam from before\r\n");
    const QByteArray otherHeaders = headers("From: Ann <ann@example.org>\r\nSubject: spam too\r\n");
    struct Case
    {
        const char *name;
        QByteArray size; // RFC822.SIZE of UID 41 now
        QByteArray fetched; // the text FETCH 1 gives, or empty when the cache gives it
        QByteArray verify; // the reply to the header fetch, or empty when none is asked for
        bool isFlagged;
        bool isKeptInCache;
    };
    const Case cases[] = {
        {"the same message", judgedSize, {}, sameHeaders + "a611 OK\r\n", true, true},
        {"another size: fetched as new", "9999", mail("hello from a friend"), {}, false, true},
        {"same size, other headers", judgedSize, {}, otherHeaders + "a611 OK\r\n", false, false},
        {"the header fetch refused", judgedSize, {}, "a611 NO busy\r\n", false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ImapBed bed;
        const QString dataDir = bed.services.dir.path();
        const CacheAccount key {bed.account.ServerType, bed.account.MailServer, bed.account.Port,
                                bed.account.UserName};
        const CacheIdKind kind {CacheIdKind::ImapUid, 1765000000};
        {
            MessageCache earlier(dataDir, bed.services.services, key);
            earlier.load();
            ASSERT_TRUE(earlier.useIds(kind));
            ASSERT_TRUE(earlier.add("41", judged, judged.size(), {}, "rules"));
            ASSERT_TRUE(earlier.update({"41"}));
        }
        std::unique_ptr<MailboxCache> cache;
        bed.filter.cacheFor = [&](const MailAccount &account) {
            cache = std::make_unique<MailboxCache>(dataDir, bed.services.services, account,
                                                   [] { return QByteArray("rules"); });
            return cache.get();
        };
        bed.login(1);
        EXPECT_EQ(bed.net.takeWritten(), "a610 FETCH 1:1 (UID RFC822.SIZE)\r\n");
        bed.send("* 1 FETCH (UID 41 RFC822.SIZE " + c.size + ")\r\na610 OK\r\n");
        if (!c.fetched.isEmpty())
            bed.fetch(1, c.fetched);
        if (!c.verify.isEmpty()) {
            EXPECT_EQ(bed.net.takeWritten(),
                      "a611 UID FETCH 41 (BODY.PEEK[HEADER.FIELDS "
                      "(MESSAGE-ID DATE FROM SUBJECT)])\r\n");
            bed.send(c.verify);
        }
        if (c.isFlagged) {
            EXPECT_EQ(bed.net.takeWritten(), "a005 UID STORE 41 +Flags \\Deleted\r\n");
            bed.send("a005 OK\r\n");
            EXPECT_EQ(bed.net.takeWritten(), "a203 CAPABILITY\r\n");
            bed.send("* CAPABILITY IMAP4rev1 UIDPLUS\r\na203 OK\r\n");
            EXPECT_EQ(bed.net.takeWritten(), "a204 UID EXPUNGE 41\r\n");
            bed.send("a204 OK\r\n");
        }
        EXPECT_EQ(bed.net.takeWritten(), "a399 LOGOUT\r\n");
        EXPECT_EQ(bed.result.status, SessionStatus::Ok);
        EXPECT_EQ(bed.services.notifier.popups.size(), c.isKeptInCache ? 0 : 1);
        // As the history's filter does once the mailbox is recorded.
        const History history(dataDir, bed.services.services, bed.services.clock);
        cache->commit(bed.session.ImapMessages(), history);
        MessageCache after(dataDir, bed.services.services, key);
        after.load();
        ASSERT_TRUE(after.useIds(kind));
        EXPECT_EQ(after.find("41").has_value(), c.isKeptInCache);
    }
}
