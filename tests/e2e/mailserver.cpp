#include "mailserver.h"

#include "support/testauthority.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <iostream>

namespace {

// Starts a server for a program run by hand and stops it at the end, even after failures.
class MailServerEnvironment final : public ::testing::Environment
{
public:
    void SetUp() override { MailServer::shared().start(); }
    void TearDown() override { MailServer::shared().stop(); }
};

[[maybe_unused]] const auto *const environment
    = ::testing::AddGlobalTestEnvironment(new MailServerEnvironment);

} // namespace

MailServer &MailServer::shared()
{
    static MailServer server;
    return server;
}

bool MailServer::run(const QStringList &arguments) const
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("bash"),
                  QStringList {QStringLiteral(MAILSERVER_SCRIPT)} + arguments);
    const bool isDone = process.waitForFinished(300000);
    const QByteArray output = process.readAll();
    if (!isDone || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        std::cerr << "mailserver.sh " << arguments.join(' ').toStdString() << " failed:\n"
                  << output.toStdString() << std::endl;
        return false;
    }
    return true;
}

bool MailServer::start()
{
    const QString given = qEnvironmentVariable("KORVANE_MAILSERVER");
    if (!given.isEmpty() && QFile::exists(given)) {
        m_pointer = given;
        return readEnv();
    }
    m_pointer = QDir::temp().filePath(
        QStringLiteral("korvane-e2e-%1.dir").arg(QCoreApplication::applicationPid()));
    m_ownsServer = run({QStringLiteral("start"), m_pointer, QStringLiteral("900")});
    return m_ownsServer && readEnv();
}

void MailServer::stop()
{
    if (m_ownsServer)
        run({QStringLiteral("stop"), m_pointer});
    m_ownsServer = false;
    m_pop3Port = 0;
}

bool MailServer::readEnv()
{
    QFile pointer(m_pointer);
    if (!pointer.open(QIODevice::ReadOnly))
        return false;
    m_folder = QString::fromLocal8Bit(pointer.readAll().trimmed());
    QFile env(m_folder + QStringLiteral("/env"));
    if (!env.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : env.readAll().split('\n')) {
        if (line.startsWith("POP3_PORT="))
            m_pop3Port = quint16(line.mid(10).toUInt());
    }
    return m_pop3Port != 0;
}

quint16 MailServer::port(const QByteArray &name) const
{
    QFile env(m_folder + QStringLiteral("/env"));
    if (!env.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : env.readAll().split('\n')) {
        if (line.startsWith(name + '='))
            return quint16(line.mid(name.size() + 1).toUInt());
    }
    return 0;
}

QString MailServer::tlsFile(const QString &name) const
{
    return m_folder + QStringLiteral("/tls/") + name;
}

bool MailServer::trustTestAuthority() const
{
    return trustAuthority(tlsFile(QStringLiteral("ca.pem")));
}

bool MailServer::addUser(const QString &name, const QString &password)
{
    return run({QStringLiteral("user"), m_pointer, name, password});
}

bool MailServer::load(const QString &name, const QList<QByteArray> &messages)
{
    QTemporaryDir files;
    QStringList arguments {QStringLiteral("load"), m_pointer, name};
    for (qsizetype i = 0; i < messages.size(); ++i) {
        const QString path
            = files.filePath(QStringLiteral("%1.eml").arg(i + 1, 6, 10, QLatin1Char('0')));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(messages.at(i)) != messages.at(i).size())
            return false;
        arguments << path;
    }
    return run(arguments);
}

bool MailServer::setUidValidity(const QString &name, quint32 value)
{
    return run({QStringLiteral("uidvalidity"), m_pointer, name, QString::number(value)});
}

QStringList MailServer::inboxFiles(const QString &name) const
{
    QStringList files;
    for (const char *sub : {"cur", "new"}) {
        const QDir dir(m_folder + QStringLiteral("/mail/") + name + QLatin1Char('/')
                       + QLatin1String(sub));
        for (const QString &file : dir.entryList(QDir::Files, QDir::Name))
            files << QLatin1String(sub) + QLatin1Char('/') + file;
    }
    return files;
}

QList<QByteArray> MailServer::inbox(const QString &name) const
{
    QList<QByteArray> texts;
    for (const QString &file : inboxFiles(name)) {
        QFile in(m_folder + QStringLiteral("/mail/") + name + QLatin1Char('/') + file);
        if (in.open(QIODevice::ReadOnly))
            texts << in.readAll();
    }
    return texts;
}

namespace {

// A maildir file name without its folder and its ":2,<flags>" part.
QByteArray baseName(const QString &file)
{
    return file.section(QLatin1Char('/'), -1).section(QStringLiteral(":2,"), 0, 0).toUtf8();
}

} // namespace

QList<QByteArray> MailServer::pop3Ids(const QString &name) const
{
    QList<QByteArray> ids;
    for (const QString &file : inboxFiles(name))
        ids << baseName(file);
    return ids;
}

QList<QByteArray> MailServer::imapIds(const QString &name) const
{
    // "3 V<uidvalidity> N<next uid> ...", then "<uid> [<extension> ...] :<file name>".
    QFile list(m_folder + QStringLiteral("/mail/") + name + QStringLiteral("/dovecot-uidlist"));
    QByteArray validity;
    QHash<QByteArray, QByteArray> uids; // base name -> uid
    if (list.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = list.readAll().split('\n');
        for (const QByteArray &word : lines.value(0).split(' ')) {
            if (word.startsWith('V'))
                validity = word.mid(1);
        }
        for (const QByteArray &line : lines.mid(1)) {
            const QList<QByteArray> words = line.split(' ');
            const qsizetype colon = line.indexOf(" :");
            const QByteArray file = colon >= 0 ? line.mid(colon + 2) : words.value(1);
            if (!line.isEmpty())
                uids.insert(baseName(QString::fromUtf8(file)), words.value(0));
        }
    }
    QList<QByteArray> ids;
    for (const QString &file : inboxFiles(name)) {
        const QByteArray uid = uids.value(baseName(file));
        ids << (uid.isEmpty() ? QByteArray() : validity + ':' + uid);
    }
    return ids;
}
