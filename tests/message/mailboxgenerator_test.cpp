#include "message/cmessage.h"
#include "support/mailboxgenerator.h"
#include "support/qtprinters.h"

#include <gtest/gtest.h>

TEST(MailboxGenerator, EveryKindParsesIntoTextAndAttachments)
{
    using Kind = MailboxGenerator::Kind;
    struct Case
    {
        Kind kind;
        const char *name;
        int attachments;
        qsizetype firstAttachmentSize; // -1: not checked
    };
    const Case cases[] = {
        {Kind::PlainText, "plain", 0, -1},
        {Kind::Alternative, "alternative", 0, -1},
        {Kind::MixedAttachments, "mixed", 2, 3000 / 3},
        {Kind::Nested, "nested", 1, 3000 / 8},
        {Kind::QuotedPrintable, "quoted-printable", 0, -1},
        {Kind::Base64Text, "base64 text", 0, -1},
        {Kind::Uuencoded, "uuencoded", 1, 3000 / 3},
        {Kind::EncodedWordName, "encoded word name", 1, 256},
        {Kind::DotStuffed, "dot-stuffed", 0, -1},
    };
    MailboxGenerator generator(7);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray text = generator.message(c.kind, 3000);
        CMessage m;
        m.ParseMessage(text);
        EXPECT_EQ(m.SIZE, text.size());
        EXPECT_FALSE(m.Subject.isEmpty());
        EXPECT_FALSE(m.SourceIP.isEmpty());
        // The text parts arrive decoded: words and line breaks, no transfer encoding left.
        EXPECT_GE(m.MessageBody.size(), 1400);
        EXPECT_TRUE(m.MessageBody.contains("<BR>"));
        EXPECT_FALSE(m.MessageBody.contains("=\r\n"));
        EXPECT_FALSE(m.MessageBody.contains("Content-Type"));
        ASSERT_EQ(m.Attachment.size(), 1 + c.attachments);
        if (c.firstAttachmentSize >= 0) {
            EXPECT_EQ(m.AttachmentBodies[1].size(), c.firstAttachmentSize);
        }
    }
    CMessage m;
    m.ParseMessage(generator.message(Kind::EncodedWordName, 500));
    EXPECT_TRUE(m.Attachment[1].startsWith("r\xe9sum\xe9_")) << m.Attachment[1].constData();
    m.ParseMessage(generator.message(Kind::MixedAttachments, 500));
    EXPECT_TRUE(m.Attachment[1].startsWith("report")) << m.Attachment[1].constData();
}

TEST(MailboxGenerator, SameSeedGivesTheSameMailbox)
{
    const QList<QByteArray> a = MailboxGenerator(3).mailbox(200000);
    const QList<QByteArray> b = MailboxGenerator(3).mailbox(200000);
    EXPECT_EQ(a, b);
    EXPECT_NE(a, MailboxGenerator(4).mailbox(200000));
    qint64 total = 0;
    for (const QByteArray &message : a)
        total += message.size();
    EXPECT_GE(total, 200000);
}
