#include "showntext.h"

#include <QStringDecoder>

QString shownText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    return utf8.hasError() ? QString::fromLatin1(bytes) : text;
}

QString shownServerText(const QByteArray &bytes)
{
    const QString text = shownText(bytes);
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        const bool isLineBreak
            = c == u'\n' || (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n');
        if ((c < 0x20 && c != u'\t' && !isLineBreak) || c == 0x7F)
            out += QStringLiteral("\\x")
                + QString::number(int(c), 16).toUpper().rightJustified(2, QLatin1Char('0'));
        else
            out += QChar(c);
    }
    return out;
}
