#include "bytetext.h"

QByteArray replaceAll(QByteArrayView text, QByteArrayView before, QByteArrayView after)
{
    if (before.isEmpty())
        return text.toByteArray();
    QByteArray out;
    qsizetype pos = 0;
    for (qsizetype hit = text.indexOf(before); hit >= 0; hit = text.indexOf(before, pos)) {
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
