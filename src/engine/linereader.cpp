#include "linereader.h"

#include <cstring>

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
    m_frame.append(data);
}

void LineReader::clear()
{
    m_frame.clear();
    m_bodyScanned = 0;
}

void LineReader::consume(qsizetype count)
{
    m_frame.consume(count);
    m_bodyScanned = 0;
}

std::optional<QByteArray> LineReader::takeLine()
{
    const qsizetype lf = m_frame.findLineEnd();
    if (lf < 0)
        return std::nullopt;
    m_bodyScanned = 0;
    return m_frame.take(lf + 1);
}

std::optional<QByteArray> LineReader::takeMultiline()
{
    static constexpr QByteArrayView endLine(".\r\n");
    const QByteArrayView pending = m_frame.pending();

    qsizetype bodyLength = -1;
    if (pending.startsWith(endLine)) {
        bodyLength = 0;
    } else {
        // The end is a line holding a single ".": look at every LF from where the previous
        // search stopped (memchr is far quicker than a general substring search here).
        const char *const begin = pending.data();
        const char *const end = begin + pending.size();
        const char *lf = begin + m_bodyScanned;
        while (lf < end
               && (lf = static_cast<const char *>(std::memchr(lf, '\n', size_t(end - lf))))) {
            if (end - lf < 4)
                break; // the end line may still be arriving: look at this LF again next time
            if (lf[1] == '.' && lf[2] == '\r' && lf[3] == '\n') {
                bodyLength = lf + 1 - begin;
                break;
            }
            ++lf;
        }
        if (bodyLength < 0) {
            m_bodyScanned = lf ? lf - begin : pending.size();
            return std::nullopt;
        }
    }
    QByteArray text = unstuff(pending.first(bodyLength));
    consume(bodyLength + endLine.size());
    return text;
}
