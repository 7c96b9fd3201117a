#include "separate.h"

QList<QByteArray> Separate(QByteArrayView text, QByteArrayView separator)
{
    QList<QByteArray> pieces;
    if (separator.isEmpty()) {
        pieces.append(text.toByteArray());
        return pieces;
    }
    qsizetype start = 0;
    for (qsizetype at = text.indexOf(separator); at >= 0; at = text.indexOf(separator, start)) {
        pieces.append(text.sliced(start, at - start).toByteArray());
        start = at + separator.size();
    }
    pieces.append(text.sliced(start).toByteArray());
    return pieces;
}
