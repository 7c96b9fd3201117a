// An incremental check (the message cache filled by an earlier check, a few new messages on
// the server) against a full check of the same mailbox with the cache off, for POP3 and IMAP
// on a private Dovecot.
//
// One user gets 5,000 generated messages. For each protocol a first check with the cache on
// fills a data folder; then 10 more messages are delivered. Every timed check starts on its
// own copy of that data folder (cache and history of the 5,000, history loaded), so each
// repetition does the same work: the incremental check fetches the 10 new messages and takes
// the 5,000 others from the cache, the full check (the reference, cache off) fetches all
// 5,010. Both judge all 5,010 and record the 10 new ones. No rule can fire (empty lists, no
// watched attachment types, no age or repeat rule), so nothing is deleted and the mailbox
// stays the same. Three runs each, alternating; the best time of each side counts. The bytes
// the incremental check received are compared with what it cannot avoid: the texts of the new
// messages and the list of ids (the reply to UIDL, or to the FETCH of the UIDs after SELECT).
// Every run prints the messages each side asked for, the bytes it received, the records its
// history holds and the log line in which the check counts what it fetched and what it took
// from the cache. To show where the time goes, each check's CPU time in this process is
// printed, and so is the time a client takes that only logs in, reads the list of ids and
// logs out: what the server alone costs any check.
//
// Needs root (it starts Dovecot through scripts/mailserver.sh and stops it at the end).

#include "mailbench.h"
#include "store/messagecache.h"
#include "support/mailboxgenerator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int mailboxCount = 5000;
constexpr int newCount = 10;
constexpr int total = mailboxCount + newCount;
constexpr int runs = 3;
constexpr char user[] = "inc";

struct CheckRun
{
    double seconds = 0;
    double cpuSeconds = 0; // of this process
    bool isClean = false; // ended by itself with nothing to report
    int requested = 0; // message texts asked for
    qint64 received = 0; // bytes
    int recorded = 0; // history records afterwards
    int cached = 0; // cache entries afterwards
    QByteArray logLine; // what the check says it fetched and took from the cache
};

int cacheEntries(BenchCore &bench, const QByteArray &serverType, quint16 port)
{
    MessageCache cache(bench.dataDir(), bench.core().services,
                       CacheAccount {serverType, "127.0.0.1", qint16(port), user});
    cache.load();
    return cache.count();
}

// One check of the mailbox by the program's own engine, in a data folder that starts as a copy
// of state (or empty).
CheckRun check(const QByteArray &serverType, quint16 port, const QString &state, bool isCaching)
{
    BenchCore bench(serverType, port, user, SecurityMode::None, state);
    bench.core().isCachingMessages = isCaching;
    bench.core().settings.WriteLog = true;
    CheckRun run;
    const double cpuBefore = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    run.isClean = bench.check();
    run.seconds = double(timer.nsecsElapsed()) / 1e9;
    run.cpuSeconds = cpuSeconds() - cpuBefore;
    run.requested = bench.messageRequests();
    run.received = bench.receivedBytes();
    run.recorded = int(bench.core().history.count());
    run.cached = cacheEntries(bench, serverType, port);
    QFile log(bench.core().log.path());
    if (log.open(QIODevice::ReadOnly))
        for (const QByteArray &line : log.readAll().split('\n'))
            if (line.contains(" from the cache."))
                run.logLine = line.trimmed();
    return run;
}

void print(const char *what, const CheckRun &run)
{
    std::printf("  %-11s %.3f s (cpu %.3f s): asked for %d messages, received %lld bytes, %d "
                "records, %d in the cache%s%s\n",
                what, run.seconds, run.cpuSeconds, run.requested,
                static_cast<long long>(run.received), run.recorded, run.cached,
                run.logLine.isEmpty() ? "" : "; log: ", run.logLine.constData());
}

struct Figures
{
    double timeRatio = -1;
    double bytesRatio = -1;
};

// The first check fills the cache of the 5,000 messages; the new ones must not be delivered
// yet. Gives the data folder it left behind through bench.
std::unique_ptr<BenchCore> firstCheck(const QByteArray &serverType, quint16 port)
{
    auto bench = std::make_unique<BenchCore>(serverType, port, user);
    QElapsedTimer timer;
    timer.start();
    const bool isClean = bench->check();
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    const int cached = cacheEntries(*bench, serverType, port);
    std::printf("%s first check, cache on: %.3f s, asked for %d messages, received %lld bytes, "
                "%d records, %d in the cache\n",
                serverType.constData(), seconds, bench->messageRequests(),
                static_cast<long long>(bench->receivedBytes()), int(bench->core().history.count()),
                cached);
    if (!isClean || bench->messageRequests() != mailboxCount
        || bench->core().history.count() != mailboxCount || cached != mailboxCount) {
        std::printf("the first check did not read and cache the whole mailbox\n");
        return nullptr;
    }
    return bench;
}

