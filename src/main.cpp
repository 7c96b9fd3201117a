#include "commandline.h"
#include "engine/korvanecore.h"
#include "engine/remotecommand.h"
#include "engine/singleinstance.h"
#include "engine/startup.h"
#include "platform/autostart.h"
#include "platform/clock.h"
#include "platform/cregister.h"
#include "platform/datadir.h"
#include "platform/windowsystem.h"
#include "ui/editors/frmmain.h"
#include "ui/editors/korvanewindows.h"
#include "ui/tray/desktopnotifications.h"
#include "ui/tray/messageboxprompter.h"
#include "ui/tray/trayicon.h"
#include "ui/tray/trayicons.h"
#include "ui/tray/traymenu.h"
#include "ui/tray/traysound.h"
#include "ui/tray/traywindows.h"

#include <QApplication>
#include <QSystemTrayIcon>

#include <optional>

#include <sys/stat.h>

int main(int argc, char **argv)
{
    // The data files are made private one by one; this keeps anything else the program or
    // Qt writes (settings, sockets, temporary files) from being readable by others too.
    ::umask(077);
    if (isCommandLineRequest(argc, argv)) {
        QCoreApplication app(argc, argv);
        return runCommandLine();
    }
    if (const QByteArray platform = preferredPlatform(
            qgetenv("QT_QPA_PLATFORM"), qgetenv("DISPLAY"), qgetenv("XDG_SESSION_TYPE"));
        !platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", platform);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvane"));
    QApplication::setWindowIcon(applicationIcon());
    // Lets a Wayland desktop match the windows to the installed menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(KORVANE_APP_ID));
    // The program lives in the tray: closing its last window does not end it.
    QApplication::setQuitOnLastWindowClosed(false);
    // Made first and so destroyed last: a copy asked to quit sees the marker released
    // only once everything else has ended.
    const DataDirChoice dataDir = resolveDataDir(QCoreApplication::applicationDirPath());
    SingleInstance instance(dataDir.path);

    SystemClock clock;
    CRegister registry;
    MessageBoxPrompter prompter;
    TrayMenu menu;
    TrayIcon tray(menu);
    TrayWindows popups;
    KorvaneCore core(CoreEnvironment {dataDir.path, prompter, popups, clock, registry, tray,
                                      QCoreApplication::applicationFilePath(),
                                      Autostart::entryPath(),
                                      sharedDataDir(QCoreApplication::applicationDirPath())});
    SoundEffectOutput soundOutput;
    TraySound sound(soundOutput, core.services);
    popups.setOnLoad(
        [&sound, &core] { sound.play(core.settings.PlaySound, core.settings.SoundPath); });
    // Only where popups cannot place themselves: elsewhere no bus connection is made for it.
    std::optional<DesktopNotifications> desktopNotifications;
    if (QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        desktopNotifications.emplace();
        if (desktopNotifications->isAvailable())
            popups.setNotificationService(&*desktopNotifications);
    }

    KorvaneWindows windows(core, tray, menu);
    windows.attachReview(core.serverReview);
    Startup startup(core, instance, windows, dataDir);
    windows.setShutdown([&startup] { startup.shutdown(); });
    if (!startup.run())
        return 0;
    // Only now: a quit during the start-up questions would find no event loop to end.
    RemoteCommandServer remote(core, [&menu] { menu.mnuExit->trigger(); });
    remote.serve(instance.server());
    prompter.setParent(&windows.settingsWindow());
    // Said on the terminal and in the viewer, not in the log, so that a start changes no
    // data file.
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        windows.runWithoutTray();
    return app.exec();
}
