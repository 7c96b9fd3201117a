#include "settingsfile.h"

#include "damagedfile.h"
#include "platform/datadir.h"
#include "platform/textfile.h"
#include "services.h"

SettingsFile::SettingsFile(const QString &dataDir, Services &services)
    : m_path(dataPath(dataDir, QStringLiteral("\\Settings.ini")))
    , m_services(services)
{
}

QString SettingsFile::path() const
{
    return m_path;
}

void SettingsFile::LoadSettingsFile(QList<QByteArray> &extensions)
{
    extensions.clear();
    const auto lines = TextFile::readLines(m_path);
    if (!lines) {
        // Nothing could be read, so nothing is written back: CreateFiles writes the default
        // list at the next start, which an empty file would keep out.
        keepDamagedFile(
            m_services, m_path,
            m_services.caption(QStringLiteral("10050"),
                               QStringLiteral("Settings.ini is corrupted!, it will be reset.")),
            std::nullopt, QStringLiteral("LoadSettingsFile"));
        return;
    }
    if (lines->isEmpty())
        return;
    // Every piece followed by ";" is one extension; text after the last ";" is dropped.
    QList<QByteArray> pieces = lines->first().split(';');
    pieces.removeLast();
    extensions = pieces;
}

bool SettingsFile::SaveSettingsFile(const QList<QByteArray> &extensions)
{
    QByteArray line;
    for (const QByteArray &extension : extensions)
        line += extension + ';';
    const bool saved = TextFile::writeLines(m_path, {line});
    if (!saved)
        m_services.ErrorReport(
            m_services.caption(QStringLiteral("280001"), QStringLiteral("Cannot write %1"))
                .arg(m_path),
            QStringLiteral("SaveSettingsFile"));
    return saved;
}
