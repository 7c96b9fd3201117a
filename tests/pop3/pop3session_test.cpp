#include "message/messageidentity.h"
#include "pop3/pop3session.h"
#include "session/mailboxcache.h"
#include "store/history.h"
#include "support/recordingdialogueclient.h"
#include "support/sessionbed.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

namespace {

QByteArray mail(const QByteArray &subject, const QByteArray &body = "Hello\r\n")
{
    return "From: Jo <jo@example.org>\r\nSubject: " + subject + "\r\n\r\n" + body;
}

QByteArray retrReply(const QByteArray &message)
{
    return "+OK " + QByteArray::number(message.size()) + " octets\r\n" + message + ".\r\n";
}

MailAccount homeAccount()
{
    MailAccount account;
    account.ServerType = "POP3";
    account.AccountName = "Home";
    account.UserName = "joe";
    account.Password = "se cret";
    account.Port = 110;
    return account;
}

// One POP3 session over a fake connection, with recording services and verdicts.
struct Pop3Bed : SessionBed
{
    Pop3Bed()
    {
        watch(session);
        session.start(QStringLiteral("pop.example.com"), 110);
    }

    // Greeting, USER, PASS and STAT with the given count; with more than one message, CAPA
    // answered with the given reply (by default without PIPELINING).
    void login(int count, const QByteArray &capa = "+OK\r\nTOP\r\nUIDL\r\n.\r\n",
               const QByteArray &octets = "4096")
    {
        send("+OK POP3 ready\r\n");
        EXPECT_EQ(net.takeWritten(), "USER joe\r\n");
        send("+OK\r\n");
        EXPECT_EQ(net.takeWritten(), "PASS se cret\r\n");
        send("+OK Logged in.\r\n");
        EXPECT_EQ(net.takeWritten(), "STAT\r\n");
        send("+OK " + QByteArray::number(count) + ' ' + octets + "\r\n");
        if (count > 1) {
            EXPECT_EQ(net.takeWritten(), "CAPA\r\n");
            send(capa);
        }
    }

    // Several replies in one arrival: the session takes one step per turn of the event loop,
    // and each turn runs only what was queued before it.
    void sendAll(const QByteArray &bytes)
    {
        send(bytes);
        for (int turn = 0; turn < 100; ++turn)
            FakeTransport::runPending();
    }
    MailAccount account = homeAccount();
    Pop3Session session {std::move(ownNet), account, services.settings, services.services, filter};
};

using Recorded = FakeMailboxFilter::Recorded;
using enum MessageStatus;

} // namespace

TEST(Pop3Session, FetchesEveryMessageThenDeletesTheSpamAndQuits)
{
    for (bool isBytewise : {false, true}) {
        SCOPED_TRACE(isBytewise ? "one byte per arrival" : "one reply per arrival");
        Pop3Bed bed;
        bed.isBytewise = isBytewise;
        EXPECT_EQ(bed.net.host, "pop.example.com");
        EXPECT_EQ(bed.net.port, 110);
        bed.login(3);
        EXPECT_EQ(bed.net.takeWritten(), "RETR 1\r\n");
        bed.send(retrReply(mail("hello")));
        EXPECT_EQ(bed.net.takeWritten(), "RETR 2\r\n");
        bed.send(retrReply(mail("spam one")));
        EXPECT_EQ(bed.net.takeWritten(), "RETR 3\r\n");
        EXPECT_EQ(bed.filter.checks, 0);
        bed.send(retrReply(mail("spam two")));
        EXPECT_EQ(bed.filter.checks, 1);
        EXPECT_EQ(bed.net.takeWritten(), "DELE 2\r\n");
        bed.send("+OK Marked to be deleted.\r\n");
        EXPECT_EQ(bed.net.takeWritten(), "DELE 3\r\n");
        EXPECT_TRUE(bed.filter.recorded.isEmpty());
        bed.send("+OK Marked to be deleted.\r\n");
        // Every message is in the history before QUIT makes the deletions final; until the
        // server confirms them they are pending.
        EXPECT_EQ(bed.filter.recorded,
                  (QList<Recorded> {{"Home", "hello", Kept},
                                    {"Home", "spam one", DeletionPending},
                                    {"Home", "spam two", DeletionPending}}));
        EXPECT_EQ(bed.net.takeWritten(), "QUIT\r\n");
        EXPECT_EQ(bed.finishedCount, 0);
        bed.send("+OK Logging out, messages deleted.\r\n");
        EXPECT_EQ(bed.filter.recorded,
                  (QList<Recorded> {{"Home", "hello", Kept},
                                    {"Home", "spam one", Deleted},
                                    {"Home", "spam two", Deleted}}));
        EXPECT_EQ(bed.finishedCount, 1);
        EXPECT_EQ(bed.result.status, SessionStatus::Ok);
        EXPECT_FALSE(bed.net.isOpen);
        EXPECT_EQ(bed.session.Pop3Messages().Count(), 3);
        EXPECT_EQ(bed.session.Pop3Messages().Item(QStringLiteral("2"))->Subject, "spam one");
        EXPECT_TRUE(bed.services.notifier.popups.isEmpty());
        EXPECT_GE(bed.activityCount, 10);
    }
}

