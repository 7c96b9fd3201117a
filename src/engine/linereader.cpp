#include "linereader.h"

#include <algorithm>

namespace {

// RFC 1939 §3: a line of the text that begins with "." was sent with one more "." in front.
QByteArray unstuff(QByteArrayView text)
{
    QByteArray out;
    out.reserve(text.size());
    qsizetype lineStart = 0;
    while (lineStart < text.size()) {
        qsizetype lineEnd = text.indexOf('\n', lineStart);
        lineEnd = lineEnd < 0 ? text.size() : lineEnd + 1;
        qsizetype from = lineStart;
        if (text.at(lineStart) == '.')
            ++from;
        out.append(text.sliced(from, lineEnd - from));
        lineStart = lineEnd;
    }
    return out;
}

} // namespace

void LineReader::append(QByteArrayView data)
{
    m_buffer.append(data);
}

void LineReader::clear()
{
    m_buffer.clear();
    m_start = 0;
    m_lineScanned = 0;
    m_bodyScanned = 0;
}

void LineReader::consume(qsizetype count)
{
    m_start += count;
    m_lineScanned = 0;
    m_bodyScanned = 0;
    if (m_start == m_buffer.size()) {
        m_buffer.clear();
        m_start = 0;
    } else if (m_start > 4096 && m_start > m_buffer.size() / 2) {
        m_buffer.remove(0, m_start);
        m_start = 0;
    }
}

std::optional<QByteArray> LineReader::takeLine()
{
    const qsizetype lf = m_buffer.indexOf('\n', m_start + m_lineScanned);
    if (lf < 0) {
        m_lineScanned = m_buffer.size() - m_start;
        return std::nullopt;
    }
    QByteArray line = m_buffer.sliced(m_start, lf + 1 - m_start);
    consume(lf + 1 - m_start);
    return line;
}

std::optional<QByteArray> LineReader::takeMultiline()
{
    static constexpr QByteArrayView endLine(".\r\n");
    static constexpr QByteArrayView endAfterLine("\n.\r\n");
    const QByteArrayView pending = QByteArrayView(m_buffer).sliced(m_start);

    qsizetype bodyLength = -1;
    if (pending.startsWith(endLine)) {
        bodyLength = 0;
    } else {
        // Step back so that an end line split between two arrivals is found.
        const qsizetype from = std::max<qsizetype>(0, m_bodyScanned - (endAfterLine.size() - 1));
        const qsizetype at = pending.indexOf(endAfterLine, from);
        if (at >= 0)
            bodyLength = at + 1;
    }
    if (bodyLength < 0) {
        m_bodyScanned = pending.size();
        return std::nullopt;
    }
    QByteArray text = unstuff(pending.first(bodyLength));
    consume(bodyLength + endLine.size());
    return text;
}
