#include "classify/matching.h"
#include "store/maillists.h"

#include <gtest/gtest.h>

TEST(MatchAddressPattern, AppliesTheThreePatternForms)
{
    struct Case
    {
        const char *pattern;
        const char *address;
        std::optional<bool> expected;
    };
    const Case cases[] = {
        {"*@example.com", "joe@example.com", true},
        {"*@example.com", "joe@EXAMPLE.com", false}, // the domain keeps its case
        {"*@example.com", "joe@mail.example.com", false},
        {"*@example.com", "example.com", true}, // no "@": the whole address is the domain
        {"*", "joe@", true}, // the asterisk alone matches an empty domain only
        {"*", "joe@example.com", false},
        {"joe@*", "JOE@example.org", true},
        {"joe@*", "joey@example.org", false},
        {"joe*", "joe@example.org", std::nullopt}, // pattern without "@"
        {"joe@*", "joe", std::nullopt}, // address without "@"
        {"Joe@Example.com", "joe@example.COM", true},
        {"joe@example.com", "joe@example.co", false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " / " + c.address);
        EXPECT_EQ(MatchAddressPattern(c.pattern, c.address), c.expected);
    }
}

TEST(AddressLists, WalkStopsAtTheFirstMatchOrError)
{
    MailLists lists;
    EXPECT_FALSE(IsInFriendList(lists, "a@b"));
    EXPECT_FALSE(IsInBlockedList(lists, "a@b"));

    lists.FriendList = {"x@y", "*@b", "bad*", "late@b"};
    EXPECT_TRUE(IsInFriendList(lists, "a@b"));
    EXPECT_TRUE(IsInFriendList(lists, "X@Y"));
    // "bad*" cannot be applied, which ends the walk before "late@b" is reached.
    EXPECT_FALSE(IsInFriendList(lists, "late@c"));

    lists.BlockedList = {"spam@*"};
    EXPECT_FALSE(IsInBlockedList(lists, "spam@example.com")); // list not loaded
    lists.BlockedListLoaded = true;
    EXPECT_TRUE(IsInBlockedList(lists, "spam@example.com"));
    EXPECT_FALSE(IsInBlockedList(lists, "ham@example.com"));
    EXPECT_FALSE(IsInBlockedList(lists, "spam")); // no "@": an error, so false
}
