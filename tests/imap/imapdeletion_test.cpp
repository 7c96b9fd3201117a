#include "imap/imapdeletion.h"
#include "message/messageidentity.h"
#include "support/sessionbed.h"

#include <gtest/gtest.h>

namespace {

using enum DeletionOutcome;
using Outcomes = QHash<QByteArray, DeletionOutcome>;

MailAccount homeAccount()
{
    MailAccount account;
    account.ServerType = "IMAP";
    account.AccountName = "Home";
    account.UserName = "joe";
    account.Password = "se\"cret";
    account.Port = 143;
    return account;
}

// The identifying headers of the message a UID named when it was judged.
QByteArray headersOf(const QByteArray &uid)
{
    return "From: Jo <jo@example.org>\r\nSubject: message " + uid + "\r\n\r\n";
}

// Every message is 100 bytes: what a wanted message was when the user confirmed it.
QList<MessageIdentity> judged(const QList<QByteArray> &ids)
{
    QList<MessageIdentity> identities;
    for (const QByteArray &id : ids)
        identities << MessageIdentity {id, 100,
                                       identityDigest(headersOf(id.mid(id.indexOf(':') + 1)))};
    return identities;
}

// The untagged answer of the identity fetch for one message.
QByteArray identityData(int n, const QByteArray &uid, const QByteArray &size,
                        const QByteArray &headers)
{
    return "* " + QByteArray::number(n) + " FETCH (UID " + uid + " RFC822.SIZE " + size
        + " BODY[HEADER.FIELDS (MESSAGE-ID DATE FROM SUBJECT)] {"
        + QByteArray::number(headers.size()) + "}\r\n" + headers + ")\r\n";
}

const QByteArray identityFetch
    = " (UID RFC822.SIZE BODY.PEEK[HEADER.FIELDS (MESSAGE-ID DATE FROM SUBJECT)])\r\n";

// One deletion session over a fake connection, asked to delete the given ids.
struct ImapDeletionBed : SessionBed
{
    ImapDeletionBed(std::initializer_list<const char *> ids, bool bytewise)
        : ImapDeletionBed(judged(QList<QByteArray>(ids.begin(), ids.end())), bytewise)
    {
    }
    ImapDeletionBed(const QList<MessageIdentity> &wanted, bool bytewise)
        : session(std::move(ownNet), homeAccount(), wanted, 60, services.services)
    {
        isBytewise = bytewise;
        watch(session);
        session.run(QStringLiteral("imap.example.com"), 143);
    }

    // Greeting, LOGIN and SELECT of a mailbox with this UIDVALIDITY.
    void loginAndSelect(const QByteArray &validity)
    {
        send("* OK IMAP ready\r\n");
        EXPECT_EQ(net.takeWritten(), "d001 LOGIN \"joe\" \"se\\\"cret\"\r\n");
        send("d001 OK Logged in\r\n");
        EXPECT_EQ(net.takeWritten(), "d002 SELECT INBOX\r\n");
        send("* 9 EXISTS\r\n* OK [UIDVALIDITY " + validity
             + "] UIDs valid\r\n"
               "d002 OK [READ-WRITE] Select completed\r\n");
    }
    // CAPABILITY, then the identity fetch of the wanted UIDs, answered for the found ones
    // (blank-separated) as they were judged.
    void findUids(const QByteArray &capabilities, const QByteArray &asked, const QByteArray &found)
    {
        EXPECT_EQ(net.takeWritten(), "d003 CAPABILITY\r\n");
        send("* CAPABILITY " + capabilities + "\r\nd003 OK done\r\n");
        EXPECT_EQ(net.takeWritten(), "d004 UID FETCH " + asked + identityFetch);
        QByteArray reply;
        int n = 0;
        for (const QByteArray &uid : found.split(' ')) {
            if (!uid.isEmpty())
                reply += identityData(++n, uid, "100", headersOf(uid));
        }
        send(reply + "d004 OK done\r\n");
    }

    ImapDeletion session;
};

} // namespace

