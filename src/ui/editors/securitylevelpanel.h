#pragma once

#include "classify/securitylevel.h"

#include <QString>

struct AppSettings;
struct Services;

// The "Security Level" tab as the panel sees it: five toggle buttons (cmdVeryHigh,
// cmdHigh, cmdNormal, cmdLow, cmdVeryLow for Very High to Very Low), the name label lblLevel and
// the description label lblSecurity. The settings window implements it.
class SecurityLevelView
{
public:
    virtual ~SecurityLevelView() = default;
    virtual bool isLevelPressed(SecurityLevel level) const = 0;
    virtual void setLevelPressed(SecurityLevel level, bool pressed) = 0;
    virtual void setLevelName(const QString &text) = 0;
    virtual void setLevelDescription(const QString &text) = 0;
};

// What the level buttons do. A click only shows the level; OK commits the pressed level
// into the settings with its threshold; showing the window shows the stored level again,
// so a level picked and then cancelled is forgotten.
class SecurityLevelPanel
{
public:
    SecurityLevelPanel(AppSettings &settings, const Services &services, SecurityLevelView &view);

    // A level button released: press only it and show its name and description.
    void levelClicked(SecurityLevel level);

    // Releases all five buttons.
    void ResetLevelButtons();

    // On OK, before the settings are stored: the pressed button (the last of them in
    // level order, should several be pressed) becomes SecurityLevel, and for levels 1 to 4
    // EffectiveThreshold is set from SpamThreshold. With no button pressed nothing changes.
    void commitLevel();

    // At start-up and whenever the settings window is shown: press the stored level's
    // button, show it and compute EffectiveThreshold from SpamThreshold. A stored value
    // that is no level presses nothing and changes nothing.
    void showStoredLevel();

private:
    void showLevel(SecurityLevel level);

    AppSettings &m_settings;
    const Services &m_services;
    SecurityLevelView &m_view;
};
