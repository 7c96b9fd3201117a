#pragma once

#include <QFile>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

// The lines of "Spam.log" after its header, each without its date and time; a line end
// inside an entry shows as one more line.
inline QStringList logEntries(const QString &logPath)
{
    QFile file(logPath);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    static const QRegularExpression stamp(
        QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d {7}"));
    QStringList entries;
    bool isPastHeader = false;
    for (const QString &line : lines) {
        const QRegularExpressionMatch match = stamp.match(line);
        isPastHeader = isPastHeader || match.hasMatch();
        if (isPastHeader)
            entries << (match.hasMatch() ? line.mid(match.capturedLength()) : line);
    }
    return entries;
}