TEST(Pop3Session, MailboxWithoutSpamIsRecordedAndLeftAlone)
{
    Pop3Bed bed;
    bed.login(1);
    EXPECT_EQ(bed.net.takeWritten(), "RETR 1\r\n");
    bed.send(retrReply(mail("hello")));
    EXPECT_EQ(bed.net.takeWritten(), "QUIT\r\n");
    EXPECT_EQ(bed.filter.recorded, (QList<Recorded> {{"Home", "hello", Kept}}));
    bed.send("+OK bye\r\n");
    EXPECT_EQ(bed.finishedCount, 1);
}

TEST(Pop3Session, MessageTextIsHandedOverUnstuffedAndWhole)
{
    Pop3Bed bed;
    bed.login(1);
    bed.net.takeWritten();
    const QByteArray text = mail("dots", "First\r\n.\r\n..two\r\nLast\r\n");
    QByteArray stuffed = text;
    stuffed.replace("\r\n.", "\r\n..");
    // The end line arrives split, and right behind it comes nothing else.
    const QByteArray wire = retrReply(stuffed);
    bed.net.serverSends(wire.first(wire.size() - 2));
    EXPECT_EQ(bed.net.takeWritten(), "");
    bed.net.serverSends(wire.last(2));
    EXPECT_EQ(bed.net.takeWritten(), "QUIT\r\n");
    const CMessage *message = bed.session.Pop3Messages().Item(1);
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(message->SIZE, text.size());
    EXPECT_TRUE(message->MessageBody.contains("First<BR>.<BR>..two<BR>Last"))
        << message->MessageBody.constData();
}

TEST(Pop3Session, EmptyMailboxIsAnnouncedAndTheSessionEnds)
{
    Pop3Bed bed;
    bed.login(0);
    EXPECT_EQ(bed.net.takeWritten(), "QUIT\r\n");
    EXPECT_FALSE(bed.net.isOpen);
    EXPECT_EQ(bed.finishedCount, 1);
    EXPECT_EQ(bed.result.status, SessionStatus::Ok);
    EXPECT_EQ(bed.services.notifier.popups,
              QStringList {"Home ,There are no messages in this account."});
    EXPECT_EQ(bed.log(), QStringList {"There are no messages in this account."});
    EXPECT_EQ(bed.filter.checks, 0);
    EXPECT_TRUE(bed.filter.recorded.isEmpty());
}

TEST(Pop3Session, NegativeReplyEndsTheSessionWithTheServersLine)
{
    struct Case
    {
        const char *name;
        int okRepliesBefore; // greeting, USER, PASS, STAT, RETR 1 status
        QByteArray written; // the last command before the refusal
        SessionStatus status;
        const char *step;
    };
    const Case cases[] = {
        {"greeting", 0, "", SessionStatus::ConnectFailed, "Greeting"},
        {"USER", 1, "USER joe\r\n", SessionStatus::AuthRejected, "UserSent"},
        {"PASS", 2, "PASS se cret\r\n", SessionStatus::AuthRejected, "PassSent"},
        {"STAT", 3, "STAT\r\n", SessionStatus::ProtocolError, "StatSent"},
        {"RETR", 4, "RETR 1\r\n", SessionStatus::ProtocolError, "Retrieving"},
    };
    const QByteArray okReplies[] = {"+OK ready\r\n", "+OK\r\n", "+OK in\r\n", "+OK 1 99\r\n"};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Pop3Bed bed;
        for (int i = 0; i < c.okRepliesBefore; ++i) {
            bed.net.takeWritten();
            bed.send(okReplies[i]);
        }
        EXPECT_EQ(bed.net.takeWritten(), c.written);
        // A refusal split over two arrivals is judged once, whole.
        bed.send("-ERR [AUTH] Authenti");
        EXPECT_EQ(bed.finishedCount, 0);
        bed.send("cation failed.\r\n");
        EXPECT_EQ(bed.finishedCount, 1);
        EXPECT_EQ(bed.result.status, c.status);
        EXPECT_EQ(bed.result.step, c.step);
        EXPECT_EQ(bed.result.serverText, "-ERR [AUTH] Authentication failed.");
        EXPECT_FALSE(bed.net.isOpen);
        EXPECT_EQ(bed.net.takeWritten(), "");
        EXPECT_EQ(bed.services.notifier.popups,
                  QStringList {"POP3 Error:-ERR [AUTH] Authentication failed.\r\n"});
        EXPECT_EQ(bed.log(), (QStringList {"POP3 Error:-ERR [AUTH] Authentication failed.", ""}));
        EXPECT_TRUE(bed.filter.recorded.isEmpty());
    }
}

// A server's bell or terminal escape never reaches the log or the popup as it is.
TEST(Pop3Session, ControlBytesOfARefusalAreShownEscaped)
{
    Pop3Bed bed;
    bed.send("-ERR \a\x1b[2Jgone\rfake\r\n");
    EXPECT_EQ(bed.finishedCount, 1);
    EXPECT_EQ(bed.result.serverText, "-ERR \\x07\\x1B[2Jgone\\x0Dfake");
    EXPECT_EQ(bed.services.notifier.popups,
              QStringList {"POP3 Error:-ERR \\x07\\x1B[2Jgone\\x0Dfake\r\n"});
    EXPECT_EQ(bed.log(), (QStringList {"POP3 Error:-ERR \\x07\\x1B[2Jgone\\x0Dfake", ""}));
}

