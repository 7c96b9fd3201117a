// One whole check of an IMAP mailbox on a private Dovecot against a minimal IMAP client
// fetching the same mailbox in the same run.
//
// 2,000 generated messages are loaded for one user. The minimal client does LOGIN, SELECT
// INBOX, one FETCH 1:N (UID RFC822.SIZE) as the check does, and FETCH n (FLAGS BODY.PEEK[]) for n
// = 1..N one at a time (each command waits for the tagged reply of the one before), skipping each
// literal by its count, and keeps nothing; it counts the UIDs, messages and bytes it read, and
// the run fails unless that is the whole mailbox.
// The check is the program's own: a core with the real check cycle, IMAP session, parser,
// rules and history (in a fresh data folder in memory each time). No rule can fire (empty
// lists, no watched attachment types, no age or repeat rule), so nothing is flagged and the
// mailbox stays the same between runs; the search for unseen messages is off, as the minimal
// client does none. Each runs three times, alternating; medians count. To show where the time
// goes, each run also checks the mailbox with verdicts and history that cost nothing (with
// this process's CPU time), and parsing the messages alone is timed. Last, one message of 5 MB
// and one of 50 MB show that a message costs time linear in its size.
//
// Needs root (it starts Dovecot through scripts/mailserver.sh and stops it at the end).

#include "mailbench.h"
#include "message/cmessages.h"
#include "session/mailboxfilter.h"
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
constexpr int bulkMessageCount = 5000;

// What the minimal client read: the UIDs, the messages whose literal arrived whole and their
// bytes.
struct FetchResult
{
    int uids = 0;
    int messages = 0;
    qint64 literalBytes = 0;
    bool isClean = false; // every command answered OK, down to the LOGOUT
};

// LOGIN, SELECT INBOX, FETCH 1:N (UID RFC822.SIZE), FETCH 1..N (FLAGS BODY.PEEK[]) one at a time,
// then LOGOUT. Exactly one command is in flight, and only the line that starts with its tag ends
// it: the greeting, untagged replies, the ")" that closes a FETCH and any other line are data. A
// literal is skipped by its count, so each byte is looked at once.
FetchResult minimalFetch(quint16 port, const QString &user)
{
    QTcpSocket socket;
    QByteArray buffer;
    qsizetype pos = 0; // bytes of buffer before it are framed
    qint64 literalLeft = 0;
    bool isMessage = false; // the literal being skipped is a message's text
    int step = 0; // 0 greeting, 1 LOGIN, 2 SELECT, 3 UID fetch, 4 FETCH, 5 LOGOUT
    int count = 0;
    int current = 0;
    QByteArray tag; // of the command in flight with the blank after it, empty when none
    FetchResult result;
    bool isDone = false;
    auto fail = [&](const QByteArray &line) {
        std::printf("minimal client: step %d, message %d: %s", step, current, line.constData());
        isDone = true;
    };
    auto send = [&](const QByteArray &command) {
        if (!tag.isEmpty())
            return fail("a second command while " + tag + "is in flight\n");
        tag = command.left(command.indexOf(' ') + 1);
        socket.write(command + "\r\n");
    };
    auto fetchNext = [&] {
        if (current < count) {
            send("a654 FETCH " + QByteArray::number(++current) + " (FLAGS BODY.PEEK[])");
        } else {
            step = 5;
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
                if (isMessage)
                    result.literalBytes += skip;
                if (literalLeft > 0)
                    break;
                if (isMessage)
                    ++result.messages;
            }
            const qsizetype lf = buffer.indexOf('\n', pos);
            if (lf < 0)
                break;
            const QByteArray line = buffer.sliced(pos, lf + 1 - pos);
            pos = lf + 1;
            if (tag.isEmpty() || !line.startsWith(tag)) {
                if (line.endsWith("}\r\n")) {
                    const qsizetype open = line.lastIndexOf('{');
                    literalLeft = line.mid(open + 1, line.size() - open - 4).toLongLong();
                    isMessage = step == 4;
                    if (isMessage && literalLeft == 0)
                        ++result.messages;
                } else if (step == 0) {
                    if (!line.startsWith("* OK"))
                        return fail(line);
                    step = 1;
                    send("a001 LOGIN \"" + user.toUtf8() + "\" \"pw\"");
                } else if (step == 2 && line.startsWith("* ") && line.endsWith(" EXISTS\r\n")) {
                    count = line.split(' ').value(1).toInt();
                } else if (step == 3 && line.startsWith("* ") && line.contains(" FETCH (UID ")) {
                    ++result.uids;
                }
                continue;
            }
            const QByteArray status = line.sliced(tag.size());
            tag.clear();
            if (!status.startsWith("OK "))
                return fail(line);
            switch (step) {
            case 1:
                step = 2;
                send("a142 SELECT INBOX");
                break;
            case 2:
                step = 3;
                send("a610 FETCH 1:" + QByteArray::number(count) + " (UID)");
                break;
            case 3:
                step = 4;
                fetchNext();
                break;
            case 4:
                fetchNext();
                break;
            case 5:
                isDone = result.isClean = true;
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
        isDone = true;
    });
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    runUntil([&] { return isDone; });
    return result;
}

