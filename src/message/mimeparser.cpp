#include "mimeparser.h"

#include "bytetext.h"
#include "cmessage.h"
#include "contentdecoders.h"
#include "textlines.h"

#include <utility>

// The MIME part walk. Lines are named by where they start in the message (TextLines), and
// every search below moves forward through the message, so a message costs time linear in its
// size whatever it holds.

namespace {

// A boundary parameter costs one walk over the message; hostile mail could declare thousands.
constexpr qsizetype maxBoundaryMarkers = 32;
// RFC 2046 allows 70 characters; a longer marker would make every delimiter test costly.
constexpr qsizetype maxMarkerLength = 256;

// What a part is, judged by its "Content-Type:" line.
enum class PartType : qint8 { Unknown, Container, Text, Attachment };

PartType partTypeOf(QByteArrayView contentTypeLine)
{
    if (indexOfBytesIgnoringCase(contentTypeLine, "boundary=") >= 0)
        return PartType::Container;
    if (indexOfBytesIgnoringCase(contentTypeLine, "text") >= 0
        || indexOfBytesIgnoringCase(contentTypeLine, "multipart") >= 0)
        return PartType::Text;
    return PartType::Attachment;
}

class PartWalker
{
public:
    PartWalker(const CMessage &decoder, const TextLines &lines, ByteSink &text, MimeParts &parts)
        : m_decoder(decoder)
        , m_lines(lines)
        , m_text(text)
        , m_parts(parts)
    {
    }

    void walk(qsizetype first, const QByteArray &marker);

private:
    qsizetype nextDelimiter(qsizetype from, const QByteArray &marker) const;
    PartType typeFrom(qsizetype delimiter);
    void addAttachment(const TextLines &part);

    const CMessage &m_decoder;
    const TextLines &m_lines;
    ByteSink &m_text;
    MimeParts &m_parts;
    // The last search for a "Content-Type:" line: from where, what it found (-1 for none
    // up to the end) and the type that line gives. A walk asks from ever later lines, so
    // each line is searched and judged once per walk, even when many parts share one.
    qsizetype m_contentTypeFrom = -1;
    qsizetype m_contentType = -1;
    PartType m_type = PartType::Unknown;
};

// The next delimiter line from `from` on. Unlike FindLine this also examines the last line, so
// a message whose closing delimiter ends the text without a line break still ends its walk.
qsizetype PartWalker::nextDelimiter(qsizetype from, const QByteArray &marker) const
{
    const qsizetype found = m_lines.findLine(from, marker, false);
    if (found >= 0)
        return found;
    const qsizetype last = m_lines.lastLine();
    if (last > from && FindToken(m_lines.line(last), marker) > 0)
        return last;
    return -1;
}

// The part's type is the first "Content-Type:" line from its delimiter on, also when that
// line belongs to a later part; a part without one is text.
PartType PartWalker::typeFrom(qsizetype delimiter)
{
    const bool isKnown = m_contentTypeFrom >= 0 && delimiter >= m_contentTypeFrom
        && (m_contentType < 0 || delimiter <= m_contentType);
    if (!isKnown) {
        m_contentTypeFrom = delimiter;
        const qsizetype found = m_lines.findLine(delimiter, "Content-Type:", false);
        if (found != m_contentType || found < 0)
            m_type = found < 0 ? PartType::Text : partTypeOf(m_lines.line(found));
        m_contentType = found;
    }
    return m_type;
}

void PartWalker::walk(qsizetype first, const QByteArray &marker)
{
    m_contentTypeFrom = -1;
    m_contentType = -1;
    qsizetype close = m_lines.findLastLine(marker + "--");
    if (close < 0)
        close = m_lines.findLastEmptyLine();
    // The delimiter only moves forward, which ends the walk on every input.
    qsizetype b = qMax<qsizetype>(first, 0);
    while (b < close) {
        b = m_lines.findLine(b, marker, false);
        if (b < 0)
            break;
        const qsizetype afterDelimiter = m_lines.next(b);
        qsizetype next = nextDelimiter(afterDelimiter, marker);
        if (next < 0)
            next = m_lines.findLastEmptyLine();
        if (next <= b)
            next = m_lines.end(); // an unclosed last part runs to the end of the text
        const PartType type = typeFrom(b);
        if (type == PartType::Container) {
            b = next; // a nested container: its parts come up with their own marker
            continue;
        }
        const TextLines part = m_lines.between(afterDelimiter, next);
        if (type == PartType::Text)
            decodeEntity(part, m_text);
        else
            addAttachment(part);
        b = next;
    }
}

void PartWalker::addAttachment(const TextLines &part)
{
    // The name may stand on a continuation line of its field, so the part's header is
    // unfolded first; "name=" also finds "filename=".
    QByteArray name;
    const qsizetype headerEnd = part.findBlankLine(0);
    if (headerEnd >= 0) {
        // The header's lines through the empty one, joined with CR LF as they stand.
        const LineArray header = UnfoldJoinedHeader(part.text().first(headerEnd));
        name = GetParam(FindLine(0, "name=", header, true), "name=", header);
    } else if (const qsizetype nameLine = part.findLine(0, "name=", true); nameLine >= 0) {
        name = ParamOfLine(part.line(nameLine), "name=");
    }
    name = m_decoder.DecodeIso(name);
    m_parts.names.append(name.isEmpty() ? QByteArray("unnamed") : name);
    QByteArray body;
    ByteArraySink sink(body);
    decodeEntity(part, sink);
    body.squeeze();
    m_parts.bodies.append(std::move(body));
}

} // namespace

qsizetype plainBodyStart(QByteArrayView message)
{
    const TextLines lines(message);
    if (lines.findLine(0, "boundary=", true) >= 0)
        return -1;
    const EntityBody entity = entityBody(lines);
    if (entity.encoding != EntityBody::Encoding::AsItStands || entity.body.text().contains('\0'))
        return -1;
    return entity.body.hasLines() ? entity.body.text().data() - message.data() : message.size();
}

MimeParts readMimeParts(QByteArrayView message, const CMessage &decoder, ByteSink &text)
{
    MimeParts parts;
    const TextLines lines(message);
    // A single-part message: its own header lines, the empty line and the body form the
    // entity, so the header's Content-Transfer-Encoding applies to the body.
    const qsizetype firstBoundary = lines.findLine(0, "boundary=", true);
    if (firstBoundary < 0) {
        decodeEntity(lines, text);
        return parts;
    }
    QList<QByteArray> markers;
    for (qsizetype i = firstBoundary; i >= 0 && markers.size() < maxBoundaryMarkers;
         i = lines.findLine(lines.next(i), "boundary=", true)) {
        markers.append("--" + ParamOfLine(lines.line(i), "boundary="));
    }
    PartWalker walker(decoder, lines, text, parts);
    const qsizetype first = lines.findLine(0, "boundary=", false);
    for (const QByteArray &marker : std::as_const(markers)) {
        if (marker.size() <= maxMarkerLength)
            walker.walk(first, marker);
    }
    return parts;
}
