#include "message/messageidentity.h"
#include "pop3/pop3deletion.h"
#include "support/sessionbed.h"

#include <gtest/gtest.h>

namespace {

using enum DeletionOutcome;
using Outcomes = QHash<QByteArray, DeletionOutcome>;

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

// The header block of the message a UIDL named when it was judged.
QByteArray headersOf(const QByteArray &uidl)
{
    return "From: Jo <jo@example.org>\r\nSubject: message " + uidl + "\r\n\r\n";
}

// Every message is 100 bytes: what a wanted message was when the user confirmed it.
QList<MessageIdentity> judged(const QList<QByteArray> &uidls)
{
    QList<MessageIdentity> identities;
    for (const QByteArray &uidl : uidls)
        identities << MessageIdentity {uidl, 100, identityDigest(headersOf(uidl))};
    return identities;
}

// One deletion session over a fake connection, asked to delete the given UIDLs.
struct Pop3DeletionBed : SessionBed
{
    Pop3DeletionBed(std::initializer_list<const char *> ids, bool bytewise)
        : Pop3DeletionBed(judged(QList<QByteArray>(ids.begin(), ids.end())), bytewise)
    {
    }
    Pop3DeletionBed(const QList<MessageIdentity> &wanted, bool bytewise)
        : session(std::move(ownNet), homeAccount(), wanted, 60, services.services)
    {
        isBytewise = bytewise;
        watch(session);
        for (const MessageIdentity &identity : wanted)
            wantedUidls << identity.serverId;
        session.run(QStringLiteral("pop.example.com"), 110);
    }

    // Greeting, USER, PASS and UIDL with this listing; then, when a wanted message is
    // listed, LIST and a TOP of each wanted one, all as they were judged.
    void loginAndList(const QByteArray &listing)
    {
        send("+OK POP3 ready\r\n");
        EXPECT_EQ(net.takeWritten(), "USER joe\r\n");
        send("+OK\r\n");
        EXPECT_EQ(net.takeWritten(), "PASS se cret\r\n");
        send("+OK Logged in.\r\n");
        EXPECT_EQ(net.takeWritten(), "UIDL\r\n");
        send("+OK\r\n" + listing + ".\r\n");
        QByteArray sizes;
        QList<std::pair<QByteArray, QByteArray>> wantedHere; // number, UIDL
        for (const QByteArray &line : listing.split('\n')) {
            const QList<QByteArray> words = line.trimmed().split(' ');
            if (words.size() != 2)
                continue;
            sizes += words.at(0) + " 100\r\n";
            if (wantedUidls.contains(words.at(1)))
                wantedHere.append({words.at(0), words.at(1)});
        }
        if (wantedHere.isEmpty())
            return;
        EXPECT_EQ(net.takeWritten(), "LIST\r\n");
        send("+OK\r\n" + sizes + ".\r\n");
        for (const auto &[number, uidl] : wantedHere) {
            EXPECT_EQ(net.takeWritten(), "TOP " + number + " 0\r\n");
            send("+OK\r\n" + headersOf(uidl) + ".\r\n");
        }
    }

    QList<QByteArray> wantedUidls;
    Pop3Deletion session;
};

// The mailbox as the server lists it now: two messages went since the check, so the
// wanted ones have other numbers than they had.
const QByteArray shiftedListing = "1 uid-c\r\n2 uid-d\r\n3 uid-e\r\n4 uid-f\r\n";

} // namespace

TEST(Pop3Deletion, DeletesExactlyTheWantedIdsByTheirCurrentNumbers)
{
    for (bool isBytewise : {false, true}) {
        SCOPED_TRACE(isBytewise ? "one byte per arrival" : "one reply per arrival");
        Pop3DeletionBed bed({"uid-f", "uid-d", "uid-a"}, isBytewise);
        EXPECT_EQ(bed.net.host, "pop.example.com");
        bed.loginAndList(shiftedListing);
        EXPECT_EQ(bed.net.takeWritten(), "DELE 2\r\n");
        bed.send("+OK marked\r\n");
        EXPECT_EQ(bed.net.takeWritten(), "DELE 4\r\n");
        bed.send("+OK marked\r\n");
        EXPECT_EQ(bed.net.takeWritten(), "QUIT\r\n");
        EXPECT_EQ(bed.session.outcomes().value("uid-d"), NotDone) << "not before QUIT +OK";
        bed.send("+OK bye\r\n");
        EXPECT_EQ(bed.finishedCount, 1);
        EXPECT_EQ(bed.result.status, SessionStatus::Ok);
        EXPECT_EQ(bed.session.outcomes(),
                  (Outcomes {{"uid-f", Deleted}, {"uid-d", Deleted}, {"uid-a", Gone}}));
        EXPECT_FALSE(bed.net.isOpen);
    }
}

