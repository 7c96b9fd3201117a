#include "base64.h"

#include <array>

namespace {

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<unsigned char, 256> makeInverse()
{
    std::array<unsigned char, 256> inverse {};
    for (int i = 0; i < 64; ++i)
        inverse[static_cast<unsigned char>(alphabet[i])] = static_cast<unsigned char>(i);
    return inverse;
}

constexpr std::array<unsigned char, 256> inverse = makeInverse();

unsigned value(const QByteArray &text, qsizetype i)
{
    return inverse[static_cast<unsigned char>(text.at(i))];
}

} // namespace

QByteArray Base64Encode(const QByteArray &text)
{
    const qsizetype n = text.size();
    QByteArray out(4 * ((n + 2) / 3), Qt::Uninitialized);
    char *dst = out.data();
    const auto *src = reinterpret_cast<const unsigned char *>(text.constData());
    qsizetype i = 0;
    for (; i + 2 < n; i += 3) {
        const unsigned v = (src[i] << 16) | (src[i + 1] << 8) | src[i + 2];
        *dst++ = alphabet[(v >> 18) & 63];
        *dst++ = alphabet[(v >> 12) & 63];
        *dst++ = alphabet[(v >> 6) & 63];
        *dst++ = alphabet[v & 63];
    }
    if (n - i == 1) {
        const unsigned v = src[i] << 16;
        *dst++ = alphabet[(v >> 18) & 63];
        *dst++ = alphabet[(v >> 12) & 63];
        *dst++ = '=';
        *dst++ = '=';
    } else if (n - i == 2) {
        const unsigned v = (src[i] << 16) | (src[i + 1] << 8);
        *dst++ = alphabet[(v >> 18) & 63];
        *dst++ = alphabet[(v >> 12) & 63];
        *dst++ = alphabet[(v >> 6) & 63];
        *dst++ = '=';
    }
    return out;
}

QByteArray Base64Decode(const QByteArray &text)
{
    qsizetype length = text.size();
    for (int pad = 0; pad < 2 && length > 0 && text.at(length - 1) == '='; ++pad)
        --length;
    QByteArray out((length * 3) / 4, Qt::Uninitialized);
    char *dst = out.data();
    qsizetype i = 0;
    for (; i + 3 < length; i += 4) {
        const unsigned v = (value(text, i) << 18) | (value(text, i + 1) << 12)
            | (value(text, i + 2) << 6) | value(text, i + 3);
        *dst++ = char(v >> 16);
        *dst++ = char(v >> 8);
        *dst++ = char(v);
    }
    const qsizetype rest = length - i;
    if (rest >= 2) {
        unsigned v = (value(text, i) << 18) | (value(text, i + 1) << 12);
        if (rest == 3)
            v |= value(text, i + 2) << 6;
        *dst++ = char(v >> 16);
        if (rest == 3)
            *dst++ = char(v >> 8);
    }
    return out;
}
