#include "textfile.h"

#include <QFile>
#include <QSaveFile>

namespace TextFile {

std::optional<QByteArray> readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

QList<QByteArray> splitLines(QByteArrayView bytes)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        const bool hasLineEnd = end >= 0;
        if (!hasLineEnd)
            end = bytes.size();
        qsizetype stop = end;
        if (hasLineEnd && stop > start && bytes.at(stop - 1) == '\r')
            --stop;
        lines.append(bytes.sliced(start, stop - start).toByteArray());
        start = end + 1;
    }
    return lines;
}

std::optional<QList<QByteArray>> readLines(const QString &path)
{
    const std::optional<QByteArray> bytes = readAll(path);
    if (!bytes)
        return std::nullopt;
    return splitLines(*bytes);
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

bool writeLines(const QString &path, const QList<QByteArray> &lines)
{
    QByteArray bytes;
    qsizetype total = 0;
    for (const QByteArray &line : lines)
        total += line.size() + 2;
    bytes.reserve(total);
    for (const QByteArray &line : lines) {
        bytes.append(line);
        bytes.append("\r\n");
    }
    return writeAll(path, bytes);
}

bool createEmpty(const QString &path)
{
    if (QFile::exists(path))
        return true;
    QFile file(path);
    return file.open(QIODevice::WriteOnly);
}

bool moveAside(const QString &path)
{
    if (!QFile::exists(path))
        return true;
    const QString bad = path + QStringLiteral(".bad");
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::WriteOwner);
    if (QFile::exists(bad))
        QFile::remove(bad);
    return QFile::rename(path, bad);
}

} // namespace TextFile
