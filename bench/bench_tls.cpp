// One whole check over TLS against the same check in clear, for POP3 and for IMAP, on the same
// private Dovecot in the same run.
//
// 2,000 generated messages are loaded for one user. Each check is the program's own: a core
// with the real check cycle, session, parser, rules and history (in a fresh data folder in
// memory each time). In clear the account is in mode "None" on the plain port; over TLS it is
// in mode "SSL/TLS" on the port that speaks TLS from the first byte, and this process trusts
// the server's test authority as the end-to-end tests do. No rule can fire, so nothing is
// deleted and the mailbox stays the same between runs. The two checks alternate, five times
// each; medians count. Both sides must record every message with the same bytes, or the run
// fails. To tell the handshake from the cost per byte, a mailbox of one small message is checked
// the same way: that is mostly connecting, the handshake, logging in and out. A minimal POP3
// client (USER, PASS, STAT, RETR 1..N, QUIT, keeping nothing) fetches the mailbox in clear and
// over TLS too: what encryption costs the server and the TLS library without the program.
//
// Needs root (it starts Dovecot through scripts/mailserver.sh and stops it at the end).

#include "mailbench.h"
#include "support/mailboxgenerator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int messageCount = 2000;
constexpr int runs = 5;

// The bytes of a minimal fetch that read every message; -1 for any other outcome.
qint64 wholeMailboxBytes(const MinimalFetch &fetched)
{
    return fetched.messages == messageCount ? fetched.bytes : -1;
}

