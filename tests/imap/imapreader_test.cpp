#include "imap/imapreader.h"

#include <gtest/gtest.h>

namespace {

struct Framed
{
    QByteArray text;
    QList<QByteArray> literals;
    bool operator==(const Framed &) const = default;
};

void PrintTo(const Framed &f, std::ostream *os)
{
    *os << "text \"" << f.text.toStdString() << "\", " << f.literals.size() << " literal(s)";
    for (const QByteArray &l : f.literals)
        *os << " [" << l.toStdString() << "]";
}

QList<Framed> takeAll(ImapReader &reader)
{
    QList<Framed> out;
    while (std::optional<ImapResponse> r = reader.take()) {
        Framed f {r->text, {}};
        for (const ImapResponse::Literal &literal : r->literals)
            f.literals << literal.bytes;
        out << f;
    }
    return out;
}

// The responses framed from the input given whole, or one byte per arrival.
QList<Framed> frame(ImapReader &reader, const QByteArray &input, bool isBytewise)
{
    if (!isBytewise) {
        reader.append(input);
        return takeAll(reader);
    }
    QList<Framed> out;
    for (char byte : input) {
        reader.append(QByteArrayView(&byte, 1));
        out += takeAll(reader);
    }
    return out;
}

QList<Framed> frame(const QByteArray &input, bool isBytewise)
{
    ImapReader reader;
    return frame(reader, input, isBytewise);
}

} // namespace

TEST(ImapReader, FramesLinesAndLiteralsWhateverTheSplit)
{
    struct Case
    {
        const char *name;
        QByteArray input;
        QList<Framed> expected;
    };
    // Large enough for the reader to hand over its buffer instead of copying the literal.
    const QByteArray large = QByteArray("line\r\n").repeated(12000);
    const Case cases[] = {
        {"tagged and untagged lines",
         "* OK [CAPABILITY IMAP4rev1] ready\r\na001 OK Logged in\r\n",
         {{"* OK [CAPABILITY IMAP4rev1] ready\r\n", {}}, {"a001 OK Logged in\r\n", {}}}},
        {"a literal holding what looks like the end of the reply",
         "* 1 FETCH (FLAGS (\\Seen) BODY[] {28}\r\nHi\r\na654 OK completed\r\n ok\r\n)\r\n"
         "a654 OK Fetch completed (0.001 + 0.000 secs).\r\n",
         {{"* 1 FETCH (FLAGS (\\Seen) BODY[] {28})\r\n", {"Hi\r\na654 OK completed\r\n ok\r\n"}},
          {"a654 OK Fetch completed (0.001 + 0.000 secs).\r\n", {}}}},
        {"a literal ending in what looks like another literal",
         "* 2 FETCH (BODY[] {7}\r\nab{3}\r\n FLAGS ())\r\n",
         {{"* 2 FETCH (BODY[] {7} FLAGS ())\r\n", {"ab{3}\r\n"}}}},
        {"two literals, one empty, and LF alone",
         "* 3 FETCH (BODY[HEADER] {0}\n BODY[] {2}\nxy)\n",
         {{"* 3 FETCH (BODY[HEADER] {0} BODY[] {2})\n", {"", "xy"}}}},
        {"braces that are no literal",
         "* OK {x}\r\n* OK {12} inside\r\n* OK {}\r\n",
         {{"* OK {x}\r\n", {}}, {"* OK {12} inside\r\n", {}}, {"* OK {}\r\n", {}}}},
        {"a large literal with the next response in the same arrival",
         "* 5 FETCH (BODY[] {72000}\r\n" + large + ")\r\na654 OK done\r\n",
         {{"* 5 FETCH (BODY[] {72000})\r\n", {large}}, {"a654 OK done\r\n", {}}}},
        {"an unfinished line and an unfinished literal wait",
         "a1 OK done\r\n* 4 FETCH (BODY[] {9}\r\npart",
         {{"a1 OK done\r\n", {}}}},
    };
    for (const Case &c : cases) {
        for (bool isBytewise : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (isBytewise ? ", byte by byte" : ", whole"));
            EXPECT_EQ(frame(c.input, isBytewise), c.expected);
        }
    }
}

