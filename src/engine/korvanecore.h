#pragma once

#include "checkcycle.h"
#include "extratimer.h"
#include "lang/language.h"
#include "serverreview.h"
#include "store/actionlog.h"
#include "store/appsettings.h"
#include "store/history.h"
#include "store/listfiles.h"
#include "store/maillists.h"
#include "store/reviewqueue.h"
#include "store/services.h"
#include "store/settingsfile.h"
#include "store/settingsstore.h"

#include <QString>

class Clock;
class CRegister;
class Notifier;
class Prompter;
class TrayHost;

// What the core needs from the machine and the desktop; real ones in a run, fakes in tests.
struct CoreEnvironment
{
    QString dataDir;
    Prompter &prompter;
    Notifier &notifier;
    const Clock &clock;
    CRegister &registry;
    TrayHost &tray;
    QString programPath; // written into the start-with-system entry
    QString autostartEntry;
    // The files shipped with an installed program (language packs, user guide), read only;
    // none when empty. Initialised, so that a caller with nothing shipped may leave it out.
    QString sharedDir {};
};

// The state that every window and the engine share, created once by the program: the
// settings, the lists, the history, the language, the log and the two engine timers.
class KorvaneCore
{
public:
    explicit KorvaneCore(const CoreEnvironment &environment);
    KorvaneCore(const KorvaneCore &) = delete;
    KorvaneCore &operator=(const KorvaneCore &) = delete;

    // Reloads every data file and the stored settings, in their fixed order.
    void LoadAllData();

    // Sets the check timer to the check period (minutes) and the time-out timer to the
    // connection time-out (seconds), without starting either.
    void armTimers();

    // Switches automatic checking on or off, with the tray icon and the menu caption.
    void setCheckingEnabled(bool enabled);
    // "Disable Korvane" while automatic checking is on, "Enable Korvane" while it is off.
    QString disableEnableCaption() const;

    // Puts the stored security level into effect: the level and the effective threshold.
    void applyStoredSecurityLevel();

    // Stores the settings (with the running state of the check timer) and the history.
    void saveForShutdown();

    const CoreEnvironment env;
    AppSettings settings;
    MailLists lists;
    Language lang;
    ActionLog log;
    Services services;
    ListFiles listFiles;
    SettingsFile settingsFile;
    SettingsStore settingsStore;
    History history;
    // The messages that wait for the user's decision while "Ask me before deleting" is on.
    ReviewQueue reviewQueue;
    ExtraTimer tmrCheck;
    ExtraTimer tmrTimeOut;
    bool IsChecking = false;
    // Checks fetch only the messages the local message cache does not hold. Tests switch it
    // off to compare with checks that fetch every message.
    bool isCachingMessages = true;
    // Dates are always shown as yyyy-MM-dd, so the day never comes first.
    int DateOrder = 2;
    // The check over every account; last, as it works on everything above.
    CheckCycle checkCycle {*this};
    // The review window's decisions carried out on the servers.
    ServerReview serverReview;
};
