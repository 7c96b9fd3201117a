#include "classify/classifier.h"
#include "message/cmessages.h"
#include "store/maillists.h"
#include "store/verdictkeys.h"
#include "support/servicesbed.h"

#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

using enum Reason;

enum class SenderClass { Friend, Blocked, Both, Neither };
constexpr SenderClass senderClasses[]
    = {SenderClass::Friend, SenderClass::Blocked, SenderClass::Both, SenderClass::Neither};

const char *nameOf(SenderClass c)
{
    switch (c) {
    case SenderClass::Friend:
        return "friend";
    case SenderClass::Blocked:
        return "blocked";
    case SenderClass::Both:
        return "both";
    case SenderClass::Neither:
        return "neither";
    }
    return "";
}

QByteArray addressOf(SenderClass c)
{
    switch (c) {
    case SenderClass::Friend:
        return "Friend@Example.com";
    case SenderClass::Blocked:
        return "blocked@example.com";
    case SenderClass::Both:
        return "both@example.com";
    case SenderClass::Neither:
        return "stranger@example.net";
    }
    return {};
}

struct RulesBed : ServicesBed
{
    RulesBed()
    {
        clock.current = QDateTime(QDate(2026, 3, 14), QTime(12, 0), QTimeZone::utc());
        lists.FriendList = {"friend@example.com", "both@example.com"};
        lists.FriendListLoaded = true;
        lists.BlockedList = {"blocked@example.com", "both@example.com"};
        lists.BlockedListLoaded = true;
        lists.BadWords = {SpamWord {"pills", 10}};
        lists.BadWordsLoaded = true;
        settings.AskBeforeDel = false; // the check deletes at once and says so beforehand
        settings.EffectiveThreshold = 20.0f;
        settings.MaxSizeKB = 500;
        settings.Days = 30;
    }
    MailLists lists;
    Classifier classifier {settings, lists, services, clock};
};

// An ordinary message that no rule deletes: one day old, small, no attachment, no spam word.
CMessage plainMessage(SenderClass sender = SenderClass::Neither)
{
    CMessage m;
    m.ReturnPath = addressOf(sender);
    m.from = m.ReturnPath;
    m.Subject = "Lunch on Friday";
    m.MessageBody = "See you there.";
    m.SendDate = "Fri, 13 Mar 2026 10:00:00 +0000";
    m.SIZE = 2000;
    return m;
}

struct Judged
{
    QByteArray status;
    QByteArray reason;
    bool flagged = false;
};

// Checks a mailbox holding only this message.
Judged judge(RulesBed &bed, const CMessage &message)
{
    CMessages messages;
    EXPECT_TRUE(messages.Add(message, QStringLiteral("1")));
    const DeleteFlags flags = bed.classifier.CheckAllMessages(messages);
    EXPECT_EQ(flags.size(), 2);
    EXPECT_EQ(flags.value(0), flags.value(1));
    const CMessage *judged = messages.Item(1);
    return {judged->Status, judged->Reason, flags.value(1)};
}

bool isDeletingReason(Reason reason)
{
    return reason != NoRule && reason != FriendSender;
}

QByteArray statusKey(bool isDeleted)
{
    return keyOf(isDeleted ? MessageStatus::Deleted : MessageStatus::Kept);
}

// Expected reasons for friend, blocked, both and neither at one level.
struct LevelRow
{
    int level;
    Reason reasons[4];
};

void expectMatrix(RulesBed &bed, const CMessage &base, const LevelRow (&rows)[5])
{
    for (const LevelRow &row : rows) {
        bed.settings.SecurityLevel = row.level;
        for (int c = 0; c < 4; ++c) {
            SCOPED_TRACE(testing::Message()
                         << "level " << row.level << ", " << nameOf(senderClasses[c]));
            CMessage message = base;
            message.ReturnPath = addressOf(senderClasses[c]);
            const Judged result = judge(bed, message);
            const Reason expected = row.reasons[c];
            EXPECT_EQ(result.reason, keyOf(expected));
            EXPECT_EQ(result.flagged, isDeletingReason(expected));
            EXPECT_EQ(result.status, statusKey(isDeletingReason(expected)));
        }
    }
}

CMessage withAttachment(const QByteArray &name)
{
    CMessage m = plainMessage();
    m.Attachment = {QByteArray(), "notes.txt", name};
    m.AttachmentBodies = {QByteArray(), "x", "y"};
    return m;
}

} // namespace

