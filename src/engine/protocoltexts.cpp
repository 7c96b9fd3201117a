#include "protocoltexts.h"

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

} // namespace Pop3Texts

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

bool canBeQuoted(const QByteArray &text)
{
    return !text.contains('\r') && !text.contains('\n') && !text.contains('\0');
}

} // namespace ImapTexts
