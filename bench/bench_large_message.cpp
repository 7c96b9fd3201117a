// Peak memory of one check that fetches a single large message, against the message's size.
//
// One message (1,000 MB by default) is generated here and served by a scripted POP3 server and
// a scripted IMAP server on 127.0.0.1, in this process. Each check runs in a child process of
// its own (this program again, with --child), so that each has its own peak: a core with the
// real check cycle, session, parser, rules, message cache and history on a fresh data folder
// in memory, as in bench_pop3 and bench_imap. No rule can fire, so nothing is deleted. The
// child reports its peak resident size (VmHWM), which includes what the process holds before
// the check (the libraries, the core): the constant.
//
// The figure is that peak over the message's size, per protocol. To tell the parts apart, a
// third child only parses the message (it generates the text itself, so the text counts).
// With --over-limit, one more pair of checks is served a message past the reader's limit
// (1 GiB): the session must refuse it, at a peak near the limit rather than the message.
//
// Options: --megabytes N (or KORVANE_BENCH_MEGABYTES=N) for a smaller message in quick runs,
// --kind plain|mixed for the shape of the message (plain text, or text with base64
// attachments), --over-limit as above.

#include "mailbench.h"
#include "message/cmessage.h"
#include "net/framingbuffer.h"
#include "support/mailboxgenerator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

namespace {

constexpr qint64 megabyte = 1000 * 1000;
constexpr qint64 defaultMegabytes = 1000;
// The most the scripted servers keep waiting in a socket's write buffer.
constexpr qint64 writeAhead = 4 << 20;

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

// The bytes a server sends for a message text: a head, then a block repeated until the size
// is reached, so that a text past the limit need not be held whole.
struct Payload
{
    QByteArray head;
    QByteArray block; // may be empty when head is the whole text
    qint64 size = 0;

    // The piece at offset, at most max bytes long.
    QByteArrayView piece(qint64 offset, qint64 max) const
    {
        if (offset < head.size())
            return QByteArrayView(head).sliced(offset, std::min<qint64>(max, head.size() - offset));
        const qint64 inBlock = (offset - head.size()) % block.size();
        return QByteArrayView(block).sliced(inBlock,
                                            std::min({max, block.size() - inBlock, size - offset}));
    }
    // The header block, empty line included.
    QByteArray headerBlock() const { return head.left(head.indexOf("\r\n\r\n") + 4); }
};

// Writes a sequence of pieces to a socket, a few MB ahead at most: what the server holds
// beyond the payload itself stays small.
class Sender
{
public:
    void queue(QByteArray bytes) { m_parts.push_back({std::move(bytes), nullptr}); }
    void queue(const Payload &payload) { m_parts.push_back({{}, &payload}); }

