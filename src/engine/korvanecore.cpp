#include "korvanecore.h"

#include "classify/securitylevel.h"
#include "net/tcptransport.h"
#include "platform/trayhost.h"
#include "store/accountsecurity.h"

KorvaneCore::KorvaneCore(const CoreEnvironment &environment)
    : env(environment)
    , lang(environment.dataDir, environment.sharedDir)
    , log(environment.dataDir, settings, environment.clock)
    , services {lang, log, environment.notifier, environment.prompter}
    , listFiles(environment.dataDir, lists, services)
    , settingsFile(environment.dataDir, services)
    , settingsStore(environment.registry, services, environment.clock, environment.programPath,
                    environment.autostartEntry)
    , history(environment.dataDir, services, environment.clock)
    , reviewQueue(environment.dataDir, services)
    , serverReview(
          lists, history, reviewQueueCalls(reviewQueue), listFiles, services,
          [] { return std::make_unique<TcpTransport>(); },
          [this] { return settings.ConnectionTimeOut; })
{
    serverReview.setSecurityLookup(
        [this](const MailAccount &account) { return LoadAccountSecurity(env.registry, account); });
}

void KorvaneCore::LoadAllData()
{
    listFiles.LoadAccounts(IsChecking);
    settingsFile.LoadSettingsFile(settings.WatchedExtensions);
    history.LoadHistory();
    reviewQueue.load(lists.Accounts); // after the accounts: it drops what belongs to none
    listFiles.LoadBadWords();
    listFiles.LoadFriendList();
    listFiles.LoadBlockedList();
    settingsStore.LoadSettings(settings);
}

void KorvaneCore::armTimers()
{
    tmrCheck.setIntervalUnit(1);
    tmrCheck.setInterval(settings.ChekPeriod);
    tmrTimeOut.setIntervalUnit(0);
    tmrTimeOut.setInterval(settings.ConnectionTimeOut);
}

void KorvaneCore::setCheckingEnabled(bool enabled)
{
    tmrCheck.setEnabled(enabled);
    settings.Enabled = enabled;
    env.tray.SetTrayIcon(enabled ? 0 : 2);
}

QString KorvaneCore::disableEnableCaption() const
{
    return tmrCheck.Enabled()
        ? services.caption(QStringLiteral("10108"), QStringLiteral("Disable Korvane"))
        : services.caption(QStringLiteral("10107"), QStringLiteral("Enable Korvane"));
}

void KorvaneCore::saveForShutdown()
{
    settings.Enabled = tmrCheck.Enabled();
    settings.Language = lang.LanguageFile;
    settingsStore.SaveSettings(settings);
    // A failed save has been reported inside, and there is nothing more to do at shutdown.
    (void)history.SaveHist();
}

void KorvaneCore::applyStoredSecurityLevel()
{
    SecurityLevels::applyStored(settings);
}
