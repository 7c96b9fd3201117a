#include "bytetext.h"

#include <cstring>

QByteArray replaceAll(QByteArrayView text, QByteArrayView before, QByteArrayView after)
{
    if (before.isEmpty())
        return text.toByteArray();
    const auto find = [&](qsizetype from) { return indexOfBytes(text, before, from); };
    QByteArray out;
    qsizetype pos = 0;
    for (qsizetype hit = find(0); hit >= 0; hit = find(pos)) {
        if (out.isEmpty())
            out.reserve(text.size() + (after.size() > before.size() ? text.size() / 2 : 0));
        out.append(text.sliced(pos, hit - pos)).append(after);
        pos = hit + before.size();
    }
    if (pos == 0)
        return text.toByteArray();
    out.append(text.sliced(pos));
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