    void pump(QTcpSocket &socket)
    {
        while (!m_parts.empty() && socket.bytesToWrite() < writeAhead) {
            Part &part = m_parts.front();
            const qint64 size = part.payload ? part.payload->size : part.bytes.size();
            if (m_offset == size) {
                m_parts.erase(m_parts.begin());
                m_offset = 0;
                continue;
            }
            const QByteArrayView piece = part.payload
                ? part.payload->piece(m_offset, 1 << 20)
                : QByteArrayView(part.bytes)
                      .sliced(m_offset, std::min<qint64>(1 << 20, size - m_offset));
            socket.write(piece.data(), piece.size());
            m_offset += piece.size();
        }
    }
    bool isIdle() const { return m_parts.empty(); }

private:
    struct Part
    {
        QByteArray bytes;
        const Payload *payload;
    };
    std::vector<Part> m_parts;
    qint64 m_offset = 0;
};

// A server for one mailbox of one message that answers every command a check sends, by the
// script of its protocol.
class ScriptedServer
{
public:
    ScriptedServer(bool isImap, const Payload &payload)
        : m_isImap(isImap)
        , m_payload(payload)
    {
        m_server.listen(QHostAddress::LocalHost);
        QObject::connect(&m_server, &QTcpServer::newConnection, [this] { onConnection(); });
    }
    quint16 port() const { return m_server.serverPort(); }

private:
    void onConnection()
    {
        QTcpSocket *socket = m_server.nextPendingConnection();
        if (!socket)
            return;
        auto sender = std::make_shared<Sender>();
        auto input = std::make_shared<QByteArray>();
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        QObject::connect(socket, &QTcpSocket::bytesWritten, socket,
                         [socket, sender] { sender->pump(*socket); });
        QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, sender, input] {
            *input += socket->readAll();
            for (qsizetype lf = input->indexOf('\n'); lf >= 0; lf = input->indexOf('\n')) {
                const QByteArray line = input->left(lf).trimmed();
                input->remove(0, lf + 1);
                if (m_isImap ? answerImap(line, *sender) : answerPop3(line, *sender)) {
                    sender->pump(*socket);
                    socket->disconnectFromHost();
                    return;
                }
            }
            sender->pump(*socket);
        });
        sender->queue(m_isImap ? "* OK [CAPABILITY IMAP4rev1 UIDPLUS UNSELECT] ready\r\n"
                               : "+OK ready\r\n");
        sender->pump(*socket);
    }

    // RFC 1939 and 2449; true after QUIT.
    bool answerPop3(const QByteArray &line, Sender &out)
    {
        const QList<QByteArray> words = line.split(' ');
        const QByteArray command = words.value(0).toUpper();
        const QByteArray size = QByteArray::number(m_payload.size);
        if (command == "QUIT") {
            out.queue("+OK bye\r\n");
            return true;
        }
        if (command == "CAPA")
            out.queue("+OK\r\nUSER\r\nUIDL\r\nTOP\r\n.\r\n");
        else if (command == "STAT")
            out.queue("+OK 1 " + size + "\r\n");
        else if (command == "LIST" || command == "UIDL") {
            const QByteArray value = command == "LIST" ? size : QByteArray("bench-1");
            if (words.size() > 1)
                out.queue(words.at(1) == "1" ? "+OK 1 " + value + "\r\n"
                                             : QByteArray("-ERR no such message\r\n"));
            else
                out.queue("+OK\r\n1 " + value + "\r\n.\r\n");
        } else if (command == "RETR") {
            out.queue("+OK " + size + " octets\r\n");
            out.queue(m_payload);
            out.queue(".\r\n");
        } else if (command == "TOP") {
            out.queue("+OK\r\n" + m_payload.headerBlock() + ".\r\n");
        } else if (command == "USER" || command == "PASS" || command == "NOOP" || command == "DELE"
                   || command == "RSET") {
            out.queue("+OK\r\n");
        } else {
            out.queue("-ERR unknown command\r\n");
        }
        return false;
    }

    // RFC 3501 as far as a check goes; true after LOGOUT.
    bool answerImap(const QByteArray &line, Sender &out)
    {
        QList<QByteArray> words = line.split(' ');
        const QByteArray tag = words.value(0);
        QByteArray command = words.value(1).toUpper();
        const bool isUid = command == "UID";
        if (isUid) {
            words.removeAt(1);
            command = words.value(1).toUpper();
        }
        const QByteArray ok = tag + " OK done\r\n";
        if (command == "LOGOUT") {
            out.queue("* BYE bye\r\n" + ok);
            return true;
        }
        if (command == "CAPABILITY") {
            out.queue("* CAPABILITY IMAP4rev1 UIDPLUS UNSELECT\r\n" + ok);
        } else if (command == "SELECT" || command == "EXAMINE") {
            out.queue("* 1 EXISTS\r\n* 0 RECENT\r\n* OK [UIDVALIDITY 7] valid\r\n"
                      "* OK [UIDNEXT 2] next\r\n"
                      + tag + " OK [READ-WRITE] done\r\n");
        } else if (command == "SEARCH") {
            out.queue("* SEARCH\r\n" + ok);
        } else if (command == "FETCH") {
            // One message: every set names it. The items are answered in the order asked.
            const QByteArray items = line.mid(line.indexOf('(') + 1).chopped(1).toUpper();
            QByteArray reply = "* 1 FETCH (";
            bool isFirst = true;
            auto add = [&](const QByteArray &item) {
                reply += (isFirst ? "" : " ") + item;
                isFirst = false;
            };
            if (isUid && !items.contains("UID"))
                add("UID 1");
            for (qsizetype at = 0; at < items.size();) {
                qsizetype end = items.indexOf(' ', at);
                const qsizetype bracket = items.indexOf('[', at);
                if (bracket >= 0 && (end < 0 || bracket < end))
                    end = items.indexOf(' ', items.indexOf(']', bracket));
                if (end < 0)
                    end = items.size();
                const QByteArray item = items.mid(at, end - at);
                at = end + 1;
                if (item == "UID")
                    add("UID 1");
                else if (item == "FLAGS")
                    add("FLAGS ()");
                else if (item == "RFC822.SIZE")
                    add("RFC822.SIZE " + QByteArray::number(m_payload.size));
                else if (item.startsWith("BODY")) {
                    const QByteArray section = item.mid(item.indexOf('['));
                    if (section == "[]") {
                        add("BODY[] {" + QByteArray::number(m_payload.size) + "}\r\n");
                        out.queue(std::exchange(reply, QByteArray()));
                        out.queue(m_payload);
                    } else {
                        const QByteArray header = m_payload.headerBlock();
                        add("BODY" + section + " {" + QByteArray::number(header.size()) + "}\r\n"
                            + header);
                    }
                }
            }
            out.queue(reply + ")\r\n" + ok);
        } else if (command == "LOGIN" || command == "STORE" || command == "EXPUNGE"
                   || command == "UNSELECT" || command == "CLOSE" || command == "NOOP") {
            out.queue(ok);
        } else {
            out.queue(tag + " BAD unknown command\r\n");
        }
        return false;
    }

    bool m_isImap;
    const Payload &m_payload;
    QTcpServer m_server;
};

