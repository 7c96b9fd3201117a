#pragma once

#include "engine/startupwindows.h"

#include <QObject>

#include <functional>
#include <memory>

class frmAccountEditor;
class frmMain;
class frmStat;
class KorvaneCore;
class Startup;
class TrayIcon;
class TrayMenu;

// The program's windows and the tray, created once and wired to the core: the settings
// window, the history viewer, the account editor, the tray icon and its menu.
class KorvaneWindows : public QObject, public StartupWindows
{
    Q_OBJECT

public:
    KorvaneWindows(KorvaneCore &core, TrayIcon &tray, TrayMenu &menu);
    ~KorvaneWindows() override;

    // The orderly end, run by the tray menu's Exit before the program quits.
    void setShutdown(std::function<void()> shutdown) { m_shutdown = std::move(shutdown); }

    void loadViewer() override;
    void applyMainCaptions() override;
    void showViewer() override;
    void showAccountEditorModal() override;
    void showMainWindow() override;
    void setDisableEnableCaption(const QString &caption) override;

    frmMain &settingsWindow() { return *m_main; }
    frmStat &viewer() { return *m_viewer; }

private:
    void onTrayLeftButton();
    void onDisableEnable();
    void onExit();

    KorvaneCore &m_core;
    TrayIcon &m_tray;
    TrayMenu &m_menu;
    std::unique_ptr<frmStat> m_viewer;
    std::unique_ptr<frmMain> m_main;
    std::function<void()> m_shutdown;
};
