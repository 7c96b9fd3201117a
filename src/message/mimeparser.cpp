#include "mimeparser.h"

#include "cmessage.h"

#include <utility>

// The MIME part walk. Every search below moves forward through the line array, so a message
// costs time linear in its size whatever it holds.

namespace {

// A boundary parameter costs one walk over the message; hostile mail could declare thousands.
constexpr qsizetype maxBoundaryMarkers = 32;
// RFC 2046 allows 70 characters; a longer marker would make every delimiter test costly.
constexpr qsizetype maxMarkerLength = 256;

// What a part is, judged by its "Content-Type:" line.
enum class PartType : qint8 { Unknown, Container, Text, Attachment };

PartType partTypeOf(const QByteArray &contentTypeLine)
{
    const QByteArray lower = contentTypeLine.toLower();
    if (lower.contains("boundary="))
        return PartType::Container;
    if (lower.contains("text") || lower.contains("multipart"))
        return PartType::Text;
    return PartType::Attachment;
}

class PartWalker
{
public:
    PartWalker(const CMessage &decoder, const LineArray &lines, MimeParts &parts)
        : m_decoder(decoder)
        , m_lines(lines)
        , m_parts(parts)
    {
        indexContentTypeLines();
    }

    void walk(qsizetype first, const QByteArray &marker);

private:
    void indexContentTypeLines();
    qsizetype nextDelimiter(qsizetype from, const QByteArray &marker) const;
    void addAttachment(const LineArray &part);

    const CMessage &m_decoder;
    const LineArray &m_lines;
    MimeParts &m_parts;
    // For each index, the first line from there on that FindLine finds for "Content-Type:".
    QList<qsizetype> m_nextContentType;
    // The type a "Content-Type:" line gives, judged once per line: many parts can share one.
    QList<PartType> m_partType;
};

void PartWalker::indexContentTypeLines()
{
    const qsizetype n = m_lines.size();
    m_nextContentType.resize(n + 1, -1);
    m_partType.resize(n, PartType::Unknown);
    for (qsizetype i = n - 2; i >= 0; --i) {
        m_nextContentType[i]
            = FindToken(m_lines[i], "Content-Type:") > 0 ? i : m_nextContentType[i + 1];
    }
}

// The next delimiter line after `from`. Unlike FindLine this also examines the last line, so a
// message whose closing delimiter ends the text without a line break still ends its walk.
qsizetype PartWalker::nextDelimiter(qsizetype from, const QByteArray &marker) const
{
    const qsizetype found = FindLine(from, marker, m_lines, false);
    if (found >= 0)
        return found;
    const qsizetype last = m_lines.size() - 1;
    if (last > from && FindToken(m_lines[last], marker) > 0)
        return last;
    return -1;
}

void PartWalker::walk(qsizetype first, const QByteArray &marker)
{
    qsizetype close = FindLastLine(marker + "--", m_lines);
    if (close < 0)
        close = FindLastEmptyLine(m_lines);
    // The delimiter index only moves forward, which ends the walk on every input.
    qsizetype b = qMax<qsizetype>(first, 0);
    while (b < close) {
        b = FindLine(b, marker, m_lines, false);
        if (b < 0)
            break;
        qsizetype next = nextDelimiter(b + 1, marker);
        if (next < 0)
            next = FindLastEmptyLine(m_lines);
        if (next <= b)
            next = m_lines.size(); // an unclosed last part runs to the end of the text
        // The part's type is the first "Content-Type:" line from its delimiter on, also when
        // that line belongs to a later part.
        const qsizetype contentType = m_nextContentType[b];
        PartType type = PartType::Text; // no "Content-Type:" line at all
        if (contentType >= 0) {
            if (m_partType[contentType] == PartType::Unknown)
                m_partType[contentType] = partTypeOf(m_lines[contentType]);
            type = m_partType[contentType];
        }
        if (type == PartType::Container) {
            b = next; // a nested container: its parts come up with their own marker
            continue;
        }
        const LineArray part = m_lines.mid(b + 1, next - b - 1);
        if (type == PartType::Text)
            m_parts.text += m_decoder.DecodeAttachment(part);
        else
            addAttachment(part);
        b = next;
    }
}

void PartWalker::addAttachment(const LineArray &part)
{
    // The name may stand on a continuation line of its field, so the part's header is
    // unfolded first; "name=" also finds "filename=".
    QByteArray name;
    const qsizetype headerEnd = FindBlankLine(0, part);
    if (headerEnd >= 0) {
        const LineArray header = UnfoldHeader(0, headerEnd, part);
        name = GetParam(FindLine(0, "name=", header, true), "name=", header);
    } else {
        name = GetParam(FindLine(0, "name=", part, true), "name=", part);
    }
    name = m_decoder.DecodeIso(name);
    m_parts.names.append(name.isEmpty() ? QByteArray("unnamed") : name);
    m_parts.bodies.append(m_decoder.DecodeAttachment(part));
}

} // namespace

MimeParts readMimeParts(const LineArray &lines, const CMessage &decoder)
{
    MimeParts parts;
    const qsizetype firstBoundary = FindLine(0, "boundary=", lines, true);
    if (firstBoundary < 0) {
        // A single-part message: its own header lines, the empty line and the body form the
        // entity, so the header's Content-Transfer-Encoding applies to the body.
        parts.text = decoder.DecodeAttachment(lines);
        return parts;
    }
    QList<QByteArray> markers;
    for (qsizetype i = firstBoundary; i >= 0 && markers.size() < maxBoundaryMarkers;
         i = FindLine(i + 1, "boundary=", lines, true)) {
        markers.append("--" + GetParam(i, "boundary=", lines));
    }
    PartWalker walker(decoder, lines, parts);
    const qsizetype first = FindLine(0, "boundary=", lines, false);
    for (const QByteArray &marker : std::as_const(markers)) {
        if (marker.size() <= maxMarkerLength)
            walker.walk(first, marker);
    }
    return parts;
}