TEST(Rules, SenderListsAtEveryLevel)
{
    RulesBed bed;
    const LevelRow rows[5] = {
        {1, {FriendSender, BlockedSender, BlockedSender, NoRule}},
        {2, {FriendSender, BlockedSender, BlockedSender, NoRule}},
        {3, {FriendSender, BlockedSender, BlockedSender, NoRule}},
        {4, {FriendSender, BlockedSender, BlockedSender, NoRule}},
        {5, {FriendSender, BlockedSender, BlockedSender, NoRule}},
    };
    expectMatrix(bed, plainMessage(), rows);
    EXPECT_TRUE(bed.notifier.popups.contains(QStringLiteral("1 spam messages will be deleted!")));

    // While the user is asked first, nothing is about to be deleted.
    bed.notifier.popups.clear();
    bed.settings.AskBeforeDel = true;
    expectMatrix(bed, plainMessage(), rows);
    EXPECT_TRUE(bed.notifier.popups.isEmpty());
}

TEST(Rules, WatchedTypeJpgCheckedByLevelAndSenderClass)
{
    RulesBed bed;
    const LevelRow rows[5] = {
        {1, {FriendSender, BlockedSender, BlockedSender, BlockedAttachment}},
        {2, {FriendSender, BlockedSender, BlockedSender, BlockedAttachment}},
        {3, {FriendSender, BlockedSender, BlockedSender, NoRule}},
        {4, {BlockedAttachment, BlockedSender, BlockedSender, NoRule}},
        {5, {FriendSender, BlockedSender, BlockedSender, NoRule}},
    };
    expectMatrix(bed, withAttachment("holiday photo.JPG"), rows);
}

TEST(Rules, WatchedTypeExeCheckedForEveryoneBelowVeryLow)
{
    RulesBed bed;
    const LevelRow rows[5] = {
        {1, {BlockedAttachment, BlockedSender, BlockedSender, BlockedAttachment}},
        {2, {BlockedAttachment, BlockedSender, BlockedSender, BlockedAttachment}},
        {3, {BlockedAttachment, BlockedSender, BlockedSender, BlockedAttachment}},
        {4, {BlockedAttachment, BlockedSender, BlockedSender, BlockedAttachment}},
        {5, {FriendSender, BlockedSender, BlockedSender, NoRule}},
    };
    expectMatrix(bed, withAttachment("setup.EXE"), rows);
}

TEST(Rules, ScrIsNotBlockedByWatchedSrc)
{
    RulesBed bed;
    ASSERT_TRUE(bed.settings.WatchedExtensions.contains("SRC"));
    const LevelRow rows[5] = {
        {1, {FriendSender, BlockedSender, BlockedSender, NoRule}},
        {2, {FriendSender, BlockedSender, BlockedSender, NoRule}},
        {3, {FriendSender, BlockedSender, BlockedSender, NoRule}},
        {4, {FriendSender, BlockedSender, BlockedSender, NoRule}},
        {5, {FriendSender, BlockedSender, BlockedSender, NoRule}},
    };
    expectMatrix(bed, withAttachment("screensaver.scr"), rows);

    bed.settings.WatchedExtensions.append("Scr");
    bed.settings.SecurityLevel = 3;
    EXPECT_EQ(judge(bed, withAttachment("screensaver.scr")).reason, keyOf(BlockedAttachment));
}

TEST(Rules, SizeLimitSparesFriendsBelowVeryHigh)
{
    RulesBed bed;
    bed.settings.CheckLargerThan = true;
    CMessage large = plainMessage();
    large.SIZE = 500 * 1024 + 1;
    const LevelRow rows[5] = {
        {1, {TooLarge, BlockedSender, BlockedSender, TooLarge}},
        {2, {FriendSender, BlockedSender, BlockedSender, TooLarge}},
        {3, {FriendSender, BlockedSender, BlockedSender, TooLarge}},
        {4, {FriendSender, BlockedSender, BlockedSender, TooLarge}},
        {5, {FriendSender, BlockedSender, BlockedSender, TooLarge}},
    };
    expectMatrix(bed, large, rows);
}

TEST(Rules, SizeExactlyAtLimitOrCheckOffIsKept)
{
    RulesBed bed;
    const LevelRow rows[5] = {
        {1, {FriendSender, BlockedSender, BlockedSender, NoRule}},
        {2, {FriendSender, BlockedSender, BlockedSender, NoRule}},
        {3, {FriendSender, BlockedSender, BlockedSender, NoRule}},
        {4, {FriendSender, BlockedSender, BlockedSender, NoRule}},
        {5, {FriendSender, BlockedSender, BlockedSender, NoRule}},
    };
    CMessage atLimit = plainMessage();
    atLimit.SIZE = 500 * 1024;
    bed.settings.CheckLargerThan = true;
    {
        SCOPED_TRACE("exactly MaxSizeKB x 1024 bytes");
        expectMatrix(bed, atLimit, rows);
    }
    CMessage large = atLimit;
    large.SIZE += 1;
    bed.settings.CheckLargerThan = false;
    {
        SCOPED_TRACE("size check off");
        expectMatrix(bed, large, rows);
    }
}

