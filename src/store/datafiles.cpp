#include "datafiles.h"

#include "actionlog.h"
#include "platform/datadir.h"
#include "platform/textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <functional>

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
