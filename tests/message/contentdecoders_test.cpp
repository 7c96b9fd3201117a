#include "message/bytetext.h"
#include "message/cmessage.h"
#include "message/contentdecoders.h"
#include "support/qtprinters.h"

#include <gtest/gtest.h>

namespace {

QByteArray bytes(const char *text, qsizetype size)
{
    return QByteArray(text, size);
}

// The decoders pass a body on in pieces of this size.
constexpr qsizetype pieceSize = 64 * 1024;

} // namespace

TEST(DecodeQP, DecodesUpperCaseEscapesInOnePass)
{
    struct Case
    {
        const char *name;
        QByteArray input;
        QByteArray expected;
    };
    const Case cases[] = {
        {"decoded = does not start a new escape", "A=3D41", "A=41"},
        {"8-bit byte", "caf=E9", "caf\xe9"},
        {"lower-case hex stays", "x=3d", "x=3d"},
        {"line break escapes", "a=0D=0Ab", "a\r\nb"},
        {"=00 gives a NUL byte", "a=00b", bytes("a\0b", 3)},
        {"= before anything else stays", "1 = 2 =G1 =", "1 = 2 =G1 ="},
        {"decoded byte never joins the text before it", "=3=44", "=3D"},
        {"soft line break joins lines", "abc==_def", "abcdef"},
        {"other joints are line ends", "abc=_def", "abc\r\ndef"},
        {"escape split by a soft break", "x=3==_D", "x="},
        {"raw NUL bytes are dropped", bytes("a\0b", 3), "ab"},
        {"bytes 255 254 are kept", "=FF=FE", "\xff\xfe"},
    };
    CMessage m;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(m.DecodeQP(c.input), c.expected);
        // The same with the end of a piece at each of its bytes.
        for (qsizetype cut = 1; cut < c.input.size(); ++cut) {
            const QByteArray filler(pieceSize - cut, 'p');
            EXPECT_EQ(m.DecodeQP(filler + c.input), filler + c.expected) << "cut " << cut;
        }
    }
}

TEST(DecodeAttachment, JoinsQuotedPrintableLinesAcrossPieces)
{
    // A soft break, an escape and line ends at every place where a piece can end.
    const LineArray body = {"ab=", "c=3D", "=", "=41", "d"};
    const qsizetype joinedSize = body.join("\r\n").size();
    CMessage m;
    for (qsizetype cut = 0; cut <= joinedSize; ++cut) {
        const QByteArray filler(pieceSize - cut, 'p');
        LineArray entity = {"Content-Transfer-Encoding: quoted-printable", ""};
        entity += body;
        entity[2].prepend(filler);
        EXPECT_EQ(m.DecodeAttachment(entity), filler + "abc=\r\nA\r\nd") << "cut " << cut;
    }
}

TEST(BodyTextSink, WritesEachLineEndOnceWherePiecesEnd)
{
    const QByteArray text = "a\r\nb\r\r\n\n\rc\r\n\r\n\r";
    const QByteArray expected = replaceAll(text, "\r\n", "<BR>");
    for (qsizetype first = 0; first <= text.size(); ++first) {
        for (qsizetype second = first; second <= text.size(); ++second) {
            QByteArray body;
            BodyTextSink sink(body);
            sink.put(QByteArrayView(text).first(first));
            sink.put(QByteArrayView(text).sliced(first, second - first));
            sink.put(QByteArrayView(text).sliced(second));
            sink.finish();
            EXPECT_EQ(body, expected) << "pieces end at " << first << " and " << second;
        }
    }
}

