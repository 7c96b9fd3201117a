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
    for (const SecurityLevel level : allSecurityLevels)
        m_view.setLevelPressed(level, false);
}

void SecurityLevelPanel::showLevel(SecurityLevel level)
{
    m_view.setLevelName(levelName(m_services, level));
    m_view.setLevelDescription(levelDescription(m_services, level));
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
        apply(m_settings, level);
    }
}

void SecurityLevelPanel::showStoredLevel()
{
    ResetLevelButtons();
    const auto level = applyStored(m_settings);
    if (!level)
        return;
    m_view.setLevelPressed(*level, true);
    showLevel(*level);
}
