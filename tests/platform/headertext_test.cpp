#include "platform/headertext.h"

#include <gtest/gtest.h>

TEST(DecodedHeaderText, DecodesEncodedWordsAndLeavesBrokenOnesAsTheyAre)
{
    const struct
    {
        const char *name;
        QByteArray raw;
        QString shown;
    } cases[] = {
        {"plain text", "Ann <ann@example.com>", "Ann <ann@example.com>"},
        {"B in UTF-8", "=?UTF-8?B?R3LDvMOfZQ==?=", "Gr\u00fc\u00dfe"},
        {"B without its padding", "=?utf-8?b?R3LDvMOfZQ?=", "Gr\u00fc\u00dfe"},
        {"Q in Latin-1, underscores are blanks",
         "=?ISO-8859-1?Q?Caf=E9_cr=E8me?=", "Caf\u00e9 cr\u00e8me"},
        {"Q with lower-case letters", "=?iso-8859-1?q?caf=e9?=", "caf\u00e9"},
        {"a Cyrillic charset",
         "=?windows-1251?B?z/Do4uXy?=", "\u041f\u0440\u0438\u0432\u0435\u0442"},
        {"a language suffix on the charset", "=?UTF-8*en?Q?Hi?=", "Hi"},
        {"text around a word keeps its blanks", "Re: =?UTF-8?Q?Gr=C3=BC=C3=9Fe?= from Ann",
         "Re: Gr\u00fc\u00dfe from Ann"},
        {"the name of a sender", "=?UTF-8?B?QW5u?= <ann@example.com>", "Ann <ann@example.com>"},
        {"adjacent words are joined without the blanks",
         "=?UTF-8?Q?Hel?=  \t =?UTF-8?Q?lo?=", "Hello"},
        {"adjacent words of two charsets",
         "=?ISO-8859-1?Q?Caf=E9?= =?UTF-8?Q?_cr=C3=A8me?=", "Caf\u00e9 cr\u00e8me"},
        {"a character cut between two words", "=?UTF-8?B?4oI=?= =?UTF-8?B?rA==?=", "\u20ac"},
        {"an unknown charset reads as shown text", "=?x-unknown?Q?Hi_there?=", "Hi there"},
        {"bad base64", "=?UTF-8?B?not*base64?=", "=?UTF-8?B?not*base64?="},
        {"no closing", "Re: =?UTF-8?Q?open", "Re: =?UTF-8?Q?open"},
        {"an unknown encoding", "=?UTF-8?X?abc?=", "=?UTF-8?X?abc?="},
        {"a blank inside the word", "=?UTF-8?Q?a b?=", "=?UTF-8?Q?a b?="},
        {"a bad escape", "=?UTF-8?Q?100=?=", "=?UTF-8?Q?100=?="},
        {"a broken word keeps the blank to the next one",
         "=?UTF-8?B?!!!?= =?UTF-8?Q?ok?=", "=?UTF-8?B?!!!?= ok"},
        {"8-bit UTF-8", "Gr\xc3\xbc\xc3\x9f", "Gr\u00fc\u00df"},
        {"8-bit that is no UTF-8 reads as Latin-1", "Caf\xe9", "Caf\u00e9"},
        {"line breaks in a word stay on one line", "=?UTF-8?Q?a=0D=0Ab?=", "a  b"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(decodedHeaderText(c.raw), c.shown);
    }
}

TEST(DecodedHeaderText, ReadsEightBitTextInTheMessageCharsetWhenKnown)
{
    EXPECT_EQ(decodedHeaderText("\xcf\xf0\xe8 =?UTF-8?Q?x?=", "windows-1251"),
              "\u041f\u0440\u0438 x");
    EXPECT_EQ(decodedHeaderText("Caf\xe9", "no-such-charset"), "Caf\u00e9");
    EXPECT_EQ(decodedHeaderText("Caf\xe9", "UTF-8"), "Caf\u00e9");
}
