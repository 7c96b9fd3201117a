#include "mailbench.h"

#include "net/tcptransport.h"
#include "support/mailboxgenerator.h"
#include "support/testauthority.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <utility>

void SilentPrompter::critical(const QString &text)
{
    std::printf("critical: %s\n", qPrintable(text));
}

MailServer::MailServer()
    : m_script(QString::fromLocal8Bit(MAILSERVER_SCRIPT))
    , m_pointer(QDir::temp().filePath(
          QStringLiteral("korvane-bench-%1.dir").arg(QCoreApplication::applicationPid())))
{
    if (!run({QStringLiteral("start"), m_pointer, QStringLiteral("900")}))
        return;
    QFile pointer(m_pointer);
    if (!pointer.open(QIODevice::ReadOnly))
        return;
    m_folder = QString::fromLocal8Bit(pointer.readAll().trimmed());
    QFile env(m_folder + QStringLiteral("/env"));
    if (!env.open(QIODevice::ReadOnly))
        return;
    for (const QByteArray &line : env.readAll().split('\n')) {
        if (line.startsWith("POP3_PORT="))
            pop3Port = quint16(line.mid(10).toUInt());
        else if (line.startsWith("IMAP_PORT="))
            imapPort = quint16(line.mid(10).toUInt());
        else if (line.startsWith("POP3S_PORT="))
            pop3sPort = quint16(line.mid(11).toUInt());
        else if (line.startsWith("IMAPS_PORT="))
            imapsPort = quint16(line.mid(11).toUInt());
    }
}

bool MailServer::trustTestAuthority() const
{
    return !m_folder.isEmpty() && trustAuthority(m_folder + QStringLiteral("/tls/ca.pem"));
}

MailServer::~MailServer()
{
    run({QStringLiteral("stop"), m_pointer});
}

bool MailServer::load(const QString &user, const QList<QByteArray> &messages)
{
    return run({QStringLiteral("user"), m_pointer, user, QStringLiteral("pw")})
        && deliver(user, messages);
}

bool MailServer::deliver(const QString &user, const QList<QByteArray> &messages)
{
    QTemporaryDir files;
    QStringList arguments {QStringLiteral("load"), m_pointer, user};
    for (qsizetype i = 0; i < messages.size(); ++i) {
        const QString path
            = files.filePath(QStringLiteral("%1.eml").arg(i, 6, 10, QLatin1Char('0')));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(messages.at(i)) != messages.at(i).size())
            return false;
        arguments << path;
    }
    return run(arguments);
}

