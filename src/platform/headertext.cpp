#include "headertext.h"

#include "showntext.h"

#include <QByteArrayView>
#include <QStringDecoder>

#include <algorithm>
#include <optional>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool isAllBlank(QByteArrayView text)
{
    return std::all_of(text.begin(), text.end(), isBlank);
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// RFC 2047 4.2: "_" is a blank and "=" with two hex digits is that byte; any other "=" makes
// the word broken.
std::optional<QByteArray> decodeQ(QByteArrayView text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '_') {
            out += ' ';
        } else if (c == '=') {
            if (i + 2 >= text.size() || hexValue(text[i + 1]) < 0 || hexValue(text[i + 2]) < 0)
                return std::nullopt;
            out += char(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<QByteArray> decodeB(QByteArrayView text)
{
    // Missing padding is accepted: several mailers leave it out.
    auto result = QByteArray::fromBase64Encoding(text.toByteArray(),
                                                 QByteArray::AbortOnBase64DecodingErrors);
    if (!result)
        return std::nullopt;
    return std::move(result.decoded);
}

struct EncodedWord
{
    qsizetype end = 0; // just after its "?="
    QByteArray charset;
    QByteArray bytes;
};

// The encoded word "=?charset?encoding?text?=" that starts at pos, if one does: the charset a
// token (an RFC 2231 "*language" suffix is dropped), the encoding B or Q, the text without
// blanks (RFC 2047 2).
std::optional<EncodedWord> encodedWordAt(const QByteArray &raw, qsizetype pos)
{
    const qsizetype charsetEnd = raw.indexOf('?', pos + 2);
    if (charsetEnd < 0 || charsetEnd + 2 >= raw.size() || raw.at(charsetEnd + 2) != '?')
        return std::nullopt;
    QByteArray charset = raw.mid(pos + 2, charsetEnd - pos - 2);
    if (charset.isEmpty()
        || std::any_of(charset.begin(), charset.end(), [](char c) { return uchar(c) <= ' '; }))
        return std::nullopt;
    const qsizetype textStart = charsetEnd + 3;
    const qsizetype textEnd = raw.indexOf("?=", textStart);
    if (textEnd < 0)
        return std::nullopt;
    const QByteArrayView text(raw.constData() + textStart, textEnd - textStart);
    if (std::any_of(text.begin(), text.end(), isBlank))
        return std::nullopt;
    std::optional<QByteArray> bytes;
    switch (raw.at(charsetEnd + 1)) {
    case 'B':
    case 'b':
        bytes = decodeB(text);
        break;
    case 'Q':
    case 'q':
        bytes = decodeQ(text);
        break;
    default:
        break;
    }
    if (!bytes)
        return std::nullopt;
    const qsizetype star = charset.indexOf('*');
    if (star >= 0)
        charset.truncate(star);
    return EncodedWord {textEnd + 2, charset, *bytes};
}

// Bytes in a named charset; an unknown name or bytes that are no text in it read as shown
// text does.
QString inCharset(const QByteArray &bytes, const QByteArray &charset)
{
    if (charset.isEmpty())
        return shownText(bytes);
    QStringDecoder decoder(charset.constData(), QStringDecoder::Flag::Stateless);
    if (!decoder.isValid())
        return shownText(bytes);
    QString text = decoder.decode(bytes);
    return decoder.hasError() ? shownText(bytes) : text;
}

QString onOneLine(QString text)
{
    for (QChar &c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char(' ');
    return text;
}

} // namespace

QString decodedHeaderText(const QByteArray &raw)
{
    return decodedHeaderText(raw, {});
}

QString decodedHeaderText(const QByteArray &raw, const QByteArray &charset)
{
    QString out;
    qsizetype shownUpTo = 0; // the bytes before it are in out or in the run
    // Adjacent encoded words of one charset are decoded together: many mailers cut a long
    // text inside a character, whose bytes then only make sense joined.
    QByteArray runCharset;
    QByteArray runBytes;
    bool inRun = false;
    const auto endRun = [&] {
        if (inRun)
            out += inCharset(runBytes, runCharset);
        runBytes.clear();
        inRun = false;
    };
    qsizetype from = 0;
    qsizetype pos;
    while ((pos = raw.indexOf("=?", from)) >= 0) {
        const std::optional<EncodedWord> word = encodedWordAt(raw, pos);
        if (!word) {
            from = pos + 1;
            continue;
        }
        const QByteArrayView gap(raw.constData() + shownUpTo, pos - shownUpTo);
        // RFC 2047 6.2: blanks between two encoded words are not shown.
        const bool isAdjacent = inRun && isAllBlank(gap);
        if (!isAdjacent || word->charset.compare(runCharset, Qt::CaseInsensitive) != 0)
            endRun();
        if (!isAdjacent)
            out += inCharset(gap.toByteArray(), charset);
        if (!inRun) {
            runCharset = word->charset;
            inRun = true;
        }
        runBytes += word->bytes;
        shownUpTo = from = word->end;
    }
    endRun();
    out += inCharset(raw.mid(shownUpTo), charset);
    return onOneLine(out);
}
