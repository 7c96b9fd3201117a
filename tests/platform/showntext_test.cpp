#include "platform/showntext.h"

#include <gtest/gtest.h>

TEST(ShownServerText, EscapesControlCharactersButKeepsTabsAndLineBreaks)
{
    const struct
    {
        const char *name;
        QByteArray bytes;
        QString shown;
    } cases[] = {
        {"a normal reply stays byte for byte", "-ERR [AUTH] Authentication failed.\r\n",
         "-ERR [AUTH] Authentication failed.\r\n"},
        {"tab and the lines of a longer text", "a NO\tbusy\r\nsecond\nthird",
         "a NO\tbusy\r\nsecond\nthird"},
        {"bell, escape and delete", "-ERR \a\x1b[2J\x7f!\r\n", "-ERR \\x07\\x1B[2J\\x7F!\r\n"},
        {"a lone CR would overwrite the line", "-ERR fine\rforged\r\n", "-ERR fine\\x0Dforged\r\n"},
        {"NUL and a final lone CR", QByteArray("a\0b\r", 4), "a\\x00b\\x0D"},
        {"UTF-8 as shownText decodes it", "caf\xc3\xa9\a", "caf\u00e9\\x07"},
        {"Latin-1 as shownText decodes it", "caf\xe9\a", "caf\u00e9\\x07"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(shownServerText(c.bytes), c.shown);
    }
}