Figures measure(const QByteArray &serverType, quint16 port, const QString &state, qint64 newBytes)
{
    // The first visit also lets Dovecot take in the new messages before anything is timed.
    // What the server alone costs a check, before any message is fetched: a client that
    // logs in, reads the list of ids and logs out.
    qint64 idBytes = 0;
    double listSeconds = 1e9;
    for (int i = 0; i <= runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        idBytes = idListBytes(serverType, port, user);
        if (idBytes <= 0)
            return {};
        if (i > 0)
            listSeconds = std::min(listSeconds, double(timer.nsecsElapsed()) / 1e9);
    }
    std::printf("%s id list: %lld bytes; new messages: %lld bytes; logging in, reading the id "
                "list and logging out alone: %.3f s at best\n",
                serverType.constData(), static_cast<long long>(idBytes),
                static_cast<long long>(newBytes), listSeconds);
    std::vector<double> fullTimes, incrementalTimes;
    qint64 received = 0;
    for (int run = 1; run <= runs; ++run) {
        std::printf("%s run %d:\n", serverType.constData(), run);
        CheckRun full, incremental;
        // Alternating which goes first, so neither always finds the server's caches warmer.
        for (int side = 0; side < 2; ++side) {
            if ((side == 0) == (run % 2 == 1)) {
                full = check(serverType, port, state, false);
                print("full", full);
            } else {
                incremental = check(serverType, port, state, true);
                print("incremental", incremental);
            }
        }
        fullTimes.push_back(full.seconds);
        incrementalTimes.push_back(incremental.seconds);
        received = std::max(received, incremental.received);
        if (!full.isClean || full.requested != total || full.recorded != total
            || !incremental.isClean || incremental.requested != newCount
            || incremental.recorded != total || incremental.cached != total) {
            std::printf("a side did other work than it should\n");
            return {};
        }
    }
    const double best = *std::min_element(incrementalTimes.begin(), incrementalTimes.end());
    const double bestFull = *std::min_element(fullTimes.begin(), fullTimes.end());
    std::printf("%s best: full check %.3f s, incremental check %.3f s, the id list alone %.3f s "
                "(%.3f of the full check); incremental received at most %lld bytes\n",
                serverType.constData(), bestFull, best, listSeconds, listSeconds / bestFull,
                static_cast<long long>(received));
    return {best / bestFull, double(received) / double(newBytes + idBytes)};
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
    QList<QByteArray> mailbox = generatedMailbox(generator, mailboxCount, &mailboxBytes);
    qint64 newBytes = 0;
    const QList<QByteArray> fresh = generatedMailbox(generator, newCount, &newBytes);
    if (!server.load(QString::fromUtf8(user), mailbox)) {
        std::printf("cannot load the mailbox\n");
        return 1;
    }
    mailbox.clear();
    mailbox.squeeze();
    std::printf("mailbox: %d messages, %lld bytes\n", mailboxCount,
                static_cast<long long>(mailboxBytes));

    // Dovecot builds its index at the first visit; that is not part of any figure.
    if (bulkPop3Fetch(server.pop3Port, user).messages != mailboxCount
        || bulkImapFetch(server.imapPort, user).messages != mailboxCount) {
        std::printf("the bulk clients could not fetch the mailbox\n");
        return 1;
    }
    const std::unique_ptr<BenchCore> pop3State = firstCheck("POP3", server.pop3Port);
    const std::unique_ptr<BenchCore> imapState = firstCheck("IMAP", server.imapPort);
    if (!pop3State || !imapState)
        return 1;

    if (!server.deliver(QString::fromUtf8(user), fresh)) {
        std::printf("cannot deliver the new messages\n");
        return 1;
    }
    std::printf("delivered %d new messages, %lld bytes\n", newCount,
                static_cast<long long>(newBytes));
    const Figures pop3 = measure("POP3", server.pop3Port, pop3State->dataDir(), newBytes);
    const Figures imap = measure("IMAP", server.imapPort, imapState->dataDir(), newBytes);
    if (pop3.timeRatio < 0 || imap.timeRatio < 0)
        return 1;

    std::printf("figure: pop3_incremental_check_over_full = %.3f (target <= 0.1)\n",
                pop3.timeRatio);
    std::printf("figure: imap_incremental_check_over_full = %.3f (target <= 0.1)\n",
                imap.timeRatio);
    std::printf("figure: pop3_incremental_bytes_over_new = %.3f (target <= 1.1)\n",
                pop3.bytesRatio);
    std::printf("figure: imap_incremental_bytes_over_new = %.3f (target <= 1.1)\n",
                imap.bytesRatio);
    return 0;
}
