#include "message/base64.h"

#include <gtest/gtest.h>

TEST(Base64, EncodesAndDecodesKnownTexts)
{
    struct Case
    {
        QByteArray plain;
        QByteArray encoded;
    };
    const Case cases[]
        = {{"", ""},        {"a", "YQ=="},        {"ab", "YWI="},
           {"abc", "YWJj"}, {"abcd", "YWJjZA=="}, {QByteArray("\x00\xff\x80", 3), "AP+A"}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.encoded.constData());
        EXPECT_EQ(Base64Encode(c.plain), c.encoded);
        EXPECT_EQ(Base64Decode(c.encoded), c.plain);
    }
}

TEST(Base64, DecodeCountsCharactersOutsideTheAlphabetAsZero)
{
    // A line break is not skipped: CR and LF decode as value 0 and shift the later bytes.
    EXPECT_EQ(Base64Decode("YW\r\nJj"), Base64Decode("YWAAJj"));
    EXPECT_EQ(Base64Decode("YW\r\nJj").size(), 4);
    // Only two trailing pad characters are dropped.
    EXPECT_EQ(Base64Decode("YQ==="), Base64Decode("YQA"));
}