// Verdicts and history that cost nothing: what is left of a check is the session and the parser.
class NoFilter final : public MailboxFilter
{
public:
    QList<bool> CheckAllMessages(CMessages &messages) override
    {
        judged = messages.Count();
        return QList<bool>(messages.Count() + 1, false);
    }
    bool Add2Hist(CMessages &messages, const QByteArray &) override
    {
        recorded = messages.Count();
        return true;
    }
    void recordKept(const CMessage &) override { }
    int judged = 0;
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

// True when the minimal client read the whole mailbox; says loudly what is missing when not,
// since a reference that stops early makes every check look slow.
bool readWhole(const FetchResult &fetch, int messages, qint64 bytes)
{
    if (fetch.isClean && fetch.uids == messages && fetch.messages == messages
        && fetch.literalBytes == bytes)
        return true;
    std::printf(
        "THE MINIMAL CLIENT DID NOT READ THE WHOLE MAILBOX: %d UIDs and %d messages of %d, %lld "
        "of %lld bytes%s\n",
        fetch.uids, fetch.messages, messages, static_cast<long long>(fetch.literalBytes),
        static_cast<long long>(bytes), fetch.isClean ? "" : ", and it failed");
    return false;
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
    qint64 mailboxBytes = 0;
    QList<QByteArray> mailbox = generatedMailbox(generator, messageCount, &mailboxBytes);
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
    std::printf("mailbox: %d messages, %.1f MB (%lld bytes)\n", messageCount, mailboxBytes / 1e6,
                static_cast<long long>(mailboxBytes));

    // Dovecot builds its index at the first visit; that is not part of either figure.
    if (!readWhole(minimalFetch(server.imapPort, QStringLiteral("bench")), messageCount,
                   mailboxBytes))
        return 1;

    std::vector<double> fetchTimes, checkTimes, unfilteredTimes;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        const FetchResult fetched = minimalFetch(server.imapPort, QStringLiteral("bench"));
        fetchTimes.push_back(timer.nsecsElapsed() / 1e9);
        const CheckResult check = wholeCheck(server.imapPort, "bench");
        checkTimes.push_back(check.seconds);
        NoFilter noFilter;
        const CheckResult unfiltered = wholeCheck(server.imapPort, "bench", &noFilter);
        unfilteredTimes.push_back(unfiltered.seconds);
        std::printf("run %d: minimal fetch %.3f s (%d UIDs, %d messages, %lld bytes), whole check "
                    "%.3f s (%d recorded), check without rules and history %.3f s (cpu %.3f s, %d "
                    "judged, %d recorded)\n",
                    run + 1, fetchTimes.back(), fetched.uids, fetched.messages,
                    static_cast<long long>(fetched.literalBytes), check.seconds, check.recorded,
                    unfiltered.seconds, unfiltered.cpuSeconds, noFilter.judged, noFilter.recorded);
        if (!readWhole(fetched, messageCount, mailboxBytes))
            return 1;
        if (!check.isClean || check.recorded != messageCount || !unfiltered.isClean
            || noFilter.judged != messageCount || noFilter.recorded != messageCount) {
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
        if (!readWhole(minimalFetch(server.imapPort, user), 1, message.size()))
            return 1;
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

    // A first check of a large mailbox against one client that asks for all of it at once.
    const double firstOverBulk
        = bulkFirstCheck(server, generator, "IMAP", server.imapPort, bulkMessageCount);
    if (firstOverBulk < 0)
        return 1;

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
    std::printf("figure: imap_first_check_over_bulk_fetch = %.2f (target <= 2)\n", firstOverBulk);
    return 0;
}