TEST(ImapReader, FindsTheLiteralOfAnItemByName)
{
    ImapReader reader;
    reader.append("* 7 FETCH (BODY[HEADER] {2}\r\nhh BODY[] {4}\r\nbody FLAGS (\\Seen))\r\n");
    const std::optional<ImapResponse> response = reader.take();
    ASSERT_TRUE(response);
    EXPECT_EQ(response->tag(), "*");
    EXPECT_EQ(response->status(), "7");
    EXPECT_EQ(response->word(2), "FETCH");
    EXPECT_EQ(response->literalAfter("body[]"), QByteArray("body"));
    EXPECT_EQ(response->literalAfter("BODY[HEADER]"), QByteArray("hh"));
    EXPECT_EQ(response->literalAfter("[]"), std::nullopt);
    EXPECT_EQ(response->literalAfter("BODY[TEXT]"), std::nullopt);
}

TEST(ImapReader, RefusesAnAbsurdLiteralSizeInsteadOfWaitingForIt)
{
    ImapReader reader;
    reader.append("a0 OK\r\n* 1 FETCH (BODY[] {99999999999}\r\nabc");
    EXPECT_TRUE(reader.take());
    EXPECT_FALSE(reader.take());
    EXPECT_TRUE(reader.hasFailed());
    reader.clear();
    reader.append("a0 OK\r\n");
    EXPECT_TRUE(reader.take());
}

TEST(ImapReader, ResponseBeyondTheLimitsFailsTheReader)
{
    // Response texts of up to 32 bytes with their line end, literals of up to 64 together.
    const FramingLimits limits {32, 64};
    const auto fetch = [](const QByteArray &literal) {
        return "* 1 FETCH (BODY[] {" + QByteArray::number(literal.size()) + "}\r\n" + literal
            + ")\r\n";
    };
    const auto fetched = [](const QByteArray &literal) {
        return Framed {"* 1 FETCH (BODY[] {" + QByteArray::number(literal.size()) + "})\r\n",
                       {literal}};
    };
    struct Case
    {
        const char *name;
        QByteArray input;
        FramingFailure failure;
        QList<Framed> expected; // between "a1 OK" and "a2 OK"
    };
    using enum FramingFailure;
    const Case cases[] = {
        {"line at the limit",
         "* OK [ALERT] 0123456789abcdefg\r\n",
         None,
         {{"* OK [ALERT] 0123456789abcdefg\r\n", {}}}},
        {"line one byte over", "* OK [ALERT] 0123456789abcdefgh\r\n", LineTooLong, {}},
        {"line that never ends", "* OK " + QByteArray(100, 'x'), LineTooLong, {}},
        {"short lines strung together by literals",
         "* 1 FETCH (A {0}\r\n B {0}\r\n C {0}\r\n D {0}\r\n)\r\n",
         LineTooLong,
         {}},
        {"a literal with a line longer than the line limit",
         fetch(QByteArray(40, 'y')),
         None,
         {fetched(QByteArray(40, 'y'))}},
        {"a literal at the text limit",
         fetch(QByteArray(64, 'y')),
         None,
         {fetched(QByteArray(64, 'y'))}},
        {"a literal one byte over", fetch(QByteArray(65, 'y')), LiteralTooLarge, {}},
        {"literals together over",
         "* 1 FETCH (A {40}\r\n" + QByteArray(40, 'y') + " B {25}\r\n" + QByteArray(25, 'z')
             + ")\r\n",
         TextTooLarge,
         {}},
    };
    for (const Case &c : cases) {
        for (bool isBytewise : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (isBytewise ? ", byte by byte" : ", whole"));
            ImapReader reader(limits);
            const QList<Framed> framed
                = frame(reader, "a1 OK done\r\n" + c.input + "a2 OK done\r\n", isBytewise);
            EXPECT_EQ(reader.failure(), c.failure);
            QList<Framed> expected {{"a1 OK done\r\n", {}}};
            expected += c.expected;
            if (c.failure == None)
                expected << Framed {"a2 OK done\r\n", {}};
            EXPECT_EQ(framed, expected);
        }
    }
}
