#include "store/numbers.h"
#include "store/separator.h"
#include "support/qtprinters.h"

#include <gtest/gtest.h>

TEST(GetAfterSeperator, CutsFieldsAndSaysNotFound)
{
    struct Case
    {
        QByteArray text;
        int index;
        QByteArray expected;
    };
    const Case cases[] = {
        {"+OK 5 1234", 0, "+OK"},       {"+OK 5 1234", 1, "5"},   {"+OK 5 1234", 2, "1234"},
        {"+OK 5 1234", 3, "NOT FOUND"}, {"+OK", 0, "+OK"},        {"+OK", 1, "+OK"},
        {"", 1, "NOT FOUND"},           {"a b ", 2, "NOT FOUND"}, {"a  b", 2, "b"},
        {"abc", 2, "NOT FOUND"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE((c.text + " #" + QByteArray::number(c.index)).constData());
        EXPECT_EQ(Get_After_Seperator(c.text, c.index, ' '), c.expected);
    }
}

TEST(Numbers, SixteenBitConversionRoundsHalfToEven)
{
    EXPECT_EQ(toInt16(" 42 "), 42);
    EXPECT_EQ(toInt16("2.5"), 2);
    EXPECT_EQ(toInt16("3.5"), 4);
    EXPECT_EQ(toInt16("-0.5"), 0);
    EXPECT_EQ(toInt16("32767"), 32767);
    EXPECT_EQ(toInt16("32767.6"), std::nullopt);
    EXPECT_EQ(toInt16("1x"), std::nullopt);
    EXPECT_EQ(toInt16("nan"), std::nullopt);
    EXPECT_EQ(toWholeNumber("10", 0, 32767), 10);
    EXPECT_EQ(toWholeNumber("10.5", 0, 32767), std::nullopt);
    EXPECT_EQ(toWholeNumber("-1", 0, 32767), std::nullopt);
    EXPECT_EQ(toWholeNumber("40000", 0, 32767), std::nullopt);
}
