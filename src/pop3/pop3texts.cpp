#include "pop3texts.h"

#include "store/services.h"

#include <QList>

#include <algorithm>

namespace Pop3Texts {

QString serverErrorCaption(const Services &services)
{
    return services.caption(QStringLiteral("10117"), QStringLiteral("POP3 Error:"));
}

std::pair<QString, QString> connectionErrorCaptions(const Services &services)
{
    const QString caption
        = services.caption(QStringLiteral("10118"), QStringLiteral("POP3 Connection Error"));
    return {caption, caption};
}

bool isPositive(const QByteArray &reply)
{
    return reply.startsWith('+');
}

bool announcesStls(const QByteArray &capabilities)
{
    const QList<QByteArray> lines = capabilities.split('\n');
    return std::any_of(lines.begin(), lines.end(),
                       [](const QByteArray &line) { return line.trimmed().toUpper() == "STLS"; });
}

bool announcesPipelining(const QByteArray &capabilities)
{
    const QList<QByteArray> lines = capabilities.split('\n');
    return std::any_of(lines.begin(), lines.end(), [](const QByteArray &line) {
        return line.simplified().toUpper().split(' ').constFirst() == "PIPELINING";
    });
}

} // namespace Pop3Texts
