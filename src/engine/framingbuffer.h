#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The receive buffer under the protocol readers: the bytes not yet taken, and where the
// search for the next line end stopped, so that every byte is searched once.
class FramingBuffer
{
public:
    void append(QByteArrayView data) { m_buffer.append(data); }
    void clear();

    // The bytes not yet taken.
    QByteArrayView pending() const { return QByteArrayView(m_buffer).sliced(m_start); }
    qsizetype size() const { return m_buffer.size() - m_start; }

    // The offset in pending() of the first LF; -1 while there is none. Bytes searched
    // before are not searched again.
    qsizetype findLineEnd();
    // Takes the first count pending bytes.
    QByteArray take(qsizetype count);
    // Drops the first count pending bytes.
    void consume(qsizetype count);

private:
    QByteArray m_buffer;
    qsizetype m_start = 0; // bytes before it are taken
    qsizetype m_lineScanned = 0; // from m_start: searched for LF without finding one
};
