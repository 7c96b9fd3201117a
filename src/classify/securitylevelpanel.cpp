#include "securitylevelpanel.h"

#include "store/appsettings.h"

using namespace SecurityLevels;

SecurityLevelPanel::SecurityLevelPanel(AppSettings &settings, const Services &services,
                                       SecurityLevelView &view)
    : m_settings(settings)
    , m_services(services)
    , m_view(view)
{
}

void SecurityLevelPanel::ResetLevelButtons()
{
    for (const SecurityLevel level : allSecurityLevels)
        m_view.setLevelPressed(level, false);
}

void SecurityLevelPanel::showLevel(SecurityLevel level)
{
    m_view.setLevelName(levelName(m_services, level));
    m_view.setLevelDescription(levelDescription(m_services, level));
}

void SecurityLevelPanel::applyThreshold(SecurityLevel level)
{
    // Very Low has no factor and keeps the threshold of the level before it; it runs no
    // spam word test, so that value is never used while it is in effect.
    if (const auto threshold = effectiveThreshold(m_settings.SpamThreshold, level))
        m_settings.EffectiveThreshold = *threshold;
}

void SecurityLevelPanel::levelClicked(SecurityLevel level)
{
    ResetLevelButtons();
    m_view.setLevelPressed(level, true);
    showLevel(level);
}

void SecurityLevelPanel::commitLevel()
{
    for (const SecurityLevel level : allSecurityLevels) {
        if (!m_view.isLevelPressed(level))
            continue;
        m_settings.SecurityLevel = int(level);
        applyThreshold(level);
    }
}

void SecurityLevelPanel::showStoredLevel()
{
    ResetLevelButtons();
    const auto level = securityLevelFrom(m_settings.SecurityLevel);
    if (!level)
        return;
    m_view.setLevelPressed(*level, true);
    showLevel(*level);
    applyThreshold(*level);
}
