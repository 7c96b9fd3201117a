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
