// One whole check of an IMAP mailbox on a private Dovecot against a minimal IMAP client
// fetching the same mailbox in the same run.
//
// 2,000 generated messages are loaded for one user. The minimal client does LOGIN, SELECT
// INBOX and FETCH n (FLAGS BODY.PEEK[]) for n = 1..N one at a time, skipping each literal by
// its count, and keeps nothing. The check is the program's own: a core with the real check
// cycle, IMAP session, parser, rules and history (in a fresh data folder in memory each time).
// No rule can fire (empty lists, no watched attachment types, no age or repeat rule), so
// nothing is flagged and the mailbox stays the same between runs; the search for unseen
// messages is off, as the minimal client does none. Each runs three times, alternating;
// medians count. To show where the time goes, each run also checks the mailbox with verdicts
// and history that cost nothing (with this process's CPU time), and parsing the messages
// alone is timed. Last, one message of 5 MB and one of 50 MB show that a message costs time
// linear in its size.
//
// Needs root (it starts Dovecot through scripts/mailserver.sh and stops it at the end).

#include "mailbench.h"
#include "engine/mailboxfilter.h"
#include "message/cmessages.h"
#include "support/mailboxgenerator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpSocket>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int messageCount = 2000;
constexpr int runs = 3;

// LOGIN, SELECT INBOX, FETCH 1..N (FLAGS BODY.PEEK[]) one at a time, then LOGOUT. A literal is
// skipped by its count, so each byte is looked at once. Returns the number of messages
// fetched, -1 on any failure.
int minimalFetch(quint16 port, const QString &user)
{
    QTcpSocket socket;
    QByteArray buffer;
    qsizetype pos = 0; // bytes of buffer before it are framed
    qint64 literalLeft = 0;
    int step = 0; // 0 greeting, 1 LOGIN, 2 SELECT, 3 FETCH, 4 LOGOUT
    int count = 0;
    int current = 0;
    bool isDone = false;
    bool hasFailed = false;
    auto send = [&](const QByteArray &command) {
        socket.write(command + "\r\n");
    };
    auto fail = [&](const QByteArray &line) {
        std::printf("minimal client: step %d, message %d: %s", step, current, line.constData());
        hasFailed = isDone = true;
    };
    auto fetchNext = [&] {
        if (current < count) {
            send("a654 FETCH " + QByteArray::number(++current) + " (FLAGS BODY.PEEK[])");
        } else {
            step = 4;
            send("a9 LOGOUT");
        }
    };
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] {
        buffer += socket.readAll();
        while (!isDone) {
            if (literalLeft > 0) {
                const qint64 skip = std::min<qint64>(literalLeft, buffer.size() - pos);
                pos += skip;
                literalLeft -= skip;
                if (literalLeft > 0)
                    break;
            }
            const qsizetype lf = buffer.indexOf('\n', pos);
            if (lf < 0)
                break;
            const QByteArray line = buffer.sliced(pos, lf + 1 - pos);
            pos = lf + 1;
            if (line.endsWith("}\r\n")) {
                const qsizetype open = line.lastIndexOf('{');
                literalLeft = line.mid(open + 1, line.size() - open - 4).toLongLong();
                continue;
            }
            if (line.startsWith("* ")) {
                if (step == 0) {
                    step = 1;
                    send("a001 LOGIN \"" + user.toUtf8() + "\" \"pw\"");
                } else if (step == 2 && line.endsWith(" EXISTS\r\n")) {
                    count = line.split(' ').value(1).toInt();
                }
                continue;
            }
            if (line.indexOf(" OK") != line.indexOf(' '))
                return fail(line);
            switch (step) {
            case 1:
                step = 2;
                send("a142 SELECT INBOX");
                break;
            case 2:
                step = 3;
                fetchNext();
                break;
            case 3:
                fetchNext();
                break;
            case 4:
                isDone = true;
                break;
            }
        }
        if (pos > 1 << 20) {
            buffer.remove(0, pos);
            pos = 0;
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
    return hasFailed || !isDone ? -1 : current;
}

// Verdicts and history that cost nothing: what is left of a check is the session and the parser.
class NoFilter final : public MailboxFilter
{
public:
    QList<bool> CheckAllMessages(CMessages &messages) override
    {
        return QList<bool>(messages.Count() + 1, false);
    }
    void Add2Hist(const CMessages &messages, const QByteArray &) override
    {
        recorded = messages.Count();
    }
    void recordKept(const CMessage &) override {}
    int recorded = 0;
};

struct CheckResult
{
    double seconds = 0;
    double cpuSeconds = 0; // of this process
    int recorded = 0;
    bool isClean = false; // finished without an error or a deletion
};

// One whole check of the user's mailbox by the program's own engine; with a filter, that
// filter gives the verdicts and takes the history.
CheckResult wholeCheck(quint16 port, const QByteArray &user, MailboxFilter *filter = nullptr)
{
    BenchCore bench("IMAP", port, user);
    if (filter)
        bench.core().checkCycle.setMailboxFilter(*filter);
    CheckResult result;
    const double cpuBefore = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    result.isClean = bench.check();
    result.seconds = double(timer.nsecsElapsed()) / 1e9;
    result.cpuSeconds = cpuSeconds() - cpuBefore;
    result.recorded = bench.core().history.count();
    return result;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    MailServer server;
    if (server.imapPort == 0) {
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
    // For the breakdown: what parsing alone costs, best of three.
    double parseSeconds = 1e9;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        for (const QByteArray &text : mailbox) {
            CMessage message;
            message.ParseMessage(text);
        }
        parseSeconds = std::min(parseSeconds, timer.nsecsElapsed() / 1e9);
    }
    mailbox.clear();
    mailbox.squeeze();
    std::printf("mailbox: %d messages, %.1f MB\n", messageCount, mailboxBytes / 1e6);

    // Dovecot builds its index at the first visit; that is not part of either figure.
    if (minimalFetch(server.imapPort, QStringLiteral("bench")) != messageCount) {
        std::printf("the minimal client could not fetch the mailbox\n");
        return 1;
    }

    std::vector<double> fetchTimes, checkTimes, unfilteredTimes;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        const int fetched = minimalFetch(server.imapPort, QStringLiteral("bench"));
        fetchTimes.push_back(timer.nsecsElapsed() / 1e9);
        const CheckResult check = wholeCheck(server.imapPort, "bench");
        checkTimes.push_back(check.seconds);
        NoFilter noFilter;
        const CheckResult unfiltered = wholeCheck(server.imapPort, "bench", &noFilter);
        unfilteredTimes.push_back(unfiltered.seconds);
        std::printf("run %d: minimal fetch %.3f s (%d messages), whole check %.3f s (%d recorded), "
                    "check without rules and history %.3f s (cpu %.3f s)\n",
                    run + 1, fetchTimes.back(), fetched, check.seconds, check.recorded,
                    unfiltered.seconds, unfiltered.cpuSeconds);
        if (fetched != messageCount || !check.isClean || check.recorded != messageCount
            || !unfiltered.isClean || noFilter.recorded != messageCount) {
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
        minimalFetch(server.imapPort, user);
        std::vector<double> times;
        for (int run = 0; run < runs; ++run) {
            const CheckResult check = wholeCheck(server.imapPort, user.toUtf8());
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
    const double unfiltered = median(unfilteredTimes);
    std::printf(
        "median: minimal fetch %.3f s, whole check %.3f s, check without rules and history %.3f s, "
        "parsing alone %.3f s\n",
        fetch, check, unfiltered, parseSeconds);
    std::printf("figure: imap_check_over_minimal_fetch = %.2f (target <= 1.5)\n", check / fetch);
    std::printf("figure: imap_50mb_over_10x_5mb = %.2f (target <= 1.5)\n",
                largeTimes.at(1) / (10.0 * largeTimes.at(0)));
    return 0;
}
