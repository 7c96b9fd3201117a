#include "mailbench.h"

#include "engine/tcptransport.h"
#include "support/testauthority.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QSslSocket>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

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
    if (!run({QStringLiteral("user"), m_pointer, user, QStringLiteral("pw")}))
        return false;
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

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

BenchCore::BenchCore(const QByteArray &serverType, quint16 port, const QByteArray &user,
                     SecurityMode mode)
    : m_data(
        (QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath())
        + QStringLiteral("/korvane-bench-XXXXXX"))
    , m_registry(std::make_unique<CRegister>(m_data.filePath(QStringLiteral("settings.conf"))))
{
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
    m_core->checkCycle.setTransportFactory([this] {
        auto transport = std::make_unique<TcpTransport>();
        QObject::connect(transport.get(), &Transport::received, [this](const QByteArray &data) {
            m_received += data.size();
            ++m_pieces;
        });
        return transport;
    });
}

bool BenchCore::check()
{
    m_notifier.popups.clear();
    m_core->checkCycle.CheckNow();
    runUntil([this] { return !m_core->IsChecking; });
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
