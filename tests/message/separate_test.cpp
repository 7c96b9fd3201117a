#include "message/separate.h"
#include "support/qtprinters.h"

#include <gtest/gtest.h>

TEST(Separate, SplitsAtEverySeparatorKeepingEmptyPieces)
{
    const struct
    {
        const char *name;
        QByteArray text;
        QByteArray separator;
        QList<QByteArray> expected;
    } cases[] = {
        {"IMAP reply", "* 3 EXISTS", " ", {"*", "3", "EXISTS"}},
        {"leading separator", " a", " ", {"", "a"}},
        {"doubled separator", "a  b", " ", {"a", "", "b"}},
        {"trailing separator", "a ", " ", {"a", ""}},
        {"no separator", "abc", " ", {"abc"}},
        {"empty text", "", " ", {""}},
        {"longer separator", "a--b---c", "--", {"a", "b", "-c"}},
        {"case-sensitive", "aXbxc", "x", {"aXb", "c"}},
        {"empty separator", "a b", "", {"a b"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Separate(c.text, c.separator), c.expected);
    }
}
