#pragma once

#include "platform/datadir.h"

class KorvaneCore;
class SingleInstance;
class StartupWindows;

// The start-up and shutdown sequences of the program, in their fixed order.
class Startup
{
public:
    // dataDir tells where the data folder came from; the default is the program's own folder.
    Startup(KorvaneCore &core, SingleInstance &instance, StartupWindows &windows,
            DataDirChoice dataDir = {});

    // False when another instance runs: the user has been told, nothing was written and
    // the program must end.
    bool run();

    // The orderly end: removes the tray icon, stores the settings and the history.
    void shutdown();

private:
    void readLanguageChoice();
    void copyIntoFallbackFolder();
    void announceUnwritableFiles();
    void protectFiles();
    void applyEnabledState();
    void offerAccounts();

    KorvaneCore &m_core;
    SingleInstance &m_instance;
    StartupWindows &m_windows;
    DataDirChoice m_dataDir;
};
