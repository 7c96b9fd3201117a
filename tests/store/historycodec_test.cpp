#include "store/historycodec.h"
#include "support/historysample.h"
#include "support/qtprinters.h"

#include <gtest/gtest.h>

namespace {

// The nine lines of historyRecord(subject, mailNumber) as the file holds them.
QByteArray fileLines(const QByteArray &subject, int mailNumber)
{
    return "Ann <ann@example.com>\r\n" + subject
        + "\r\nMon, 2 Mar 2026 10:00:00 +0000\r\n1234\r\n70044\r\n10152\r\n"
          "2026-03-14 09:05:07\r\nhome\r\n"
        + QByteArray::number(mailNumber) + "\r\n";
}

} // namespace

TEST(HistoryCodec, EncodesNineCrLfLinesPerRecordAndReadsThemBack)
{
    const QList<HistoryRecord> records
        = {historyRecord("Hello", 1), historyRecord("", 2), historyRecord("Third", -7)};
    const QByteArray file = fileLines("Hello", 1) + fileLines("", 2) + fileLines("Third", -7);

    EXPECT_EQ(encodeHistory(records), file);
    // Encoding is checked against the literal lines above, so reading them back into the same
    // bytes shows that every line lands in its own field.
    const DecodedHistory decoded = decodeHistory(file);
    EXPECT_TRUE(decoded.isComplete);
    ASSERT_EQ(decoded.records.size(), 3);
    EXPECT_EQ(encodeHistory(decoded.records), file);
    EXPECT_EQ(decoded.records[2].Subject, "Third");
    EXPECT_EQ(decoded.records[2].MailNumber, -7);
    EXPECT_EQ(encodeHistory({}), QByteArray());
}

TEST(HistoryCodec, LeavesOutRecordsMarkedDeleted)
{
    HistoryRecord deleted = historyRecord("Gone", 2);
    deleted.AccountName = HistoryRecord::deletedMark;
    const QList<HistoryRecord> records
        = {historyRecord("Kept", 1), deleted, historyRecord("Also kept", 3)};
    EXPECT_EQ(encodeHistory(records), fileLines("Kept", 1) + fileLines("Also kept", 3));
}

TEST(HistoryCodec, LineBreaksInsideATextBecomeBlanks)
{
    HistoryRecord broken = historyRecord("two\r\nlines\rand\nmore", 4);
    broken.Sender = "\nAnn";
    const QByteArray file = encodeHistory({broken});
    EXPECT_EQ(file.count('\n'), 9);
    const DecodedHistory decoded = decodeHistory(file);
    ASSERT_EQ(decoded.records.size(), 1);
    EXPECT_EQ(decoded.records[0].Subject, "two  lines and more");
    EXPECT_EQ(decoded.records[0].Sender, " Ann");

    // A CR that is not part of a line end stays in its line on reading and becomes a blank.
    QByteArray withCr = fileLines("Hello", 5);
    withCr.replace("Hello\r\n", "Hel\rlo\r\r\n");
    const DecodedHistory read = decodeHistory(withCr);
    ASSERT_EQ(read.records.size(), 1);
    EXPECT_EQ(read.records[0].Subject, "Hel lo ");
}

TEST(HistoryCodec, DecodesWhatItCanAndFlagsAFault)
{
    const QByteArray two = fileLines("One", 1) + fileLines("Two", 2);
    QByteArray notANumber = two + fileLines("Bad", 3);
    notANumber.replace("home\r\n3\r\n", "home\r\nthree\r\n");
    const struct
    {
        const char *name;
        QByteArray file;
        qsizetype records;
        bool isComplete;
    } cases[] = {
        {"empty file", "", 0, true},
        {"LF alone ends lines", QByteArray(two).replace("\r\n", "\n"), 2, true},
        {"last line without line end", two.chopped(2), 2, true},
        {"ends inside a record", two + "Ann\r\nHalf\r\n", 2, false},
        {"ninth line no number", notANumber, 2, false},
        {"fault in first record", notANumber.mid(two.size()) + two, 0, false},
        {"blank line between records", fileLines("One", 1) + "\r\n" + fileLines("Two", 2), 1,
         false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const DecodedHistory decoded = decodeHistory(c.file);
        EXPECT_EQ(decoded.records.size(), c.records);
        EXPECT_EQ(decoded.isComplete, c.isComplete);
        if (c.records > 0) {
            EXPECT_EQ(decoded.records[0].Subject, "One");
        }
    }
}
