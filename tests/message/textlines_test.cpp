#include "message/mimelines.h"
#include "message/textlines.h"
#include "support/qtprinters.h"

#include <gtest/gtest.h>

namespace {

// The text split at CR LF as a line array, with where each line starts in the text.
struct Split
{
    LineArray lines;
    QList<qsizetype> starts;

    explicit Split(const QByteArray &text)
    {
        qsizetype start = 0;
        for (;;) {
            starts << start;
            const qsizetype crlf = text.indexOf("\r\n", start);
            lines << text.mid(start, crlf < 0 ? -1 : crlf - start);
            if (crlf < 0)
                break;
            start = crlf + 2;
        }
    }
    // The index of the line that starts there: -1 for none, the line count for end().
    qsizetype index(const TextLines &text, qsizetype start) const
    {
        if (start < 0)
            return -1;
        return start == text.end() ? lines.size() : starts.indexOf(start);
    }
};

} // namespace

// Every search over a text read in place finds the line its twin finds in the line array.
TEST(TextLines, FindsWhatTheLineArrayFinds)
{
    const QByteArray texts[] = {
        "",
        "a",
        "\r\n",
        "a\r\n",
        "\r\n\r\n",
        "a\r\n\r\nb",
        "x\r\n\r\n\r\n",
        "a\r\r\nb\n\r\n\rc",
        "\n\r\n\r\r\n",
        "Content-Type: multipart/mixed; boundary=x\r\n\r\n--x\r\nContent-Type: text/plain\r\n"
        "\r\nbody\r\n--x--\r\n",
        "end\r\nback end\r\nthe end",
        "--x\r\n--x--\r\n--X\r\n-x--x-",
        "name=a\r\n\r\nfilename=\"b\"",
        "a\r\n\r\r\n\r",
    };
    const QByteArray searched[]
        = {"x",    "--x",           "end",           "",     "\r", "\n", "a\r", "\nb",
           "\r\r", "content-TYPE:", "Content-Type:", "name="};
    for (const QByteArray &text : texts) {
        SCOPED_TRACE(text.toStdString());
        const TextLines lines(text);
        const Split split(text);
        EXPECT_EQ(lines.hasTwoLines(), split.lines.size() >= 2);
        EXPECT_EQ(split.index(lines, lines.lastLine()), split.lines.size() - 1);
        for (qsizetype i = 0; i <= split.lines.size(); ++i) {
            SCOPED_TRACE(i);
            const qsizetype start = i < split.lines.size() ? split.starts.at(i) : lines.end();
            if (i < split.lines.size()) {
                EXPECT_EQ(lines.line(start), split.lines.at(i));
                EXPECT_EQ(split.index(lines, lines.next(start)), i + 1);
            }
            EXPECT_EQ(split.index(lines, lines.findBlankLine(start)),
                      FindBlankLine(i, split.lines));
            for (const QByteArray &what : searched) {
                for (bool substring : {true, false}) {
                    EXPECT_EQ(split.index(lines, lines.findLine(start, what, substring)),
                              FindLine(i, what, split.lines, substring))
                        << what.toStdString() << (substring ? " substring" : " token");
                }
            }
        }
        for (const QByteArray &what : searched)
            EXPECT_EQ(split.index(lines, lines.findLastLine(what)), FindLastLine(what, split.lines))
                << what.toStdString();
        EXPECT_EQ(split.index(lines, lines.findLastEmptyLine()), FindLastEmptyLine(split.lines));
    }
}

TEST(TextLines, RangesBetweenLinesAreTheLinesBetween)
{
    const QByteArray text = "a\r\nb\r\n\r\nc";
    const TextLines lines(text);
    const Split split(text);
    for (qsizetype from = 0; from <= split.lines.size(); ++from) {
        for (qsizetype to = from; to <= split.lines.size(); ++to) {
            SCOPED_TRACE(
                (QByteArray::number(from) + " to " + QByteArray::number(to)).toStdString());
            const auto startOf = [&](qsizetype i) {
                return i < split.lines.size() ? split.starts.at(i) : lines.end();
            };
            const TextLines range = lines.between(startOf(from), startOf(to));
            const LineArray expected = split.lines.mid(from, to - from);
            EXPECT_EQ(range.hasLines(), !expected.isEmpty());
            if (!expected.isEmpty()) {
                EXPECT_EQ(Split(range.text().toByteArray()).lines, expected);
            }
        }
    }
}
