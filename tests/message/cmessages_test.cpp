#include "message/cmessages.h"
#include "support/qtprinters.h"

#include <gtest/gtest.h>

namespace {

CMessage withSubject(const char *subject)
{
    CMessage m;
    m.Subject = subject;
    return m;
}

QList<QByteArray> subjects(const CMessages &messages)
{
    QList<QByteArray> result;
    for (const CMessage &m : messages)
        result.append(m.Subject);
    return result;
}

} // namespace

TEST(CMessages, KeepsOrderAndFindsByPositionOrKey)
{
    CMessages messages;
    EXPECT_TRUE(messages.Add(withSubject("one"), "1"));
    EXPECT_TRUE(messages.Add(withSubject("anonymous")));
    EXPECT_TRUE(messages.Add(withSubject("three"), "3"));
    EXPECT_FALSE(messages.Add(withSubject("again"), "1")); // keys are unique
    ASSERT_EQ(messages.Count(), 3);
    EXPECT_EQ(subjects(messages), (QList<QByteArray> {"one", "anonymous", "three"}));

    EXPECT_EQ(messages.Item(1)->Subject, "one"); // positions count from 1
    EXPECT_EQ(messages.Item(3)->Subject, "three");
    EXPECT_EQ(messages.Item("3")->Subject, "three");
    EXPECT_EQ(messages.Item(0), nullptr);
    EXPECT_EQ(messages.Item(4), nullptr);
    EXPECT_EQ(messages.Item("2"), nullptr);
    EXPECT_EQ(messages.Item(""), nullptr);

    messages.Item("1")->Status = "70043"; // items are live objects
    EXPECT_EQ(messages.Item(1)->Status, "70043");
}

TEST(CMessages, RemoveKeepsKeysInStep)
{
    CMessages messages;
    ASSERT_TRUE(messages.Add(withSubject("one"), "1"));
    ASSERT_TRUE(messages.Add(withSubject("two"), "2"));
    ASSERT_TRUE(messages.Add(withSubject("three"), "3"));
    const CMessage *three = messages.Item("3");

    EXPECT_TRUE(messages.Remove(1));
    EXPECT_EQ(messages.Item("3"), three); // addresses survive a removal before them
    EXPECT_EQ(messages.Item(2), three);
    EXPECT_TRUE(messages.Remove("2"));
    EXPECT_FALSE(messages.Remove("2"));
    EXPECT_FALSE(messages.Remove(5));
    EXPECT_EQ(subjects(messages), QList<QByteArray> {"three"});
    EXPECT_TRUE(messages.Add(withSubject("one again"), "1")); // a removed key is free again

    messages.Clear();
    EXPECT_EQ(messages.Count(), 0);
    EXPECT_EQ(messages.Item("3"), nullptr);
}
