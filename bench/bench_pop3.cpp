// One whole check of a POP3 mailbox on a private Dovecot against a minimal POP3 client
// fetching the same mailbox in the same run.
//
// 2,000 generated messages are loaded for one user. The minimal client does USER, PASS,
// STAT, RETR 1..N one at a time and QUIT, and keeps nothing. The check is the program's own:
// a core with the real check cycle, POP3 session, parser, rules and history (in a fresh data
// folder in memory each time). No rule can fire (empty lists, no watched attachment types,
// no age or repeat rule), so nothing is deleted and the mailbox stays the same between runs.
// Each runs three times, alternating; medians count. The check runs once more per round with
// "Ask me before deleting" on (UIDL before the first RETR, then no DELE): as nothing is
// flagged here, that figure is the cost of naming the messages. Peak memory of the check is the
// rise of the process's peak resident size during it, against the mailbox's size. Last, one message
// of 5 MB and one of 50 MB show that a message costs time linear in its size.
//
// Needs root (it starts Dovecot through scripts/mailserver.sh and stops it at the end).

#include "mailbench.h"
#include "message/cmessage.h"
#include "support/mailboxgenerator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTcpSocket>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int messageCount = 2000;
constexpr int runs = 3;

// USER, PASS, STAT, RETR 1..N one at a time, QUIT; the end of a message is looked for in the
// new bytes only. Returns the number of messages fetched, -1 on any failure.
int minimalFetch(quint16 port, const QString &user)
{
    QTcpSocket socket;
    QByteArray buffer;
    int step = 0; // 0 greeting, 1 USER, 2 PASS, 3 STAT, 4 RETR, 5 QUIT
    int count = 0;
    int current = 0;
    qsizetype scanned = 0;
    bool isDone = false;
    bool hasFailed = false;
    auto send = [&](const QByteArray &command) {
        socket.write(command + "\r\n");
    };
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] {
        buffer += socket.readAll();
        for (;;) {
            if (step == 4) {
                const qsizetype end
                    = buffer.indexOf("\r\n.\r\n", std::max<qsizetype>(0, scanned - 4));
                if (end < 0) {
                    scanned = buffer.size();
                    return;
                }
                buffer.remove(0, end + 5);
                scanned = 0;
                if (current < count) {
                    send("RETR " + QByteArray::number(++current));
                } else {
                    step = 5;
                    send("QUIT");
                }
                continue;
            }
            const qsizetype lf = buffer.indexOf('\n');
            if (lf < 0)
                return;
            const QByteArray line = buffer.left(lf + 1);
            buffer.remove(0, lf + 1);
            if (!line.startsWith('+')) {
                std::printf("minimal client: step %d, message %d: %s", step, current,
                            line.constData());
                hasFailed = isDone = true;
                return;
            }
            switch (step) {
            case 0:
                step = 1;
                send("USER " + user.toUtf8());
                break;
            case 1:
                step = 2;
                send("PASS pw");
                break;
            case 2:
                step = 3;
                send("STAT");
                break;
            case 3:
                count = line.split(' ').value(1).toInt();
                step = 4;
                current = 1;
                send("RETR 1");
                break;
            case 5:
                isDone = true;
                return;
            }
        }
    });
    QObject::connect(&socket, &QTcpSocket::errorOccurred, [&] {
        if (isDone)
            return;
        std::printf("minimal client: %s\n", qPrintable(socket.errorString()));
        hasFailed = isDone = true;
    });
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    runUntil([&] { return isDone; });
    return hasFailed || !isDone ? -1 : count;
}

// Resident and peak resident size of this process in bytes; resetPeak() starts the peak anew.
qint64 statusField(const char *name)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(name))
            return line.mid(qstrlen(name)).trimmed().split(' ').value(0).toLongLong() * 1024;
    return 0;
}
void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

struct CheckResult
{
    double seconds = 0;
    qint64 peakRise = 0; // bytes
    int recorded = 0;
    bool isClean = false; // finished without an error or a deletion
};