TEST(Pop3Session, RefusedDeleIsReportedAndTheMessageRecordedAsKept)
{
    Pop3Bed bed;
    bed.login(2);
    bed.net.takeWritten();
    bed.send(retrReply(mail("spam a")));
    bed.net.takeWritten();
    bed.send(retrReply(mail("spam b")));
    EXPECT_EQ(bed.net.takeWritten(), "DELE 1\r\n");
    bed.send("-ERR Message is locked\r\n");
    EXPECT_EQ(bed.net.takeWritten(), "DELE 2\r\n");
    bed.send("+OK\r\n");
    EXPECT_EQ(bed.net.takeWritten(), "QUIT\r\n");
    EXPECT_EQ(bed.services.notifier.popups, QStringList {"POP3 Error:-ERR Message is locked\r\n"});
    EXPECT_EQ(bed.filter.recorded,
              (QList<Recorded> {{"Home", "spam a", Kept}, {"Home", "spam b", DeletionPending}}));
    bed.send("+OK\r\n");
    EXPECT_EQ(bed.filter.recorded,
              (QList<Recorded> {{"Home", "spam a", Kept}, {"Home", "spam b", Deleted}}));
    EXPECT_EQ(bed.finishedCount, 1);
    EXPECT_EQ(bed.result.status, SessionStatus::Ok);
}

// Without a positive QUIT the server deletes nothing (RFC 1939 §6).
TEST(Pop3Session, RefusedQuitRecordsTheDeletionsAsKeptAgain)
{
    Pop3Bed bed;
    bed.login(2);
    bed.net.takeWritten();
    bed.send(retrReply(mail("spam a")));
    bed.net.takeWritten();
    bed.send(retrReply(mail("hello")));
    EXPECT_EQ(bed.net.takeWritten(), "DELE 1\r\n");
    bed.send("+OK\r\n");
    EXPECT_EQ(bed.net.takeWritten(), "QUIT\r\n");
    EXPECT_EQ(bed.filter.recorded,
              (QList<Recorded> {{"Home", "spam a", DeletionPending}, {"Home", "hello", Kept}}));
    bed.send("-ERR Cannot remove messages\r\n");
    EXPECT_EQ(bed.filter.recorded,
              (QList<Recorded> {{"Home", "spam a", Kept}, {"Home", "hello", Kept}}));
    EXPECT_EQ(bed.services.notifier.popups,
              (QStringList {"POP3 Error:-ERR Cannot remove messages\r\n",
                            "Home: the server refused QUIT, so nothing was deleted on this "
                            "account."}));
    EXPECT_EQ(bed.finishedCount, 1);
    EXPECT_EQ(bed.result.status, SessionStatus::ProtocolError);
    EXPECT_EQ(bed.result.serverText, "-ERR Cannot remove messages");
    EXPECT_FALSE(bed.net.isOpen);
}

TEST(Pop3Session, HangUpOrConnectionErrorEndsTheSessionWithoutDeleting)
{
    {
        SCOPED_TRACE("hang-up in the middle of a message");
        Pop3Bed bed;
        bed.login(2);
        bed.net.takeWritten();
        bed.send("+OK 900 octets\r\nFrom: a@b.c\r\nSubject: half");
        bed.net.drop();
        EXPECT_EQ(bed.finishedCount, 1);
        EXPECT_EQ(bed.result.status, SessionStatus::ProtocolError);
        EXPECT_EQ(bed.result.step, "Retrieving");
        EXPECT_EQ(bed.filter.checks, 0);
        EXPECT_TRUE(bed.filter.recorded.isEmpty());
        EXPECT_TRUE(bed.services.notifier.popups.isEmpty());
        EXPECT_EQ(bed.log(),
                  QStringList {"Home: the server closed the connection during Retrieving."});
    }
    {
        SCOPED_TRACE("refused connection");
        Pop3Bed bed;
        bed.net.fail(0, QStringLiteral("Connection refused"));
        EXPECT_EQ(bed.finishedCount, 1);
        EXPECT_EQ(bed.result.status, SessionStatus::ConnectFailed);
        EXPECT_EQ(bed.result.serverText, "Connection refused");
        EXPECT_EQ(bed.services.notifier.popups,
                  QStringList {"POP3 Connection Error 0 : Connection refused"});
        EXPECT_EQ(bed.log(), QStringList {"POP3 Connection Error 0 : Connection refused"});
    }
}

TEST(Pop3Session, StatWithoutACountIsReportedAsAFailure)
{
    Pop3Bed bed;
    for (int i = 0; i < 3; ++i)
        bed.send("+OK\r\n");
    bed.net.takeWritten();
    bed.send("+OK many\r\n");
    EXPECT_EQ(bed.finishedCount, 1);
    EXPECT_EQ(bed.result.status, SessionStatus::ProtocolError);
    EXPECT_EQ(bed.result.step, "StatSent");
    EXPECT_EQ(bed.result.serverText, "+OK many");
    EXPECT_FALSE(bed.net.isOpen);
    EXPECT_EQ(bed.net.takeWritten(), "");
    EXPECT_EQ(bed.services.notifier.popups,
              QStringList {"Error: The STAT reply holds no message count: +OK many"});
}

