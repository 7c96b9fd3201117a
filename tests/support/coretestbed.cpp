#include "coretestbed.h"

#include <QDir>

CoreTestbed::CoreTestbed()
{
    QDir().mkpath(dir.file(QStringLiteral("data")));
    registry = std::make_unique<CRegister>(settingsPath());
    core = std::make_unique<KorvaneCore>(
        CoreEnvironment {dir.file(QStringLiteral("data")), prompter, notifier, clock, *registry,
                         tray, QStringLiteral("/opt/Korvane/korvane"), autostartPath(),
                         dir.file(QStringLiteral("share"))});
}
