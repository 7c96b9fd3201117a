#include "datadir.h"

#include <QDir>
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
    if (isWritableFolder(programDir))
        return {QDir::cleanPath(programDir), false};
    const QString fallback = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/Korvane");
    QDir().mkpath(fallback);
    return {QDir::cleanPath(fallback), true};
}

QString dataPath(const QString &dataDir, const QString &literal)
{
    QString relative = literal;
    relative.replace(u'\\', u'/');
    while (relative.startsWith(u'/'))
        relative.remove(0, 1);
    return dataDir + u'/' + relative;
}
