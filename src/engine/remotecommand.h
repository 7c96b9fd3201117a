#pragma once

#include <QObject>

#include <functional>

class KorvaneCore;
class QLocalServer;
class QLocalSocket;
class SingleInstance;

// The requests that a start from the terminal sends to the running copy over the
// single-instance socket: one line each ("check-now\n", "quit\n"), answered with one line.
// The socket lives in the user's own runtime folder, so only the user can ask.
enum class RemoteRequest { CheckNow, Quit };

struct RemoteCommandLimits
{
    // A connection that has not sent a whole request by then is dropped.
    int idleMs = 3000;
    // The longest request line, without its line end; a longer one is refused unread.
    int lineBytes = 64;
};

// The running copy's side: answers each connection's first line and then closes it. A check
// starts exactly as the tray menu's Check Now starts one when idle, but a running check is
// never stopped; quit runs the orderly end after the answer has gone out, and its connection
// stays open until the program ends, so that the asker sees the end.
class RemoteCommandServer : public QObject
{
    Q_OBJECT

public:
    RemoteCommandServer(KorvaneCore &core, std::function<void()> quit,
                        RemoteCommandLimits limits = {}, QObject *parent = nullptr);
    ~RemoteCommandServer() override;

    // Answers the connections that reach server from now on and those already waiting.
    void serve(QLocalServer *server);

private:
    void acceptWaiting(QLocalServer *server);
    void onReadyRead(QLocalSocket *socket);
    QByteArray answer(const QByteArray &request);

    KorvaneCore &m_core;
    std::function<void()> m_quit;
    RemoteCommandLimits m_limits;
    bool m_isQuitting = false;
};

enum class RemoteOutcome {
    NotRunning, // nobody listens on the socket
    CheckStarted,
    AlreadyChecking,
    HasQuit,
    StillRunning, // it agreed to quit but has not ended within the wait
    NoAnswer, // no answer, or one that is not the request's
};

struct RemoteWaits
{
    int answerMs = 10000;
    // For a quitting copy to save its data and end.
    int endMs = 30000;
};

// The asking side: sends request to the copy that holds instance's marker and waits, bounded,
// for its answer and, for a quit, until that copy has gone. It runs an event loop of its own,
// so it is meant for a start from the terminal, never for the running program. Creates no
// file.
RemoteOutcome askRunningCopy(const SingleInstance &instance, RemoteRequest request,
                             RemoteWaits waits = {});
