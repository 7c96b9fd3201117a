#include "message/mimelines.h"
#include "support/qtprinters.h"

#include <gtest/gtest.h>

TEST(MimeLines, FindTokenNeedsDelimitersOnBothSides)
{
    struct Case
    {
        const char *line;
        const char *token;
        qsizetype expected;
    };
    const Case cases[] = {
        {"--abc", "--abc", 1},
        {"x --ABC", "--abc", 3}, // case-insensitive
        {"--abc--", "--abc", 1}, // "-" is a delimiter: the closing line matches too
        {"--abcd", "--abc", 0},
        {"x--abc", "--abc", 0},
        {"\"--abc\"", "--abc", 2},
        {"--abcd --abc\t", "--abc", 8}, // the first occurrence that qualifies
        {"Content-Type:text/plain", "Content-Type:", 0},
        {"Content-Type: text/plain", "content-type:", 1},
        {"anything", "", 0},
        {"ab", "abc", 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(FindToken(c.line, c.token), c.expected);
    }
    for (char c : QByteArray("\"-\t\n\r "))
        EXPECT_TRUE(IsTokenDelimiter(c));
    for (char c : QByteArray(";=:_a.'"))
        EXPECT_FALSE(IsTokenDelimiter(c));
}

TEST(MimeLines, FindLineNeverExaminesTheLastLine)
{
    const LineArray lines = {"a", "key here", "b", "key"};
    EXPECT_EQ(FindLine(0, "key", lines, true), 1);
    EXPECT_EQ(FindLine(1, "key", lines, true), 1);
    EXPECT_EQ(FindLine(2, "key", lines, true), -1); // index 3 is the last line
    EXPECT_EQ(FindLine(3, "key", lines, true), -1);
    EXPECT_EQ(FindLine(9, "key", lines, true), -1);
    EXPECT_EQ(FindLine(-1, "key", lines, true), -1);
    EXPECT_EQ(FindLine(0, "KEY", lines, true), -1); // substring search keeps case
    EXPECT_EQ(FindLine(0, "KEY", lines, false), 1); // token search ignores it
    EXPECT_EQ(FindLine(0, "ke", lines, false), -1);
    EXPECT_EQ(FindLine(0, "x", LineArray(), true), -1);
}

TEST(MimeLines, BlankAndLastLineSearchesKeepTheirIndexRules)
{
    const LineArray lines = {"", "a", "", "end", ""};
    EXPECT_EQ(FindBlankLine(0, lines), 0);
    EXPECT_EQ(FindBlankLine(1, lines), 2);
    EXPECT_EQ(FindBlankLine(3, lines), 4);
    // From 0 at most size - 1 lines are examined, so the last one is not.
    EXPECT_EQ(FindBlankLine(0, LineArray {"a", "b", ""}), -1);
    EXPECT_EQ(FindBlankLine(-1, lines), -1);
    EXPECT_EQ(FindBlankLine(5, lines), -1);

    EXPECT_EQ(FindLastLine("end", lines), 3);
    EXPECT_EQ(FindLastLine("end", LineArray {"end", "x"}), -1); // index 0 is never examined
    EXPECT_EQ(FindLastLine("x", LineArray()), -1);
    EXPECT_EQ(FindLastEmptyLine(lines), 4);
    EXPECT_EQ(FindLastEmptyLine(LineArray {"", "a"}), -1);
}

TEST(MimeLines, GetParamKeepsEverythingAfterTheValue)
{
    struct Case
    {
        const char *line;
        const char *key;
        QByteArray expected;
    };
    const Case cases[] = {
        {"Content-Type: multipart/mixed; boundary=\"b1\"", "boundary=", "b1"},
        {"  BOUNDARY=\"Mixed Case\"", "boundary=", "MixedCase"},
        {"\tboundary=abc", "boundary=", "abc"},
        {"boundary=\"b1\"; charset=x", "boundary=", "b1\";charset=x"},
        {"boundary=\"", "boundary=", ""},
        // The key is looked up in the lower-cased line, so a mixed-case key is never found and
        // the value starts at the character numbered by the key's length.
        {"Content-Transfer-Encoding: base64", "Content-Transfer-Encoding:", ":base64"},
        {"short", "Content-Transfer-Encoding:", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(GetParam(0, c.key, LineArray {c.line}), c.expected);
    }
    EXPECT_EQ(GetParam(1, "name=", LineArray {"name=a"}), "");
    EXPECT_EQ(GetParam(-1, "name=", LineArray {"name=a"}), "");
}

TEST(MimeLines, MoveLinesEmptiesTheSourceRange)
{
    LineArray source = {"a", "b", "c", "d"};
    LineArray target = {"old"};
    MoveLines(source, target, 1, 2);
    EXPECT_EQ(target, (LineArray {"b", "c"}));
    EXPECT_EQ(source, (LineArray {"a", "", "", "d"}));

    MoveLines(source, target, 3, 2); // To below From: nothing changes
    EXPECT_EQ(target, (LineArray {"b", "c"}));

    MoveLines(source, target, 2, 5); // outside the source: empty lines, source untouched
    EXPECT_EQ(target, LineArray(4));
    EXPECT_EQ(source, (LineArray {"a", "", "", "d"}));
}

TEST(MimeLines, UnfoldHeaderJoinsContinuationLines)
{
    const LineArray lines = {"Content-Type: a;",
                             "\tname=\"x\"",
                             " y",
                             "\x0bz",
                             "\xff"
                             "w",
                             "Next: 1",
                             "",
                             "body"};
    EXPECT_EQ(UnfoldHeader(0, 6, lines),
              (LineArray {"Content-Type: a; name=\"x\" y z w", "Next: 1", ""}));
    EXPECT_EQ(UnfoldHeader(6, 7, lines), (LineArray {"", "body"}));
    EXPECT_TRUE(UnfoldHeader(0, 8, lines).isEmpty());
    EXPECT_TRUE(UnfoldHeader(-1, 2, lines).isEmpty());
}
