#include "textfile.h"

#include "datadir.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <unistd.h>

namespace {

// Asks the system to put the file's data on the disk. A file system that is full or failing
// can still refuse here what the write and the flush accepted into its cache.
bool syncToDisk(QFileDevice &file)
{
    const int handle = file.handle();
    return handle >= 0 && ::fsync(handle) == 0;
}

} // namespace

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
    // QSaveFile gives a new file the umask's mode and a replacing one the old file's mode; a
    // data file is for its owner's eyes only either way, from before its first byte. A file
    // system without modes (a FAT stick) refuses this, which must not cost the save.
    (void)file.setPermissions(privateFileMode);
    // QSaveFile::commit() (Qt 6.4) closes the file without noticing that writing out its
    // buffer failed, and renames the short file over the old one: a full disk turned a
    // whole history into an empty file. So the buffer is written out and checked here, and
    // the data synced, before the old file is given up.
    const bool written = file.write(bytes) == bytes.size() && file.flush()
        && file.error() == QFileDevice::NoError && syncToDisk(file);
    if (!written) {
        // The temporary file is removed and the old file stays as it was.
        file.cancelWriting();
        return false;
    }
    if (!file.commit())
        return false;
    // The old file is gone by now, so a short new one cannot be undone, only reported.
    // Once the flush and the sync above have succeeded this does not happen; it is the
    // cheap last guard should the commit ever lose data again.
    return QFileInfo(path).size() == bytes.size();
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

std::optional<QString> moveAside(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink())
        return std::nullopt;
    QFile::setPermissions(path, QFile::permissions(path) | QFileDevice::WriteOwner);
    const QString bad = path + QStringLiteral(".bad");
    // QFile::rename never replaces an existing file, so a name taken between the test and
    // the rename only sends the search on to the next one.
    for (int n = 1;; ++n) {
        const QString name = n == 1 ? bad : bad + QString::number(n);
        const QFileInfo target(name);
        if (target.exists() || target.isSymLink())
            continue;
        if (QFile::rename(path, name))
            return name;
        if (!QFileInfo::exists(name))
            return std::nullopt;
    }
}

} // namespace TextFile
