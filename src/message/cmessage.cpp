#include "cmessage.h"

#include "bytetext.h"

#include <limits>
#include <utility>

// ParseMessage: the header fields, then the MIME part walk. Every search below moves forward
// through the line array, so a message costs time linear in its size whatever it holds.

namespace {

// A boundary parameter costs one walk over the message; hostile mail could declare thousands.
constexpr qsizetype maxBoundaryMarkers = 32;
// RFC 2046 allows 70 characters; a longer marker would make every delimiter test costly.
constexpr qsizetype maxMarkerLength = 256;

QByteArray trimBlanks(QByteArrayView text)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && text[from] == ' ')
        ++from;
    while (to > from && text[to - 1] == ' ')
        --to;
    return text.sliced(from, to - from).toByteArray();
}

QByteArray withoutEnclosingPair(const QByteArray &value)
{
    return value.size() < 2 ? QByteArray() : value.mid(1, value.size() - 2);
}

// Whether the (at most two) characters read as a number: digits, with an optional leading
// sign and one decimal point.
bool readsAsNumber(QByteArrayView text)
{
    bool hasDigit = false;
    bool hasPoint = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9')
            hasDigit = true;
        else if (c == '.' && !hasPoint)
            hasPoint = true;
        else if ((c == '+' || c == '-') && i == 0)
            continue;
        else
            return false;
    }
    return hasDigit;
}

QByteArray sourceIpOf(const QByteArray &received)
{
    QByteArray text = received;
    text.removeIf([](char c) {
        return c == '(' || c == ')' || c == '[' || c == ']' || c == '<' || c == '>';
    });
    for (const QByteArray &word : text.split(' ')) {
        if (!word.isEmpty()
            && readsAsNumber(QByteArrayView(word).first(qMin<qsizetype>(2, word.size()))))
            return word;
    }
    return {};
}

LineArray splitAtCrLf(QByteArrayView text)
{
    LineArray lines;
    qsizetype pos = 0;
    for (;;) {
        const qsizetype crlf = indexOfBytes(text, "\r\n", pos);
        if (crlf < 0) {
            lines.append(text.sliced(pos).toByteArray());
            return lines;
        }
        lines.append(text.sliced(pos, crlf - pos).toByteArray());
        pos = crlf + 2;
    }
}

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
    PartWalker(const CMessage &message, const LineArray &lines, QByteArray &body,
               QList<QByteArray> &names, QList<QByteArray> &bodies)
        : m_message(message)
        , m_lines(lines)
        , m_body(body)
        , m_names(names)
        , m_bodies(bodies)
    {
        indexContentTypeLines();
    }

    void walk(qsizetype first, const QByteArray &marker);

private:
    void indexContentTypeLines();
    qsizetype nextDelimiter(qsizetype from, const QByteArray &marker) const;
    void addAttachment(const LineArray &part);

    const CMessage &m_message;
    const LineArray &m_lines;
    QByteArray &m_body;
    QList<QByteArray> &m_names;
    QList<QByteArray> &m_bodies;
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
            m_body += m_message.DecodeAttachment(part);
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
    name = m_message.DecodeIso(name);
    m_names.append(name.isEmpty() ? QByteArray("unnamed") : name);
    m_bodies.append(m_message.DecodeAttachment(part));
}

} // namespace

void CMessage::ParseMessage(QByteArrayView Text)
{
    const qsizetype headerEnd = indexOfBytes(Text, "\r\n\r\n");
    if (headerEnd < 0)
        return;
    Headers = Text.first(headerEnd).toByteArray();
    SIZE = qint32(qMin<qsizetype>(Text.size(), std::numeric_limits<qint32>::max()));

    // Folded continuation lines are not joined: they have no field name of their own.
    for (const QByteArray &line : splitAtCrLf(Headers)) {
        const QByteArrayView physical(line);
        const qsizetype colon = physical.indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray name = physical.first(colon).toByteArray().toLower();
        const QByteArray value = trimBlanks(physical.sliced(colon + 1));
        if (name == "return-path")
            ReturnPath = withoutEnclosingPair(value);
        else if (name == "received")
            Received = value;
        else if (name == "from")
            from = value;
        else if (name == "sender")
            Sender = value;
        else if (name == "reply-to")
            ReplyTo = value;
        else if (name == "to")
            MessageTo = value;
        else if (name == "cc")
            CC = value;
        else if (name == "bcc")
            BCC = value;
        else if (name == "message-id")
            MessageID = withoutEnclosingPair(value);
        else if (name == "in-reply-to")
            InReplyTo = value;
        else if (name == "references")
            References = value;
        else if (name == "subject")
            Subject = value;
        else if (name == "date")
            SendDate = value;
    }
    SourceIP = sourceIpOf(Received);
    Attachment = {QByteArray()};
    AttachmentBodies = {QByteArray()};

    const LineArray msgLines = splitAtCrLf(Text);
    Headers.clear();

    QByteArray body;
    const qsizetype firstBoundary = FindLine(0, "boundary=", msgLines, true);
    if (firstBoundary < 0) {
        // A single-part message: its own header lines, the empty line and the body form the
        // entity, so the header's Content-Transfer-Encoding applies to the body.
        body = DecodeAttachment(msgLines);
    } else {
        QList<QByteArray> markers;
        for (qsizetype i = firstBoundary; i >= 0 && markers.size() < maxBoundaryMarkers;
             i = FindLine(i + 1, "boundary=", msgLines, true)) {
            markers.append("--" + GetParam(i, "boundary=", msgLines));
        }
        PartWalker walker(*this, msgLines, body, Attachment, AttachmentBodies);
        const qsizetype first = FindLine(0, "boundary=", msgLines, false);
        for (const QByteArray &marker : std::as_const(markers)) {
            if (marker.size() <= maxMarkerLength)
                walker.walk(first, marker);
        }
    }
    MessageBody = replaceAll(body, "\r\n", "<BR>");
}