QByteArray largeMessage(const QByteArray &kind, qint64 bytes)
{
    MailboxGenerator generator;
    // The bodies of mixed messages hold about 1.2 times the words asked for.
    return kind == "mixed"
        ? generator.message(MailboxGenerator::Kind::MixedAttachments, qsizetype(bytes * 5 / 6))
        : generator.message(MailboxGenerator::Kind::PlainText, qsizetype(bytes));
}

// A child's report, one "key value" pair per word.
struct ChildReport
{
    qint64 peak = -1;
    qint64 before = -1; // resident size when the check started
    qint64 recordedSize = -1;
    bool isClean = false;
    double seconds = 0;
};

// The child: one check of the account on the port, or only a parse with "PARSE".
int runChild(const QByteArray &what, quint16 port, const QByteArray &kind, qint64 bytes)
{
    QElapsedTimer timer;
    if (what == "PARSE") {
        // As the sessions parse a text they were handed.
        QByteArray text = largeMessage(kind, bytes);
        const qint64 before = statusField("VmRSS:");
        resetPeak();
        timer.start();
        CMessage message;
        message.parseTakingBody(text);
        std::printf("child peak %lld before %lld recorded %d clean 1 seconds %.2f\n",
                    static_cast<long long>(statusField("VmHWM:")), static_cast<long long>(before),
                    message.SIZE, timer.nsecsElapsed() / 1e9);
        return 0;
    }
    BenchCore bench(what, port, "bench");
    const qint64 before = statusField("VmRSS:");
    timer.start();
    const bool isClean = bench.check(3600);
    const History &history = bench.core().history;
    std::printf("child peak %lld before %lld recorded %lld clean %d seconds %.2f\n",
                static_cast<long long>(statusField("VmHWM:")), static_cast<long long>(before),
                history.count() == 1 ? history.at(1).Size.toLongLong() : -1LL, int(isClean),
                timer.nsecsElapsed() / 1e9);
    return 0;
}

ChildReport runParent(const QStringList &arguments)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    runUntil([&child] { return child.state() == QProcess::NotRunning; }, 7200);
    ChildReport report;
    for (const QByteArray &line : child.readAllStandardOutput().split('\n')) {
        if (!line.startsWith("child ")) {
            if (!line.isEmpty())
                std::printf("  %s\n", line.constData());
            continue;
        }
        const QList<QByteArray> words = line.split(' ');
        for (qsizetype i = 1; i + 1 < words.size(); i += 2) {
            const QByteArray &key = words.at(i);
            const QByteArray &value = words.at(i + 1);
            if (key == "peak")
                report.peak = value.toLongLong();
            else if (key == "before")
                report.before = value.toLongLong();
            else if (key == "recorded")
                report.recordedSize = value.toLongLong();
            else if (key == "clean")
                report.isClean = value == "1";
            else if (key == "seconds")
                report.seconds = value.toDouble();
        }
    }
    return report;
}

