#include "message/bytetext.h"
#include "support/qtprinters.h"

#include <gtest/gtest.h>

TEST(ByteText, IndexOfBytesFindsWhatTheGeneralSearchFinds)
{
    const QByteArray dashes(100000, '-');
    const QByteArray marker = QByteArray(200, '-') + "x";
    const struct
    {
        QByteArray text;
        QByteArray needle;
        qsizetype from;
    } cases[] = {
        {"abc\r\ndef\r\n", "\r\n", 0},
        {"abc\r\ndef\r\n", "\r\n", 4},
        {"abc\r\ndef\r\n", "\r\n", 9},
        {"a\r\r\nb", "\r\n", 0},
        {"head\r\n\r\nbody", "\r\n\r\n", 0},
        {"no break", "\r\n", 0},
        {"x", "", 0},
        {"", "", 0},
        {"abc", "abc", 1},
        {"abc", "c", 3},
        {"abc", "x", -1},
        {dashes, marker, 0},
        {dashes + marker, marker, 0},
        {dashes + marker + "y", marker, 5},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text.left(20).constData());
        const qsizetype expected = c.from < 0 ? -1 : c.text.indexOf(c.needle, c.from);
        EXPECT_EQ(indexOfBytes(c.text, c.needle, c.from), expected);
        EXPECT_EQ(containsBytes(c.text, c.needle), c.text.contains(c.needle));
    }
}

TEST(ByteText, ReplaceAllReplacesEveryOccurrenceOnce)
{
    EXPECT_EQ(replaceAll("a\r\nb\r\n", "\r\n", "<BR>"), "a<BR>b<BR>");
    EXPECT_EQ(replaceAll("x==_y=_z", "==_", ""), "xy=_z");
    EXPECT_EQ(replaceAll("aaaa", "aa", "a"), "aa");
    EXPECT_EQ(replaceAll("plain", "\r\n", "<BR>"), "plain");
}