// One whole check of the user's mailbox by the program's own engine.
CheckResult wholeCheck(quint16 port, const QByteArray &user, bool askBeforeDel = false)
{
    BenchCore bench("POP3", port, user);
    bench.core().settings.AskBeforeDel = askBeforeDel;
    CheckResult result;
    const qint64 before = statusField("VmRSS:");
    resetPeak();
    QElapsedTimer timer;
    timer.start();
    result.isClean = bench.check();
    result.seconds = double(timer.nsecsElapsed()) / 1e9;
    result.peakRise = statusField("VmHWM:") - before;
    result.recorded = bench.core().history.count();
    return result;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    MailServer server;
    if (server.pop3Port == 0) {
        std::printf("Dovecot did not start (run as root)\n");
        return 1;
    }

    MailboxGenerator generator;
    QList<QByteArray> mailbox;
    qint64 mailboxBytes = 0;
    for (int i = 0; i < messageCount; ++i) {
        mailbox << generator.nextMessage();
        mailboxBytes += mailbox.last().size();
    }
    if (!server.load(QStringLiteral("bench"), mailbox)) {
        std::printf("cannot load the mailbox\n");
        return 1;
    }
    // For the reader: what parsing alone costs, the largest part of the check beyond fetching.
    {
        QElapsedTimer timer;
        timer.start();
        qint64 parsed = 0;
        for (const QByteArray &text : std::as_const(mailbox)) {
            CMessage message;
            message.ParseMessage(text);
            parsed += message.SIZE;
        }
        std::printf("parsing the mailbox alone: %.3f s (%lld bytes)\n", timer.nsecsElapsed() / 1e9,
                    static_cast<long long>(parsed));
    }
    mailbox.clear();
    mailbox.squeeze();
    std::printf("mailbox: %d messages, %.1f MB\n", messageCount, mailboxBytes / 1e6);

    // Dovecot builds its index at the first visit; that is not part of either figure.
    if (minimalFetch(server.pop3Port, QStringLiteral("bench")) != messageCount) {
        std::printf("the minimal client could not fetch the mailbox\n");
        return 1;
    }

    std::vector<double> fetchTimes, checkTimes, askTimes;
    qint64 peakRise = 0;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        const int fetched = minimalFetch(server.pop3Port, QStringLiteral("bench"));
        fetchTimes.push_back(timer.nsecsElapsed() / 1e9);
        const CheckResult check = wholeCheck(server.pop3Port, "bench");
        checkTimes.push_back(check.seconds);
        peakRise = std::max(peakRise, check.peakRise);
        std::printf("run %d: minimal fetch %.3f s (%d messages), whole check %.3f s (%d recorded), "
                    "peak rise %.1f MB\n",
                    run + 1, fetchTimes.back(), fetched, check.seconds, check.recorded,
                    check.peakRise / 1e6);
        const CheckResult ask = wholeCheck(server.pop3Port, "bench", true);
        askTimes.push_back(ask.seconds);
        std::printf("run %d: whole check asking before deleting %.3f s (%d recorded)\n", run + 1,
                    ask.seconds, ask.recorded);
        if (fetched != messageCount || !check.isClean || check.recorded != messageCount
            || !ask.isClean || ask.recorded != messageCount) {
            std::printf("the mailbox changed or the check failed\n");
            return 1;
        }
    }

    // A large message: 5 MB and 50 MB of the same shape.
    std::vector<double> largeTimes;
    for (const int megabytes : {5, 50}) {
        const QString user = QStringLiteral("large%1").arg(megabytes);
        const QByteArray message
            = generator.message(MailboxGenerator::Kind::PlainText, qsizetype(megabytes) << 20);
        if (!server.load(user, {message}))
            return 1;
        minimalFetch(server.pop3Port, user);
        std::vector<double> times;
        for (int run = 0; run < runs; ++run) {
            const CheckResult check = wholeCheck(server.pop3Port, user.toUtf8());
            if (!check.isClean)
                return 1;
            times.push_back(check.seconds);
        }
        largeTimes.push_back(median(times));
        std::printf("one message of %.1f MB: whole check %.3f s\n", message.size() / 1e6,
                    largeTimes.back());
    }

    const double fetch = median(fetchTimes);
    const double check = median(checkTimes);
    std::printf("median: minimal fetch %.3f s, whole check %.3f s\n", fetch, check);
    std::printf("figure: pop3_check_over_minimal_fetch = %.2f (target <= 1.5)\n", check / fetch);
    std::printf("figure: pop3_ask_over_delete = %.2f (target <= 1.1)\n", median(askTimes) / check);
    std::printf("figure: pop3_check_peak_memory_over_mailbox = %.2f (target <= 3)\n",
                double(peakRise) / double(mailboxBytes));
    std::printf("figure: pop3_50mb_over_10x_5mb = %.2f (target <= 1.5)\n",
                largeTimes.at(1) / (10.0 * largeTimes.at(0)));
    return 0;
}
