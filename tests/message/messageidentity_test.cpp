#include "message/messageidentity.h"

#include <gtest/gtest.h>

// What the check reads from a whole message must equal what a deletion reads from a POP3
// "TOP n 0" reply or an IMAP HEADER.FIELDS reply of the same message, and differ for
// another message.
TEST(MessageIdentity, TheDigestReadsOnlyTheIdentifyingHeaders)
{
    const QByteArray whole
        = "Received: from mx by host\r\nMessage-ID: <a1@example.org>\r\n"
          "Date: Fri, 13 Mar 2026 10:00:00 +0000\r\nFrom: Jo\r\n <jo@example.org>\r\n"
          "Subject: Lunch\r\nX-Other: 1\r\n\r\nSubject: not a header\r\n";
    const QByteArray digest = identityDigest(whole);
    const struct
    {
        const char *name;
        QByteArray text;
        bool isSame;
    } cases[] = {
        {"the header block alone, LF line ends",
         "Received: from mx by host\nMessage-ID: <a1@example.org>\nDate: Fri, 13 Mar 2026 "
         "10:00:00 +0000\nFrom: Jo\n <jo@example.org>\nSubject: Lunch\nX-Other: 1\n",
         true},
        {"HEADER.FIELDS: other order, other case, unfolded",
         "subject: Lunch\r\nFROM: Jo <jo@example.org>\r\nmessage-id:  <a1@example.org>\r\n"
         "Date: Fri, 13 Mar 2026 10:00:00 +0000\r\n\r\n",
         true},
        {"another subject",
         "Message-ID: <a1@example.org>\r\nDate: Fri, 13 Mar 2026 10:00:00 +0000\r\n"
         "From: Jo <jo@example.org>\r\nSubject: Dinner\r\n\r\n",
         false},
        {"a header missing",
         "Message-ID: <a1@example.org>\r\nFrom: Jo <jo@example.org>\r\nSubject: Lunch\r\n\r\n",
         false},
        {"a body line that looks like a header does not count", whole + "Subject: more\r\n", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(identityDigest(c.text) == digest, c.isSame);
    }
}

// An identity not fully known proves nothing: nothing is deleted on a guess.
TEST(MessageIdentity, OnlyAFullyKnownIdentityMatches)
{
    const MessageIdentity judged {"U1", 120, "d1"};
    EXPECT_TRUE(judged.matches({"U1", 120, "d1"}));
    EXPECT_FALSE(judged.matches({"U1", 121, "d1"}));
    EXPECT_FALSE(judged.matches({"U1", 120, "d2"}));
    EXPECT_FALSE(judged.matches({"U2", 120, "d1"}));
    EXPECT_FALSE((MessageIdentity {"U1", -1, "d1"}).matches({"U1", -1, "d1"}));
    EXPECT_FALSE((MessageIdentity {"U1", 120, ""}).matches({"U1", 120, ""}));
}
