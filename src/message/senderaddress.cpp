#include "senderaddress.h"

QByteArray bareAddress(QByteArrayView sender)
{
    const qsizetype open = sender.lastIndexOf('<');
    const qsizetype close = open < 0 ? -1 : sender.indexOf('>', open + 1);
    if (close > open)
        return sender.sliced(open + 1, close - open - 1).trimmed().toByteArray();
    return sender.trimmed().toByteArray();
}

QByteArray domainPattern(QByteArrayView address)
{
    const qsizetype at = address.indexOf('@');
    return '*' + (at < 0 ? address : address.sliced(at)).toByteArray();
}
