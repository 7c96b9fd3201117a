#include "engine/coremailboxfilter.h"
#include "support/coretestbed.h"

#include <gtest/gtest.h>

namespace {

MailAccount account(const QByteArray &name, const QByteArray &server)
{
    return MailAccount {"POP3", name, server, "joe", "secret", 110};
}

ReviewItem held(const QByteArray &serverId)
{
    ReviewItem item;
    item.serverId = serverId;
    item.Subject = "offer " + serverId;
    return item;
}

} // namespace

// A check queues its messages under the mailbox it checked; one whose account the editor
// deleted or pointed elsewhere meanwhile queues nothing, and what that mailbox had goes.
TEST(CoreMailboxFilter, QueuesUnderTheCheckedMailboxOnlyWhileAnAccountReachesIt)
{
    CoreTestbed bed;
    const MailAccount home = account("Home", "pop.home.test");
    const MailAccount moved = account("Home", "pop.elsewhere.test");
    bed.core->lists.Accounts = {home};
    CoreMailboxFilter filter(*bed.core);
    ReviewQueue &queue = bed.core->reviewQueue;

    filter.awaitReview(home, {held("U1"), held("U2")});
    ASSERT_EQ(queue.count(), 2);
    EXPECT_EQ(queue.items().at(0).AccountName, "Home");
    EXPECT_EQ(queue.items().at(0).accountIdentity, identityOf(home));
    ASSERT_TRUE(queue.keep({queue.items().at(1)}));
    EXPECT_TRUE(filter.isKeptForReview(home, "U2"));
    EXPECT_FALSE(filter.isKeptForReview(moved, "U2"));

    bed.core->lists.Accounts = {moved};
    filter.awaitReview(home, {held("U1"), held("U3")});
    EXPECT_EQ(queue.count(), 0);
}

// At start the queue is read after the accounts, and keeps only what they reach.
TEST(KorvaneCore, LoadAllDataDropsTheReviewOfMailboxesNoAccountReaches)
{
    CoreTestbed bed;
    const MailAccount home = account("Home", "pop.home.test");
    const MailAccount work = account("Work", "pop.work.test");
    bed.core->lists.Accounts = {home, work};
    ASSERT_TRUE(bed.core->listFiles.SaveAccounts());
    ASSERT_TRUE(bed.core->reviewQueue.replaceAccount(home, {held("U1")}));
    ASSERT_TRUE(bed.core->reviewQueue.replaceAccount(work, {held("U2")}));
    bed.core->lists.Accounts = {home};
    ASSERT_TRUE(bed.core->listFiles.SaveAccounts());

    bed.core->LoadAllData();

    ASSERT_EQ(bed.core->reviewQueue.count(), 1);
    EXPECT_EQ(bed.core->reviewQueue.items().at(0).serverId, "U1");
    EXPECT_FALSE(bed.dir.read("data/Review.ini").contains("pop.work.test"));
}
