#include "textlines.h"

#include "bytetext.h"
#include "mimelines.h"

#include <cstring>

// Every search looks for its text in the whole range at once and only then asks which line
// the hit stands in: a line is what lies between two CR LFs, and a hit that holds neither a
// CR nor an LF can only lie within one line.

namespace {

bool mayHoldLineEnd(QByteArrayView text)
{
    return text.contains('\r') || text.contains('\n');
}

} // namespace

bool TextLines::hasTwoLines() const
{
    return m_hasLines && indexOfBytes(m_text, "\r\n") >= 0;
}

qsizetype TextLines::lineEnd(qsizetype start) const
{
    const qsizetype crlf = indexOfBytes(m_text, "\r\n", start);
    return crlf < 0 ? m_text.size() : crlf;
}

QByteArrayView TextLines::line(qsizetype start) const
{
    if (!m_hasLines || start < 0 || start > m_text.size())
        return {};
    return m_text.sliced(start, lineEnd(start) - start);
}

qsizetype TextLines::next(qsizetype start) const
{
    const qsizetype end = lineEnd(start);
    return end == m_text.size() ? this->end() : end + 2;
}

bool TextLines::isLast(qsizetype start) const
{
    return lineEnd(start) == m_text.size();
}

qsizetype TextLines::lastLine() const
{
    if (!m_hasLines)
        return -1;
    const qsizetype crlf = m_text.lastIndexOf(QByteArrayView("\r\n"));
    return crlf < 0 ? 0 : crlf + 2;
}

TextLines TextLines::between(qsizetype from, qsizetype to) const
{
    if (!m_hasLines || from < 0 || from >= to || from > m_text.size())
        return {};
    if (to >= end())
        return TextLines(m_text.sliced(from));
    // The CR LF before the line at to ends the range.
    return TextLines(m_text.sliced(from, to - 2 - from));
}

// The start of the line that holds pos: just after the last CR LF before pos, and not before
// notBefore, itself the start of a line at or before pos.
qsizetype TextLines::lineStartOf(qsizetype pos, qsizetype notBefore) const
{
    const char *const data = m_text.data();
    qsizetype to = pos; // the LF of a CR LF before pos stands below to
    while (to > notBefore + 1) {
        const void *lf = memrchr(data + notBefore + 1, '\n', size_t(to - notBefore - 1));
        if (!lf)
            break;
        const qsizetype at = static_cast<const char *>(lf) - data;
        if (data[at - 1] == '\r')
            return at + 1;
        to = at;
    }
    return notBefore;
}

// Whether bytes [pos, pos + length) take in a byte of a CR LF, which belongs to no line.
bool TextLines::crossesLineEnd(qsizetype pos, qsizetype length) const
{
    const qsizetype size = m_text.size();
    if (pos > 0 && m_text[pos - 1] == '\r' && pos < size && m_text[pos] == '\n')
        return true;
    for (qsizetype p = pos; p < pos + length && p + 1 < size; ++p) {
        if (m_text[p] == '\r' && m_text[p + 1] == '\n')
            return true;
    }
    return false;
}

qsizetype TextLines::findLine(qsizetype start, QByteArrayView text, bool substring) const
{
    const qsizetype size = m_text.size();
    if (!m_hasLines || start < 0 || start > size)
        return -1;
    const qsizetype n = text.size();
    if (n == 0) // every line holds the empty text, and no line the empty token
        return substring && !isLast(start) ? start : -1;
    const bool mayCross = mayHoldLineEnd(text);
    for (qsizetype from = start;;) {
        const qsizetype hit = substring ? indexOfBytes(m_text, text, from)
                                        : indexOfBytesIgnoringCase(m_text, text, from);
        if (hit < 0)
            return -1;
        bool holds = !mayCross || !crossesLineEnd(hit, n);
        // FindToken's delimiters: the CR and LF around a line count as such.
        if (holds && !substring)
            holds = (hit == 0 || IsTokenDelimiter(m_text[hit - 1]))
                && (hit + n == size || IsTokenDelimiter(m_text[hit + n]));
        if (!holds) {
            from = hit + 1;
            continue;
        }
        const qsizetype lineStart = lineStartOf(hit, start);
        return isLast(lineStart) ? -1 : lineStart;
    }
}

qsizetype TextLines::findBlankLine(qsizetype start) const
{
    const qsizetype size = m_text.size();
    if (!m_hasLines || start < 0 || start > size)
        return -1;
    qsizetype found = -1;
    if (start == size || m_text.sliced(start).startsWith("\r\n")) {
        found = start;
    } else if (const qsizetype crlfs = indexOfBytes(m_text, "\r\n\r\n", start); crlfs >= 0) {
        found = crlfs + 2;
    } else if (m_text.endsWith("\r\n")) {
        found = size; // the last line
    }
    // Only the last line starts at the text's end, and it counts from the second line on.
    if (found == size && start == 0)
        return -1;
    return found;
}

qsizetype TextLines::findLastLine(QByteArrayView text) const
{
    if (!m_hasLines)
        return -1;
    const qsizetype n = text.size();
    if (n == 0)
        return hasTwoLines() ? lastLine() : -1;
    const bool mayCross = mayHoldLineEnd(text);
    for (qsizetype from = m_text.size() - n; from >= 0;) {
        const qsizetype hit = m_text.lastIndexOf(text, from);
        if (hit < 0)
            return -1;
        if (mayCross && crossesLineEnd(hit, n)) {
            from = hit - 1;
            continue;
        }
        const qsizetype lineStart = lineStartOf(hit, 0);
        return lineStart > 0 ? lineStart : -1;
    }
    return -1;
}

qsizetype TextLines::findLastEmptyLine() const
{
    if (!m_hasLines)
        return -1;
    if (m_text.endsWith("\r\n"))
        return m_text.size();
    const qsizetype crlfs = m_text.lastIndexOf(QByteArrayView("\r\n\r\n"));
    return crlfs < 0 ? -1 : crlfs + 2;
}
