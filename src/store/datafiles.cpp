#include "datafiles.h"

#include "actionlog.h"
#include "platform/datadir.h"
#include "platform/textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <functional>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace {

bool createWith(const QString &path, const QByteArray &content)
{
    return QFile::exists(path) || TextFile::writeAll(path, content);
}

// The files at the top of the data folder that Korvane reads and writes.
const QStringList &dataFileNames()
{
    static const QStringList names {
        QStringLiteral("Accounts.ini"),   QStringLiteral("Spam.log"),
        QStringLiteral("BadWords.ini"),   QStringLiteral("BlockedList.ini"),
        QStringLiteral("FriendList.ini"), QStringLiteral("History.ini"),
        QStringLiteral("Settings.ini"),   QStringLiteral("Review.ini"),
    };
    return names;
}

bool isDataFileOrMovedAside(const QString &name)
{
    for (const QString &data : dataFileNames())
        if (name == data || name.startsWith(data + QStringLiteral(".bad")))
            return true;
    return false;
}

// "<n>.mal" and "<n>.why" as History names them, and a ".why.part" a crash left behind.
bool isSavedCopy(const QString &name, bool withPartial)
{
    static const QRegularExpression copy(QStringLiteral("^[0-9]+\\.(mal|why)$"));
    static const QRegularExpression partial(QStringLiteral("^[0-9]+\\.why\\.part$"));
    return copy.match(name).hasMatch() || (withPartial && partial.match(name).hasMatch());
}

QString mailsFolder(const QString &dataDir)
{
    return dataPath(dataDir, QStringLiteral("\\Mails"));
}

// Regular files only: a link may point anywhere, and its target is not ours to change.
QStringList ownFilesIn(const QString &folder, const std::function<bool(const QString &)> &isOwn)
{
    QStringList paths;
    const QDir dir(folder);
    const QStringList names
        = dir.entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDir::Name);
    for (const QString &name : names)
        if (isOwn(name))
            paths << dir.filePath(name);
    return paths;
}

QStringList topDataFiles(const QString &dataDir)
{
    return ownFilesIn(dataDir, [](const QString &name) { return dataFileNames().contains(name); });
}

QStringList savedCopies(const QString &dataDir)
{
    return ownFilesIn(mailsFolder(dataDir),
                      [](const QString &name) { return isSavedCopy(name, false); });
}

// Writes the file's bytes into a new private file, streamed so that a large saved copy
// never sits in memory whole.
bool copyInto(const QString &source, const QString &target)
{
    QFile in(source);
    QFile out(target);
    if (!in.open(QIODevice::ReadOnly)
        || !out.open(QIODevice::WriteOnly | QIODevice::Truncate, privateFileMode))
        return false;
    // An older temporary file of a failed copy keeps its mode through the open.
    (void)out.setPermissions(privateFileMode);
    QByteArray chunk;
    while (!(chunk = in.read(1 << 16)).isEmpty())
        if (out.write(chunk) != chunk.size())
            return false;
    return in.error() == QFileDevice::NoError && out.flush() && out.error() == QFileDevice::NoError;
}

// Puts everything written so far on the disk before a file is given its final name.
bool syncFileSystem(const QString &folder)
{
    const int handle = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (handle < 0)
        return false;
    const bool synced = ::syncfs(handle) == 0;
    ::close(handle);
    return synced;
}

} // namespace

QStringList CreateFiles(const QString &dataDir)
{
    QStringList failed;
    const auto make = [&](const QString &literal, const QByteArray &content) {
        const QString path = dataPath(dataDir, literal);
        if (!createWith(path, content))
            failed << path;
    };

    const QString mails = mailsFolder(dataDir);
    if (!QDir().mkpath(mails))
        failed << mails;
    // The saved copies are the user's mail. A file system without modes refuses this, which
    // does not make the folder unusable.
    (void)makePrivate(mails);
    make(QStringLiteral("\\Accounts.ini"), {});
    make(QStringLiteral("\\Spam.log"), ActionLog::header());
    make(QStringLiteral("\\BadWords.ini"), {});
    make(QStringLiteral("\\BlockedList.ini"), {});
    make(QStringLiteral("\\FriendList.ini"), {});
    make(QStringLiteral("\\History.ini"), {});
    make(QStringLiteral("\\Settings.ini"), "EXE;SRC;COM;BMP;JPG;\r\n");
    return failed;
}

QStringList protectDataFiles(const QString &dataDir)
{
    QStringList failed;
    const QString mails = mailsFolder(dataDir);
    QStringList paths;
    if (QFileInfo(mails).isDir() && !QFileInfo(mails).isSymLink())
        paths << mails;
    paths << ownFilesIn(dataDir, isDataFileOrMovedAside);
    paths << ownFilesIn(mails, [](const QString &name) { return isSavedCopy(name, true); });
    for (const QString &path : std::as_const(paths))
        if (!makePrivate(path))
            failed << path;
    return failed;
}

DataCopy copyDataFiles(const QString &from, const QString &to)
{
    const QStringList data = topDataFiles(from);
    const QStringList copies = savedCopies(from);
    if (data.isEmpty() && copies.isEmpty())
        return {DataCopy::Outcome::NothingToCopy, {}};
    if (!topDataFiles(to).isEmpty())
        return {DataCopy::Outcome::AlreadyThere, {}};

    // Source and final path of every file; a saved copy that the other folder already has
    // is left as it is there.
    QList<std::pair<QString, QString>> plan;
    const QString targetMails = mailsFolder(to);
    for (const QString &copy : copies) {
        const QString target = QDir(targetMails).filePath(QFileInfo(copy).fileName());
        if (!QFileInfo::exists(target))
            plan.append({copy, target});
    }
    // The data files come last, so that they appear only once the copies they refer to are
    // in place.
    for (const QString &file : data)
        plan.append({file, QDir(to).filePath(QFileInfo(file).fileName())});

    const auto partOf = [](const QString &target) {
        return target + QStringLiteral(".copying");
    };
    DataCopy result {DataCopy::Outcome::Copied, {}};
    if (!copies.isEmpty() && !makePrivateFolder(targetMails) && !QFileInfo(targetMails).isDir())
        result.failed << mailsFolder(from);
    for (const auto &[source, target] : std::as_const(plan))
        if (result.failed.isEmpty() && !copyInto(source, partOf(target)))
            result.failed << source;
    if (result.failed.isEmpty() && !syncFileSystem(to))
        result.failed << to;
    for (const auto &[source, target] : std::as_const(plan)) {
        if (result.failed.isEmpty() && !QFile::rename(partOf(target), target))
            result.failed << source;
        QFile::remove(partOf(target));
    }
    if (!result.failed.isEmpty())
        result.outcome = DataCopy::Outcome::Failed;
    return result;
}
