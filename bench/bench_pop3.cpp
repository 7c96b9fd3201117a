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

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

constexpr int messageCount = 2000;
constexpr int runs = 3;
constexpr int bulkMessageCount = 5000;

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
    qint64 mailboxBytes = 0;
    QList<QByteArray> mailbox = generatedMailbox(generator, messageCount, &mailboxBytes);
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
    if (minimalPop3Fetch(server.pop3Port, "bench").messages != messageCount) {
        std::printf("the minimal client could not fetch the mailbox\n");
        return 1;
    }

    std::vector<double> fetchTimes, checkTimes, askTimes;
    qint64 peakRise = 0;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        const int fetched = minimalPop3Fetch(server.pop3Port, "bench").messages;
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
        minimalPop3Fetch(server.pop3Port, user.toUtf8());
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

    // A first check of a large mailbox against one client that asks for all of it at once.
    const double firstOverBulk
        = bulkFirstCheck(server, generator, "POP3", server.pop3Port, bulkMessageCount);
    if (firstOverBulk < 0)
        return 1;

    const double fetch = median(fetchTimes);
    const double check = median(checkTimes);
    std::printf("median: minimal fetch %.3f s, whole check %.3f s\n", fetch, check);
    std::printf("figure: pop3_check_over_minimal_fetch = %.2f (target <= 1.5)\n", check / fetch);
    std::printf("figure: pop3_ask_over_delete = %.2f (target <= 1.1)\n", median(askTimes) / check);
    std::printf("figure: pop3_check_peak_memory_over_mailbox = %.2f (target <= 3)\n",
                double(peakRise) / double(mailboxBytes));
    std::printf("figure: pop3_50mb_over_10x_5mb = %.2f (target <= 1.5)\n",
                largeTimes.at(1) / (10.0 * largeTimes.at(0)));
    std::printf("figure: pop3_first_check_over_bulk_fetch = %.2f (target <= 2)\n", firstOverBulk);
    return 0;
}
