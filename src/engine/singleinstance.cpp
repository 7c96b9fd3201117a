#include "singleinstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

QString SingleInstance::defaultName()
{
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = qEnvironmentVariable("LOGNAME", QStringLiteral("user"));
    return QStringLiteral("KorvaneRuningNow-") + user;
}

SingleInstance::SingleInstance(const QString &name)
    : m_name(name)
    , m_lock(std::make_unique<QLockFile>(QDir::temp().filePath(name + QStringLiteral(".lock"))))
{
    // Never stale by age: the lock is held for the whole run. A lock whose process is
    // gone (a crash) is still taken over at once.
    m_lock->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::FindWin()
{
    if (m_lock->isLocked())
        return false;
    if (m_lock->tryLock(0))
        return false;
    if (m_lock->error() == QLockFile::LockFailedError)
        return true;
    // The lock file cannot be made at all (an unwritable temporary folder): fall back on
    // asking for a live marker server.
    QLocalSocket probe;
    probe.connectToServer(m_name);
    return probe.waitForConnected(500);
}

bool SingleInstance::publish()
{
    if (m_server)
        return true;
    m_server = std::make_unique<QLocalServer>();
    // A socket file left behind by a crashed instance would make listen() fail.
    QLocalServer::removeServer(m_name);
    return m_server->listen(m_name);
}
