#include "securitylevelpanel.h"

#include "classify/securitylevel.h"
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
    for (int level = veryHigh; level <= veryLow; ++level)
        m_view.setLevelPressed(level, false);
}

void SecurityLevelPanel::showLevel(int level)
{
    m_view.setLevelName(levelName(m_services, level));
    m_view.setLevelDescription(levelDescription(m_services, level));
}

void SecurityLevelPanel::applyThreshold(int level)
{
    // Very Low has no factor and keeps the threshold of the level before it; it runs no
    // spam word test, so that value is never used while it is in effect.
    if (const auto threshold = effectiveThreshold(m_settings.SpamThreshold, level))
        m_settings.EffectiveThreshold = *threshold;
}

void SecurityLevelPanel::levelClicked(int level)
{
    if (!isLevel(level))
        return;
    ResetLevelButtons();
    m_view.setLevelPressed(level, true);
    showLevel(level);
}

void SecurityLevelPanel::commitLevel()
{
    for (int level = veryHigh; level <= veryLow; ++level) {
        if (!m_view.isLevelPressed(level))
            continue;
        m_settings.SecurityLevel = level;
        applyThreshold(level);
    }
}

void SecurityLevelPanel::showStoredLevel()
{
    ResetLevelButtons();
    const int level = m_settings.SecurityLevel;
    if (!isLevel(level))
        return;
    m_view.setLevelPressed(level, true);
    showLevel(level);
    applyThreshold(level);
}
