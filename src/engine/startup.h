#pragma once

class KorvaneCore;
class SingleInstance;
class StartupWindows;

// The start-up and shutdown sequences of the program, in their fixed order.
class Startup
{
public:
    Startup(KorvaneCore &core, SingleInstance &instance, StartupWindows &windows);

    // False when another instance runs: the user has been told, nothing was written and
    // the program must end.
    bool run();

    // The orderly end: removes the tray icon, stores the settings and the history.
    void shutdown();

private:
    void readLanguageChoice();
    void announceUnwritableFiles();
    void protectFiles();
    void applyEnabledState();
    void offerAccounts();

    KorvaneCore &m_core;
    SingleInstance &m_instance;
    StartupWindows &m_windows;
};
