#include "classify/securitylevel.h"
#include "support/servicesbed.h"
#include "ui/editors/securitylevelpanel.h"

#include <gtest/gtest.h>

#include <array>

using namespace SecurityLevels;

namespace {

// The five toggle buttons and two labels of the settings window's level tab.
class FakeLevelView final : public SecurityLevelView
{
public:
    bool isLevelPressed(SecurityLevel level) const override { return pressed.at(int(level) - 1); }
    void setLevelPressed(SecurityLevel level, bool isPressed) override
    {
        pressed.at(int(level) - 1) = isPressed;
    }
    void setLevelName(const QString &text) override { name = text; }
    void setLevelDescription(const QString &text) override { description = text; }

    std::array<bool, 5> pressed {};
    QString name;
    QString description;
};

struct PanelBed : ServicesBed
{
    FakeLevelView view;
    SecurityLevelPanel panel {settings, services, view};
};

} // namespace

TEST(SecurityLevelPanel, ShowingStoredLevelPressesOnlyItsButtonAndSetsThreshold)
{
    PanelBed bed;
    bed.settings.SecurityLevel = 4;
    bed.view.pressed = {true, false, true, false, false};

    bed.panel.showStoredLevel();

    EXPECT_EQ(bed.view.pressed, (std::array<bool, 5> {false, false, false, true, false}));
    EXPECT_EQ(bed.view.name, QStringLiteral("Low"));
    EXPECT_EQ(bed.view.description, levelDescription(bed.services, SecurityLevel::Low));
    EXPECT_EQ(bed.settings.EffectiveThreshold, 280.0f);
}

TEST(SecurityLevelPanel, ClickShowsLevelButOnlyOkCommitsIt)
{
    PanelBed bed;
    bed.settings.SecurityLevel = 3;
    bed.panel.showStoredLevel();

    bed.panel.levelClicked(SecurityLevel::VeryHigh);
    EXPECT_EQ(bed.view.pressed, (std::array<bool, 5> {true, false, false, false, false}));
    EXPECT_EQ(bed.view.name, QStringLiteral("Very High"));
    EXPECT_EQ(bed.settings.SecurityLevel, 3) << "a click alone changes nothing";
    EXPECT_EQ(bed.settings.EffectiveThreshold, 200.0f);

    // Cancel: the window is shown again later and presses the stored level.
    bed.panel.showStoredLevel();
    EXPECT_EQ(bed.view.pressed, (std::array<bool, 5> {false, false, true, false, false}));
    EXPECT_EQ(bed.settings.SecurityLevel, 3);

    bed.panel.levelClicked(SecurityLevel::High);
    bed.settings.SpamThreshold = 300; // the threshold box at the moment of OK counts
    bed.panel.commitLevel();
    EXPECT_EQ(bed.settings.SecurityLevel, 2);
    EXPECT_EQ(bed.settings.EffectiveThreshold, 240.0f);
}

TEST(SecurityLevelPanel, VeryLowKeepsThresholdOfLevelBefore)
{
    PanelBed bed;
    bed.settings.SecurityLevel = 2;
    bed.panel.showStoredLevel();
    ASSERT_EQ(bed.settings.EffectiveThreshold, 160.0f);

    bed.panel.levelClicked(SecurityLevel::VeryLow);
    bed.panel.commitLevel();
    EXPECT_EQ(bed.settings.SecurityLevel, 5);
    EXPECT_EQ(bed.settings.EffectiveThreshold, 160.0f);

    bed.panel.showStoredLevel();
    EXPECT_EQ(bed.view.name, QStringLiteral("Very Low"));
    EXPECT_EQ(bed.settings.EffectiveThreshold, 160.0f);
}

TEST(SecurityLevelPanel, CommitTakesLastPressedButtonAndNothingWhenNonePressed)
{
    PanelBed bed;
    bed.settings.SecurityLevel = 3;
    bed.view.pressed = {false, true, false, true, false};
    bed.panel.commitLevel();
    EXPECT_EQ(bed.settings.SecurityLevel, 4);
    EXPECT_EQ(bed.settings.EffectiveThreshold, 280.0f);

    bed.view.pressed = {};
    bed.settings.SpamThreshold = 50;
    bed.panel.commitLevel();
    EXPECT_EQ(bed.settings.SecurityLevel, 4);
    EXPECT_EQ(bed.settings.EffectiveThreshold, 280.0f);
}

TEST(SecurityLevelPanel, StoredValueOutsideLevelsPressesNothing)
{
    for (int stored : {0, 6, -1}) {
        SCOPED_TRACE(stored);
        PanelBed bed;
        bed.settings.SecurityLevel = stored;
        bed.settings.EffectiveThreshold = 123.0f;
        bed.view.pressed = {true, true, true, true, true};
        bed.panel.showStoredLevel();
        EXPECT_EQ(bed.view.pressed, (std::array<bool, 5> {}));
        EXPECT_EQ(bed.settings.EffectiveThreshold, 123.0f);
        EXPECT_EQ(bed.settings.SecurityLevel, stored);
    }
}