// Every path from the wanted ids to the server's answer, whole and one byte at a time.
TEST(ImapDeletion, ExpungesExactlyTheWantedUidsOrLeavesThemFlagged)
{
    struct Case
    {
        const char *name;
        QByteArray capabilities;
        QList<std::pair<QByteArray, QByteArray>> afterStore; // client command, server reply
        Outcomes outcomes;
    };
    const Case cases[] = {
        {"UIDPLUS: UID EXPUNGE of ours alone",
         "IMAP4rev1 UIDPLUS MOVE",
         {{"d006 UID EXPUNGE 7,12\r\n", "* 3 EXPUNGE\r\n* 5 EXPUNGE\r\nd006 OK done\r\n"}},
         {{"42:7", Deleted}, {"42:12", Deleted}, {"42:30", Gone}}},
        {"no UIDPLUS, no other message flagged: EXPUNGE",
         "IMAP4rev1 IDLE",
         {{"d007 UID SEARCH DELETED\r\n", "* SEARCH 12 7\r\nd007 OK done\r\n"},
          {"d008 EXPUNGE\r\n", "* 3 EXPUNGE\r\n* 4 EXPUNGE\r\nd008 OK done\r\n"}},
         {{"42:7", Deleted}, {"42:12", Deleted}, {"42:30", Gone}}},
        {"no UIDPLUS, another message flagged: no EXPUNGE",
         "IMAP4rev1",
         {{"d007 UID SEARCH DELETED\r\n", "* SEARCH 7 9 12\r\nd007 OK done\r\n"}},
         {{"42:7", FlaggedNotExpunged}, {"42:12", FlaggedNotExpunged}, {"42:30", Gone}}},
        {"UID EXPUNGE refused",
         "IMAP4rev1 UIDPLUS",
         {{"d006 UID EXPUNGE 7,12\r\n", "d006 NO read-only\r\n"}},
         {{"42:7", ExpungeRefused}, {"42:12", ExpungeRefused}, {"42:30", Gone}}},
    };
    for (const Case &c : cases) {
        for (bool isBytewise : {false, true}) {
            SCOPED_TRACE(c.name);
            SCOPED_TRACE(isBytewise ? "one byte per arrival" : "one reply per arrival");
            ImapDeletionBed bed({"42:12", "42:7", "42:30"}, isBytewise);
            bed.loginAndSelect("42");
            bed.findUids(c.capabilities, "7,12,30", "7 12");
            EXPECT_EQ(bed.net.takeWritten(), "d005 UID STORE 7,12 +FLAGS.SILENT (\\Deleted)\r\n");
            bed.send("d005 OK Store completed\r\n");
            for (const auto &[command, reply] : c.afterStore) {
                EXPECT_EQ(bed.net.takeWritten(), command);
                bed.send(reply);
            }
            EXPECT_EQ(bed.net.takeWritten(), "d009 LOGOUT\r\n");
            EXPECT_EQ(bed.finishedCount, 1);
            EXPECT_EQ(bed.result.status, SessionStatus::Ok);
            EXPECT_EQ(bed.session.outcomes(), c.outcomes);
        }
    }
}

// A renewed mailbox, or one that gives no UIDVALIDITY at all, has no UID to trust: nothing is
// stored, and each says which it was.
TEST(ImapDeletion, ChangedOrMissingUidValidityStoresNothing)
{
    const struct
    {
        const char *name;
        QByteArray selectData;
        DeletionOutcome outcome;
    } cases[] = {
        {"changed", "* 9 EXISTS\r\n* OK [UIDVALIDITY 43] UIDs valid\r\n", UidValidityChanged},
        {"none given", "* 9 EXISTS\r\n", NoUidValidity},
        {"zero", "* OK [UIDVALIDITY 0] UIDs valid\r\n", NoUidValidity},
    };
    for (const auto &c : cases) {
        for (bool isBytewise : {false, true}) {
            SCOPED_TRACE(c.name);
            ImapDeletionBed bed({"42:7", "42:12"}, isBytewise);
            bed.send("* OK IMAP ready\r\nd001 OK Logged in\r\n");
            bed.send(c.selectData + "d002 OK [READ-WRITE] Select completed\r\n");
            EXPECT_EQ(bed.net.takeWritten(),
                      "d001 LOGIN \"joe\" \"se\\\"cret\"\r\nd002 SELECT INBOX\r\nd009 LOGOUT\r\n");
            EXPECT_EQ(bed.finishedCount, 1);
            EXPECT_EQ(bed.session.outcomes(),
                      (Outcomes {{"42:7", c.outcome}, {"42:12", c.outcome}}));
        }
    }
}

