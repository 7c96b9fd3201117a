#include "message/cmessage.h"
#include "support/qtprinters.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

// The samples are stored with LF line ends; the parser sees them as received, with CR LF.
QByteArray readMail(const char *name)
{
    QFile file(QStringLiteral(TEST_DATA_DIR "/mail/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray text = file.readAll();
    text.replace("\r\n", "\n");
    text.replace("\n", "\r\n");
    return text;
}

CMessage parsed(const QByteArray &text)
{
    CMessage m;
    m.ParseMessage(text);
    return m;
}

} // namespace

TEST(ParseMessage, ReadsTheLastOccurrenceOfEachHeaderField)
{
    const CMessage m = parsed("Subject:  first \r\n"
                              "Return-Path: <a@example.org>\r\n"
                              "SUBJECT: second  \r\n"
                              "Message-ID: <id@x>\r\n"
                              "Received: from a (a [198.51.100.1]) by b\r\n"
                              "Received: from mx1 (mx1 [192.0.2.7]) by mx2\r\n"
                              "From: x@example.org\r\nTo: y@example.com\r\nCc: c\r\nBcc: d\r\n"
                              "Sender: s\r\nReply-To: r\r\nIn-Reply-To: <p>\r\nReferences: <q>\r\n"
                              "Date: Mon, 31 Dec 2007 20:00:00 -0500\r\n"
                              "Mime-Version: 1.0\r\n"
                              "\r\nbody\r\n");
    EXPECT_EQ(m.Subject, "second");
    EXPECT_EQ(m.ReturnPath, "a@example.org");
    EXPECT_EQ(m.MessageID, "id@x");
    EXPECT_EQ(m.Received, "from mx1 (mx1 [192.0.2.7]) by mx2");
    EXPECT_EQ(m.SourceIP, "192.0.2.7");
    EXPECT_EQ(m.from, "x@example.org");
    EXPECT_EQ(m.MessageTo, "y@example.com");
    EXPECT_EQ(m.CC, "c");
    EXPECT_EQ(m.BCC, "d");
    EXPECT_EQ(m.Sender, "s");
    EXPECT_EQ(m.ReplyTo, "r");
    EXPECT_EQ(m.InReplyTo, "<p>");
    EXPECT_EQ(m.References, "<q>");
    EXPECT_EQ(m.SendDate, "Mon, 31 Dec 2007 20:00:00 -0500");
    EXPECT_EQ(m.Headers, "");
    EXPECT_EQ(m.MessageBody, "body<BR>");
    EXPECT_EQ(m.Status, "");
    EXPECT_EQ(m.Reason, "");
}

TEST(ParseMessage, HeaderValueEdgeCases)
{
    struct Case
    {
        const char *name;
        QByteArray header;
        QByteArray CMessage::*field;
        QByteArray expected;
    };
    const Case cases[] = {
        {"folded subject keeps its first line", "Subject: one\r\n two", &CMessage::Subject, "one"},
        {"brackets only", "Return-Path: <>", &CMessage::ReturnPath, ""},
        {"empty return path", "Return-Path:", &CMessage::ReturnPath, ""},
        {"one character", "Message-ID: x", &CMessage::MessageID, ""},
        {"value with colons", "Subject: Re: a: b", &CMessage::Subject, "Re: a: b"},
        {"no blank after colon", "Subject:x", &CMessage::Subject, "x"},
        {"name with blank is no field", "Subject : x", &CMessage::Subject, ""},
        {"source ip with sign or point", "Received: from -1x (.5) by", &CMessage::SourceIP, "-1x"},
        {"no address-like word", "Received: from a by b", &CMessage::SourceIP, ""},
        {"date word counts", "Received: by b; 10 Dec 2007", &CMessage::SourceIP, "10"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const CMessage m = parsed(c.header + "\r\n\r\nbody");
        EXPECT_EQ(m.*c.field, c.expected);
    }
}

TEST(ParseMessage, TextWithoutEmptyLineIsNotParsed)
{
    const CMessage m = parsed(readMail("no-body-separator.eml"));
    EXPECT_EQ(m.SIZE, 0);
    EXPECT_EQ(m.Subject, "");
    EXPECT_EQ(m.ReturnPath, "");
    EXPECT_EQ(m.MessageBody, "");
    EXPECT_EQ(m.Attachment, QList<QByteArray> {QByteArray()});
}

TEST(ParseMessage, ParsesTheSampleMessages)
{
    struct Case
    {
        const char *file;
        QByteArray body;
        QList<QByteArray> names; // after the empty element 0
        QList<QByteArray> contents;
    };
    const Case cases[] = {
        {"plain-text.eml",
         "Hi Bob,<BR><BR>are we still on for lunch on Friday? The usual place at noon.<BR><BR>"
         "Alice<BR>",
         {},
         {}},
        {"multipart-alternative.eml",
         "Spring offers<BR>cheap pills here<p>Spring offers</p><p>cheap pills here</p>",
         {},
         {}},
        {"mixed-attachments.eml",
         "Please find the invoice attached.",
         {"invoice2008.pdf", "photos.zip", "unnamed"},
         {"%PDF-1.4\n%%EOF\n", "PK\x03\x04\n", "no name here"}},
        {"nested-multipart.eml", "plain part<b>html part</b>", {"dot.png"}, {"\x89PNG\r\n\x1a\n"}},
        // The inner boundary stands on a continuation line, so the container is also taken
        // as a text part of the outer boundary and its text arrives twice.
        {"nested-continuation.eml",
         "--inner<BR>Content-Type: text/plain<BR><BR>plain part<BR>--inner--<BR>plain part",
         {},
         {}},
        {"quoted-printable.eml",
         "Caf\xe9 au lait costs 3=4 euros, a very long line that had to be wrapped by the "
         "sender.<BR>Second line.<BR>",
         {},
         {}},
        {"base64-text.eml", "Buy cheap pills now !<BR>Second line", {}, {}},
        {"base64-single.eml", "Buy cheap pills now !", {}, {}},
        {"uuencoded.eml", "See attached.", {"abc.txt"}, {"abc"}},
        {"encoded-word-name.eml",
         "Two files.",
         {"r\xe9sum\xe9.pdf", "=?utf-8?Q?r=C3=A9sum=C3=A9.exe?="},
         {"%PDF-\n", "data"}},
        {"dot-stuffed.eml", "First line<BR>.<BR>..leading dots<BR>Last line<BR>", {}, {}},
        {"closing-last-line.eml", "last line test", {}, {}},
        // A further parameter after the boundary becomes part of the marker, which then
        // matches no delimiter line.
        {"boundary-trailing-param.eml", "", {}, {}},
        {"unclosed-boundary.eml", "first partsecond part, never closed", {}, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.file);
        const QByteArray text = readMail(c.file);
        ASSERT_FALSE(text.isEmpty());
        const CMessage m = parsed(text);
        EXPECT_EQ(m.SIZE, text.size());
        EXPECT_EQ(m.MessageBody, c.body);
        EXPECT_EQ(m.Attachment, QList<QByteArray> {QByteArray()} + c.names);
        EXPECT_EQ(m.AttachmentBodies, QList<QByteArray> {QByteArray()} + c.contents);
    }
}

TEST(ParseMessage, PlainSampleHeaderFields)
{
    const CMessage m = parsed(readMail("plain-text.eml"));
    EXPECT_EQ(m.Subject, "Re: Lunch on Friday?");
    EXPECT_EQ(m.ReturnPath, "alice@example.org");
    EXPECT_EQ(m.MessageID, "20071231200000.GA1234@example.org");
    EXPECT_EQ(m.from, "Alice Example <alice@example.org>");
    EXPECT_EQ(m.CC, "carol@example.com");
    EXPECT_EQ(m.SourceIP, "192.0.2.7");
    EXPECT_EQ(m.SendDate, "Mon, 31 Dec 2007 20:00:00 -0500");
}

TEST(ParseMessage, SurvivesHostileInput)
{
    // Each of these must return, without a crash; the sanitizer builds and the fuzz target
    // check the rest.
    const QByteArray head = "Subject: x\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n";
    QByteArray manyParts = head;
    for (int i = 0; i < 10000; ++i)
        manyParts += "--b\r\nContent-Type: application/x; name=\"f" + QByteArray::number(i)
            + "\"\r\n\r\ndata\r\n";
    QByteArray manyBoundaries = "Subject: x\r\n\r\n";
    for (int i = 0; i < 5000; ++i)
        manyBoundaries
            += "boundary=\"" + QByteArray::number(i) + "\"\r\n--" + QByteArray::number(i) + "\r\n";
    const QByteArray longLine = head + "--b\r\n" + QByteArray(1 << 20, 'x') + "\r\n--b--\r\n";
    // Thousands of parts that all take their type from one far, long "Content-Type:" line.
    const QByteArray sharedType = head + QByteArray("--b\r\n\r\nx\r\n").repeated(10000)
        + "Content-Type: " + QByteArray(1 << 20, 'a') + "\r\n\r\n";
    // A boundary of a megabyte against lines of dashes.
    const QByteArray longBoundary = "Content-Type: multipart/mixed; boundary=\""
        + QByteArray(1 << 20, '-') + "\"\r\n\r\n" + QByteArray(1 << 21, '-') + "\r\n\r\n";
    const QByteArray garbage[] = {
        head,
        head + "--b",
        head + "--b\r\n",
        head + "--b--",
        "\r\n\r\n",
        "boundary=\r\n\r\n--\r\n--\r\n",
        head + "--b\r\nContent-Transfer-Encoding: base64\r\n\r\n!!!!====\x01\r\n--b",
        head + "--b\r\nContent-Transfer-Encoding: x-uue\r\n\r\nbegin\r\n\x7f\x7f\x7f\r\nend",
        head + "--b\r\nContent-Type: a; name=\"=?iso-8859-1?B?====?=\"\r\n\r\nx\r\n--b--",
        QByteArray("\0\0\r\n\r\n\0boundary=\0\r\n--\0\r\n", 22),
        manyParts,
        manyBoundaries,
        longLine,
        sharedType,
        longBoundary,
    };
    for (const QByteArray &text : garbage) {
        SCOPED_TRACE(text.left(60).constData());
        const CMessage m = parsed(text);
        EXPECT_EQ(m.SIZE, text.size());
        EXPECT_EQ(m.Attachment.size(), m.AttachmentBodies.size());
    }
    EXPECT_EQ(parsed(manyParts).Attachment.size(), 10001);
    EXPECT_EQ(parsed(manyParts).Attachment.last(), "f9999");
}

TEST(ParseMessage, TakingTheBodyGivesWhatParsingGives)
{
    const QByteArray head = "From: a@example.org\r\nSubject: hi\r\n\r\n";
    struct Case
    {
        const char *name;
        QByteArray text;
        bool isTaken;
    };
    const Case cases[] = {
        {"plain body", head + "line one\r\n\r\nline\rtwo\r\n", true},
        {"a lone CR at the end", head + "x\r", true},
        {"an encoding that leaves the body as it stands",
         "Content-Transfer-Encoding: 8bit\r\n" + head + "x\r\n", true},
        {"a <BR> of its own", head + "a<BR>b\r\n", false},
        {"a NUL byte", head + QByteArray("a\0b", 3), false},
        {"no body", head, false},
        {"base64", "Content-Transfer-Encoding: base64\r\n" + head + "aGk=\r\n", false},
        {"multipart",
         "Content-Type: multipart/mixed; boundary=\"b\"\r\n" + head + "--b\r\n\r\nx\r\n--b--\r\n",
         false},
        {"an encoding line in the body", head + "Content-Transfer-Encoding: 7bit\r\nx\r\n\r\ny",
         false},
        {"no header end", "Subject: x\r\nbody", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const CMessage expected = parsed(c.text);
        CMessage m;
        QByteArray text(c.text.constData(), c.text.size()); // an array of its own
        EXPECT_EQ(m.parseTakingBody(text), c.isTaken);
        EXPECT_EQ(m.MessageBody, expected.MessageBody);
        EXPECT_EQ(m.Subject, expected.Subject);
        EXPECT_EQ(m.from, expected.from);
        EXPECT_EQ(m.SIZE, expected.SIZE);
        EXPECT_EQ(m.Attachment, expected.Attachment);
        EXPECT_EQ(m.AttachmentBodies, expected.AttachmentBodies);
        if (c.isTaken) {
            EXPECT_EQ(text, c.text.first(c.text.indexOf("\r\n\r\n") + 4));
            EXPECT_EQ(text + QByteArray(m.MessageBody).replace("<BR>", "\r\n"), c.text);
        } else {
            EXPECT_EQ(text, c.text);
        }
    }
    // An array shared with another holder is parsed, never changed.
    QByteArray shared = cases[0].text;
    CMessage m;
    EXPECT_FALSE(m.parseTakingBody(shared));
    EXPECT_EQ(m.MessageBody, parsed(cases[0].text).MessageBody);
}
