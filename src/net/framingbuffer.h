#pragma once

#include <QByteArray>
#include <QByteArrayView>

// How far a server's replies may go before a reader gives up on them, so that a broken or
// hostile server cannot make the buffer grow without end.
struct FramingLimits
{
    // A reply line with its line end; for IMAP the text of a whole response outside its
    // literals, which is one line as far as the protocol is concerned.
    qsizetype maxLineLength = qsizetype(1) << 20;
    // A message text: a POP3 multi-line reply, or the literals of one IMAP response. No
    // message Korvane checks comes near it; memory stays bounded by it plus a line.
    qint64 maxTextSize = qint64(1) << 30;
};

// Why a reader stopped framing.
enum class FramingFailure {
    None,
    LineTooLong, // a line passed maxLineLength, its end may not even have come yet
    LiteralTooLarge, // IMAP: one literal was announced beyond maxTextSize
    TextTooLarge, // a message text, or the literals of a response together, passed maxTextSize
};

// The receive buffer under the protocol readers: the bytes not yet taken, and where the
// search for the next line end stopped, so that every byte is searched once.
class FramingBuffer
{
public:
    void append(QByteArrayView data);
    void clear();

    // The bytes not yet taken.
    QByteArrayView pending() const { return QByteArrayView(m_buffer).sliced(m_start); }
    qsizetype size() const { return m_buffer.size() - m_start; }

    // The offset in pending() of the first LF; -1 while there is none. Bytes searched
    // before are not searched again.
    qsizetype findLineEnd();
    // Takes the first count pending bytes. A large text is handed over in the buffer it
    // arrived in, not copied: the few bytes after it move to a buffer of their own instead.
    QByteArray take(qsizetype count);
    // The next count bytes are announced as one text: room for them is made at once rather
    // than by doubling as they arrive.
    void expect(qsizetype count);
    // Drops the first count pending bytes.
    void consume(qsizetype count);

private:
    void dropTaken();

    QByteArray m_buffer;
    qsizetype m_start = 0; // bytes before it are taken
    qsizetype m_lineScanned = 0; // from m_start: searched for LF without finding one
};
