#include "classify/securitylevel.h"
#include "support/servicesbed.h"

#include <gtest/gtest.h>

using namespace SecurityLevels;

TEST(SecurityLevel, EffectiveThresholdScalesTypedValueInDoublePrecision)
{
    const struct
    {
        int typed;
        int level;
        std::optional<float> expected;
    } cases[] = {
        {200, 1, 80.0f},
        {200, 2, 160.0f},
        {200, 3, 200.0f},
        {200, 4, 280.0f},
        {200, 5, std::nullopt},
        {200, 0, std::nullopt},
        {200, 6, std::nullopt},
        // 9 x 0.4 in float arithmetic gives 3.6000001; the double product rounds to 3.5999999.
        {9, 1, 3.6f},
        {9, 2, 7.2f},
        {9, 4, 12.6f},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.typed << " at level " << c.level);
        const auto level = securityLevelFrom(c.level);
        EXPECT_EQ(level ? effectiveThreshold(c.typed, *level) : std::nullopt, c.expected);
    }
}

TEST(SecurityLevel, StoredNumberIsALevelOnlyFromOneToFive)
{
    const struct
    {
        int stored;
        std::optional<SecurityLevel> expected;
    } cases[] = {
        {1, SecurityLevel::VeryHigh},
        {2, SecurityLevel::High},
        {3, SecurityLevel::Normal},
        {4, SecurityLevel::Low},
        {5, SecurityLevel::VeryLow},
        {0, std::nullopt},
        {6, std::nullopt},
        {9, std::nullopt},
        {-1, std::nullopt},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.stored);
        EXPECT_EQ(securityLevelFrom(c.stored), c.expected);
    }
}

TEST(SecurityLevel, ApplySetsLevelAndScaledThresholdButVeryLowKeepsThePrevious)
{
    const struct
    {
        SecurityLevel level;
        float expected;
    } cases[] = {
        {SecurityLevel::VeryHigh, 80.0f}, {SecurityLevel::High, 160.0f},
        {SecurityLevel::Normal, 200.0f},  {SecurityLevel::Low, 280.0f},
        {SecurityLevel::VeryLow, 123.0f},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(int(c.level));
        AppSettings settings;
        settings.SecurityLevel = 3;
        settings.SpamThreshold = 200;
        settings.EffectiveThreshold = 123.0f;
        apply(settings, c.level);
        EXPECT_EQ(settings.SecurityLevel, int(c.level));
        EXPECT_EQ(settings.EffectiveThreshold, c.expected);
    }
}

TEST(SecurityLevel, ApplyStoredChangesNothingForNumberThatIsNoLevel)
{
    const struct
    {
        int stored;
        std::optional<SecurityLevel> applied;
        float expected;
    } cases[] = {
        {2, SecurityLevel::High, 160.0f}, {5, SecurityLevel::VeryLow, 123.0f},
        {0, std::nullopt, 123.0f},        {6, std::nullopt, 123.0f},
        {-1, std::nullopt, 123.0f},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.stored);
        AppSettings settings;
        settings.SecurityLevel = c.stored;
        settings.SpamThreshold = 200;
        settings.EffectiveThreshold = 123.0f;
        EXPECT_EQ(applyStored(settings), c.applied);
        EXPECT_EQ(settings.SecurityLevel, c.stored);
        EXPECT_EQ(settings.EffectiveThreshold, c.expected);
    }
}

TEST(SecurityLevel, NamesAndDescriptionsJoinCaptionsWithCrLf)
{
    ServicesBed bed;
    EXPECT_EQ(levelName(bed.services, SecurityLevel::VeryHigh), QStringLiteral("Very High"));
    EXPECT_EQ(levelName(bed.services, SecurityLevel::High), QStringLiteral("High"));
    EXPECT_EQ(levelName(bed.services, SecurityLevel::Normal), QStringLiteral("Normal"));
    EXPECT_EQ(levelName(bed.services, SecurityLevel::Low), QStringLiteral("Low"));
    EXPECT_EQ(levelName(bed.services, SecurityLevel::VeryLow), QStringLiteral("Very Low"));

    EXPECT_EQ(
        levelDescription(bed.services, SecurityLevel::Normal),
        QStringLiteral("*Attachment Filter(.exe, .scr only) will be run\r\n"
                       "*Spam-Word checking threshold will be set to a meduim value,\r\n"
                       "   most spam mails will be deleted.\r\n"
                       "*Large message check will be applied on non-friend senders(if checked)"));
    EXPECT_EQ(
        levelDescription(bed.services, SecurityLevel::High).split(QStringLiteral("\r\n")).size(),
        5);
    EXPECT_TRUE(levelDescription(bed.services, SecurityLevel::VeryHigh)
                    .contains(QStringLiteral("\r\n*No spam word checking.\r\n")));
    EXPECT_TRUE(levelDescription(bed.services, SecurityLevel::VeryLow)
                    .contains(QStringLiteral("\r\n*No Spam-Word checking\r\n")));
    EXPECT_TRUE(
        levelDescription(bed.services, SecurityLevel::Low)
            .startsWith(QStringLiteral(
                "*Attachment Filter(.exe, .scr only) will be run on non-friend senders\r\n")));
}

TEST(SecurityLevel, LanguagePackSuppliesOneTextForSharedKey)
{
    ServicesBed bed;
    bed.dir.write(QStringLiteral("Lang/Test.ini"),
                  "[Korvane]\r\n10145=Keine Wortpruefung\r\n10101=Normal-DE\r\n");
    bed.lang.LanguageFile = QStringLiteral("Test.ini");

    EXPECT_EQ(levelName(bed.services, SecurityLevel::Normal), QStringLiteral("Normal-DE"));
    EXPECT_EQ(
        levelDescription(bed.services, SecurityLevel::VeryHigh).split(QStringLiteral("\r\n")).at(2),
        QStringLiteral("Keine Wortpruefung"));
    EXPECT_EQ(
        levelDescription(bed.services, SecurityLevel::VeryLow).split(QStringLiteral("\r\n")).at(1),
        QStringLiteral("Keine Wortpruefung"));
}