TEST(ImapDeletion, EveryWantedUidGoneStoresNothing)
{
    ImapDeletionBed bed({"42:7", "42:9", "42:8", "42:3", "42:12", "42:13"}, false);
    bed.loginAndSelect("42");
    bed.findUids("IMAP4rev1 UIDPLUS", "3,7:9,12:13", "");
    EXPECT_EQ(bed.net.takeWritten(), "d009 LOGOUT\r\n");
    EXPECT_EQ(bed.session.outcomes(),
              (Outcomes {{"42:7", Gone},
                         {"42:9", Gone},
                         {"42:8", Gone},
                         {"42:3", Gone},
                         {"42:12", Gone},
                         {"42:13", Gone}}));
}

TEST(ImapDeletion, RefusedStoreOrTimeOutCountsNothingDeleted)
{
    {
        ImapDeletionBed bed({"42:7"}, false);
        bed.loginAndSelect("42");
        bed.findUids("IMAP4rev1 UIDPLUS", "7", "7");
        EXPECT_EQ(bed.net.takeWritten(), "d005 UID STORE 7 +FLAGS.SILENT (\\Deleted)\r\n");
        bed.send("d005 NO mailbox is read-only\r\n");
        EXPECT_EQ(bed.net.takeWritten(), "d009 LOGOUT\r\n");
        EXPECT_EQ(bed.session.outcomes(), (Outcomes {{"42:7", Refused}}));
        EXPECT_TRUE(bed.services.notifier.popups.last().contains("read-only"));
    }
    {
        ProtocolLogCapture protocol;
        ImapDeletionBed bed({"42:7"}, false);
        bed.loginAndSelect("42");
        bed.findUids("IMAP4rev1 UIDPLUS", "7", "7");
        bed.send("d005 OK Store completed\r\n");
        EXPECT_EQ(bed.net.takeWritten(),
                  "d005 UID STORE 7 +FLAGS.SILENT (\\Deleted)\r\nd006 UID EXPUNGE 7\r\n");
        bed.session.timeOut();
        EXPECT_EQ(bed.finishedCount, 1);
        EXPECT_EQ(bed.result.status, SessionStatus::Timeout);
        EXPECT_EQ(bed.session.outcomes(), (Outcomes {{"42:7", NotDone}}));
        EXPECT_FALSE(ProtocolLogCapture::lines().join('\n').contains("cret"));
    }
}

// A server may give a UID again under the same UIDVALIDITY: the message under the confirmed
// UID is flagged only when its size and headers are the ones it was judged with.
TEST(ImapDeletion, DeletesOnlyTheMessageThatWasJudged)
{
    const QByteArray other = "From: Ann <ann@example.org>\r\nSubject: message 7\r\n\r\n";
    const MessageIdentity asJudged = judged({"42:7"}).first();
    const struct
    {
        const char *name;
        MessageIdentity wanted;
        QByteArray data; // the untagged answer to the identity fetch
        DeletionOutcome outcome;
    } cases[] = {
        {"the same message", asJudged, identityData(3, "7", "100", headersOf("7")), Deleted},
        {"another size", asJudged, identityData(3, "7", "101", headersOf("7")), NotTheSame},
        {"same size, other headers", asJudged, identityData(3, "7", "100", other), NotTheSame},
        {"no headers in the answer", asJudged, "* 3 FETCH (UID 7 RFC822.SIZE 100)\r\n", NotTheSame},
        {"judged before sizes were kept",
         {"42:7", -1, asJudged.headerDigest},
         identityData(3, "7", "100", headersOf("7")),
         NotTheSame},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ImapDeletionBed bed(QList<MessageIdentity> {c.wanted}, false);
        bed.loginAndSelect("42");
        EXPECT_EQ(bed.net.takeWritten(), "d003 CAPABILITY\r\n");
        bed.send("* CAPABILITY IMAP4rev1 UIDPLUS\r\nd003 OK done\r\n");
        EXPECT_EQ(bed.net.takeWritten(), "d004 UID FETCH 7" + identityFetch);
        bed.send(c.data + "d004 OK done\r\n");
        if (c.outcome == Deleted) {
            EXPECT_EQ(bed.net.takeWritten(), "d005 UID STORE 7 +FLAGS.SILENT (\\Deleted)\r\n");
            bed.send("d005 OK\r\n");
            EXPECT_EQ(bed.net.takeWritten(), "d006 UID EXPUNGE 7\r\n");
            bed.send("d006 OK\r\n");
        }
        EXPECT_EQ(bed.net.takeWritten(), "d009 LOGOUT\r\n");
        EXPECT_EQ(bed.session.outcomes(), (Outcomes {{"42:7", c.outcome}}));
    }
}
