#include "damagedfile.h"

#include "platform/prompter.h"
#include "platform/textfile.h"
#include "services.h"

#include <QDir>
#include <QFileInfo>

QByteArray crLfLines(const QList<QByteArray> &lines)
{
    QByteArray bytes;
    for (const QByteArray &line : lines)
        bytes += line + "\r\n";
    return bytes;
}

void keepDamagedFile(Services &services, const QString &path, const QString &corruptionMessage,
                     const std::optional<QByteArray> &completeRecords, const QString &procedure)
{
    const QFileInfo original(path);
    const bool exists = original.exists() || original.isSymLink();
    const std::optional<QString> keptAs = TextFile::moveAside(path);
    // One box says both what happened and where the original went.
    QString announcement = corruptionMessage;
    if (keptAs)
        announcement += u'\n'
            + services
                  .caption(QStringLiteral("280080"),
                           QStringLiteral("The original file was kept as %1."))
                  .arg(QDir::toNativeSeparators(*keptAs));
    else if (exists)
        announcement += u'\n'
            + services
                  .caption(QStringLiteral("280081"),
                           QStringLiteral("The original file could not be moved aside and is "
                                          "still at %1."))
                  .arg(QDir::toNativeSeparators(path));
    // Only an original that is safe under its other name may be written over. Without a
    // complete record there is nothing to write back: CreateFiles makes a fresh file at the
    // next start, as it does for a missing one.
    const bool writtenBack
        = !keptAs || !completeRecords || TextFile::writeAll(path, *completeRecords);
    services.prompter.critical(announcement);
    if (!writtenBack)
        services.ErrorReport(
            services.caption(QStringLiteral("280001"), QStringLiteral("Cannot write %1")).arg(path),
            procedure);
}
