#include "startup.h"

#include "korvanecore.h"
#include "platform/cregister.h"
#include "platform/prompter.h"
#include "platform/trayhost.h"
#include "singleinstance.h"
#include "startupwindows.h"
#include "store/datafiles.h"

Startup::Startup(KorvaneCore &core, SingleInstance &instance, StartupWindows &windows)
    : m_core(core)
    , m_instance(instance)
    , m_windows(windows)
{
}

bool Startup::run()
{
    readLanguageChoice();
    m_windows.loadViewer();
    if (m_instance.FindWin()) {
        m_core.env.prompter.warning(m_core.services.caption(
            QStringLiteral("10048"), QStringLiteral("Korvane is already runing.!")));
        return false;
    }
    m_windows.applyMainCaptions();
    announceUnwritableFiles();
    m_instance.publish();
    m_core.LoadAllData();
    m_core.armTimers();
    m_core.env.tray.AddTrayIcon();
    applyEnabledState();
    m_core.applyStoredSecurityLevel();
    m_core.log.deleteIfOversized();
    CreateFiles(m_core.env.dataDir);
    m_core.log.open();
    if (!m_core.lists.AccountsLoaded)
        offerAccounts();
    m_windows.showMainWindow();
    return true;
}

void Startup::shutdown()
{
    m_core.env.tray.RemoveTrayIcon();
    m_core.saveForShutdown();
}

void Startup::readLanguageChoice()
{
    // The history viewer's load reads the stored pack before anything is shown.
    m_core.lang.LanguageFile = Language::normalizedFileName(
        m_core.env.registry.REGGetSetting(QStringLiteral("Language"), QString()));
}

void Startup::announceUnwritableFiles()
{
    const QStringList failed = CreateFiles(m_core.env.dataDir);
    for (const QString &path : failed)
        m_core.log.Log(
            m_core.services.caption(QStringLiteral("280003"), QStringLiteral("Cannot create %1"))
                .arg(path));
}

void Startup::applyEnabledState()
{
    m_core.setCheckingEnabled(m_core.settings.Enabled);
    m_windows.setDisableEnableCaption(m_core.disableEnableCaption());
}

void Startup::offerAccounts()
{
    m_windows.showViewer();
    const QString question = m_core.services.caption(
        QStringLiteral("270005"), QStringLiteral("No mail accounts defined,Add accounts now?"));
    if (m_core.env.prompter.question(question))
        m_windows.showAccountEditorModal();
}