bool MailServer::run(const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(QStringLiteral("bash"), QStringList {m_script} + arguments);
    return process.waitForFinished(600000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}

void runUntil(const std::function<bool()> &isDone, int seconds)
{
    QDeadlineTimer deadline(seconds * 1000);
    QTimer wake; // so that the deadline is seen when nothing else happens
    wake.start(50);
    while (!isDone() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

QList<QByteArray> generatedMailbox(MailboxGenerator &generator, int count, qint64 *bytes)
{
    QList<QByteArray> mailbox;
    for (int i = 0; i < count; ++i) {
        mailbox << generator.nextMessage();
        *bytes += mailbox.last().size();
    }
    return mailbox;
}

double bulkFirstCheck(MailServer &server, MailboxGenerator &generator, const QByteArray &serverType,
                      quint16 port, int count)
{
    qint64 bytes = 0;
    if (!server.load(QStringLiteral("bulk"), generatedMailbox(generator, count, &bytes)))
        return -1;
    std::printf("bulk mailbox: %d messages, %lld bytes\n", count, static_cast<long long>(bytes));
    return firstCheckOverBulkFetch(serverType, port, "bulk", count, bytes);
}

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

namespace {

// The program's transport, counting the message texts the session asks for: a POP3 RETR or
// an IMAP FETCH of BODY.PEEK[] is one message read from the server.
class CountingTransport final : public Transport
{
public:
    explicit CountingTransport(int &requests)
        : m_requests(requests)
    {
        connect(&m_inner, &Transport::connected, this, &Transport::connected);
        connect(&m_inner, &Transport::received, this, &Transport::received);
        connect(&m_inner, &Transport::closed, this, &Transport::closed);
        connect(&m_inner, &Transport::failed, this, &Transport::failed);
        connect(&m_inner, &Transport::encrypted, this, &Transport::encrypted);
        connect(&m_inner, &Transport::refused, this, &Transport::refused);
    }
    // Nothing reaches the session while this is being taken apart.
    ~CountingTransport() override { QObject::disconnect(&m_inner, nullptr, this, nullptr); }

    void connectToHost(const QString &host, quint16 port) override
    {
        m_inner.trustCertificate(trustedCertificate());
        m_inner.connectToHost(host, port);
    }
    void connectToHostEncrypted(const QString &host, quint16 port) override
    {
        m_inner.trustCertificate(trustedCertificate());
        m_inner.connectToHostEncrypted(host, port);
    }
    void startEncryption() override
    {
        m_inner.trustCertificate(trustedCertificate());
        m_inner.startEncryption();
    }
    void write(const QByteArray &data) override
    {
        // Several pipelined commands may go out in one write.
        for (const QByteArray &line : data.split('\n'))
            if (line.startsWith("RETR ") || line.contains(" BODY.PEEK[]"))
                ++m_requests;
        m_inner.write(data);
    }
    void close() override { m_inner.close(); }

private:
    TcpTransport m_inner;
    int &m_requests;
};

// Copies a data folder whole (real copies: the stores append to their files in place).
bool copyFolder(const QString &from, const QString &to)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(QStringLiteral("cp"), {QStringLiteral("-a"), from + QStringLiteral("/."), to});
    return process.waitForFinished(600000) && process.exitStatus() == QProcess::NormalExit
        && process.exitCode() == 0;
}

} // namespace

BenchCore::BenchCore(const QByteArray &serverType, quint16 port, const QByteArray &user,
                     SecurityMode mode, const QString &stateOf)
    : m_data(
        (QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath())
        + QStringLiteral("/korvane-bench-XXXXXX"))
{
    if (!stateOf.isEmpty() && !copyFolder(stateOf, m_data.path()))
        std::printf("cannot copy the data folder %s\n", qPrintable(stateOf));
    m_registry = std::make_unique<CRegister>(m_data.filePath(QStringLiteral("settings.conf")));
    m_core = std::make_unique<KorvaneCore>(
        CoreEnvironment {m_data.path(), m_prompter, m_notifier, m_clock, *m_registry, m_tray,
                         QStringLiteral("/opt/Korvane/korvane"),
                         m_data.filePath(QStringLiteral("Korvane.desktop"))});
    AppSettings &settings = m_core->settings;
    settings.WriteLog = false;
    settings.DelOld = false;
    settings.DeleteRepeated = false;
    settings.NotifyNew = false;
    // Deleting at once, as the figures were always measured; a benchmark may ask instead.
    settings.AskBeforeDel = false;
    settings.WatchedExtensions.clear();
    m_core->armTimers();
    MailAccount account;
    account.ServerType = serverType;
    account.AccountName = "Bench";
    account.MailServer = "127.0.0.1";
    account.UserName = user;
    account.Password = "pw";
    account.Port = qint16(port);
    m_core->lists.Accounts = {account};
    m_core->lists.AccountsLoaded = true;
    SaveAccountSecurity(*m_registry, account, AccountSecurity {mode, {}});
    // As the program does at start: the records of earlier checks are known.
    if (!stateOf.isEmpty())
        m_core->history.LoadHistory();
    m_core->checkCycle.setTransportFactory([this] {
        auto transport = std::make_unique<CountingTransport>(m_requests);
        QObject::connect(transport.get(), &Transport::received, [this](const QByteArray &data) {
            m_received += data.size();
            ++m_pieces;
        });
        return transport;
    });
}

bool BenchCore::check(int seconds)
{
    m_notifier.popups.clear();
    m_core->checkCycle.CheckNow();
    runUntil([this] { return !m_core->IsChecking; }, seconds);
    const bool isClean = !m_core->IsChecking
        && m_notifier.popups == QStringList {QStringLiteral("Finished Checking All Account's")};
    if (!isClean)
        std::printf("check popups: %s\n",
                    qPrintable(m_notifier.popups.join(QStringLiteral(" | "))));
    return isClean;
}

MinimalFetch minimalPop3Fetch(quint16 port, const QByteArray &user, bool isEncrypted)
{
    QSslSocket socket;
    QByteArray buffer;
    int step = 0; // 0 greeting, 1 USER, 2 PASS, 3 STAT, 4 RETR, 5 QUIT
    int count = 0;
    int current = 0;
    qint64 received = 0;
    qsizetype scanned = 0;
    bool isDone = false;
    bool hasFailed = false;
    auto send = [&](const QByteArray &command) {
        socket.write(command + "\r\n");
        socket.flush();
    };
    QObject::connect(&socket, &QSslSocket::readyRead, [&] {
        const QByteArray data = socket.readAll();
        received += data.size();
        buffer += data;
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
                send("USER " + user);
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
    QObject::connect(&socket, &QSslSocket::errorOccurred, [&] {
        if (isDone)
            return;
        std::printf("minimal client: %s\n", qPrintable(socket.errorString()));
        hasFailed = isDone = true;
    });
    if (isEncrypted)
        socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
    else
        socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    runUntil([&] { return isDone; });
    if (hasFailed || !isDone)
        return {};
    return {count, received};
}

namespace {

// Connects in clear, feeds every arrival to onData, and runs until it says done; false when
// the connection failed first.
bool runClient(quint16 port, const std::function<bool(QTcpSocket &, const QByteArray &)> &onData,
               const std::function<void(QTcpSocket &)> &onConnected)
{
    QTcpSocket socket;
    bool isDone = false;
    bool hasFailed = false;
    QObject::connect(&socket, &QTcpSocket::connected, [&] { onConnected(socket); });
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] {
        if (!isDone && onData(socket, socket.readAll()))
            isDone = true;
    });
    QObject::connect(&socket, &QTcpSocket::errorOccurred, [&] {
        if (isDone)
            return;
        std::printf("bulk client: %s\n", qPrintable(socket.errorString()));
        hasFailed = isDone = true;
    });
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    runUntil([&] { return isDone; });
    return isDone && !hasFailed;
}

// Bytes consumed from the front of a growing buffer, dropped in large steps so that taking
// many small replies costs time linear in their size.
struct Cursor
{
    QByteArray buffer;
    qsizetype at = 0;

    // Gives how many bytes were dropped from the front: offsets into buffer shift by it.
    qsizetype append(const QByteArray &data)
    {
        qsizetype dropped = 0;
        if (at > (1 << 20) && at > buffer.size() / 2) {
            buffer.remove(0, at);
            dropped = std::exchange(at, 0);
        }
        buffer += data;
        return dropped;
    }
    // The next line with its line end; empty until it is whole.
    QByteArray line()
    {
        const qsizetype lf = buffer.indexOf('\n', at);
        if (lf < 0)
            return {};
        const QByteArray result = buffer.mid(at, lf + 1 - at);
        at = lf + 1;
        return result;
    }
};

} // namespace

BulkFetch bulkPop3Fetch(quint16 port, const QByteArray &user)
{
    Cursor in;
    int step = 0; // 0 greeting, 1 USER, 2 PASS, 3 STAT, 4 RETRs, 5 QUIT
    int count = 0;
    BulkFetch result;
    qsizetype scanned = 0; // where the search for the end of the current text goes on
    bool isInText = false;
    bool hasFailed = false;
    auto onData = [&](QTcpSocket &socket, const QByteArray &data) {
        result.received += data.size();
        scanned -= in.append(data);
        for (;;) {
            if (isInText) {
                const qsizetype end = in.buffer.indexOf("\r\n.\r\n", std::max(in.at, scanned - 4));
                if (end < 0) {
                    scanned = in.buffer.size();
                    return false;
                }
                result.bytes += end + 2 - in.at;
                in.at = end + 5;
                isInText = false;
                if (++result.messages == count) {
                    step = 5;
                    socket.write("QUIT\r\n");
                }
                continue;
            }
            const QByteArray line = in.line();
            if (line.isEmpty())
                return false;
            if (!line.startsWith('+')) {
                std::printf("bulk client: step %d: %s", step, line.constData());
                hasFailed = true;
                return true;
            }
            switch (step) {
            case 0:
                step = 1;
                socket.write("USER " + user + "\r\n");
                break;
            case 1:
                step = 2;
                socket.write("PASS pw\r\n");
                break;
            case 2:
                step = 3;
                socket.write("STAT\r\n");
                break;
            case 3: {
                count = line.split(' ').value(1).toInt();
                result.messages = 0;
                step = 4;
                QByteArray all;
                for (int n = 1; n <= count; ++n)
                    all += "RETR " + QByteArray::number(n) + "\r\n";
                if (count == 0) {
                    step = 5;
                    all = "QUIT\r\n";
                }
                socket.write(all);
                break;
            }
            case 4:
                isInText = true;
                scanned = in.at;
                break;
            case 5:
                return true;
            }
        }
    };
    if (!runClient(port, onData, [](QTcpSocket &) {}) || hasFailed)
        return {};
    return result;
}

BulkFetch bulkImapFetch(quint16 port, const QByteArray &user)
{
    Cursor in;
    int step = 0; // 0 greeting, 1 LOGIN, 2 SELECT, 3 FETCH, 4 LOGOUT
    BulkFetch result;
    qint64 literalLeft = 0;
    bool hasFailed = false;
    auto onData = [&](QTcpSocket &socket, const QByteArray &data) {
        result.received += data.size();
        in.append(data);
        for (;;) {
            if (literalLeft > 0) {
                const qint64 taken = std::min<qint64>(literalLeft, in.buffer.size() - in.at);
                in.at += taken;
                literalLeft -= taken;
                if (literalLeft > 0)
                    return false;
                continue;
            }
            const QByteArray line = in.line();
            if (line.isEmpty())
                return false;
            if (!line.startsWith('b')) {
                // Untagged data or the rest of a FETCH reply; a literal at the line's end
                // is a message text.
                const QByteArray trimmed = line.trimmed();
                if (trimmed.endsWith('}')) {
                    const qsizetype open = trimmed.lastIndexOf('{');
                    literalLeft = trimmed.mid(open + 1, trimmed.size() - open - 2).toLongLong();
                    if (step == 3) {
                        ++result.messages;
                        result.bytes += literalLeft;
                    }
                }
                if (step == 0 && line.startsWith("* OK")) {
                    step = 1;
                    socket.write("b1 LOGIN \"" + user + "\" \"pw\"\r\n");
                }
                continue;
            }
            const QList<QByteArray> words = line.split(' ');
            if (words.value(1) != "OK") {
                std::printf("bulk client: step %d: %s", step, line.constData());
                hasFailed = true;
                return true;
            }
            switch (step) {
            case 1:
                step = 2;
                socket.write("b2 SELECT INBOX\r\n");
                break;
            case 2:
                step = 3;
                result.messages = 0;
                socket.write("b3 FETCH 1:* BODY.PEEK[]\r\n");
                break;
            case 3:
                step = 4;
                socket.write("b4 LOGOUT\r\n");
                break;
            case 4:
                return true;
            }
        }
    };
    if (!runClient(port, onData, [](QTcpSocket &) {}) || hasFailed)
        return {};
    return result;
}

qint64 idListBytes(const QByteArray &serverType, quint16 port, const QByteArray &user)
{
    const bool isPop3 = serverType == "POP3";
    // The commands in turn; each is sent when the reply to the one before has ended (the
    // first one after the greeting). The third asks for the ids, and for POP3 the fourth for
    // the sizes, which the check asks for with them.
    QList<QByteArray> commands;
    if (isPop3)
        commands = {"USER " + user, "PASS pw", "UIDL", "LIST", "QUIT"};
    else
        commands = {"a001 LOGIN \"" + user + "\" \"pw\"", "a142 SELECT INBOX",
                    "a610 FETCH 1:", "a9 LOGOUT"};
    Cursor in;
    int replies = 0; // replies ended: the greeting's is the first
    QByteArray count; // IMAP: the messages SELECT announced
    qint64 bytes = 0;
    bool hasFailed = false;
    auto onData = [&](QTcpSocket &socket, const QByteArray &data) {
        in.append(data);
        for (;;) {
            const QByteArray line = in.line();
            if (line.isEmpty())
                return false;
            const bool isIdList = replies == 3 || (isPop3 && replies == 4);
            if (isIdList)
                bytes += line.size();
            bool isEnd = false;
            bool isOk = true;
            if (isPop3) {
                // Only the UIDL and LIST replies have more than one line: a status line, the
                // ids or sizes, ".".
                const bool isStatus
                    = !isIdList || line.startsWith("+OK") || line.startsWith("-ERR");
                isOk = !isStatus || line.startsWith("+OK");
                isEnd = !isIdList ? true : line == ".\r\n" || !isOk;
            } else if (replies == 0) {
                isEnd = true;
                isOk = line.startsWith("* OK");
            } else if (line.startsWith('*')) {
                if (replies == 2 && line.endsWith(" EXISTS\r\n"))
                    count = line.split(' ').value(1);
            } else {
                isEnd = true;
                isOk = line.split(' ').value(1) == "OK";
            }
            if (!isOk) {
                std::printf("id list client: reply %d: %s", replies + 1, line.constData());
                hasFailed = true;
                return true;
            }
            if (!isEnd)
                continue;
            if (++replies > commands.size())
                return true;
            QByteArray command = commands.at(replies - 1);
            if (command == "a610 FETCH 1:")
                command += count + " (UID RFC822.SIZE)";
            socket.write(command + "\r\n");
        }
    };
    if (!runClient(port, onData, [](QTcpSocket &) {}) || hasFailed)
        return -1;
    return bytes;
}

double firstCheckOverBulkFetch(const QByteArray &serverType, quint16 port, const QByteArray &user,
                               int messages, qint64 textBytes)
{
    const bool isPop3 = serverType == "POP3";
    // Dovecot builds its index at the first visit; that is not part of either side.
    if ((isPop3 ? bulkPop3Fetch(port, user) : bulkImapFetch(port, user)).messages != messages)
        return -1;
    std::vector<double> fetchTimes, checkTimes;
    for (int run = 1; run <= 3; ++run) {
        QElapsedTimer timer;
        timer.start();
        const BulkFetch fetch = isPop3 ? bulkPop3Fetch(port, user) : bulkImapFetch(port, user);
        fetchTimes.push_back(double(timer.nsecsElapsed()) / 1e9);
        BenchCore bench(serverType, port, user);
        timer.restart();
        const bool isClean = bench.check();
        checkTimes.push_back(double(timer.nsecsElapsed()) / 1e9);
        const History &history = bench.core().history;
        qint64 recordedBytes = 0;
        for (int i = 1; i <= history.count(); ++i)
            recordedBytes += history.at(i).Size.toLongLong();
        std::printf("%s first check run %d: bulk fetch %.3f s (%d messages, %lld bytes of text, "
                    "%lld received), first check %.3f s (%d recorded, %lld bytes of text, %lld "
                    "received)\n",
                    serverType.constData(), run, fetchTimes.back(), fetch.messages,
                    static_cast<long long>(fetch.bytes), static_cast<long long>(fetch.received),
                    checkTimes.back(), int(history.count()), static_cast<long long>(recordedBytes),
                    static_cast<long long>(bench.receivedBytes()));
        // The POP3 texts arrive dot-stuffed, so only IMAP's literals are the loaded bytes.
        const bool isWholeFetch = fetch.messages == messages
            && (isPop3 ? fetch.bytes >= textBytes : fetch.bytes == textBytes);
        if (!isClean || !isWholeFetch || history.count() != messages
            || recordedBytes != textBytes) {
            std::printf("a side did not read the whole mailbox\n");
            return -1;
        }
    }
    const double fetch = median(fetchTimes);
    const double check = median(checkTimes);
    std::printf("%s first check median: bulk fetch %.3f s, first check %.3f s\n",
                serverType.constData(), fetch, check);
    return check / fetch;
}