TEST(Rules, AgeLimitHoldsForFriendsAtEveryLevel)
{
    RulesBed bed;
    bed.settings.DelOld = true;
    CMessage old = plainMessage();
    old.SendDate = "Wed, 11 Feb 2026 10:00:00 +0000"; // 31 days before 14 March
    const LevelRow rows[5] = {
        {1, {TooOld, BlockedSender, BlockedSender, TooOld}},
        {2, {TooOld, BlockedSender, BlockedSender, TooOld}},
        {3, {TooOld, BlockedSender, BlockedSender, TooOld}},
        {4, {TooOld, BlockedSender, BlockedSender, TooOld}},
        {5, {TooOld, BlockedSender, BlockedSender, TooOld}},
    };
    expectMatrix(bed, old, rows);

    const struct
    {
        const char *name;
        bool delOld;
        QByteArray date;
    } keptCases[] = {
        {"exactly Days old", true, "Thu, 12 Feb 2026 10:00:00 +0000"},
        {"older but DelOld off", false, "Wed, 11 Feb 2026 10:00:00 +0000"},
        {"no date", true, ""},
        {"month in lower case", true, "Wed, 11 feb 2026 10:00:00 +0000"},
        {"year missing", true, "Wed, 11 Feb"},
        {"not a date", true, "yesterday"},
    };
    for (const auto &c : keptCases) {
        SCOPED_TRACE(c.name);
        bed.settings.DelOld = c.delOld;
        bed.settings.SecurityLevel = 3;
        CMessage message = plainMessage(SenderClass::Friend);
        message.SendDate = c.date;
        EXPECT_EQ(judge(bed, message).reason, keyOf(FriendSender));
        message.ReturnPath = addressOf(SenderClass::Neither);
        EXPECT_EQ(judge(bed, message).reason, keyOf(NoRule));
    }
    EXPECT_FALSE(bed.notifier.popups.join(u'\n').contains(QStringLiteral("Error")));
}

TEST(Rules, SpamWordScoreEqualToThresholdIsSpamBelowVeryLow)
{
    RulesBed bed;
    CMessage spam = plainMessage();
    spam.Subject = "buy pills now"; // twice the weight of 10: exactly the threshold 20
    const LevelRow rows[5] = {
        {1, {FriendSender, BlockedSender, BlockedSender, SpamWords}},
        {2, {FriendSender, BlockedSender, BlockedSender, SpamWords}},
        {3, {FriendSender, BlockedSender, BlockedSender, SpamWords}},
        {4, {FriendSender, BlockedSender, BlockedSender, SpamWords}},
        {5, {FriendSender, BlockedSender, BlockedSender, NoRule}},
    };
    expectMatrix(bed, spam, rows);

    bed.settings.SecurityLevel = 3;
    CMessage below = plainMessage();
    below.MessageBody = "buy pills now"; // body weight only: 10
    EXPECT_EQ(judge(bed, below).reason, keyOf(NoRule));

    // A message whose date cannot be read still meets the word test.
    bed.settings.DelOld = true;
    spam.SendDate = "garbage";
    EXPECT_EQ(judge(bed, spam).reason, keyOf(SpamWords));
}

TEST(Rules, ThresholdOfZeroNeverCallsEverythingSpam)
{
    RulesBed bed;
    bed.settings.SecurityLevel = 3;
    for (float threshold : {0.0f, -5.0f}) {
        SCOPED_TRACE(threshold);
        bed.settings.EffectiveThreshold = threshold;
        EXPECT_EQ(judge(bed, plainMessage()).reason, keyOf(NoRule));
    }
}

TEST(Rules, FirstFiringRuleDecides)
{
    RulesBed bed;
    bed.settings.SecurityLevel = 2;
    bed.settings.CheckLargerThan = true;
    bed.settings.DelOld = true;
    CMessage m = withAttachment("setup.exe");
    m.ReturnPath = addressOf(SenderClass::Blocked);
    m.SIZE = 600 * 1024;
    m.SendDate = "Sun, 1 Feb 2026 10:00:00 +0000";
    m.Subject = "cheap pills here";

    EXPECT_EQ(judge(bed, m).reason, keyOf(BlockedSender));
    m.ReturnPath = addressOf(SenderClass::Neither);
    EXPECT_EQ(judge(bed, m).reason, keyOf(BlockedAttachment));
    m.Attachment = {QByteArray()};
    EXPECT_EQ(judge(bed, m).reason, keyOf(TooLarge));
    m.SIZE = 100;
    EXPECT_EQ(judge(bed, m).reason, keyOf(TooOld));
    m.SendDate = "Sat, 14 Mar 2026 10:00:00 +0000";
    EXPECT_EQ(judge(bed, m).reason, keyOf(SpamWords));
}

