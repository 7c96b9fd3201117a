#include "actionlog.h"

#include "appsettings.h"
#include "platform/clock.h"
#include "platform/datadir.h"

ActionLog::ActionLog(const QString &dataDir, const AppSettings &settings, const Clock &clock)
    : m_path(dataPath(dataDir, QStringLiteral("\\Spam.log")))
    , m_settings(settings)
    , m_clock(clock)
{
}

QByteArray ActionLog::header()
{
    return "Korvane Log File\r\n"
           "\r\n"
           "\r\n"
           "  Time                        Action\r\n"
           "____________               _____________\r\n";
}

QString ActionLog::path() const
{
    return m_path;
}

bool ActionLog::Log(const QString &text)
{
    if (!m_settings.WriteLog)
        return true;
    if (!m_file.isOpen() && !open())
        return false;
    const QString stamp = m_clock.now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    const QByteArray entry = (stamp + QStringLiteral("       ") + text).toUtf8() + "\r\n";
    // Flushed at once, so the entry survives a crash.
    return m_file.write(entry) == entry.size() && m_file.flush();
}

bool ActionLog::deleteIfOversized()
{
    if (!m_settings.DeleteLog)
        return false;
    const double sizeKB = QFile(m_path).size() / 1024.0;
    if (sizeKB <= m_settings.LogSize)
        return false;
    close();
    return QFile::remove(m_path);
}

bool ActionLog::open()
{
    if (m_file.isOpen())
        return true;
    m_file.setFileName(m_path);
    // A new log is made private at once; an older one was tightened at start.
    return m_file.open(QIODevice::WriteOnly | QIODevice::Append, privateFileMode);
}

void ActionLog::close()
{
    m_file.close();
}