TEST(DecodeIso, DecodesIsoEncodedWordsOnly)
{
    struct Case
    {
        const char *name;
        QByteArray input;
        QByteArray expected;
    };
    const Case cases[] = {
        {"Q word", "=?iso-8859-1?Q?Hello?=", "Hello"},
        {"B word", "=?ISO-8859-1?B?SGVsbG8=?=", "Hello"},
        {"Q escapes", "=?iso-8859-15?Q?caf=E9.txt?=", "caf\xe9.txt"},
        {"two adjacent words", "=?iso-8859-1?Q?Hel?= =?iso-8859-1?Q?lo?=", "Hello"},
        {"joined without blank", "=?iso-8859-2?B?SGVs?==?iso-8859-2?B?bG8=?=", "Hello"},
        {"underscore stays", "=?iso-8859-1?Q?a_b?=", "a_b"},
        {"utf-8 word unchanged", "=?utf-8?Q?Hello?=", "=?utf-8?Q?Hello?="},
        {"windows charset unchanged", "=?windows-1252?Q?x?=", "=?windows-1252?Q?x?="},
        {"plain text unchanged", "report.pdf", "report.pdf"},
        {"lower-case mode letter is text", "=?iso-8859-1?q?x?=", "qx"},
        {"malformed word", "=?iso-", "iso-"},
    };
    CMessage m;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(m.DecodeIso(c.input), c.expected);
    }
}

TEST(Decode, DecodesBase64GroupsWithTheirPadding)
{
    struct Case
    {
        QByteArray input;
        QByteArray expected;
    };
    const Case cases[] = {
        {"", ""},
        {"SGVsbG8=", "Hello"},
        {"SGVsbA==", "Hell"},
        {"SGVs", "Hel"},
        {"SGVs\r\nbG8=", "Hello"}, // a line break where a group starts is skipped
        {"SGVsb", "Hel"}, // a short group at the end is ignored
        {"AP+A", bytes("\x00\xff\x80", 3)},
        {"S!Vs", "H\x05l"}, // a byte outside the alphabet counts as 0
        {"S\r\nVs", bytes("H\0\x15", 3)}, // a line break inside a group is not skipped
    };
    CMessage m;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.input.constData());
        EXPECT_EQ(m.Decode(c.input), c.expected);
    }
}

TEST(DecodeUUE, KeepsTheCountOfEachLine)
{
    struct Case
    {
        const char *name;
        QByteArray input;
        QByteArray expected;
    };
    const Case cases[] = {
        {"three bytes", "#86)C", "abc"},
        {"count two keeps two", "\"86)C", "ab"},
        {"begin and end lines", "begin 644 a.txt\r\n#86)C\r\n`\r\nend", "abc"},
        {"two lines", "#86)C\r\n#86)C\r\n", "abcabc"},
        {"backquote is zero", "!````", QByteArray(1, '\0')},
        {"character below blank", "#86)\x01", ""},
        {"code beyond 255", "#zzzz", ""},
        {"garbage after the counted bytes", "!86)Cz{{{", ""},
    };
    CMessage m;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(m.DecodeUUE(c.input), c.expected);
    }
}

TEST(DecodeAttachment, FollowsTheTransferEncoding)
{
    struct Case
    {
        const char *name;
        LineArray lines;
        QByteArray expected;
    };
    const Case cases[] = {
        {"qp soft break",
         {"Content-Transfer-Encoding: quoted-printable", "", "abc=", "def"},
         "abcdef"},
        {"qp hard break",
         {"Content-Transfer-Encoding: quoted-printable", "", "abc", "def"},
         "abc\r\ndef"},
        {"base64 is decoded",
         {"Content-Transfer-Encoding: base64", "", "SGVs", "bG8g", "d29y", "bGQ=", ""},
         "Hello world"},
        {"base64 with blanks around lines",
         {"Content-Transfer-Encoding: BASE64", "", "SGVs ", " bG8="},
         "Hello"},
        {"uuencode",
         {"Content-Transfer-Encoding: x-uuencode", "", "begin 644 a", "#86)C", "`", "end", ""},
         "abc"},
        {"uuencode without end",
         {"Content-Transfer-Encoding: x-uue", "", "begin 644 a", "#86)C"},
         "abc"},
        {"7bit",
         {"Content-Type: text/plain", "Content-Transfer-Encoding: 7bit", "", "a", "b"},
         "a\r\nb"},
        {"no header", {"", "a", "b"}, "a\r\nb"},
        {"no empty line", {"a", "b"}, "a\r\nb"},
        {"NUL bytes dropped", {"", bytes("a\0b", 3)}, "ab"},
        {"single line", {"only"}, ""},
        {"encoding without blank after the colon is not found",
         {"Content-Transfer-Encoding:base64", "", "SGVs"},
         "SGVs"},
    };
    CMessage m;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(m.DecodeAttachment(c.lines), c.expected);
    }
}
