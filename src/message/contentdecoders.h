#pragma once

#include "textlines.h"

#include <QByteArray>
#include <QByteArrayView>

#include <cstring>

// Appends bytes (never a part of array itself) by resizing: QByteArray::append moves a large
// array to a new block as it grows, holding the old one and the new one at once, while
// resize() lets the allocator grow the block in place or remap it. Either way the array keeps
// room to grow: squeeze() it once it is whole.
inline void appendGrowingInPlace(QByteArray &array, QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return;
    const qsizetype at = array.size();
    array.resize(at + bytes.size());
    std::memcpy(array.data() + at, bytes.data(), size_t(bytes.size()));
}

// The content decoders write their output piece by piece to a sink, so that a large part is
// decoded straight to where it is kept, without a joined or decoded copy of it in between.
class ByteSink
{
public:
    virtual ~ByteSink() = default;
    virtual void put(QByteArrayView bytes) = 0;
};

// Appends every piece to one array.
class ByteArraySink final : public ByteSink
{
public:
    explicit ByteArraySink(QByteArray &out)
        : m_out(out)
    {
    }
    void put(QByteArrayView bytes) override { appendGrowingInPlace(m_out, bytes); }

private:
    QByteArray &m_out;
};

// Appends the pieces to a message body with every CR LF written as "<BR>", also where one
// piece ends in the CR and the next begins with the LF. finish() writes a CR left at the end.
class BodyTextSink final : public ByteSink
{
public:
    explicit BodyTextSink(QByteArray &body)
        : m_body(body)
    {
    }
    void put(QByteArrayView bytes) override;
    void finish();

private:
    QByteArray &m_body;
    bool m_hasCr = false; // the last piece ended in a CR
};

// What DecodeAttachment makes of one MIME entity (header lines, an empty line, body lines): the
// lines of its body that are decoded, and how.
struct EntityBody
{
    enum class Encoding {
        None, // fewer than two lines: nothing
        AsItStands, // the lines without their NUL bytes
        Base64,
        QuotedPrintable,
        Uuencode,
    };
    Encoding encoding = Encoding::None;
    TextLines body;
};
EntityBody entityBody(const TextLines &entity);

// The body of one MIME entity by the rules of CMessage::DecodeAttachment, written to sink.
void decodeEntity(const TextLines &entity, ByteSink &sink);

// Makes text its own bytes from `from` on, with each CR LF written as "<BR>" as BodyTextSink
// writes them, in the array's own block: it grows by two bytes a line end and never holds the
// text twice.
void writeBodyTextInPlace(QByteArray &text, qsizetype from);