// The peak of one check through a scripted server, in a child; -1 when the check did not
// record the message whole (or, with mustRefuse, did not refuse it).
qint64 checkPeak(const QByteArray &serverType, const Payload &payload, const QByteArray &kind,
                 bool mustRefuse)
{
    ScriptedServer server(serverType == "IMAP", payload);
    const ChildReport report = runParent(
        {QStringLiteral("--child"), QString::fromLatin1(serverType), QString::number(server.port()),
         QString::fromLatin1(kind), QString::number(payload.size)});
    std::printf("%s: peak %.1f MB (%.1f MB before the check), message %.1f MB, recorded %lld "
                "bytes, %.1f s, peak over size %.2f\n",
                serverType.constData(), report.peak / 1e6, report.before / 1e6, payload.size / 1e6,
                static_cast<long long>(report.recordedSize), report.seconds,
                double(report.peak) / double(payload.size));
    const bool isExpected = mustRefuse ? report.recordedSize < 0
                                       : report.isClean && report.recordedSize == payload.size;
    if (report.peak <= 0 || !isExpected) {
        std::printf("%s: the check did not %s the message\n", serverType.constData(),
                    mustRefuse ? "refuse" : "record");
        return -1;
    }
    return report.peak;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const QStringList arguments = app.arguments();
    if (arguments.value(1) == QStringLiteral("--child"))
        return runChild(arguments.value(2).toLatin1(), quint16(arguments.value(3).toUInt()),
                        arguments.value(4).toLatin1(), arguments.value(5).toLongLong());

    qint64 megabytes = defaultMegabytes;
    if (const QByteArray fromEnvironment = qgetenv("KORVANE_BENCH_MEGABYTES");
        !fromEnvironment.isEmpty())
        megabytes = fromEnvironment.toLongLong();
    QByteArray kind = "plain";
    bool isOverLimit = false;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments.at(i) == QStringLiteral("--megabytes"))
            megabytes = arguments.value(++i).toLongLong();
        else if (arguments.at(i) == QStringLiteral("--kind"))
            kind = arguments.value(++i).toLatin1();
        else if (arguments.at(i) == QStringLiteral("--over-limit"))
            isOverLimit = true;
    }
    if (megabytes <= 0 || (kind != "plain" && kind != "mixed")) {
        std::printf("usage: bench_large_message [--megabytes N] [--kind plain|mixed] "
                    "[--over-limit]\n");
        return 1;
    }

    Payload payload;
    payload.head = largeMessage(kind, megabytes * megabyte);
    payload.size = payload.head.size();
    // A POP3 server byte-stuffs lines that begin with "."; the generated words never do.
    if (payload.head.startsWith('.') || payload.head.contains("\r\n.")) {
        std::printf("the generated message has lines that begin with \".\"\n");
        return 1;
    }
    std::printf("message: %s, %lld bytes\n", kind.constData(),
                static_cast<long long>(payload.size));

    const qint64 pop3Peak = checkPeak("POP3", payload, kind, false);
    const qint64 imapPeak = checkPeak("IMAP", payload, kind, false);
    // Parsing alone, in a child that makes the text itself: the text and the parse.
    const ChildReport parse
        = runParent({QStringLiteral("--child"), QStringLiteral("PARSE"), QStringLiteral("0"),
                     QString::fromLatin1(kind), QString::number(megabytes * megabyte)});
    std::printf("parse alone: peak %.1f MB (%.1f MB with the text made), %.1f s, ratio %.2f\n",
                parse.peak / 1e6, parse.before / 1e6, parse.seconds,
                double(parse.peak) / double(payload.size));
    if (pop3Peak < 0 || imapPeak < 0)
        return 1;
    const double pop3 = double(pop3Peak) / double(payload.size);
    const double imap = double(imapPeak) / double(payload.size);

    double pop3Refused = 0;
    double imapRefused = 0;
    if (isOverLimit) {
        // Past the limit by 64 MB: the message's own head, then its words again and again.
        const qint64 limit = FramingLimits().maxTextSize;
        Payload over;
        over.head = payload.headerBlock();
        over.block = payload.head.sliced(
            over.head.size(), payload.head.lastIndexOf("\r\n", 1 << 20) + 2 - over.head.size());
        payload = {};
        const qint64 blocks = (limit + (64 << 20) - over.head.size()) / over.block.size() + 1;
        over.size = over.head.size() + blocks * over.block.size();
        std::printf("over the limit: %lld bytes against a limit of %lld\n",
                    static_cast<long long>(over.size), static_cast<long long>(limit));
        const qint64 pop3RefusedPeak = checkPeak("POP3", over, kind, true);
        const qint64 imapRefusedPeak = checkPeak("IMAP", over, kind, true);
        if (pop3RefusedPeak < 0 || imapRefusedPeak < 0)
            return 1;
        pop3Refused = double(pop3RefusedPeak) / double(limit);
        imapRefused = double(imapRefusedPeak) / double(limit);
    }

    std::printf("large_message_peak_over_size pop3 %.2f\n", pop3);
    std::printf("large_message_peak_over_size imap %.2f\n", imap);
    std::printf("figure: large_message_peak_over_size_pop3 = %.2f (target <= 2)\n", pop3);
    std::printf("figure: large_message_peak_over_size_imap = %.2f (target <= 2)\n", imap);
    if (isOverLimit) {
        std::printf("figure: refused_message_peak_over_limit_pop3 = %.2f (target <= 1.1)\n",
                    pop3Refused);
        std::printf("figure: refused_message_peak_over_limit_imap = %.2f (target <= 1.1)\n",
                    imapRefused);
    }
    return 0;
}