// Whatever goes wrong, only a QUIT +OK after accepted DELEs counts a message as deleted.
TEST(Pop3Deletion, CountsOnlyWhatTheServerConfirmedAtQuit)
{
    struct Case
    {
        const char *name;
        QList<QByteArray> dialogue; // server replies after the listing, in order
        QByteArray written; // every command after UIDL
        SessionStatus status;
        Outcomes outcomes;
    };
    const Case cases[] = {
        {"DELE refused",
         {"-ERR locked\r\n", "+OK\r\n", "+OK bye\r\n"},
         "DELE 2\r\nDELE 4\r\nQUIT\r\n",
         SessionStatus::Ok,
         {{"uid-d", Refused}, {"uid-f", Deleted}}},
        {"QUIT refused",
         {"+OK\r\n", "+OK\r\n", "-ERR cannot update\r\n"},
         "DELE 2\r\nDELE 4\r\nQUIT\r\n",
         SessionStatus::ProtocolError,
         {{"uid-d", NotDone}, {"uid-f", NotDone}}},
        {"hang-up before QUIT's reply",
         {"+OK\r\n", "+OK\r\n"},
         "DELE 2\r\nDELE 4\r\nQUIT\r\n",
         SessionStatus::ProtocolError,
         {{"uid-d", NotDone}, {"uid-f", NotDone}}},
    };
    for (const Case &c : cases) {
        for (bool isBytewise : {false, true}) {
            SCOPED_TRACE(c.name);
            Pop3DeletionBed bed({"uid-d", "uid-f"}, isBytewise);
            bed.loginAndList(shiftedListing);
            for (const QByteArray &reply : c.dialogue)
                bed.send(reply);
            if (bed.finishedCount == 0)
                bed.net.drop();
            EXPECT_EQ(bed.net.takeWritten(), c.written);
            EXPECT_EQ(bed.finishedCount, 1);
            EXPECT_EQ(bed.result.status, c.status);
            EXPECT_EQ(bed.session.outcomes(), c.outcomes);
        }
    }
}

TEST(Pop3Deletion, RefusedUidlDeletesNothingAndSaysSo)
{
    for (bool isBytewise : {false, true}) {
        Pop3DeletionBed bed({"uid-d"}, isBytewise);
        bed.send("+OK POP3 ready\r\n+OK\r\n+OK Logged in.\r\n");
        EXPECT_EQ(bed.net.takeWritten(), "USER joe\r\nPASS se cret\r\nUIDL\r\n");
        bed.send("-ERR UIDL not supported\r\n");
        EXPECT_EQ(bed.net.takeWritten(), "") << "no QUIT: the server deletes nothing";
        EXPECT_EQ(bed.finishedCount, 1);
        EXPECT_EQ(bed.result.status, SessionStatus::ProtocolError);
        EXPECT_EQ(bed.session.outcomes(), (Outcomes {{"uid-d", NotDone}}));
        EXPECT_TRUE(bed.services.notifier.popups.last().contains("UIDL not supported"));
    }
}

TEST(Pop3Deletion, TimeOutCountsNothingDeletedAndNeverLogsThePassword)
{
    ProtocolLogCapture protocol;
    Pop3DeletionBed bed({"uid-d"}, false);
    bed.loginAndList(shiftedListing);
    EXPECT_EQ(bed.net.takeWritten(), "DELE 2\r\n");
    bed.send("+OK marked\r\n");
    bed.session.timeOut();
    EXPECT_EQ(bed.finishedCount, 1);
    EXPECT_EQ(bed.result.status, SessionStatus::Timeout);
    EXPECT_EQ(bed.result.step, "QuitSent");
    EXPECT_EQ(bed.session.outcomes(), (Outcomes {{"uid-d", NotDone}}));
    bed.session.timeOut();
    EXPECT_EQ(bed.finishedCount, 1);
    EXPECT_FALSE(ProtocolLogCapture::lines().join('\n').contains("se cret"));
    EXPECT_TRUE(ProtocolLogCapture::lines().contains("C: PASS ****"));
}

