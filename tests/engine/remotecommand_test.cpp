#include "engine/remotecommand.h"
#include "engine/singleinstance.h"
#include "support/cyclebed.h"
#include "support/runtimefolder.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QUuid>

#include <gtest/gtest.h>

namespace {

// The running copy (its marker, published, and the command server over the check cycle)
// and the asking start's own view of the same marker, in a private runtime folder.
struct RemoteBed : CycleBed
{
    RemoteBed()
    {
        EXPECT_FALSE(instance->FindWin());
        EXPECT_TRUE(instance->publish());
        server->serve(instance->server());
    }

    RemoteOutcome ask(RemoteRequest request) { return askRunningCopy(asker, request, waits); }
    // The program's end, as after Exit: the connections close and the marker is released.
    void end()
    {
        server.reset();
        instance.reset();
    }
    int checksBegun() const { return log().count("Begin checking mail accounts"); }

    RuntimeFolder runtime;
    QString name = "KorvaneTest-" + QUuid::createUuid().toString(QUuid::Id128);
    std::unique_ptr<SingleInstance> instance
        = std::make_unique<SingleInstance>(runtime.path(), name);
    int quits = 0;
    bool endsOnQuit = true;
    std::unique_ptr<RemoteCommandServer> server = std::make_unique<RemoteCommandServer>(
        *core,
        [this] {
            ++quits;
            // Later, as the event loop of the program ends later.
            if (endsOnQuit)
                QTimer::singleShot(0, [this] { end(); });
        },
        RemoteCommandLimits {100, 64});
    SingleInstance asker {runtime.path(), name};
    RemoteWaits waits {5000, 5000};
};

// What the server answered to bytes, sent whole or one byte at a time, until it closed the
// connection.
QByteArray exchange(const QString &serverPath, const QByteArray &bytes, bool oneByOne)
{
    QLocalSocket socket;
    socket.connectToServer(serverPath);
    EXPECT_TRUE(socket.waitForConnected(5000));
    if (oneByOne) {
        for (const char byte : bytes) {
            // Once answered, the connection is closed: a write then would fail and lose the
            // answer. The server reads the last byte in the first round, the answer arrives
            // in the second.
            QCoreApplication::processEvents();
            QCoreApplication::processEvents();
            if (socket.bytesAvailable() > 0 || socket.state() != QLocalSocket::ConnectedState)
                break;
            socket.write(&byte, 1);
            socket.flush();
        }
    } else {
        socket.write(bytes);
        socket.flush();
    }
    const QDeadlineTimer deadline(5000);
    while (socket.state() != QLocalSocket::UnconnectedState && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_EQ(socket.state(), QLocalSocket::UnconnectedState);
    return socket.readAll();
}

} // namespace

TEST(RemoteCommand, CheckNowStartsACheckButNeverStopsARunningOne)
{
    RemoteBed bed;
    bed.setAccounts({account("POP3", "Home", "pop.home.test")});
    EXPECT_EQ(bed.ask(RemoteRequest::CheckNow), RemoteOutcome::CheckStarted);
    ASSERT_TRUE(bed.core->IsChecking);
    ASSERT_EQ(bed.nets.size(), 1);

    // The tray's switch would stop it here.
    EXPECT_EQ(bed.ask(RemoteRequest::CheckNow), RemoteOutcome::AlreadyChecking);
    EXPECT_TRUE(bed.core->IsChecking);
    EXPECT_TRUE(bed.nets[0]->isOpen);
    EXPECT_EQ(bed.nets.size(), 1);
    EXPECT_FALSE(bed.notifier.popups.contains("Checking has been stopped."));

    CycleBed::emptyMailbox(*bed.nets[0]);
    ASSERT_FALSE(bed.core->IsChecking);
    EXPECT_EQ(bed.ask(RemoteRequest::CheckNow), RemoteOutcome::CheckStarted);
    EXPECT_EQ(bed.nets.size(), 2);
    EXPECT_EQ(bed.checksBegun(), 2);
    EXPECT_EQ(bed.quits, 0);
}

TEST(RemoteCommand, QuitRunsTheEndOnceAndWaitsUntilTheCopyHasGone)
{
    RemoteBed bed;
    EXPECT_EQ(bed.ask(RemoteRequest::Quit), RemoteOutcome::HasQuit);
    EXPECT_EQ(bed.quits, 1);
    EXPECT_FALSE(QFileInfo::exists(bed.asker.lockPath()));
    // Gone: nobody answers any more.
    EXPECT_EQ(bed.ask(RemoteRequest::CheckNow), RemoteOutcome::NotRunning);
    EXPECT_EQ(bed.checksBegun(), 0);
}

TEST(RemoteCommand, ACopyThatDoesNotEndIsReportedAndStartsNothingMore)
{
    RemoteBed bed;
    bed.endsOnQuit = false;
    bed.waits.endMs = 200;
    EXPECT_EQ(bed.ask(RemoteRequest::Quit), RemoteOutcome::StillRunning);
    // Once the end has begun, a check request is not taken for one.
    EXPECT_EQ(bed.ask(RemoteRequest::CheckNow), RemoteOutcome::NoAnswer);
    EXPECT_EQ(bed.ask(RemoteRequest::Quit), RemoteOutcome::StillRunning);
    EXPECT_EQ(bed.quits, 1);
    EXPECT_EQ(bed.checksBegun(), 0);
}

TEST(RemoteCommand, NobodyListeningIsNotRunningAndNoFileIsMade)
{
    RuntimeFolder runtime;
    const SingleInstance asker(QDir::tempPath(),
                               "KorvaneTest-" + QUuid::createUuid().toString(QUuid::Id128));
    EXPECT_EQ(askRunningCopy(asker, RemoteRequest::CheckNow), RemoteOutcome::NotRunning);
    EXPECT_EQ(askRunningCopy(asker, RemoteRequest::Quit), RemoteOutcome::NotRunning);
    EXPECT_TRUE(
        QDir(runtime.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System));

    // The socket file of a copy that crashed: nobody listens on it.
    QFile leftover(asker.serverPath());
    ASSERT_TRUE(leftover.open(QIODevice::WriteOnly));
    leftover.close();
    EXPECT_EQ(askRunningCopy(asker, RemoteRequest::Quit), RemoteOutcome::NotRunning);
}

TEST(RemoteCommand, GarbageIsAnsweredOrDroppedAndNeverActedOn)
{
    const struct
    {
        const char *name;
        QByteArray sent;
        QByteArray reply;
        int checks;
    } cases[] = {
        {"check-now", "check-now\n", "started\n", 1},
        {"with a carriage return", "check-now\r\n", "started\n", 1},
        {"only the first line counts", "check-now\nquit\ncheck-now\n", "started\n", 1},
        {"unknown command", "status\n", "unknown\n", 0},
        {"command with more after it", "check-now please\n", "unknown\n", 0},
        {"empty line", "\n", "unknown\n", 0},
        {"binary", QByteArray("\0\xff\x01quit\n", 8), "unknown\n", 0},
        {"line at the limit", QByteArray(64, 'a') + '\n', "unknown\n", 0},
        {"line over the limit", QByteArray(65, 'a') + '\n', "too-long\n", 0},
        {"endless line", QByteArray(10000, 'q'), "too-long\n", 0},
        {"a request without its line end", "check-now", "", 0},
        {"nothing", "", "", 0},
    };
    for (const auto &c : cases) {
        for (const bool oneByOne : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (oneByOne ? ", one byte at a time" : ", whole"));
            RemoteBed bed;
            EXPECT_EQ(exchange(bed.asker.serverPath(), c.sent, oneByOne), c.reply);
            EXPECT_EQ(bed.checksBegun(), c.checks);
            EXPECT_EQ(bed.quits, 0);
            // No harm done: the next asker is served.
            EXPECT_EQ(bed.ask(RemoteRequest::CheckNow), RemoteOutcome::CheckStarted);
        }
    }
}
