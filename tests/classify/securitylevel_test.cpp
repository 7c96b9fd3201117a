#include "support/servicesbed.h"
#include "classify/securitylevel.h"

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
        {200, 1, 80.0f}, {200, 2, 160.0f}, {200, 3, 200.0f}, {200, 4, 280.0f},
        {200, 5, std::nullopt}, {200, 0, std::nullopt}, {200, 6, std::nullopt},
        // 9 x 0.4 in float arithmetic gives 3.6000001; the double product rounds to 3.5999999.
        {9, 1, 3.6f}, {9, 2, 7.2f}, {9, 4, 12.6f},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.typed << " at level " << c.level);
        EXPECT_EQ(effectiveThreshold(c.typed, c.level), c.expected);
    }
}

TEST(SecurityLevel, NamesAndDescriptionsJoinCaptionsWithCrLf)
{
    ServicesBed bed;
    EXPECT_EQ(levelName(bed.services, 1), QStringLiteral("Very High"));
    EXPECT_EQ(levelName(bed.services, 2), QStringLiteral("High"));
    EXPECT_EQ(levelName(bed.services, 3), QStringLiteral("Normal"));
    EXPECT_EQ(levelName(bed.services, 4), QStringLiteral("Low"));
    EXPECT_EQ(levelName(bed.services, 5), QStringLiteral("Very Low"));
    EXPECT_EQ(levelName(bed.services, 0), QString());

    EXPECT_EQ(levelDescription(bed.services, 3),
              QStringLiteral("*Attachment Filter(.exe, .scr only) will be run\r\n"
                             "*Spam-Word checking threshold will be set to a meduim value,\r\n"
                             "   most spam mails will be deleted.\r\n"
                             "*Large message check will be applied on non-friend senders(if checked)"));
    EXPECT_EQ(levelDescription(bed.services, 2).split(QStringLiteral("\r\n")).size(), 5);
    EXPECT_TRUE(levelDescription(bed.services, 1).contains(QStringLiteral("\r\n*No spam word checking.\r\n")));
    EXPECT_TRUE(levelDescription(bed.services, 5).contains(QStringLiteral("\r\n*No Spam-Word checking\r\n")));
    EXPECT_TRUE(levelDescription(bed.services, 4).startsWith(
        QStringLiteral("*Attachment Filter(.exe, .scr only) will be run on non-friend senders\r\n")));
    EXPECT_EQ(levelDescription(bed.services, 9), QString());
}

TEST(SecurityLevel, LanguagePackSuppliesOneTextForSharedKey)
{
    ServicesBed bed;
    bed.dir.write(QStringLiteral("Lang/Test.ini"),
                  "[Korvane]\r\n10145=Keine Wortpruefung\r\n10101=Normal-DE\r\n");
    bed.lang.LanguageFile = QStringLiteral("Test.ini");

    EXPECT_EQ(levelName(bed.services, 3), QStringLiteral("Normal-DE"));
    EXPECT_EQ(levelDescription(bed.services, 1).split(QStringLiteral("\r\n")).at(2),
              QStringLiteral("Keine Wortpruefung"));
    EXPECT_EQ(levelDescription(bed.services, 5).split(QStringLiteral("\r\n")).at(1),
              QStringLiteral("Keine Wortpruefung"));
}
