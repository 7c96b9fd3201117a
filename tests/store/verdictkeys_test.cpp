#include "store/verdictkeys.h"

#include <gtest/gtest.h>

// The keys are what "History.ini" holds, so each name must keep its text byte for byte and
// read back to the same name.
TEST(VerdictKeys, EveryStatusAndReasonHasItsKeyAndReadsBack)
{
    const struct
    {
        MessageStatus status;
        const char *key;
    } statuses[] = {
        {MessageStatus::Deleted, "70043"},
        {MessageStatus::Kept, "70044"},
        {MessageStatus::AwaitingReview, "280007"},
        {MessageStatus::DeletionPending, "280139"},
    };
    for (const auto &c : statuses) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(keyOf(c.status), QByteArray(c.key));
        EXPECT_EQ(statusOf(c.key), c.status);
    }

    const struct
    {
        Reason reason;
        const char *key;
    } reasons[] = {
        {Reason::NoRule, "10152"},       {Reason::BlockedAttachment, "10153"},
        {Reason::SpamWords, "10154"},    {Reason::BlockedSender, "10155"},
        {Reason::TooLarge, "10156"},     {Reason::TooOld, "10159"},
        {Reason::FriendSender, "10160"}, {Reason::Repeated, "10161"},
    };
    ASSERT_EQ(std::size(reasons), std::size(allReasons));
    for (const auto &c : reasons) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(keyOf(c.reason), QByteArray(c.key));
        EXPECT_EQ(reasonOf(c.key), c.reason);
    }
}

TEST(VerdictKeys, OtherTextIsNoKey)
{
    // Neighbouring caption keys, a key with a blank or a line end as a damaged history
    // file might hold, and the other kind of key.
    for (const char *text : {"", "10157", "10158", "70042", "10152 ", " 70043", "70044\r"}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(statusOf(text), std::nullopt);
        EXPECT_EQ(reasonOf(text), std::nullopt);
    }
    EXPECT_EQ(statusOf("10155"), std::nullopt);
    EXPECT_EQ(reasonOf("70043"), std::nullopt);
}
