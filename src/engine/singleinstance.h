#pragma once

#include <QString>

#include <memory>

class QLocalServer;
class QLockFile;

// The marker that tells a second copy that Korvane already runs: a lock file (which a
// crashed instance never leaves blocking, since a stale lock is taken over) and a local
// server of the same name that lives until the process ends. Both live in the user's own
// runtime folder ($XDG_RUNTIME_DIR), where no other user can plant a file that jams the
// start, or in the data folder when there is no private runtime folder; never in a shared
// folder.
class SingleInstance
{
public:
    // "KorvaneRuningNow-" + the user's name.
    static QString defaultName();

    explicit SingleInstance(const QString &dataDir, const QString &name = defaultName());
    ~SingleInstance();
    SingleInstance(const SingleInstance &) = delete;
    SingleInstance &operator=(const SingleInstance &) = delete;

    // True when another live instance holds the marker. When none does, this instance
    // takes the lock, so that two copies started together cannot both pass. A lock file
    // that names no process (empty or unreadable) is stale and taken over, unless a live
    // process still holds it.
    bool FindWin();

    // Publishes the marker's server; call once start-up has passed FindWin().
    bool publish();

    QString lockPath() const;
    QString serverPath() const { return m_serverPath; }
    // The marker's server once published, for the requests of later starts; null before.
    QLocalServer *server() const { return m_server.get(); }

private:
    bool lockNamesItsHolder() const;
    bool takeOverNamelessLock();

    QString m_serverPath;
    std::unique_ptr<QLockFile> m_lock;
    std::unique_ptr<QLocalServer> m_server;
};
