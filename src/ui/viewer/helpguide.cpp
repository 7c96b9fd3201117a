#include "helpguide.h"

#include "platform/datadir.h"
#include "platform/prompter.h"
#include "store/services.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

bool openWithDesktop(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}

QString helpGuidePath(const QString &dataDir, const QString &sharedDir)
{
    return ownOrShippedPath(dataDir, sharedDir, QStringLiteral("\\Korvane.html"));
}

void ShowHelp(const Services &services, const QString &dataDir, const QString &sharedDir,
              const std::function<bool(const QUrl &)> &openUrl)
{
    const QString path = helpGuidePath(dataDir, sharedDir);
    const QString shownPath = QDir::toNativeSeparators(path);
    if (!QFileInfo(path).isFile()) {
        services.prompter.warning(
            services.caption("280201", "The user guide %1 cannot be found.").arg(shownPath));
        return;
    }
    if (!openUrl(QUrl::fromLocalFile(path)))
        services.prompter.warning(
            services
                .caption("280202",
                         "The user guide %1 could not be opened: no program on this "
                         "computer opens HTML files.")
                .arg(shownPath));
}
