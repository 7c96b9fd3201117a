#include "store/verdict.h"
#include "support/qtprinters.h"
#include "support/verdictprinter.h"

#include <gtest/gtest.h>

namespace {

Verdict fullVerdict()
{
    Verdict v;
    v.status = MessageStatus::Deleted;
    v.reason = Reason::Repeated;
    v.address = "bounce@lists.example";
    v.listEntry = "*@friends.example";
    v.wordsScored = true;
    v.spamWords = {{"win", 40, 3}, {"buy now", -7, 1}, {"x=y", 0, 2}};
    v.wordTotal = 113.25f;
    v.threshold = 80.1f;
    v.attachmentName = "in voice.exe";
    v.watchedType = "EXE";
    v.sizeBytes = 5'368'709'120;
    v.sizeLimitKB = 4096;
    v.ageDays = -3;
    v.dayLimit = 30;
    v.repeatsMessage = 12;
    return v;
}

} // namespace

TEST(VerdictCodec, RoundTripsEveryField)
{
    Verdict kept;
    Verdict friendOnly;
    friendOnly.reason = Reason::FriendSender;
    friendOnly.listEntry = "ann@example.com";
    Verdict scoredNothing;
    scoredNothing.wordsScored = true;
    scoredNothing.threshold = 200;
    for (const Verdict &v : {fullVerdict(), kept, friendOnly, scoredNothing}) {
        const QByteArray bytes = encodeVerdict(v);
        SCOPED_TRACE(bytes.toStdString());
        EXPECT_TRUE(bytes.endsWith("\r\n"));
        EXPECT_EQ(decodeVerdict(bytes), v);
    }
    EXPECT_EQ(encodeVerdict(friendOnly),
              "status=70044\r\nreason=10160\r\nentry=ann@example.com\r\n");
}

TEST(VerdictCodec, LineBreaksInTextsStayOnTheirLine)
{
    Verdict v;
    v.listEntry = "a\r\nstatus=70043";
    const std::optional<Verdict> decoded = decodeVerdict(encodeVerdict(v));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->status, MessageStatus::Kept);
    EXPECT_EQ(decoded->listEntry, "a  status=70043");
}

TEST(VerdictCodec, DamagedInputGivesNothingOrWhatIsReadable)
{
    const QByteArray good = encodeVerdict(fullVerdict());
    struct Case
    {
        const char *name;
        QByteArray bytes;
        bool readable;
    };
    const Case cases[] = {
        {"empty", "", false},
        {"no reason", "status=70043\r\n", false},
        {"unknown status", "status=12345\r\nreason=10152\r\n", false},
        {"status without value", "status=\r\nreason=10152\r\n", false},
        {"line without equals", "status=70043\r\nreason=10152\r\ngarbage\r\n", false},
        {"empty key", "status=70043\r\nreason=10152\r\n=5\r\n", false},
        {"size not a number", "status=70043\r\nreason=10156\r\nsize=5x\r\n", false},
        {"int out of range", "status=70043\r\nreason=10159\r\nage=99999999999\r\n", false},
        {"word without count", "status=70043\r\nreason=10154\r\nword=40 win\r\n", false},
        {"weight beyond 16 bits", "status=70043\r\nreason=10154\r\nword=40000 1 win\r\n", false},
        {"total not a number", "status=70043\r\nreason=10154\r\ntotal=lots\r\n", false},
        {"binary", QByteArray("\0\xff\r\n=\n\r", 7), false},
        {"cut inside the last line", good.left(good.indexOf("threshold=") + 12), true},
        {"LF line ends and blank lines", "status=70043\n\nreason=10152\n", true},
        {"unknown key from a later version", "status=70044\r\nreason=10152\r\ncolour=red\r\n",
         true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(decodeVerdict(c.bytes).has_value(), c.readable);
    }
}
