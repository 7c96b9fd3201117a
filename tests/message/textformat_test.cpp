#include "message/textformat.h"
#include "support/qtprinters.h"

#include <gtest/gtest.h>

TEST(NormalizeServerName, KeepsTheBareHostName)
{
    const std::pair<const char *, const char *> cases[] = {
        {"pop.example.com", "pop.example.com"},
        {"mail.www.example.com", "mail.www.example.com"},
        {"http://www.example.com", "example.com"},
        {"WWW.example.com", "example.com"},
        {"imap://mail.example.com", "mail.example.com"},
        {"res://x.dll/http://www.example.com", "example.com"},
        {"C:\\files\\http://mail.example.com", "mail.example.com"},
        {"res://x/HTTP://host", "x/HTTP://host"}, // the search for http:// keeps case,
    };
    for (const auto &[input, expected] : cases) {
        SCOPED_TRACE(input);
        EXPECT_EQ(NormalizeServerName(QString::fromLatin1(input)), QString::fromLatin1(expected));
    }
}

TEST(IsValidEmail, NeedsOneCharacterOnEachSideOfTheFirstAt)
{
    EXPECT_TRUE(IsValidEmail(u"a@b"));
    EXPECT_TRUE(IsValidEmail(u"a@@"));
    EXPECT_FALSE(IsValidEmail(u"@b"));
    EXPECT_FALSE(IsValidEmail(u"a@"));
    EXPECT_FALSE(IsValidEmail(u"ab"));
    EXPECT_FALSE(IsValidEmail(u""));
}

TEST(FormatSize, UsesOneDecimalRoundedHalfToEven)
{
    const std::pair<float, const char *> cases[] = {
        {0, "0 Bytes"},          {1023, "1023 Bytes"},
        {1024, "1 KB"},          {1280, "1.2 KB"}, // 1.25 rounds to even
        {1331.2f, "1.3 KB"},     {1536, "1.5 KB"},
        {2048, "2 KB"},          {1048575, "1024 KB"},
        {1048576, "1 MB"},       {3.5f * 1048576, "3.5 MB"},
        {1073741824.0f, "1 GB"}, {1099511627776.0f / 2, "512 GB"},
        {1099511627776.0f, ""},
    };
    for (const auto &[size, expected] : cases) {
        SCOPED_TRACE(size);
        EXPECT_EQ(FormatSize(size), QString::fromLatin1(expected));
    }
}
