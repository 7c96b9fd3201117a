#include "separator.h"

QByteArray Get_After_Seperator(const QByteArray &text, int index, char separator)
{
    static const QByteArray notFound = QByteArrayLiteral("NOT FOUND");
    qsizetype found = text.indexOf(separator);
    if (index == 0)
        return found < 0 ? text : text.left(found);

    for (int i = 1; i < index; ++i) {
        if (found < 0)
            return notFound;
        found = text.indexOf(separator, found + 1);
        if (found < 0)
            return notFound;
    }
    const qsizetype start = found + 1; // the first character when there is no separator
    if (start >= text.size())
        return notFound;
    const qsizetype next = text.indexOf(separator, start);
    return text.mid(start, next < 0 ? -1 : next - start);
}
