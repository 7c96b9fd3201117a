#include "contentdecoders.h"

#include "bytetext.h"
#include "cmessage.h"
#include "textlines.h"

#include <algorithm>
#include <array>
#include <cstring>

// The content decoders of CMessage: transfer encodings of MIME entities and the encoded words
// of attachment names. An entity's body is decoded in passes over pieces of at most
// pieceSize bytes, each pass handing its output on to the next, so a large body is never held
// joined or half-decoded beside its result.

namespace {

// Base64 lookup tables: each output byte is one OR of two entries.
struct Base64Tables
{
    std::array<quint8, 256> value {};
    std::array<quint8, 256> times4 {};
    std::array<quint8, 256> div16 {};
    std::array<quint8, 256> low4times16 {};
    std::array<quint8, 256> div4 {};
    std::array<quint8, 256> low2times64 {};
};

constexpr Base64Tables makeBase64Tables()
{
    Base64Tables t;
    for (int c = 0; c < 256; ++c) {
        int v = 0; // bytes outside the alphabet count as 0
        if (c >= 'A' && c <= 'Z')
            v = c - 'A';
        else if (c >= 'a' && c <= 'z')
            v = c - 'a' + 26;
        else if (c >= '0' && c <= '9')
            v = c - '0' + 52;
        else if (c == '+')
            v = 62;
        else if (c == '/')
            v = 63;
        t.value[c] = quint8(v);
        t.times4[c] = quint8(v * 4);
        t.div16[c] = quint8(v / 16);
        t.low4times16[c] = quint8((v % 16) * 16);
        t.div4[c] = quint8(v / 4);
        t.low2times64[c] = quint8((v % 4) * 64);
    }
    return t;
}

constexpr Base64Tables base64Tables = makeBase64Tables();

bool isUpperHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

int hexValue(char c)
{
    return c <= '9' ? c - '0' : c - 'A' + 10;
}

constexpr qsizetype pieceSize = 64 * 1024;

// A pass over a text that arrives in pieces. Its output is gathered and handed on in pieces of
// about pieceSize; finish() ends the text and hands on the rest.
class Pass : public ByteSink
{
public:
    explicit Pass(ByteSink &next)
        : m_next(next)
    {
        m_out.reserve(pieceSize + 16);
    }
    void put(QByteArrayView bytes) override
    {
        while (!bytes.isEmpty()) {
            if (m_held.isEmpty()) {
                const qsizetype taken = process(bytes, false);
                m_held = bytes.sliced(taken).toByteArray();
                break;
            }
            // The bytes held back, with enough of what follows to decide on them.
            const qsizetype more = std::min<qsizetype>(bytes.size(), lookahead());
            QByteArray work = m_held;
            work.append(bytes.first(more));
            const qsizetype taken = process(work, false);
            if (taken < m_held.size()) {
                m_held = work.sliced(taken);
                bytes = bytes.sliced(more);
                continue;
            }
            bytes = bytes.sliced(taken - m_held.size());
            m_held.clear();
        }
        if (m_out.size() >= pieceSize)
            flush();
    }
    void finish()
    {
        if (!m_held.isEmpty())
            process(std::exchange(m_held, QByteArray()), true);
        flush();
    }

protected:
    // Decides on as many bytes from the start of work as it can and gives their number; the
    // rest, fewer than lookahead() bytes, waits for what follows. With isFinal it all counts.
    virtual qsizetype process(QByteArrayView work, bool isFinal) = 0;
    // How many bytes after a byte may decide on it.
    virtual qsizetype lookahead() const = 0;

    void give(QByteArrayView bytes)
    {
        m_out.append(bytes);
        if (m_out.size() >= pieceSize)
            flush();
    }
    void give(char c) { m_out.append(c); }

private:
    void flush()
    {
        if (m_out.isEmpty())
            return;
        m_next.put(m_out);
        m_out.truncate(0); // keeps the capacity for the next piece
    }

