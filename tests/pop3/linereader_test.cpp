#include "pop3/linereader.h"

#include <QByteArray>
#include <QList>

#include <gtest/gtest.h>

namespace {

// Feeds a status line and a multi-line text, whole or one byte at a time, and returns the
// status line, the text and what is left over for the next reply.
struct Framed
{
    QByteArray status;
    QByteArray text;
    QByteArray next;
    bool isComplete = false;
    FramingFailure failure = FramingFailure::None;
    qsizetype buffered = 0; // at the end
};

Framed frame(const QByteArray &input, bool isBytewise, FramingLimits limits = {})
{
    LineReader reader(limits);
    Framed out;
    bool hasStatus = false;
    const qsizetype step = isBytewise ? 1 : input.size();
    for (qsizetype at = 0; at < input.size(); at += step) {
        reader.append(QByteArrayView(input).sliced(at, std::min(step, input.size() - at)));
        if (!hasStatus) {
            if (auto line = reader.takeLine()) {
                out.status = *line;
                hasStatus = true;
            }
        }
        if (hasStatus && !out.isComplete) {
            if (auto text = reader.takeMultiline()) {
                out.text = *text;
                out.isComplete = true;
            }
        }
    }
    if (out.isComplete)
        if (auto line = reader.takeLine())
            out.next = *line;
    out.failure = reader.failure();
    out.buffered = reader.bufferedSize();
    return out;
}

} // namespace

TEST(LineReader, FramesMultiLineRepliesWholeAndByteByByte)
{
    struct Case
    {
        const char *name;
        QByteArray input;
        QByteArray text;
        bool isComplete;
    };
    // Large enough for the reader to hand over its buffer instead of copying the text; the
    // dots are undone in place, the very first byte included.
    QByteArray large = "..first\r\n";
    QByteArray unstuffed = ".first\r\n";
    for (int i = 0; i < 12000; ++i) {
        large += i % 100 == 0 ? "..\r\n...x\r\n" : "line\r\n";
        unstuffed += i % 100 == 0 ? ".\r\n..x\r\n" : "line\r\n";
    }
    const Case cases[] = {
        {"large text with the next reply in the same arrival",
         "+OK\r\n" + large + ".\r\n+OK bye\r\n", unstuffed, true},
        {"plain", "+OK 12 octets\r\nSubject: a\r\n\r\nbody\r\n.\r\n+OK bye\r\n",
         "Subject: a\r\n\r\nbody\r\n", true},
        {"empty text", "+OK\r\n.\r\n+OK bye\r\n", "", true},
        {"stuffed lone dot is not the end", "+OK\r\nA\r\n..\r\nB\r\n.\r\n+OK bye\r\n",
         "A\r\n.\r\nB\r\n", true},
        {"stuffed leading dots", "+OK\r\n...x\r\n..\r\n.\r\n+OK bye\r\n", "..x\r\n.\r\n", true},
        {"dot inside a line", "+OK\r\na.\r\nb .\r\n.\r\n+OK bye\r\n", "a.\r\nb .\r\n", true},
        {"no end line yet", "+OK\r\nA\r\n.\r", "", false},
        {"dot without line end", "+OK\r\nA\r\n.", "", false},
    };
    for (const Case &c : cases) {
        for (bool isBytewise : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (isBytewise ? " bytewise" : " whole"));
            const Framed framed = frame(c.input, isBytewise);
            EXPECT_EQ(framed.isComplete, c.isComplete);
            EXPECT_EQ(framed.text, c.text);
            if (c.isComplete) {
                EXPECT_EQ(framed.next, "+OK bye\r\n");
            }
        }
    }
}

TEST(LineReader, LineIsCompleteOnlyAtItsLineEnd)
{
    LineReader reader;
    reader.append("+OK rea");
    EXPECT_FALSE(reader.takeLine());
    reader.append("dy\r");
    EXPECT_FALSE(reader.takeLine());
    reader.append("\n-ERR no\n+O");
    EXPECT_EQ(reader.takeLine(), QByteArray("+OK ready\r\n"));
    EXPECT_EQ(reader.takeLine(), QByteArray("-ERR no\n"));
    EXPECT_FALSE(reader.takeLine());
    EXPECT_EQ(reader.bufferedSize(), 2);
}

TEST(LineReader, LargeTextInSmallArrivalsIsFramedExactly)
{
    QByteArray body;
    for (int i = 0; i < 20000; ++i)
        body += "line " + QByteArray::number(i) + (i % 7 == 0 ? "\r\n..dot\r\n" : "\r\n");
    const QByteArray wire = "+OK\r\n" + body + ".\r\n";
    LineReader reader;
    std::optional<QByteArray> text;
    bool hasStatus = false;
    for (qsizetype at = 0; at < wire.size(); at += 1000) {
        reader.append(QByteArrayView(wire).sliced(at, std::min<qsizetype>(1000, wire.size() - at)));
        if (!hasStatus)
            hasStatus = reader.takeLine().has_value();
        if (hasStatus && !text)
            text = reader.takeMultiline();
    }
    ASSERT_TRUE(text);
    QByteArray expected = body;
    expected.replace("\r\n..dot", "\r\n.dot");
    EXPECT_EQ(*text, expected);
    EXPECT_EQ(reader.bufferedSize(), 0);
}

TEST(LineReader, LineAndTextBeyondTheirLimitsFailTheReader)
{
    // Lines of up to 16 bytes with their line end, texts of up to 32 bytes.
    const FramingLimits limits {16, 32};
    const QByteArray line30 = QByteArray(28, 'a') + "\r\n";
    struct Case
    {
        const char *name;
        QByteArray input;
        FramingFailure failure;
        QByteArray text;
    };
    using enum FramingFailure;
    const Case cases[] = {
        {"status line at the limit", "+OK 0123456789\r\n.\r\n", None, ""},
        {"status line one byte over", "+OK 01234567890\r\n.\r\n", LineTooLong, ""},
        {"status line that never ends", "+OK " + QByteArray(100, 'x'), LineTooLong, ""},
        {"text at the limit, its line longer than a status line", "+OK\r\n\r\n" + line30 + ".\r\n",
         None, "\r\n" + line30},
        {"text one byte over", "+OK\r\nb\r\n" + line30 + ".\r\n", TextTooLarge, ""},
        {"text that never ends", "+OK\r\n" + line30.repeated(10), TextTooLarge, ""},
    };
    for (const Case &c : cases) {
        for (bool isBytewise : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (isBytewise ? " bytewise" : " whole"));
            const Framed framed = frame(c.input + "+OK bye\r\n", isBytewise, limits);
            EXPECT_EQ(framed.failure, c.failure);
            EXPECT_EQ(framed.isComplete, c.failure == None);
            EXPECT_EQ(framed.text, c.text);
            // Arrivals after the failure are not kept.
            if (isBytewise) {
                EXPECT_LE(framed.buffered, limits.maxTextSize + 4);
            }
        }
    }
}
