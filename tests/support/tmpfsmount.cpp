#include "tmpfsmount.h"

#include <QDir>
#include <QFile>
#include <QProcess>

TmpfsMount::TmpfsMount(const QString &folder, const QString &options)
    : m_folder(folder)
{
    m_mounted = run({QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"), options,
                     QStringLiteral("tmpfs"), m_folder});
}

TmpfsMount::~TmpfsMount()
{
    if (m_mounted)
        QProcess::execute(QStringLiteral("umount"), {m_folder});
}

bool TmpfsMount::remount(const QString &options)
{
    return run({QStringLiteral("-o"), QStringLiteral("remount,") + options, m_folder});
}

bool TmpfsMount::run(const QStringList &arguments)
{
    QProcess mount;
    mount.setProcessChannelMode(QProcess::MergedChannels);
    mount.start(QStringLiteral("mount"), arguments);
    if (!mount.waitForFinished(30000)) {
        m_error = QStringLiteral("mount did not run: ") + mount.errorString();
        return false;
    }
    if (mount.exitStatus() == QProcess::NormalExit && mount.exitCode() == 0)
        return true;
    m_error = QStringLiteral("mount %1 failed: %2")
                  .arg(arguments.join(u' '), QString::fromLocal8Bit(mount.readAll()).trimmed());
    return false;
}

qint64 TmpfsMount::fill(const QString &fileName) const
{
    QFile filler(QDir(m_folder).filePath(fileName));
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return 0;
    // Page-sized pieces, so that the last one that fits leaves no page half used.
    const QByteArray page(4096, '\0');
    qint64 total = 0;
    for (;;) {
        const qint64 written = filler.write(page);
        if (written > 0)
            total += written;
        if (written != page.size())
            return total;
    }
}
