#include "linereader.h"

#include <cstring>

namespace {

// RFC 1939 §3: a line of the text that begins with "." was sent with one more "." in front.
// Undone in place, as the text only gets shorter: a message costs no second copy.
void unstuff(QByteArray &text)
{
    char *const data = text.data();
    const qsizetype size = text.size();
    qsizetype kept = 0; // the text so far without its stuffing dots
    for (qsizetype lineStart = 0; lineStart < size;) {
        const void *lf = std::memchr(data + lineStart, '\n', size_t(size - lineStart));
        const qsizetype lineEnd = lf ? static_cast<const char *>(lf) - data + 1 : size;
        const qsizetype from = data[lineStart] == '.' ? lineStart + 1 : lineStart;
        if (kept != from)
            std::memmove(data + kept, data + from, size_t(lineEnd - from));
        kept += lineEnd - from;
        lineStart = lineEnd;
    }
    text.truncate(kept);
}

} // namespace

LineReader::LineReader(FramingLimits limits)
    : m_limits(limits)
{
}

void LineReader::append(QByteArrayView data)
{
    // Past a failure nothing more is framed, so nothing more is kept either.
    if (!hasFailed())
        m_frame.append(data);
}

void LineReader::clear()
{
    m_frame.clear();
    m_bodyScanned = 0;
    m_failure = FramingFailure::None;
}

void LineReader::consume(qsizetype count)
{
    m_frame.consume(count);
    m_bodyScanned = 0;
}

std::optional<QByteArray> LineReader::takeLine()
{
    if (hasFailed())
        return std::nullopt;
    const qsizetype lf = m_frame.findLineEnd();
    // Without its end the line is at least one byte longer than what is in: a server that
    // never ends it is caught before it fills the memory.
    const qsizetype lineLength = lf < 0 ? m_frame.size() + 1 : lf + 1;
    if (lineLength > m_limits.maxLineLength) {
        m_failure = FramingFailure::LineTooLong;
        return std::nullopt;
    }
    if (lf < 0)
        return std::nullopt;
    m_bodyScanned = 0;
    return m_frame.take(lf + 1);
}

std::optional<QByteArray> LineReader::takeMultiline()
{
    static constexpr QByteArrayView endLine(".\r\n");
    if (hasFailed())
        return std::nullopt;
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
            // Whatever follows, the text is at least what is in less an end line.
            if (pending.size() - endLine.size() > m_limits.maxTextSize)
                m_failure = FramingFailure::TextTooLarge;
            return std::nullopt;
        }
    }
    if (bodyLength > m_limits.maxTextSize) {
        m_failure = FramingFailure::TextTooLarge;
        return std::nullopt;
    }
    QByteArray text = m_frame.take(bodyLength);
    consume(endLine.size());
    unstuff(text);
    return text;
}
