#include "cmessage.h"

#include "bytetext.h"

#include <array>
#include <cstring>

// The content decoders of CMessage: transfer encodings of MIME entities and the encoded words
// of attachment names.

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

QByteArray joinLines(const LineArray &lines, qsizetype from, qsizetype to, QByteArrayView separator)
{
    if (from >= to)
        return {};
    qsizetype total = separator.size() * (to - from - 1);
    for (qsizetype i = from; i < to; ++i)
        total += lines[i].size();
    // Written in place: appending line by line costs more than the copying itself.
    QByteArray joined(total, Qt::Uninitialized);
    char *out = joined.data();
    for (qsizetype i = from; i < to; ++i) {
        if (i > from) {
            std::memcpy(out, separator.data(), size_t(separator.size()));
            out += separator.size();
        }
        std::memcpy(out, lines[i].constData(), size_t(lines[i].size()));
        out += lines[i].size();
    }
    return joined;
}

QByteArray withoutNulBytes(QByteArray text)
{
    // Most texts hold none; one memchr spares them the copying pass.
    if (text.contains('\0'))
        text.removeIf([](char c) { return c == '\0'; });
    return text;
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

QByteArray CMessage::DecodeAttachment(const LineArray &Lines) const
{
    if (Lines.size() < 2)
        return {};
    static constexpr QByteArrayView encodingKey = "Content-Transfer-Encoding:";
    const qsizetype encodingLine = FindLine(0, encodingKey, Lines, false);
    const QByteArray encoding
        = encodingLine >= 0 ? GetParam(encodingLine, encodingKey, Lines).toLower() : QByteArray();
    const qsizetype blank = FindBlankLine(qMax<qsizetype>(encodingLine, 0), Lines);
    const qsizetype bodyStart = blank >= 0 ? blank + 1 : 0;
    qsizetype bodyEnd = Lines.size();

    if (encoding.contains("base64")) {
        // Decoded, so that base64 text parts reach the body as text. Line breaks and blanks
        // between the lines would otherwise shift every following group of four.
        QByteArray joined = joinLines(Lines, bodyStart, bodyEnd, {});
        joined.removeIf([](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
        return Decode(joined);
    }
    if (encoding.contains("x-uue")) {
        // The data ends before the last "end" line; without one after the header the whole
        // body is handed on.
        const qsizetype endLine = FindLastLine("end", Lines);
        if (endLine >= bodyStart)
            bodyEnd = endLine;
        return DecodeUUE(withoutNulBytes(joinLines(Lines, bodyStart, bodyEnd, "\r\n")));
    }
    if (encoding.contains("quoted-printable"))
        return DecodeQP(withoutNulBytes(joinLines(Lines, bodyStart, bodyEnd, "=_")));
    return withoutNulBytes(joinLines(Lines, bodyStart, bodyEnd, "\r\n"));
}

QByteArray CMessage::DecodeQP(QByteArrayView Text) const
{
    // DecodeAttachment joins the lines with "=_": a soft line break ("=" at the end of a
    // line) thus reads "==_" and joins its line to the next; every other "=_" is a line end.
    const QByteArray text = replaceAll(replaceAll(Text, "==_", ""), "=_", "\r\n");

    // One pass, so a decoded byte never forms a new escape with the text around it. Only
    // upper-case hex digits make an escape; "=" followed by anything else stays as it is.
    QByteArray out(text.size(), Qt::Uninitialized);
    char *o = out.data();
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char c = text[i];
        if (c == '\0')
            continue;
        if (c == '=' && i + 2 < n && isUpperHexDigit(text[i + 1]) && isUpperHexDigit(text[i + 2])) {
            *o++ = char(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
            continue;
        }
        *o++ = c;
    }
    out.truncate(o - out.data());
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
    QByteArrayView text = Text;
    if (text.startsWith("begin ")) {
        const qsizetype lf = text.indexOf('\n');
        text = lf < 0 ? QByteArrayView() : text.sliced(lf + 1);
    }
    // The closing "end" line is dropped, and nothing before it.
    if (text.endsWith("\r\nend"))
        text.chop(5);

    QByteArray result;
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
