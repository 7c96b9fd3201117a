#include "framingbuffer.h"

void FramingBuffer::clear()
{
    m_buffer.clear();
    m_start = 0;
    m_lineScanned = 0;
}

qsizetype FramingBuffer::findLineEnd()
{
    const qsizetype lf = m_buffer.indexOf('\n', m_start + m_lineScanned);
    if (lf < 0) {
        m_lineScanned = size();
        return -1;
    }
    return lf - m_start;
}

QByteArray FramingBuffer::take(qsizetype count)
{
    QByteArray bytes = m_buffer.sliced(m_start, count);
    consume(count);
    return bytes;
}

// Taken bytes are dropped when the buffer empties, or once they are more than half of it
// (and more than a little), so that removing them costs time linear in what arrived.
void FramingBuffer::consume(qsizetype count)
{
    m_start += count;
    m_lineScanned = 0;
    if (m_start == m_buffer.size()) {
        m_buffer.clear();
        m_start = 0;
    } else if (m_start > 4096 && m_start > m_buffer.size() / 2) {
        m_buffer.remove(0, m_start);
        m_start = 0;
    }
}