TEST(Pop3Session, AbortWhileTheSessionWaitsEndsItWithoutVerdictsOrQuit)
{
    struct Case
    {
        const char *name;
        int stopAfter; // message of two after which the stop lands
        QByteArray written; // what went out after that message
    };
    const Case cases[] = {
        {"between the two messages", 1, "RETR 2\r\n"},
        {"after the last message, before the verdicts", 2, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Pop3Bed bed;
        bed.login(2);
        EXPECT_EQ(bed.net.takeWritten(), "RETR 1\r\n");
        for (int n = 1; n < c.stopAfter; ++n) {
            bed.net.serverSends(retrReply(mail("spam " + QByteArray::number(n))));
            bed.net.takeWritten();
        }
        // The message is in; the session's next step waits on the event loop when the stop lands.
        bed.net.deliver(retrReply(mail("spam last")));
        bed.session.abort();
        FakeTransport::runPending();
        EXPECT_FALSE(bed.net.isOpen);
        EXPECT_EQ(bed.net.takeWritten(), c.written);
        EXPECT_EQ(bed.net.lostWrites, "");
        EXPECT_EQ(bed.finishedCount, 0);
        EXPECT_EQ(bed.filter.checks, 0);
        EXPECT_TRUE(bed.filter.recorded.isEmpty());
        // A late arrival after the stop is ignored.
        bed.net.serverSends(retrReply(mail("spam late")) + "+OK\r\n");
        EXPECT_EQ(bed.finishedCount, 0);
        EXPECT_EQ(bed.net.lostWrites, "");
    }
}

TEST(Pop3Session, LogsTheDialogueWithThePasswordMasked)
{
    ProtocolLogCapture capture;
    Pop3Bed bed;
    bed.login(1);
    bed.send(retrReply(mail("hello")));
    bed.send("+OK bye\r\n");
    EXPECT_EQ(
        ProtocolLogCapture::lines(),
        (QStringList {"S: +OK POP3 ready", "C: USER joe", "S: +OK", "C: PASS ****",
                      "S: +OK Logged in.", "C: STAT", "S: +OK 1 4096", "C: RETR 1",
                      "S: +OK 52 octets", "S: 52 bytes of message text", "C: QUIT", "S: +OK bye"}));
}

TEST(Pop3Session, FailingRulesOrHistoryEndTheSessionWithTheirText)
{
    Pop3Bed bed;
    bed.filter.onRecord = [] {
        throw std::runtime_error("disk full");
    };
    bed.login(1);
    bed.send(retrReply(mail("hello")));
    EXPECT_EQ(bed.finishedCount, 1);
    EXPECT_EQ(bed.result.status, SessionStatus::ProtocolError);
    EXPECT_FALSE(bed.net.isOpen);
    EXPECT_FALSE(bed.net.takeWritten().contains("QUIT"));
    EXPECT_EQ(bed.services.notifier.popups, QStringList {"Error: disk full"});
}

// A history that cannot be written must not let a deletion happen unrecorded: the
// connection closes without QUIT, so the server forgets the DELEs (RFC 1939 §6).
TEST(Pop3Session, UnsavedHistoryClosesWithoutQuitAndRecordsNothingDeleted)
{
    Pop3Bed bed;
    bed.filter.failsToRecord = true;
    bed.login(2);
    bed.net.takeWritten();
    bed.send(retrReply(mail("spam a")));
    bed.net.takeWritten();
    bed.send(retrReply(mail("hello")));
    EXPECT_EQ(bed.net.takeWritten(), "DELE 1\r\n");
    bed.send("+OK\r\n");
    EXPECT_EQ(bed.net.takeWritten(), "");
    EXPECT_FALSE(bed.net.isOpen);
    EXPECT_EQ(bed.finishedCount, 1);
    EXPECT_EQ(bed.result.status, SessionStatus::ProtocolError);
    EXPECT_EQ(bed.filter.recorded,
              (QList<Recorded> {{"Home", "spam a", Kept}, {"Home", "hello", Kept}}));
    EXPECT_TRUE(bed.filter.reviews.isEmpty());
    const QString notice
        = "Home: the history could not be saved, so nothing was deleted on this account.";
    EXPECT_EQ(bed.services.notifier.popups, QStringList {notice});
    EXPECT_EQ(bed.log(), QStringList {notice});
}

namespace {

constexpr char noUidlNotice[]
    = "Home: This server gives no message ids (UIDL): its messages can only be deleted with "
      "\"Ask me before deleting\" off.";

QList<QByteArray> serverIds(const QList<ReviewItem> &items)
{
    QList<QByteArray> ids;
    for (const ReviewItem &item : items)
        ids << item.serverId;
    return ids;
}

} // namespace

TEST(Pop3Session, AskModeNamesTheMessagesByUidlAndDeletesNothing)
{
    for (bool isBytewise : {false, true}) {
        SCOPED_TRACE(isBytewise ? "one byte per arrival" : "one reply per arrival");
        Pop3Bed bed;
        bed.isBytewise = isBytewise;
        bed.services.settings.AskBeforeDel = true;
        // The user kept the third message after an earlier check.
        bed.filter.keptIds = {"Home/U3:c"};
        bed.login(3);
        EXPECT_EQ(bed.net.takeWritten(), "UIDL\r\n");
        bed.send("+OK\r\n1 whqtswO00WBw418f9t5JxYwZ\r\n2 Qh.dP\r\n3 U3:c\r\n.\r\n");
        EXPECT_EQ(bed.net.takeWritten(), "LIST\r\n");
        bed.send("+OK\r\n1 120\r\n2 4711\r\n3 130\r\n.\r\n");
        EXPECT_EQ(bed.net.takeWritten(), "RETR 1\r\n");
        bed.send(retrReply(mail("hello")));
        EXPECT_EQ(bed.net.takeWritten(), "RETR 2\r\n");
        bed.send(retrReply(mail("spam one")));
        EXPECT_EQ(bed.net.takeWritten(), "RETR 3\r\n");
        bed.send(retrReply(mail("spam two")));
        // No DELE: the history first, then the queue, then QUIT.
        EXPECT_EQ(bed.net.takeWritten(), "QUIT\r\n");
        EXPECT_EQ(bed.filter.recorded,
                  (QList<Recorded> {{"Home", "hello", Kept},
                                    {"Home", "spam one", AwaitingReview},
                                    {"Home", "spam two", Kept}}));
        ASSERT_EQ(bed.filter.reviews.size(), 1);
        EXPECT_EQ(bed.filter.reviews.at(0).first, "Home");
        const QList<ReviewItem> items = bed.filter.reviews.at(0).second;
        EXPECT_EQ(serverIds(items), QList<QByteArray> {"Qh.dP"});
        EXPECT_EQ(items.at(0).AccountName, "Home");
        EXPECT_EQ(items.at(0).Sender, "Jo <jo@example.org>");
        EXPECT_EQ(items.at(0).Subject, "spam one");
        EXPECT_EQ(items.at(0).Size, QByteArray::number(mail("spam one").size()));
        EXPECT_EQ(items.at(0).reason, Reason::BlockedSender);
        // What the review's deletion will ask the server to confirm.
        EXPECT_EQ(items.at(0).serverSize, 4711);
        EXPECT_EQ(items.at(0).headerDigest, identityDigest(mail("spam one")));
        // The reason stays the rule's, only the status is held back.
        EXPECT_EQ(bed.session.Pop3Messages().Item(QStringLiteral("3"))->Reason,
                  keyOf(Reason::BlockedSender));
        bed.send("+OK bye\r\n");
        EXPECT_EQ(bed.finishedCount, 1);
        EXPECT_EQ(bed.result.status, SessionStatus::Ok);
        EXPECT_TRUE(bed.services.notifier.popups.isEmpty());
    }
}

TEST(Pop3Session, AskModeWithoutUidlGoesOnDeletesNothingAndSaysWhy)
{
    Pop3Bed bed;
    bed.services.settings.AskBeforeDel = true;
    bed.login(2);
    EXPECT_EQ(bed.net.takeWritten(), "UIDL\r\n");
    bed.send("-ERR Unknown command\r\n");
    EXPECT_EQ(bed.services.notifier.popups, QStringList {noUidlNotice});
    EXPECT_EQ(bed.log(), QStringList {noUidlNotice});
    EXPECT_EQ(bed.net.takeWritten(), "RETR 1\r\n");
    bed.send(retrReply(mail("spam one")));
    EXPECT_EQ(bed.net.takeWritten(), "RETR 2\r\n");
    bed.send(retrReply(mail("hello")));
    EXPECT_EQ(bed.net.takeWritten(), "QUIT\r\n");
    // Without an id nothing can be reviewed: the spam is kept, the queue left alone.
    EXPECT_EQ(bed.filter.recorded,
              (QList<Recorded> {{"Home", "spam one", Kept}, {"Home", "hello", Kept}}));
    EXPECT_TRUE(bed.filter.reviews.isEmpty());
    bed.send("+OK bye\r\n");
    EXPECT_EQ(bed.result.status, SessionStatus::Ok);
}

TEST(Pop3Session, AskModeIsTheSettingAtTheVerdicts)
{
    const struct
    {
        const char *name;
        bool atStat;
        bool atVerdicts;
        QByteArray afterMessages;
        MessageStatus spamStatus;
    } cases[] = {
        {"switched off while fetching: deleted", true, false, "DELE 1\r\n", Deleted},
        {"switched on while fetching: no ids, kept", false, true, "QUIT\r\n", Kept},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        Pop3Bed bed;
        bed.services.settings.AskBeforeDel = c.atStat;
        bed.login(1);
        if (c.atStat) {
            EXPECT_EQ(bed.net.takeWritten(), "UIDL\r\n");
            bed.send("+OK\r\n1 A\r\n.\r\n");
            EXPECT_EQ(bed.net.takeWritten(), "LIST\r\n");
            bed.send("+OK\r\n1 100\r\n.\r\n");
        }
        EXPECT_EQ(bed.net.takeWritten(), "RETR 1\r\n");
        bed.services.settings.AskBeforeDel = c.atVerdicts;
        bed.send(retrReply(mail("spam")));
        EXPECT_EQ(bed.net.takeWritten(), c.afterMessages);
        if (c.spamStatus == Deleted) {
            bed.send("+OK\r\n");
            EXPECT_EQ(bed.net.takeWritten(), "QUIT\r\n");
            bed.send("+OK bye\r\n");
        }
        EXPECT_EQ(bed.filter.recorded, (QList<Recorded> {{"Home", "spam", c.spamStatus}}));
        // Deleting at once settles what the queue held of the account; without ids the
        // queue is left as it was.
        const qsizetype expectedReviews = c.spamStatus == Deleted ? 1 : 0;
        ASSERT_EQ(bed.filter.reviews.size(), expectedReviews);
        if (expectedReviews) {
            EXPECT_TRUE(bed.filter.reviews.first().second.isEmpty());
        }
    }
}

TEST(Pop3Session, AskModeWithAnUnsavedHistoryQueuesNothingAndSaysSo)
{
    Pop3Bed bed;
    bed.services.settings.AskBeforeDel = true;
    bed.filter.failsToRecord = true;
    bed.login(1);
    EXPECT_EQ(bed.net.takeWritten(), "UIDL\r\n");
    bed.send("+OK\r\n1 a1\r\n.\r\n");
    EXPECT_EQ(bed.net.takeWritten(), "LIST\r\n");
    bed.send("+OK\r\n1 100\r\n.\r\n");
    EXPECT_EQ(bed.net.takeWritten(), "RETR 1\r\n");
    bed.send(retrReply(mail("spam")));
    // Nothing was marked for deletion, so QUIT is harmless.
    EXPECT_EQ(bed.net.takeWritten(), "QUIT\r\n");
    EXPECT_TRUE(bed.filter.reviews.isEmpty());
    EXPECT_EQ(bed.services.notifier.popups,
              QStringList {"Home: the history could not be saved, so nothing was put up for "
                           "review on this account."});
    bed.send("+OK bye\r\n");
    EXPECT_EQ(bed.finishedCount, 1);
}

TEST(Pop3Session, ReplyLineThatNeverEndsEndsTheSessionButMessageLinesMayBeLong)
{
    const QByteArray longLine = QByteArray(2 << 20, 'x') + "\r\n";
    {
        SCOPED_TRACE("a message line of 2 MiB");
        Pop3Bed bed;
        bed.login(1);
        bed.net.takeWritten();
        bed.send(retrReply(mail("long", longLine)));
        EXPECT_EQ(bed.net.takeWritten(), "QUIT\r\n");
        EXPECT_EQ(bed.filter.recorded, (QList<Recorded> {{"Home", "long", Kept}}));
    }
    {
        SCOPED_TRACE("a reply line that never ends");
        Pop3Bed bed;
        bed.login(1);
        EXPECT_EQ(bed.net.takeWritten(), "RETR 1\r\n");
        const QByteArray chunk(64 * 1024, 'x');
        bed.send("+OK ");
        for (int i = 0; i < 15; ++i)
            bed.send(chunk);
        EXPECT_EQ(bed.finishedCount, 0);
        // Past 1 MiB without a line end: no need to wait for one.
        bed.send(chunk);
        EXPECT_EQ(bed.finishedCount, 1);
        EXPECT_EQ(bed.result.status, SessionStatus::ProtocolError);
        EXPECT_EQ(bed.result.step, "Retrieving");
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

constexpr char pipelining[] = "+OK Capability list follows\r\nTOP\r\nPIPELINING\r\nUIDL\r\n.\r\n";

QByteArray retrs(int first, int last)
{
    QByteArray commands;
    for (int n = first; n <= last; ++n)
        commands += "RETR " + QByteArray::number(n) + "\r\n";
    return commands;
}

} // namespace

TEST(Pop3Session, RetrsInFlightFollowPipeliningAndTheAverageSize)
{
    struct Case
    {
        const char *name;
        QByteArray capa;
        QByteArray octets; // of the 20 messages, by STAT
        int window;
    };
    const Case cases[] = {
        {"small messages", pipelining, "4000", 16},
        {"no size in STAT", pipelining, "", 16},
        {"200 KB on average", pipelining, "4194304", 5},
        {"over a megabyte on average", pipelining, "41943040", 1},
        {"no PIPELINING", "+OK\r\nTOP\r\nUIDL\r\n.\r\n", "4000", 1},
        {"only a longer name", "+OK\r\nX-PIPELINING-NOT\r\n.\r\n", "4000", 1},
        {"CAPA refused", "-ERR Unknown command\r\n", "4000", 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Pop3Bed bed;
        bed.login(20, c.capa, c.octets);
        EXPECT_EQ(bed.session.RetrWindow(), c.window);
        EXPECT_EQ(bed.net.takeWritten(), retrs(1, c.window));
        // Each text read tops the window up again.
        bed.send(retrReply(mail("hello 1")));
        EXPECT_EQ(bed.net.takeWritten(), retrs(c.window + 1, c.window + 1));
        QByteArray rest;
        for (int n = 2; n <= 20; ++n)
            rest += retrReply(mail(n == 7 ? "spam seven" : "hello " + QByteArray::number(n)));
        bed.sendAll(rest);
        // The replies are matched to the RETRs in order: the spam is message 7.
        EXPECT_EQ(bed.net.takeWritten(), retrs(c.window + 2, 20) + "DELE 7\r\n");
        bed.send("+OK\r\n");
        EXPECT_EQ(bed.net.takeWritten(), "QUIT\r\n");
        bed.send("+OK bye\r\n");
        ASSERT_EQ(bed.filter.recorded.size(), 20);
        EXPECT_EQ(bed.filter.recorded.at(6), (Recorded {"Home", "spam seven", Deleted}));
        EXPECT_EQ(bed.filter.recorded.at(19), (Recorded {"Home", "hello 20", Kept}));
    }
}

// A refusal of one RETR among several in flight is told and leaves that message alone;
// the verdicts of the others keep their own numbers.
TEST(Pop3Session, RefusedRetrInFlightLeavesOnlyItsMessageOut)
{
    struct Case
    {
        const char *name;
        int refused;
        QByteArray deletes;
        QList<Recorded> recorded;
    };
    const Case cases[] = {
        {"in the middle",
         2,
         "DELE 3\r\nDELE 4\r\n",
         {{"Home", "hello", Kept},
          {"Home", "spam three", Deleted},
          {"Home", "spam four", Deleted}}},
        {"the last",
         4,
         "DELE 2\r\nDELE 3\r\n",
         {{"Home", "hello", Kept}, {"Home", "spam two", Deleted}, {"Home", "spam three", Deleted}}},
    };
    const QByteArray subjects[] = {"hello", "spam two", "spam three", "spam four"};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Pop3Bed bed;
        bed.login(4, pipelining);
        EXPECT_EQ(bed.net.takeWritten(), retrs(1, 4));
        QByteArray replies;
        for (int n = 1; n <= 4; ++n)
            replies += n == c.refused ? QByteArray("-ERR Message is gone\r\n")
                                      : retrReply(mail(subjects[n - 1]));
        bed.sendAll(replies);
        EXPECT_EQ(bed.services.notifier.popups,
                  QStringList {"POP3 Error:-ERR Message is gone\r\n"});
        EXPECT_EQ(bed.session.Pop3Messages().Item(QString::number(c.refused)), nullptr);
        const QList<QByteArray> deletes = c.deletes.split('\n');
        EXPECT_EQ(bed.net.takeWritten(), deletes.at(0) + '\n');
        bed.send("+OK\r\n");
        EXPECT_EQ(bed.net.takeWritten(), deletes.at(1) + '\n');
        bed.send("+OK\r\n");
        EXPECT_EQ(bed.net.takeWritten(), "QUIT\r\n");
        bed.send("+OK bye\r\n");
        EXPECT_EQ(bed.filter.recorded, c.recorded);
        EXPECT_EQ(bed.finishedCount, 1);
        EXPECT_EQ(bed.result.status, SessionStatus::Ok);
    }
}

// A stop (or a time-out, which ends the session the same way) with several RETRs out and a
// text half read: nothing is judged, recorded or sent, whatever still arrives.
TEST(Pop3Session, AbortWithSeveralRetrsInFlightLeavesNothingBehind)
{
    Pop3Bed bed;
    bed.login(5, pipelining);
    EXPECT_EQ(bed.net.takeWritten(), retrs(1, 5));
    const QByteArray second = retrReply(mail("spam two"));
    bed.send(retrReply(mail("spam one")) + second.first(20));
    EXPECT_EQ(bed.net.takeWritten(), "");
    bed.session.abort();
    FakeTransport::runPending();
    EXPECT_FALSE(bed.net.isOpen);
    bed.net.serverSends(second.sliced(20) + retrReply(mail("spam three")));
    EXPECT_EQ(bed.net.takeWritten(), "");
    EXPECT_EQ(bed.net.lostWrites, "");
    EXPECT_EQ(bed.finishedCount, 0);
    EXPECT_EQ(bed.filter.checks, 0);
    EXPECT_TRUE(bed.filter.recorded.isEmpty());
}

// In ask mode the ids come first, then the RETRs all at once.
TEST(Pop3Session, AskModeAsksForCapaBeforeUidl)
{
    Pop3Bed bed;
    bed.services.settings.AskBeforeDel = true;
    bed.login(2, pipelining);
    EXPECT_EQ(bed.net.takeWritten(), "UIDL\r\n");
    bed.send("+OK\r\n1 a\r\n2 b\r\n.\r\n");
    EXPECT_EQ(bed.net.takeWritten(), "LIST\r\n");
    bed.send("+OK\r\n1 100\r\n2 100\r\n.\r\n");
    EXPECT_EQ(bed.net.takeWritten(), retrs(1, 2));
}

// What the server told before STLS does not hold over TLS (RFC 2595 §4): CAPA is asked again
// after STAT, and only its answer there allows pipelining.
TEST(Pop3Session, PipeliningCountsOnlyOnTheLayerItWasToldOn)
{
    for (auto mode :
         {MailSession::Encryption::StartTls, MailSession::Encryption::StartTlsWhenOffered}) {
        SCOPED_TRACE(modeName(mode));
        Pop3Bed bed;
        bed.session.abort();
        bed.session.setEncryption(mode);
        bed.session.start(QStringLiteral("pop.example.com"), 110);
        bed.send("+OK POP3 ready\r\n");
        EXPECT_EQ(bed.net.takeWritten(), "CAPA\r\n");
        bed.send("+OK\r\nSTLS\r\nPIPELINING\r\n.\r\n");
        EXPECT_EQ(bed.net.takeWritten(), "STLS\r\n");
        bed.send("+OK Begin TLS\r\n");
        bed.net.serverEncrypts();
        EXPECT_EQ(bed.net.takeWritten(), "USER joe\r\n");
        bed.send("+OK\r\n");
        bed.send("+OK Logged in.\r\n");
        EXPECT_EQ(bed.net.takeWritten(), "PASS se cret\r\nSTAT\r\n");
        bed.send("+OK 3 300\r\n");
        EXPECT_EQ(bed.net.takeWritten(), "CAPA\r\n");
        bed.send("+OK\r\nTOP\r\n.\r\n");
        EXPECT_EQ(bed.net.takeWritten(), "RETR 1\r\n");
    }
}

// A server that answers UIDL with -ERR names no message: every one is fetched and judged,
// however many the account's cache holds, even under ids that look like the messages'
// numbers, and the cache is emptied, as nothing in it can be matched with the server's
// messages any more.
TEST(Pop3Session, WithoutUidlEveryMessageIsFetchedAndTheCacheEmptied)
{
    Pop3Bed bed;
    const QString dataDir = bed.services.dir.path();
    const CacheAccount key {bed.account.ServerType, bed.account.MailServer, bed.account.Port,
                            bed.account.UserName};
    {
        MessageCache earlier(dataDir, bed.services.services, key);
        earlier.load();
        ASSERT_TRUE(earlier.useIds({CacheIdKind::Pop3Uidl, 0}));
        for (const QByteArray id : {"1", "2"})
            ASSERT_TRUE(earlier.add(id, mail("hello " + id), 40, {}, "rules"));
        ASSERT_TRUE(earlier.update({"1", "2"}));
    }
    std::unique_ptr<MailboxCache> cache;
    bed.filter.cacheFor = [&](const MailAccount &account) {
        cache = std::make_unique<MailboxCache>(dataDir, bed.services.services, account,
                                               [] { return QByteArray("rules"); });
        return cache.get();
    };

    bed.login(3, pipelining);
    EXPECT_EQ(bed.net.takeWritten(), "UIDL\r\n");
    bed.send("-ERR Unknown command\r\n");
    EXPECT_EQ(bed.net.takeWritten(), retrs(1, 3));
    bed.sendAll(retrReply(mail("hello 1")) + retrReply(mail("spam two"))
                + retrReply(mail("hello 3")));
    EXPECT_EQ(bed.net.takeWritten(), "DELE 2\r\n");
    bed.send("+OK\r\n");
    EXPECT_EQ(bed.net.takeWritten(), "QUIT\r\n");
    bed.send("+OK bye\r\n");

    EXPECT_EQ(bed.result.status, SessionStatus::Ok);
    EXPECT_EQ(bed.filter.recorded,
              (QList<Recorded> {{"Home", "hello 1", Kept},
                                {"Home", "spam two", Deleted},
                                {"Home", "hello 3", Kept}}));
    MessageCache after(dataDir, bed.services.services, key);
    after.load();
    EXPECT_EQ(after.count(), 0);
}

// Servers may give a gone message's UIDL to a new one. A message the cache holds is taken
// from it only under the same id and size, and deleted only when "TOP n 0" shows the headers
// it was judged with; another message under the id is not deleted on the old verdict, and
// the cache lets it go, so that the next check fetches and judges it.
TEST(Pop3Session, ACachedVerdictIsUsedOnlyForTheMessageItWasMadeOn)
{
    const QByteArray judged = mail("spam from before");
    const QByteArray judgedSize = QByteArray::number(judged.size());
    const QByteArray topOf
        = "+OK\r\nFrom: Jo <jo@example.org>\r\nSubject: spam from before\r\n\r\n.\r\n";
    const QByteArray otherTop
        = "+OK\r\nFrom: Ann <ann@example.org>\r\nSubject: spam for Bo\r\n\r\n.\r\n";
    struct Case
    {
        const char *name;
        QByteArray listed; // the size LIST gives id X now
        QByteArray fetch; // RETR 1 and the text sent, or empty when the cache gives it
        QByteArray top; // the TOP reply, or empty when none is asked for
        bool isDeleted;
        bool isKeptInCache;
    };
    const Case cases[] = {
        {"the same message", judgedSize, {}, topOf, true, true},
        {"another size: fetched as new", "9999", mail("hello from a friend"), {}, false, true},
        {"same size, other headers", judgedSize, {}, otherTop, false, false},
        {"no TOP on the server", judgedSize, {}, "-ERR Unknown command\r\n", false, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Pop3Bed bed;
        const QString dataDir = bed.services.dir.path();
        const CacheAccount key {bed.account.ServerType, bed.account.MailServer, bed.account.Port,
                                bed.account.UserName};
        {
            MessageCache earlier(dataDir, bed.services.services, key);
            earlier.load();
            ASSERT_TRUE(earlier.useIds({CacheIdKind::Pop3Uidl, 0}));
            ASSERT_TRUE(earlier.add("X", judged, judged.size(), {}, "rules"));
            ASSERT_TRUE(earlier.update({"X"}));
        }
        std::unique_ptr<MailboxCache> cache;
        bed.filter.cacheFor = [&](const MailAccount &account) {
            cache = std::make_unique<MailboxCache>(dataDir, bed.services.services, account,
                                                   [] { return QByteArray("rules"); });
            return cache.get();
        };
        bed.login(1);
        EXPECT_EQ(bed.net.takeWritten(), "UIDL\r\n");
        bed.send("+OK\r\n1 X\r\n.\r\n");
        EXPECT_EQ(bed.net.takeWritten(), "LIST\r\n");
        bed.send("+OK\r\n1 " + c.listed + "\r\n.\r\n");
        if (!c.fetch.isEmpty()) {
            EXPECT_EQ(bed.net.takeWritten(), "RETR 1\r\n");
            bed.send(retrReply(c.fetch));
        }
        if (!c.top.isEmpty()) {
            EXPECT_EQ(bed.net.takeWritten(), "TOP 1 0\r\n");
            bed.send(c.top);
        }
        if (c.isDeleted) {
            EXPECT_EQ(bed.net.takeWritten(), "DELE 1\r\n");
            bed.send("+OK\r\n");
        }
        EXPECT_EQ(bed.net.takeWritten(), "QUIT\r\n");
        bed.send("+OK bye\r\n");
        EXPECT_EQ(bed.result.status, SessionStatus::Ok);
        const bool isMistaken = !c.isKeptInCache;
        EXPECT_EQ(bed.services.notifier.popups.size(), isMistaken ? 1 : 0);
        // As the history's filter does once the mailbox is recorded.
        const History history(dataDir, bed.services.services, bed.services.clock);
        cache->commit(bed.session.Pop3Messages(), history);
        MessageCache after(dataDir, bed.services.services, key);
        after.load();
        EXPECT_EQ(after.find("X").has_value(), c.isKeptInCache);
    }
}
