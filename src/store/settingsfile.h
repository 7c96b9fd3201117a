#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

struct Services;

// "Settings.ini": one line of watched attachment extensions, each followed by ";".
class SettingsFile
{
public:
    SettingsFile(const QString &dataDir, Services &services);

    // Clears the list and fills it from the file's first line. A file that cannot be read
    // is announced and moved aside to its first free ".bad" name; the list then stays empty.
    void LoadSettingsFile(QList<QByteArray> &extensions);
    // A failed write is reported here and leaves the previous file whole.
    [[nodiscard]] bool SaveSettingsFile(const QList<QByteArray> &extensions);

    QString path() const;

private:
    QString m_path;
    Services &m_services;
};
