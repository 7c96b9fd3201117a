#pragma once

#include <QByteArray>
#include <QString>

// A small tmpfs mounted on an existing folder for one test, unmounted when it goes out of
// scope. Mounting needs root; a test that cannot mount skips with error().
class TmpfsMount
{
public:
    // options as mount -o takes them, e.g. "size=256k".
    TmpfsMount(const QString &folder, const QString &options);
    ~TmpfsMount();
    TmpfsMount(const TmpfsMount &) = delete;
    TmpfsMount &operator=(const TmpfsMount &) = delete;

    bool isMounted() const { return m_mounted; }
    // Why the last mount or remount failed.
    QString error() const { return m_error; }

    // Mounts it again with other options, e.g. "ro".
    [[nodiscard]] bool remount(const QString &options);

    // Writes a file of zeros until the file system is full; the bytes written.
    qint64 fill(const QString &fileName) const;

private:
    [[nodiscard]] bool run(const QStringList &arguments);

    QString m_folder;
    bool m_mounted = false;
    QString m_error;
};
