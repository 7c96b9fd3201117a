#include "imaptexts.h"

#include "imapreader.h"
#include "store/services.h"

#include <algorithm>

namespace ImapTexts {

QString serverErrorCaption(const Services &services)
{
    return services.caption(QStringLiteral("10132"), QStringLiteral("IMAP Error:"))
        + QLatin1Char(' ');
}

std::pair<QString, QString> connectionErrorCaptions(const Services &services)
{
    return {services.caption(QStringLiteral("10116"), QStringLiteral("IMAP Connection Error ")),
            services.caption(QStringLiteral("10116"), QStringLiteral("IMAP Connection Error"))};
}

QByteArray quoted(const QByteArray &text)
{
    QByteArray out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out + '"';
}

// Runs keep the command line short.
QByteArray uidSet(const QList<quint32> &uids)
{
    QByteArrayList parts;
    for (qsizetype i = 0; i < uids.size();) {
        qsizetype last = i;
        while (last + 1 < uids.size() && uids.at(last + 1) == uids.at(last) + 1)
            ++last;
        parts << QByteArray::number(uids.at(i))
                + (last > i ? ':' + QByteArray::number(uids.at(last)) : QByteArray());
        i = last + 1;
    }
    return parts.join(',');
}

QList<quint32> searchNumbers(const ImapResponse &response)
{
    QList<quint32> numbers;
    const QList<QByteArray> words = response.text.simplified().split(' ');
    for (qsizetype i = 2; i < words.size(); ++i) {
        bool isNumber = false;
        const quint32 n = words.at(i).toUInt(&isNumber);
        if (isNumber)
            numbers << n;
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

} // namespace ImapTexts
