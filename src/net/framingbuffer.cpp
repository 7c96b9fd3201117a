#include "framingbuffer.h"

#include <cstring>
#include <utility>

// By resizing: QByteArray::append moves a large array to a new block as it grows, holding
// the old one and the new one at once, while resize() lets the allocator grow the block in
// place or remap it. A message text of the maximum size thus costs its size, not twice that.
void FramingBuffer::append(QByteArrayView data)
{
    if (data.isEmpty())
        return;
    const qsizetype at = m_buffer.size();
    m_buffer.resize(at + data.size());
    std::memcpy(m_buffer.data() + at, data.data(), size_t(data.size()));
}

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

namespace {

// From this size on a text taken whole keeps the buffer it arrived in; smaller ones are
// copied, and the buffer stays for what comes next.
constexpr qsizetype handOverSize = 64 * 1024;

} // namespace

QByteArray FramingBuffer::take(qsizetype count)
{
    if (count >= handOverSize && count >= size() - count) {
        QByteArray rest = pending().sliced(count).toByteArray();
        dropTaken();
        m_buffer.truncate(count);
        m_lineScanned = 0;
        return std::exchange(m_buffer, std::move(rest));
    }
    QByteArray bytes = m_buffer.sliced(m_start, count);
    consume(count);
    return bytes;
}

void FramingBuffer::expect(qsizetype count)
{
    if (count < handOverSize || count <= size())
        return;
    dropTaken();
    m_buffer.reserve(count + handOverSize);
}

// The pending bytes move to the start of the array's block rather than the array's start
// moving up (as QByteArray::remove does): an array that does not start at its block is
// copied to a new block when it grows, while one that does can grow where it is, and a
// text handed over may still grow in place.
void FramingBuffer::dropTaken()
{
    if (m_start == 0)
        return;
    char *const data = m_buffer.data();
    std::memmove(data, data + m_start, size_t(m_buffer.size() - m_start));
    m_buffer.truncate(m_buffer.size() - m_start);
    m_start = 0;
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
        dropTaken();
    }
}