// CPU time of the whole machine so far (every process, the server's too), in seconds.
double machineCpuSeconds()
{
    QFile stat(QStringLiteral("/proc/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    // cpu  user nice system idle iowait irq softirq steal ...: all but idle and iowait.
    const QList<QByteArray> fields = stat.readLine().simplified().split(' ');
    double busy = 0;
    for (qsizetype i = 1; i < fields.size() && i <= 8; ++i)
        if (i != 4 && i != 5)
            busy += fields.at(i).toDouble();
    return busy / double(sysconf(_SC_CLK_TCK));
}

struct CheckResult
{
    double seconds = 0;
    double cpuSeconds = 0; // of this process
    int recorded = 0;
    qint64 recordedBytes = 0; // the sizes the history holds
    qint64 receivedBytes = 0; // what the sessions received, after decryption
    qint64 receivedPieces = 0;
    bool isClean = false; // finished without an error or a deletion
};

CheckResult wholeCheck(const QByteArray &serverType, quint16 port, const QByteArray &user,
                       SecurityMode mode)
{
    BenchCore bench(serverType, port, user, mode);
    CheckResult result;
    const double cpuBefore = cpuSeconds();
    QElapsedTimer timer;
    timer.start();
    result.isClean = bench.check();
    result.seconds = double(timer.nsecsElapsed()) / 1e9;
    result.cpuSeconds = cpuSeconds() - cpuBefore;
    const History &history = bench.core().history;
    result.recorded = history.count();
    for (int i = 1; i <= history.count(); ++i)
        result.recordedBytes += history.at(i).Size.toLongLong();
    result.receivedBytes = bench.receivedBytes();
    result.receivedPieces = bench.receivedPieces();
    return result;
}

struct Sides
{
    std::vector<double> plain, tls, plainCpu, tlsCpu;
};

// The checks of one user in clear and over TLS, alternating; false when a check failed or the
// two sides did not record the same messages (expected: that many, when not negative).
bool alternate(const char *protocol, const QByteArray &serverType, quint16 plainPort,
               quint16 tlsPort, const QByteArray &user, int expected, Sides &sides)
{
    for (int run = 0; run <= runs; ++run) {
        const CheckResult plain = wholeCheck(serverType, plainPort, user, SecurityMode::None);
        const CheckResult tls = wholeCheck(serverType, tlsPort, user, SecurityMode::SslTls);
        std::printf(
            "%s %s run %d: in clear %.3f s (cpu %.3f s, %d recorded, %lld bytes, %lld "
            "received in %lld pieces), TLS %.3f s (cpu %.3f s, %d recorded, %lld bytes, %lld "
            "received in %lld pieces)%s\n",
            protocol, user.constData(), run, plain.seconds, plain.cpuSeconds, plain.recorded,
            static_cast<long long>(plain.recordedBytes),
            static_cast<long long>(plain.receivedBytes),
            static_cast<long long>(plain.receivedPieces), tls.seconds, tls.cpuSeconds, tls.recorded,
            static_cast<long long>(tls.recordedBytes), static_cast<long long>(tls.receivedBytes),
            static_cast<long long>(tls.receivedPieces), run == 0 ? " (warm-up)" : "");
        if (!plain.isClean || !tls.isClean || plain.recorded != expected || tls.recorded != expected
            || plain.recordedBytes != tls.recordedBytes) {
            std::printf("%s: a check failed or a message went missing\n", protocol);
            return false;
        }
        // The first round warms up Dovecot's index and the TLS library; it does not count.
        if (run == 0)
            continue;
        sides.plain.push_back(plain.seconds);
        sides.tls.push_back(tls.seconds);
        sides.plainCpu.push_back(plain.cpuSeconds);
        sides.tlsCpu.push_back(tls.cpuSeconds);
    }
    return true;
}

// Compares the mailbox and the empty mailbox of one protocol; prints the medians and returns
// the figure, or a negative number when the run failed.
double measure(const char *protocol, const QByteArray &serverType, quint16 plainPort,
               quint16 tlsPort)
{
    Sides full, empty;
    if (!alternate(protocol, serverType, plainPort, tlsPort, "bench", messageCount, full)
        || !alternate(protocol, serverType, plainPort, tlsPort, "one", 1, empty))
        return -1;
    std::printf("%s median: whole check in clear %.3f s (cpu %.3f s), over TLS %.3f s (cpu %.3f "
                "s); one message in clear %.3f s, over TLS %.3f s\n",
                protocol, median(full.plain), median(full.plainCpu), median(full.tls),
                median(full.tlsCpu), median(empty.plain), median(empty.tls));
    return median(full.tls) / median(full.plain);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);

    MailServer server;
    if (server.pop3Port == 0 || server.pop3sPort == 0 || server.imapsPort == 0) {
        std::printf("Dovecot did not start (run as root)\n");
        return 1;
    }
    if (!server.trustTestAuthority()) {
        std::printf("the server's test authority cannot be read\n");
        return 1;
    }

    MailboxGenerator generator;
    QList<QByteArray> mailbox;
    qint64 mailboxBytes = 0;
    for (int i = 0; i < messageCount; ++i) {
        mailbox << generator.nextMessage();
        mailboxBytes += mailbox.last().size();
    }
    if (!server.load(QStringLiteral("bench"), mailbox)
        || !server.load(QStringLiteral("one"),
                        {generator.message(MailboxGenerator::Kind::PlainText, 2000)})) {
        std::printf("cannot load the mailbox\n");
        return 1;
    }
    mailbox.clear();
    mailbox.squeeze();
    std::printf("mailbox: %d messages, %.1f MB (%lld bytes)\n", messageCount, mailboxBytes / 1e6,
                static_cast<long long>(mailboxBytes));

    std::vector<double> plainFetch, tlsFetch, plainFetchCpu, tlsFetchCpu;
    for (int run = 0; run <= runs; ++run) {
        QElapsedTimer timer;
        double cpuBefore = cpuSeconds();
        double machineBefore = machineCpuSeconds();
        timer.start();
        const qint64 plainBytes = wholeMailboxBytes(minimalPop3Fetch(server.pop3Port, "bench"));
        const double plainSeconds = timer.nsecsElapsed() / 1e9;
        const double plainCpu = cpuSeconds() - cpuBefore;
        const double plainMachine = machineCpuSeconds() - machineBefore;
        cpuBefore = cpuSeconds();
        machineBefore = machineCpuSeconds();
        timer.start();
        const qint64 tlsBytes
            = wholeMailboxBytes(minimalPop3Fetch(server.pop3sPort, "bench", true));
        const double tlsSeconds = timer.nsecsElapsed() / 1e9;
        const double tlsCpu = cpuSeconds() - cpuBefore;
        const double tlsMachine = machineCpuSeconds() - machineBefore;
        std::printf("minimal POP3 fetch run %d: in clear %.3f s (cpu %.3f s, machine %.2f s, %lld "
                    "bytes), TLS %.3f s (cpu %.3f s, machine %.2f s, %lld bytes)\n",
                    run, plainSeconds, plainCpu, plainMachine, static_cast<long long>(plainBytes),
                    tlsSeconds, tlsCpu, tlsMachine, static_cast<long long>(tlsBytes));
        if (plainBytes < 0 || tlsBytes != plainBytes) {
            std::printf("the minimal client could not fetch the mailbox\n");
            return 1;
        }
        // The first round warms up Dovecot's index and the TLS library; it does not count.
        if (run > 0) {
            plainFetch.push_back(plainSeconds);
            tlsFetch.push_back(tlsSeconds);
            plainFetchCpu.push_back(plainCpu);
            tlsFetchCpu.push_back(tlsCpu);
        }
    }
    std::printf("minimal POP3 fetch median: in clear %.3f s (cpu %.3f s), over TLS %.3f s (cpu "
                "%.3f s), ratio %.2f\n",
                median(plainFetch), median(plainFetchCpu), median(tlsFetch), median(tlsFetchCpu),
                median(tlsFetch) / median(plainFetch));

    const double pop3 = measure("POP3", "POP3", server.pop3Port, server.pop3sPort);
    const double imap = measure("IMAP", "IMAP", server.imapPort, server.imapsPort);
    if (pop3 < 0 || imap < 0)
        return 1;
    std::printf("figure: pop3_tls_check_over_plain = %.2f (target <= 1.3)\n", pop3);
    std::printf("figure: imap_tls_check_over_plain = %.2f (target <= 1.3)\n", imap);
    return 0;
}
