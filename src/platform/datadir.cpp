#include "datadir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

static bool isWritableFolder(const QString &path)
{
    if (!QDir().mkpath(path))
        return false;
    // Permission bits do not tell the whole truth (read-only mounts, ACLs): try it.
    QTemporaryFile probe(QDir(path).filePath(QStringLiteral(".korvane-probe-XXXXXX")));
    return probe.open();
}

DataDirChoice resolveDataDir(const QString &programDir)
{
    const QString program = QDir::cleanPath(programDir);
    // An installed program (its shipped files in ../share/korvane) never keeps mail and
    // passwords in a system folder, even when it runs as root and could write there.
    if (isWritableFolder(programDir) && !QFileInfo(sharedDataDir(programDir)).isDir())
        return {program, false, program};
    const QString fallback = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/Korvane");
    makePrivateFolder(fallback);
    return {QDir::cleanPath(fallback), true, program};
}

bool makePrivate(const QString &path)
{
    constexpr QFileDevice::Permissions modeBits = QFileDevice::ReadOwner | QFileDevice::WriteOwner
        | QFileDevice::ExeOwner | QFileDevice::ReadGroup | QFileDevice::WriteGroup
        | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::WriteOther
        | QFileDevice::ExeOther;
    const QFileInfo info(path);
    const QFileDevice::Permissions mode = info.isDir() ? privateFolderMode : privateFileMode;
    return (info.exists() && (info.permissions() & modeBits) == mode)
        || QFile::setPermissions(path, mode);
}

bool makePrivateFolder(const QString &path)
{
    // mkpath() leaves the mode to the umask, which commonly lets everyone look in.
    return QDir().mkpath(path) && makePrivate(path);
}

QString sharedDataDir(const QString &programDir)
{
    return QDir::cleanPath(programDir + QStringLiteral("/../share/korvane"));
}

QString dataPath(const QString &dataDir, const QString &literal)
{
    QString relative = literal;
    relative.replace(u'\\', u'/');
    while (relative.startsWith(u'/'))
        relative.remove(0, 1);
    return dataDir + u'/' + relative;
}

QString ownOrShippedPath(const QString &dataDir, const QString &sharedDir, const QString &literal)
{
    const QString own = dataPath(dataDir, literal);
    if (QFileInfo(own).isFile() || sharedDir.isEmpty())
        return own;
    const QString shipped = dataPath(sharedDir, literal);
    return QFileInfo(shipped).isFile() ? shipped : own;
}