    ByteSink &m_next;
    QByteArray m_out;
    QByteArray m_held;
};

// replaceAll over a text in pieces: every occurrence of before, found left to right and not
// overlapping, becomes after.
class ReplacePass final : public Pass
{
public:
    ReplacePass(QByteArrayView before, QByteArrayView after, ByteSink &next)
        : Pass(next)
        , m_before(before)
        , m_after(after)
    {
    }

private:
    qsizetype lookahead() const override { return m_before.size() - 1; }
    qsizetype process(QByteArrayView work, bool isFinal) override
    {
        const qsizetype n = work.size();
        qsizetype i = 0;
        while (i < n) {
            const void *hit = std::memchr(work.data() + i, m_before[0], size_t(n - i));
            const qsizetype at = hit ? static_cast<const char *>(hit) - work.data() : n;
            give(work.sliced(i, at - i));
            i = at;
            if (i == n)
                break;
            if (n - i < m_before.size()) {
                if (!isFinal)
                    return i;
                give(work.sliced(i));
                return n;
            }
            if (work.sliced(i).startsWith(m_before)) {
                give(m_after);
                i += m_before.size();
            } else {
                give(work[i]);
                ++i;
            }
        }
        return n;
    }

    QByteArrayView m_before;
    QByteArrayView m_after;
};

// Drops every NUL byte.
class DropNulPass final : public Pass
{
public:
    using Pass::Pass;

private:
    qsizetype lookahead() const override { return 0; }
    qsizetype process(QByteArrayView work, bool) override
    {
        const qsizetype n = work.size();
        for (qsizetype i = 0; i < n;) {
            const void *nul = std::memchr(work.data() + i, '\0', size_t(n - i));
            const qsizetype at = nul ? static_cast<const char *>(nul) - work.data() : n;
            give(work.sliced(i, at - i));
            i = at + 1;
        }
        return n;
    }
};

// DecodeQP's last step: "=" plus two upper-case hex digits becomes that byte, in one pass,
// so a decoded byte never forms a new escape with the text around it; NUL bytes vanish.
class QpEscapePass final : public Pass
{
public:
    using Pass::Pass;

private:
    qsizetype lookahead() const override { return 2; }
    qsizetype process(QByteArrayView work, bool isFinal) override
    {
        const qsizetype n = work.size();
        qsizetype i = 0;
        while (i < n) {
            const void *equals = std::memchr(work.data() + i, '=', size_t(n - i));
            const qsizetype at = equals ? static_cast<const char *>(equals) - work.data() : n;
            giveWithoutNul(work.sliced(i, at - i));
            i = at;
            if (i == n)
                break;
            if (i + 2 >= n && !isFinal)
                return i;
            if (i + 2 < n && isUpperHexDigit(work[i + 1]) && isUpperHexDigit(work[i + 2])) {
                give(char(hexValue(work[i + 1]) * 16 + hexValue(work[i + 2])));
                i += 3;
            } else {
                give('=');
                ++i;
            }
        }
        return n;
    }
    void giveWithoutNul(QByteArrayView run)
    {
        for (qsizetype i = 0; i < run.size();) {
            const void *nul = std::memchr(run.data() + i, '\0', size_t(run.size() - i));
            const qsizetype at = nul ? static_cast<const char *>(nul) - run.data() : run.size();
            give(run.sliced(i, at - i));
            i = at + 1;
        }
    }
};

// Quoted-printable text to sink by DecodeQP's rules: "==_" (a soft line break joined by
// DecodeAttachment) vanishes, then "=_" becomes CR LF, then the escapes are decoded. With
// joinedLines the text is the body's lines as they stand in the message: each CR LF between
// them is "=_" first, and NUL bytes go before the rest, as DecodeAttachment joins them.
void decodeQuotedPrintable(QByteArrayView text, bool joinedLines, ByteSink &sink)
{
    QpEscapePass escapes(sink);
    ReplacePass lineEnds("=_", "\r\n", escapes);
    ReplacePass softBreaks("==_", "", lineEnds);
    DropNulPass nuls(softBreaks);
    ReplacePass joints("\r\n", "=_", nuls);
    Pass &first = joinedLines ? static_cast<Pass &>(joints) : softBreaks;
    for (qsizetype at = 0; at < text.size(); at += pieceSize)
        first.put(text.sliced(at, std::min(pieceSize, text.size() - at)));
    if (joinedLines) {
        joints.finish();
        nuls.finish();
    }
    softBreaks.finish();
    lineEnds.finish();
    escapes.finish();
}

// Uuencoded lines (an optional "begin" line, CR LF between lines) to bytes; empty on
// malformed input.
QByteArray decodeUuencoded(QByteArrayView text)
{
    if (text.startsWith("begin ")) {
        const qsizetype lf = text.indexOf('\n');
        text = lf < 0 ? QByteArrayView() : text.sliced(lf + 1);
    }
    // The closing "end" line is dropped, and nothing before it.
    if (text.endsWith("\r\nend"))
        text.chop(5);

    QByteArray result;
    result.reserve(text.size() / 4 * 3); // at most three bytes from every four characters
    qsizetype pos = 0;
    while (pos <= text.size()) {
        qsizetype crlf = indexOfBytes(text, "\r\n", pos);
        if (crlf < 0)
            crlf = text.size();
        const QByteArrayView line = text.sliced(pos, crlf - pos);
        pos = crlf + 2;
        if (line.isEmpty())
            continue;
        const int count = quint8(line[0]) - 32;
        if (count < 0)
            return {};
        // Every group is checked, also those beyond the count the line announces.
        qsizetype made = 0;
        for (qsizetype g = 1; g + 4 <= line.size(); g += 4) {
            int s[4];
            for (int k = 0; k < 4; ++k) {
                const char c = line[g + k] == '`' ? ' ' : line[g + k];
                s[k] = quint8(c) - 32;
                if (s[k] < 0)
                    return {};
            }
            const int bytes[3]
                = {s[0] * 4 + s[1] / 16, (s[1] % 16) * 16 + s[2] / 4, (s[2] % 4) * 64 + s[3]};
            for (int b : bytes) {
                if (b > 255)
                    return {};
                if (made++ < count)
                    result += char(b);
            }
        }
    }
    return result;
}

// The bytes of base64 text whose blanks, tabs and line ends are dropped first, as
// DecodeAttachment joins the lines: groups of four make up to three bytes, "=" in the third
// or fourth place ends a group early, and a short group at the end is ignored.
void decodeBase64Lines(QByteArrayView text, ByteSink &sink)
{
    const auto &t = base64Tables;
    QByteArray out(pieceSize + 3, Qt::Uninitialized);
    char *const begin = out.data();
    char *o = begin;
    quint8 group[4];
    int have = 0;
    const auto *in = reinterpret_cast<const quint8 *>(text.data());
    for (qsizetype i = 0, n = text.size(); i < n; ++i) {
        const quint8 c = in[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            continue;
        group[have++] = c;
        if (have < 4)
            continue;
        have = 0;
        *o++ = char(t.times4[group[0]] | t.div16[group[1]]);
        if (group[3] != '=') {
            *o++ = char(t.low4times16[group[1]] | t.div4[group[2]]);
            *o++ = char(t.low2times64[group[2]] | t.value[group[3]]);
        } else if (group[2] != '=') {
            *o++ = char(t.low4times16[group[1]] | t.div4[group[2]]);
        }
        if (o - begin >= pieceSize) {
            sink.put(QByteArrayView(begin, o - begin));
            o = begin;
        }
    }
    if (o > begin)
        sink.put(QByteArrayView(begin, o - begin));
}

// The text without its NUL bytes, in runs straight from the text.
void putWithoutNul(QByteArrayView text, ByteSink &sink)
{
    for (qsizetype i = 0; i < text.size();) {
        const void *nul = std::memchr(text.data() + i, '\0', size_t(text.size() - i));
        const qsizetype at = nul ? static_cast<const char *>(nul) - text.data() : text.size();
        if (at > i)
            sink.put(text.sliced(i, at - i));
        i = at + 1;
    }
}

QByteArray withoutNulBytes(QByteArrayView text)
{
    QByteArray out;
    ByteArraySink sink(out);
    putWithoutNul(text, sink);
    return out;
}

// A charset piece of an encoded word: "ISO-", four digits, "-", then anything.
bool isIsoCharsetName(QByteArrayView piece)
{
    if (piece.size() < 9 || piece.first(4).compare("ISO-", Qt::CaseInsensitive) != 0)
        return false;
    for (qsizetype i = 4; i < 8; ++i) {
        if (piece[i] < '0' || piece[i] > '9')
            return false;
    }
    return piece[8] == '-';
}

} // namespace

void BodyTextSink::put(QByteArrayView bytes)
{
    static constexpr QByteArrayView lineEnd = "<BR>";
    qsizetype i = 0;
    const qsizetype n = bytes.size();
    if (n == 0)
        return;
    if (std::exchange(m_hasCr, false)) {
        if (bytes[0] == '\n') {
            appendGrowingInPlace(m_body, lineEnd);
            i = 1;
        } else {
            appendGrowingInPlace(m_body, "\r");
        }
    }
    while (i < n) {
        const void *cr = std::memchr(bytes.data() + i, '\r', size_t(n - i));
        const qsizetype at = cr ? static_cast<const char *>(cr) - bytes.data() : n;
        appendGrowingInPlace(m_body, bytes.sliced(i, at - i));
        if (at == n)
            break;
        if (at + 1 == n) {
            m_hasCr = true; // its LF may begin the next piece
            break;
        }
        if (bytes[at + 1] == '\n') {
            appendGrowingInPlace(m_body, lineEnd);
            i = at + 2;
        } else {
            appendGrowingInPlace(m_body, "\r");
            i = at + 1;
        }
    }
}

void BodyTextSink::finish()
{
    if (std::exchange(m_hasCr, false))
        appendGrowingInPlace(m_body, "\r");
}

EntityBody entityBody(const TextLines &entity)
{
    EntityBody plan;
    if (!entity.hasTwoLines())
        return plan;
    static constexpr QByteArrayView encodingKey = "Content-Transfer-Encoding:";
    const qsizetype encodingLine = entity.findLine(0, encodingKey, false);
    const QByteArray encoding = encodingLine >= 0
        ? ParamOfLine(entity.line(encodingLine), encodingKey).toLower()
        : QByteArray();
    const qsizetype blank = entity.findBlankLine(qMax<qsizetype>(encodingLine, 0));
    const qsizetype bodyStart = blank >= 0 ? entity.next(blank) : 0;
    // The body's lines stand in the text as they would stand joined with CR LF.
    plan.body = entity.between(bodyStart, entity.end());
    if (encoding.contains("base64")) {
        plan.encoding = EntityBody::Encoding::Base64;
    } else if (encoding.contains("x-uue")) {
        // The data ends before the last "end" line; without one after the header the whole
        // body is handed on.
        plan.encoding = EntityBody::Encoding::Uuencode;
        const qsizetype endLine = entity.findLastLine("end");
        if (endLine >= bodyStart)
            plan.body = entity.between(bodyStart, endLine);
    } else if (encoding.contains("quoted-printable")) {
        plan.encoding = EntityBody::Encoding::QuotedPrintable;
    } else {
        plan.encoding = EntityBody::Encoding::AsItStands;
    }
    return plan;
}

void decodeEntity(const TextLines &entity, ByteSink &sink)
{
    const EntityBody plan = entityBody(entity);
    const QByteArrayView body = plan.body.text();
    switch (plan.encoding) {
    case EntityBody::Encoding::None:
        return;
    case EntityBody::Encoding::Base64:
        // Decoded, so that base64 text parts reach the body as text. Line breaks and blanks
        // between the lines would otherwise shift every following group of four.
        decodeBase64Lines(body, sink);
        return;
    case EntityBody::Encoding::Uuencode:
        // Most texts hold no NUL byte to drop first, and are read where they stand.
        sink.put(body.contains('\0') ? decodeUuencoded(withoutNulBytes(body))
                                     : decodeUuencoded(body));
        return;
    case EntityBody::Encoding::QuotedPrintable:
        decodeQuotedPrintable(body, true, sink);
        return;
    case EntityBody::Encoding::AsItStands:
        putWithoutNul(body, sink);
        return;
    }
}

void writeBodyTextInPlace(QByteArray &text, qsizetype from)
{
    const qsizetype size = text.size();
    qsizetype lineEnds = 0;
    for (const char *at = text.constData() + from, *end = text.constData() + size;
         (at = static_cast<const char *>(std::memchr(at, '\r', size_t(end - at))));) {
        if (++at < end && *at == '\n')
            ++lineEnds;
    }
    // The rest moves to the end of the grown array first, so that the body written from
    // the start never catches up with what it still has to read.
    const qsizetype rest = size - from;
    const qsizetype room = 2 * lineEnds + from;
    text.resize(size + 2 * lineEnds);
    char *const data = text.data();
    std::memmove(data + room, data + from, size_t(rest));
    char *out = data;
    for (const char *in = data + room, *end = data + room + rest; in < end;) {
        const char *cr = static_cast<const char *>(std::memchr(in, '\r', size_t(end - in)));
        const char *stop = cr ? cr : end;
        std::memmove(out, in, size_t(stop - in));
        out += stop - in;
        in = stop;
        if (!cr)
            break;
        if (cr + 1 < end && cr[1] == '\n') {
            std::memcpy(out, "<BR>", 4);
            out += 4;
            in = cr + 2;
        } else {
            *out++ = '\r';
            in = cr + 1;
        }
    }
    text.truncate(out - data);
    // The array kept its room for the text it arrived with, and more from growing; the body
    // is kept for the whole check.
    text.squeeze();
}

// The lines joined with CR LF are read as the text they were split from: none of them holds
// a CR LF of its own.
QByteArray CMessage::DecodeAttachment(const LineArray &Lines) const
{
    QByteArray joined;
    for (qsizetype i = 0; i < Lines.size(); ++i) {
        if (i > 0)
            joined += "\r\n";
        joined += Lines[i];
    }
    QByteArray out;
    ByteArraySink sink(out);
    decodeEntity(Lines.isEmpty() ? TextLines() : TextLines(joined), sink);
    return out;
}

QByteArray CMessage::DecodeQP(QByteArrayView Text) const
{
    // DecodeAttachment joins the lines with "=_": a soft line break ("=" at the end of a
    // line) thus reads "==_" and joins its line to the next; every other "=_" is a line end.
    // Only upper-case hex digits make an escape; "=" followed by anything else stays as it is.
    QByteArray out;
    ByteArraySink sink(out);
    decodeQuotedPrintable(Text, false, sink);
    return out;
}

QByteArray CMessage::DecodeIso(QByteArrayView Text) const
{
    if (!Text.toByteArray().toLower().contains("=?iso-"))
        return Text.toByteArray();
    // The word's syntax is not parsed: the text is cut at every "?", joints and charset names
    // are dropped and everything else goes through the decoder of the current mode.
    bool base64Mode = false;
    QByteArray result;
    const QList<QByteArray> pieces = Text.toByteArray().split('?');
    for (const QByteArray &piece : pieces) {
        if (piece == "=" || piece == "= =" || piece == "==")
            continue;
        if (piece == "Q") {
            base64Mode = false;
            continue;
        }
        if (piece == "B") {
            base64Mode = true;
            continue;
        }
        if (isIsoCharsetName(piece))
            continue;
        result += base64Mode ? Decode(piece) : DecodeQP(piece);
    }
    return result;
}

QByteArray CMessage::Decode(QByteArrayView Text) const
{
    return DecodeBase64Bytes(Text);
}

QByteArray CMessage::DecodeBase64Bytes(QByteArrayView bytes) const
{
    const qsizetype n = bytes.size();
    if (n == 0)
        return {};
    const auto &t = base64Tables;
    QByteArray out(n * 3 / 4 + 3, Qt::Uninitialized);
    char *o = out.data();
    const auto *in = reinterpret_cast<const quint8 *>(bytes.data());
    qsizetype i = 0;
    while (i < n) {
        if (in[i] == '\r' || in[i] == '\n') {
            ++i;
            continue;
        }
        if (n - i < 4)
            break; // a short group at the end is ignored
        const quint8 b0 = in[i], b1 = in[i + 1], b2 = in[i + 2], b3 = in[i + 3];
        *o++ = char(t.times4[b0] | t.div16[b1]);
        if (b3 != '=') {
            *o++ = char(t.low4times16[b1] | t.div4[b2]);
            *o++ = char(t.low2times64[b2] | t.value[b3]);
        } else if (b2 != '=') {
            *o++ = char(t.low4times16[b1] | t.div4[b2]);
        }
        i += 4;
    }
    out.truncate(o - out.data());
    return out;
}

QByteArray CMessage::DecodeUUE(QByteArrayView Text) const
{
    return decodeUuencoded(Text);
}
