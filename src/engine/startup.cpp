#include "startup.h"

#include "korvanecore.h"
#include "platform/cregister.h"
#include "platform/datadir.h"
#include "platform/prompter.h"
#include "platform/trayhost.h"
#include "singleinstance.h"
#include "startupwindows.h"
#include "store/datafiles.h"

#include <QDir>
#include <QFileInfo>

#include <unistd.h>

#include <utility>

Startup::Startup(KorvaneCore &core, SingleInstance &instance, StartupWindows &windows,
                 DataDirChoice dataDir)
    : m_core(core)
    , m_instance(instance)
    , m_windows(windows)
    , m_dataDir(std::move(dataDir))
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
    // Only now: a second copy must neither ask nor touch a file.
    copyIntoFallbackFolder();
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
    if (m_dataDir.isFallback)
        m_core.log.Log(m_core.services
                           .caption(QStringLiteral("280005"),
                                    QStringLiteral("The program folder cannot be written; the "
                                                   "data files are in %1"))
                           .arg(m_core.env.dataDir));
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

// The data files of an unwritable program folder are copied into the folder used instead,
// once, so that the user's accounts and history do not seem lost; the user is told which
// folder holds them now.
void Startup::copyIntoFallbackFolder()
{
    if (!m_dataDir.isFallback)
        return;
    const DataCopy copy = copyDataFiles(m_dataDir.programDir, m_core.env.dataDir);
    const QString from = QDir::toNativeSeparators(m_dataDir.programDir);
    const QString to = QDir::toNativeSeparators(m_core.env.dataDir);
    switch (copy.outcome) {
    case DataCopy::Outcome::NothingToCopy:
        return;
    case DataCopy::Outcome::Copied:
        m_core.env.prompter.warning(
            m_core.services
                .caption(QStringLiteral("280110"),
                         QStringLiteral("The program folder %1 cannot be written, so Korvane "
                                        "keeps its data files in %2. The data files of the "
                                        "program folder have been copied there."))
                .arg(from, to));
        return;
    case DataCopy::Outcome::AlreadyThere:
        m_core.env.prompter.warning(
            m_core.services
                .caption(QStringLiteral("280111"),
                         QStringLiteral("The program folder %1 cannot be written, so Korvane "
                                        "keeps its data files in %2. The data files in the "
                                        "program folder are not used."))
                .arg(from, to));
        return;
    case DataCopy::Outcome::Failed:
        // Two pieces around the list of files: a text in a language pack is one line.
        m_core.env.prompter.critical(
            m_core.services
                .caption(QStringLiteral("280112"),
                         QStringLiteral("The program folder %1 cannot be written, so Korvane "
                                        "keeps its data files in %2, but it could not copy "
                                        "them there:"))
                .arg(from, to)
            + QLatin1Char('\n') + QDir::toNativeSeparators(copy.failed.join(u'\n'))
            + QLatin1Char('\n')
            + m_core.services.caption(QStringLiteral("280220"),
                                      QStringLiteral("The files in the program folder are "
                                                     "unchanged; Korvane starts without them.")));
        return;
    }
}

void Startup::announceUnwritableFiles()
{
    const QStringList failed = CreateFiles(m_core.env.dataDir);
    for (const QString &path : failed)
        m_core.log.Log(
            m_core.services.caption(QStringLiteral("280003"), QStringLiteral("Cannot create %1"))
                .arg(path));
    protectFiles();
}

// Files made by an older Korvane, or by hand, were readable by every local user.
void Startup::protectFiles()
{
    QStringList failed = protectDataFiles(m_core.env.dataDir);
    // A folder that holds the program itself, run by root, is a system-wide install
    // (/usr/local/bin): made private, it would lock every other user out of the program.
    const QString folder = QFileInfo(m_core.env.dataDir).canonicalFilePath();
    const bool isSharedProgramFolder
        = ::geteuid() == 0 && QFileInfo(m_core.env.programPath).canonicalPath() == folder;
    if (!isSharedProgramFolder && !makePrivate(m_core.env.dataDir))
        failed.prepend(m_core.env.dataDir);
    // One line: a file system without modes refuses every file, at every start.
    if (!failed.isEmpty())
        m_core.log.Log(m_core.services
                           .caption(QStringLiteral("280113"),
                                    QStringLiteral("Cannot make %1 private to its owner"))
                           .arg(failed.first()));
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
