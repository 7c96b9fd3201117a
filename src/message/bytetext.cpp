#include "bytetext.h"

#include <cstring>

QByteArray replaceAll(QByteArrayView text, QByteArrayView before, QByteArrayView after)
{
    if (before.isEmpty())
        return text.toByteArray();
    // Two passes: count the hits, then write the result at its final size in place.
    qsizetype hits = 0;
    for (qsizetype hit = indexOfBytes(text, before); hit >= 0;
         hit = indexOfBytes(text, before, hit + before.size()))
        ++hits;
    if (hits == 0)
        return text.toByteArray();
    QByteArray out(text.size() + hits * (after.size() - before.size()), Qt::Uninitialized);
    char *o = out.data();
    qsizetype pos = 0;
    for (qsizetype hit = indexOfBytes(text, before); hit >= 0;
         hit = indexOfBytes(text, before, pos)) {
        std::memcpy(o, text.data() + pos, size_t(hit - pos));
        o += hit - pos;
        if (!after.isEmpty())
            std::memcpy(o, after.data(), size_t(after.size()));
        o += after.size();
        pos = hit + before.size();
    }
    std::memcpy(o, text.data() + pos, size_t(text.size() - pos));
    return out;
}

qsizetype indexOfBytes(QByteArrayView text, QByteArrayView needle, qsizetype from)
{
    const qsizetype size = text.size();
    const qsizetype n = needle.size();
    if (from < 0 || from > size)
        return -1;
    if (n == 0)
        return from;
    const char *data = text.data();
    const char first = needle[0];
    qsizetype budget = 4 * (size - from) + 64; // bytes compared beyond first-byte hits
    for (qsizetype pos = from; pos + n <= size; ++pos) {
        const void *hit = std::memchr(data + pos, first, size_t(size - n + 1 - pos));
        if (!hit)
            return -1;
        pos = static_cast<const char *>(hit) - data;
        qsizetype k = 1;
        while (k < n && data[pos + k] == needle[k])
            ++k;
        if (k == n)
            return pos;
        budget -= k;
        if (budget < 0)
            return text.indexOf(needle, pos + 1);
    }
    return -1;
}

namespace {

char lowerAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c;
}

char upperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - ('a' - 'A')) : c;
}

qsizetype findByte(QByteArrayView text, char c, qsizetype from)
{
    if (from >= text.size())
        return -1;
    const void *hit = std::memchr(text.data() + from, c, size_t(text.size() - from));
    return hit ? static_cast<const char *>(hit) - text.data() : -1;
}

} // namespace

qsizetype indexOfBytesIgnoringCase(QByteArrayView text, QByteArrayView needle, qsizetype from)
{
    const qsizetype n = needle.size();
    if (from < 0 || from > text.size())
        return -1;
    if (n == 0)
        return from;
    const char lower = lowerAscii(needle[0]);
    const char upper = upperAscii(needle[0]);
    const qsizetype last = text.size() - n; // the last position a match can start at
    if (from > last)
        return -1;
    const QByteArrayView candidates = text.first(last + 1);
    qsizetype nextLower = findByte(candidates, lower, from);
    qsizetype nextUpper = lower == upper ? -1 : findByte(candidates, upper, from);
    for (;;) {
        qsizetype pos = nextLower;
        if (pos < 0 || (nextUpper >= 0 && nextUpper < pos))
            pos = nextUpper;
        if (pos < 0)
            return -1;
        qsizetype k = 1;
        while (k < n && lowerAscii(text[pos + k]) == lowerAscii(needle[k]))
            ++k;
        if (k == n)
            return pos;
        if (pos == nextLower)
            nextLower = findByte(candidates, lower, pos + 1);
        else
            nextUpper = findByte(candidates, upper, pos + 1);
    }
}
