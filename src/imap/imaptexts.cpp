#include "imaptexts.h"

#include "store/services.h"

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

} // namespace ImapTexts
