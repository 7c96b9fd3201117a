#include "remotecommand.h"

#include "checkcycle.h"
#include "korvanecore.h"
#include "singleinstance.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QTimer>

#include <cerrno>

#include <signal.h>

namespace {

constexpr char checkNowLine[] = "check-now";
constexpr char quitLine[] = "quit";

constexpr char startedReply[] = "started";
constexpr char busyReply[] = "busy";
constexpr char quittingReply[] = "quitting";
constexpr char unknownReply[] = "unknown";
constexpr char tooLongReply[] = "too-long";

void reply(QLocalSocket *socket, const QByteArray &word)
{
    socket->write(word + '\n');
    // Out before anything the request starts can hold up the event loop (a message box).
    socket->flush();
}

// Runs an event loop of its own until done() holds or the time is up; true when it holds.
bool waitUntil(const std::function<bool()> &done, int limitMs)
{
    if (done())
        return true;
    const QDeadlineTimer deadline(limitMs);
    QEventLoop loop;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (done() || deadline.hasExpired())
            loop.quit();
    });
    tick.start(10);
    loop.exec();
    return done();
}

// The lock is gone with an orderly end; after a crash its file remains, naming a process
// that no longer exists.
bool isMarkerReleased(const QString &lockPath)
{
    if (!QFileInfo::exists(lockPath))
        return true;
    const QLockFile lock(lockPath);
    qint64 pid = 0;
    QString host;
    QString application;
    if (!lock.getLockInfo(&pid, &host, &application) || pid <= 0)
        return false;
    return ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

} // namespace

RemoteCommandServer::RemoteCommandServer(KorvaneCore &core, std::function<void()> quit,
                                         RemoteCommandLimits limits, QObject *parent)
    : QObject(parent)
    , m_core(core)
    , m_quit(std::move(quit))
    , m_limits(limits)
{
}

RemoteCommandServer::~RemoteCommandServer() = default;

void RemoteCommandServer::serve(QLocalServer *server)
{
    if (!server)
        return;
    connect(server, &QLocalServer::newConnection, this, [this, server] { acceptWaiting(server); });
    acceptWaiting(server);
}

void RemoteCommandServer::acceptWaiting(QLocalServer *server)
{
    while (QLocalSocket *socket = server->nextPendingConnection()) {
        // Ours, so that the connections end with this server, the quitting one included.
        socket->setParent(this);
        // A peer that floods the socket fills no more than this.
        socket->setReadBufferSize(m_limits.lineBytes + 2);
        auto *idle = new QTimer(socket);
        idle->setSingleShot(true);
        connect(idle, &QTimer::timeout, socket, [socket] {
            socket->abort();
            socket->deleteLater();
        });
        idle->start(m_limits.idleMs);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        onReadyRead(socket);
    }
}

void RemoteCommandServer::onReadyRead(QLocalSocket *socket)
{
    // Only a whole line is a request: a part of one is never acted on.
    const QByteArray pending = socket->peek(m_limits.lineBytes + 2);
    const qsizetype end = pending.indexOf('\n');
    QByteArray line;
    if (end >= 0)
        line = pending.left(end);
    else if (pending.size() <= m_limits.lineBytes + 1)
        return;
    if (line.endsWith('\r'))
        line.chop(1);
    // One request a connection; what follows it is not read.
    disconnect(socket, &QLocalSocket::readyRead, this, nullptr);
    const bool isTooLong = end < 0 || line.size() > m_limits.lineBytes;
    const QByteArray word = isTooLong ? QByteArray(tooLongReply) : answer(line);
    reply(socket, word);
    if (word == quittingReply) {
        // Open until the program has ended: its end is the asker's sign that it did.
        if (auto *idle = socket->findChild<QTimer *>())
            idle->stop();
        return;
    }
    socket->disconnectFromServer();
}

QByteArray RemoteCommandServer::answer(const QByteArray &request)
{
    // Once the end has begun, nothing more is started.
    if (m_isQuitting)
        return quittingReply;
    if (request == checkNowLine) {
        // The tray's Check Now would stop a running check; a request from outside never does.
        if (m_core.IsChecking)
            return busyReply;
        m_core.checkCycle.CheckNow();
        return startedReply;
    }
    if (request == quitLine) {
        m_isQuitting = true;
        // After the answer: the end destroys the connections, this handler's one included.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (m_quit)
                    m_quit();
            },
            Qt::QueuedConnection);
        return quittingReply;
    }
    return unknownReply;
}

RemoteOutcome askRunningCopy(const SingleInstance &instance, RemoteRequest request,
                             RemoteWaits waits)
{
    QLocalSocket socket;
    socket.connectToServer(instance.serverPath());
    const auto isClosed = [&socket] {
        return socket.state() == QLocalSocket::UnconnectedState;
    };
    if (!waitUntil([&] { return socket.state() == QLocalSocket::ConnectedState || isClosed(); },
                   waits.answerMs)
        || isClosed())
        return RemoteOutcome::NotRunning;

    const bool isQuit = request == RemoteRequest::Quit;
    socket.write(QByteArray(isQuit ? quitLine : checkNowLine) + '\n');
    if (!waitUntil([&] { return socket.canReadLine() || isClosed(); }, waits.answerMs)
        || !socket.canReadLine())
        return RemoteOutcome::NoAnswer;
    const QByteArray word = socket.readLine().trimmed();

    if (isQuit) {
        if (word != quittingReply)
            return RemoteOutcome::NoAnswer;
        const bool hasEnded = waitUntil(
            [&] { return isClosed() && isMarkerReleased(instance.lockPath()); }, waits.endMs);
        return hasEnded ? RemoteOutcome::HasQuit : RemoteOutcome::StillRunning;
    }
    if (word == startedReply)
        return RemoteOutcome::CheckStarted;
    if (word == busyReply)
        return RemoteOutcome::AlreadyChecking;
    return RemoteOutcome::NoAnswer;
}
