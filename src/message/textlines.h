#pragma once

#include <QByteArrayView>

// A text read as the lines of mimelines' line arrays, in place: the text split at every CR LF,
// so a text of n CR LFs holds n + 1 lines, the last one empty when the text ends in CR LF. No
// line is copied and nothing is kept per line, so reading a message this way costs no memory
// beyond the text. A line is named by the offset where it starts, which orders lines as their
// indices do; end() stands for the index one past the last line.
//
// The searches keep the rules of their line-array twins in mimelines (FindLine never examines
// the last line, FindLastLine never the first, ...) and look at each byte a bounded number of
// times.
class TextLines
{
public:
    // A range of no lines at all (a part between two adjacent delimiters), which differs
    // from an empty text: that one holds one empty line.
    TextLines() = default;
    explicit TextLines(QByteArrayView text)
        : m_text(text)
        , m_hasLines(true)
    {
    }

    QByteArrayView text() const { return m_text; }
    bool hasLines() const { return m_hasLines; }
    // At least two lines: the text holds a CR LF.
    bool hasTwoLines() const;
    qsizetype end() const { return m_text.size() + 1; }

    QByteArrayView line(qsizetype start) const;
    // The line after the one at start; end() when that one is the last.
    qsizetype next(qsizetype start) const;
    bool isLast(qsizetype start) const;
    qsizetype lastLine() const;
    // The lines from the one at from up to the one at to (excluded; to may be end()).
    TextLines between(qsizetype from, qsizetype to) const;

    // FindLine: the first line from start on, the last one excepted, that holds text (with
    // substring a case-sensitive substring search, otherwise FindToken); -1 when none.
    qsizetype findLine(qsizetype start, QByteArrayView text, bool substring) const;
    // FindBlankLine: the first empty line from start on; from the first line on, the last
    // line is not examined.
    qsizetype findBlankLine(qsizetype start) const;
    // FindLastLine: the last line but the first that holds text (case-sensitive).
    qsizetype findLastLine(QByteArrayView text) const;
    // FindLastEmptyLine: the last empty line but the first.
    qsizetype findLastEmptyLine() const;

private:
    qsizetype lineEnd(qsizetype start) const;
    qsizetype lineStartOf(qsizetype pos, qsizetype notBefore) const;
    bool crossesLineEnd(qsizetype pos, qsizetype length) const;

    QByteArrayView m_text;
    bool m_hasLines = false;
};