// Each byte restarts the inactivity time-out; the session's time limit still holds.
TEST(Pop3Deletion, TricklingServerIsCutOffAtTheSessionLimit)
{
    Pop3DeletionBed bed({"uid-d"}, false);
    bed.send("+OK POP3 ready\r\n");
    EXPECT_EQ(bed.net.takeWritten(), "USER joe\r\n");
    // Four time-outs of 60 s, as the 255 bytes received buy no second more.
    for (int second = 1; second < 240; ++second) {
        bed.session.tick();
        bed.send("+");
    }
    EXPECT_EQ(bed.finishedCount, 0);
    bed.session.tick();
    EXPECT_EQ(bed.finishedCount, 1);
    EXPECT_EQ(bed.result.status, SessionStatus::Timeout);
    EXPECT_EQ(bed.result.step, "UserSent");
    EXPECT_FALSE(bed.net.isOpen);
    EXPECT_EQ(bed.session.outcomes(), (Outcomes {{"uid-d", NotDone}}));
    EXPECT_EQ(bed.log(),
              QStringList {"Home: the server sent only 255 bytes in 240 seconds, too slowly to "
                           "go on, so the connection to this account was ended."});
    bed.session.tick();
    EXPECT_EQ(bed.finishedCount, 1);
}

TEST(Pop3Deletion, ReplyLineThatNeverEndsEndsTheSessionWithNothingDeleted)
{
    Pop3DeletionBed bed({"uid-d"}, false);
    bed.loginAndList(shiftedListing);
    EXPECT_EQ(bed.net.takeWritten(), "DELE 2\r\n");
    bed.send("+OK " + QByteArray(1 << 20, 'x'));
    EXPECT_EQ(bed.finishedCount, 1);
    EXPECT_EQ(bed.result.status, SessionStatus::ProtocolError);
    EXPECT_EQ(bed.result.step, "Deleting");
    EXPECT_FALSE(bed.net.isOpen);
    EXPECT_EQ(bed.net.takeWritten(), "");
    EXPECT_EQ(bed.session.outcomes(), (Outcomes {{"uid-d", NotDone}}));
    EXPECT_EQ(bed.log(),
              QStringList {"Home: the server sent a line longer than 1048576 bytes, so the "
                           "connection to this account was ended."});
}

// A server may give a gone message's UIDL to a new one: the message under the confirmed UIDL
// is deleted only when its size and headers are the ones it was judged with.
TEST(Pop3Deletion, DeletesOnlyTheMessageThatWasJudged)
{
    const QByteArray other = "From: Ann <ann@example.org>\r\nSubject: message uid-d\r\n\r\n";
    struct Case
    {
        const char *name;
        MessageIdentity wanted;
        QByteArray size; // the size LIST gives uid-d now
        QByteArray top; // the reply to TOP 2 0, or empty when none is asked for
        DeletionOutcome outcome;
    };
    const MessageIdentity asJudged = judged({"uid-d"}).first();
    const Case cases[] = {
        {"the same message", asJudged, "100", "+OK\r\n" + headersOf("uid-d") + ".\r\n", Deleted},
        {"another size", asJudged, "101", {}, NotTheSame},
        {"same size, other headers", asJudged, "100", "+OK\r\n" + other + ".\r\n", NotTheSame},
        {"no TOP on the server", asJudged, "100", "-ERR unknown command\r\n", NotTheSame},
        {"judged before sizes were kept",
         {"uid-d", -1, asJudged.headerDigest},
         "100",
         {},
         NotTheSame},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Pop3DeletionBed bed(QList<MessageIdentity> {c.wanted}, false);
        bed.send("+OK POP3 ready\r\n+OK\r\n+OK Logged in.\r\n");
        EXPECT_EQ(bed.net.takeWritten(), "USER joe\r\nPASS se cret\r\nUIDL\r\n");
        bed.send("+OK\r\n1 uid-c\r\n2 uid-d\r\n.\r\n");
        EXPECT_EQ(bed.net.takeWritten(), "LIST\r\n");
        bed.send("+OK\r\n1 100\r\n2 " + c.size + "\r\n.\r\n");
        if (!c.top.isEmpty()) {
            EXPECT_EQ(bed.net.takeWritten(), "TOP 2 0\r\n");
            bed.send(c.top);
        }
        if (c.outcome == Deleted) {
            EXPECT_EQ(bed.net.takeWritten(), "DELE 2\r\n");
            bed.send("+OK\r\n");
        }
        EXPECT_EQ(bed.net.takeWritten(), "QUIT\r\n");
        bed.send("+OK bye\r\n");
        EXPECT_EQ(bed.session.outcomes(), (Outcomes {{"uid-d", c.outcome}}));
    }
}