TEST(Rules, RepeatedMessagesKeepOnlyTheFirstBelowVeryLow)
{
    const struct
    {
        int level;
        bool deleteRepeated;
        bool expectRepeats;
    } cases[] = {
        {1, true, true}, {2, true, true},  {3, true, true},
        {4, true, true}, {5, true, false}, {3, false, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "level " << c.level << ", DeleteRepeated " << c.deleteRepeated);
        RulesBed bed;
        bed.settings.SecurityLevel = c.level;
        bed.settings.DeleteRepeated = c.deleteRepeated;
        CMessages messages;
        CMessage other = plainMessage();
        other.Subject = "LUNCH ON FRIDAY"; // differs only in case: no repeat
        CMessage fromFriend = plainMessage(SenderClass::Friend);
        for (const CMessage &m :
             {plainMessage(), other, plainMessage(), fromFriend, plainMessage(), fromFriend})
            ASSERT_TRUE(messages.Add(m));

        const DeleteFlags flags = bed.classifier.CheckAllMessages(messages);

        const bool r = c.expectRepeats;
        EXPECT_EQ(flags, (DeleteFlags {r, false, false, r, false, r, r}));
        const QList<Reason> reasons = {NoRule,
                                       NoRule,
                                       r ? Repeated : NoRule,
                                       FriendSender,
                                       r ? Repeated : NoRule,
                                       r ? Repeated : FriendSender};
        for (int i = 1; i <= messages.Count(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(messages.Item(i)->Reason, keyOf(reasons.at(i - 1)));
            EXPECT_EQ(messages.Item(i)->Status, statusKey(flags.at(i)));
        }
        EXPECT_EQ(bed.notifier.popups,
                  r ? QStringList {QStringLiteral("3 spam messages will be deleted!")}
                    : QStringList {});
    }
}

TEST(Rules, RepeatOverwritesEarlierReasonAndEmptySendersMatch)
{
    RulesBed bed;
    CMessage first = plainMessage();
    first.ReturnPath.clear();
    CMessage blocked = plainMessage(SenderClass::Blocked);
    CMessages messages;
    for (const CMessage &m : {first, first, blocked, blocked})
        ASSERT_TRUE(messages.Add(m));

    const DeleteFlags flags = bed.classifier.CheckAllMessages(messages);

    EXPECT_EQ(flags, (DeleteFlags {true, false, true, true, true}));
    EXPECT_EQ(messages.Item(2)->Reason, keyOf(Repeated));
    EXPECT_EQ(messages.Item(3)->Reason, keyOf(BlockedSender));
    EXPECT_EQ(messages.Item(4)->Reason, keyOf(Repeated));
}

TEST(Rules, EmptyMailboxAndSilentNotice)
{
    RulesBed bed;
    CMessages none;
    EXPECT_EQ(bed.classifier.CheckAllMessages(none), DeleteFlags {false});
    EXPECT_TRUE(bed.notifier.popups.isEmpty());

    bed.settings.NotifyAfterDel = false;
    CMessages one;
    ASSERT_TRUE(one.Add(plainMessage(SenderClass::Blocked)));
    EXPECT_EQ(bed.classifier.CheckAllMessages(one), (DeleteFlags {true, true}));
    EXPECT_TRUE(bed.notifier.popups.isEmpty());
}

TEST(Rules, NoticeTextComesFromLanguagePack)
{
    RulesBed bed;
    bed.dir.write(QStringLiteral("Lang/Test.ini"), "[Korvane]\r\n10162=Spam wird geloescht!\r\n");
    bed.lang.LanguageFile = QStringLiteral("Test.ini");
    CMessages two;
    ASSERT_TRUE(two.Add(plainMessage(SenderClass::Blocked)));
    ASSERT_TRUE(two.Add(plainMessage(SenderClass::Both)));
    bed.classifier.CheckAllMessages(two);
    EXPECT_EQ(bed.notifier.popups, QStringList {QStringLiteral("2 Spam wird geloescht!")});
}

TEST(Rules, NumberOfMes2DelCountsFromElementOne)
{
    const struct
    {
        DeleteFlags flags;
        int expected;
    } cases[] = {
        {{}, 0},
        {{true}, 0},
        {{true, false, true, true}, 2},
        {{false, false, false}, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.flags));
        EXPECT_EQ(NumberOfMes2Del(c.flags), c.expected);
    }
}
