#include "singleinstance.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

#include <unistd.h>

namespace {

// The runtime folder belongs to the user alone (0700): a folder someone else owns or may
// write into would let that someone plant the marker again.
bool isPrivateFolder(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo folder(path);
    return folder.isDir() && folder.isWritable() && folder.ownerId() == ::geteuid()
        && !(folder.permissions() & (QFileDevice::WriteGroup | QFileDevice::WriteOther));
}

// Without a private runtime folder of the session, the marker lives in the data folder: the
// temporary folder is shared, and another user could make the very folder or files the
// marker would use there, with a lock and a listening socket that stop every start.
QString markerFolder(const QString &dataDir)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (isPrivateFolder(runtime))
        return QDir::cleanPath(runtime);
    return QDir::cleanPath(dataDir);
}

} // namespace

QString SingleInstance::defaultName()
{
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = qEnvironmentVariable("LOGNAME", QStringLiteral("user"));
    return QStringLiteral("KorvaneRuningNow-") + user;
}

SingleInstance::SingleInstance(const QString &dataDir, const QString &name)
    : m_serverPath(QDir(markerFolder(dataDir)).filePath(name))
    , m_lock(std::make_unique<QLockFile>(m_serverPath + QStringLiteral(".lock")))
{
    // Never stale by age: the lock is held for the whole run. A lock whose process is
    // gone (a crash) is still taken over at once.
    m_lock->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::lockPath() const
{
    return m_lock->fileName();
}

bool SingleInstance::FindWin()
{
    if (m_lock->isLocked())
        return false;
    if (m_lock->tryLock(0))
        return false;
    if (m_lock->error() == QLockFile::LockFailedError) {
        // A lock that names its process has been judged by QLockFile: that process lives.
        if (lockNamesItsHolder())
            return true;
        if (takeOverNamelessLock())
            return false;
        // An instance that is starting right now has written its name meanwhile.
        if (lockNamesItsHolder())
            return true;
    }
    // The lock file cannot be made or taken over (an unwritable folder): fall back on asking
    // for a live marker server.
    QLocalSocket probe;
    probe.connectToServer(m_serverPath);
    return probe.waitForConnected(500);
}

bool SingleInstance::lockNamesItsHolder() const
{
    qint64 pid = 0;
    QString host;
    QString application;
    return m_lock->getLockInfo(&pid, &host, &application);
}

// QLockFile (Qt 6.4) judges a lock by the process id written in it and, with no stale
// time, never gives up on a file that names none: an empty file left by a crash between
// creating the lock and writing it, or one that cannot be read, would block every start.
// removeStaleLockFile() removes it only when no process holds the file's lock, so a live
// instance still keeps its marker.
bool SingleInstance::takeOverNamelessLock()
{
    const QString path = lockPath();
    // A file of ours that lost its read permission; removeStaleLockFile() must open it.
    if (!QFileInfo(path).isReadable())
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return m_lock->removeStaleLockFile() && m_lock->tryLock(0);
}

bool SingleInstance::publish()
{
    if (m_server)
        return true;
    m_server = std::make_unique<QLocalServer>();
    // A socket file left behind by a crashed instance would make listen() fail.
    QLocalServer::removeServer(m_serverPath);
    return m_server->listen(m_serverPath);
}
