#include "classify/spamwords.h"
#include "store/maillists.h"

#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace {

MailLists wordList(const QList<SpamWord> &words)
{
    MailLists lists;
    lists.BadWords = words;
    lists.BadWordsLoaded = true;
    return lists;
}

// The score as CountWordHits defines it, one word and one search at a time.
float referenceScore(const MailLists &lists, const QByteArray &subject, const QByteArray &body)
{
    float score = 0;
    for (const SpamWord &w : lists.BadWords) {
        const QByteArray key = ' ' + w.Word.toLower() + ' ';
        if (const auto hits = CountWordHits(subject.toLower(), key, w.Value))
            score += 2 * *hits;
        if (const auto hits = CountWordHits(body.toLower(), key, w.Value))
            score += *hits;
    }
    return score;
}

} // namespace

TEST(CountWordHits, ResumesTwoBytesAfterEachOccurrence)
{
    struct Case
    {
        const char *name;
        QByteArray text;
        QByteArray key;
        qint16 weight;
        std::optional<float> expected;
    };
    const Case cases[] = {
        {"none", "buy now", " pills ", 10, 0.0f},
        {"one", "buy pills now", " pills ", 10, 10.0f},
        {"shared blank", " a a a ", " a ", 1, 3.0f},
        {"overlap one byte later is skipped", "    ", "  ", 1, 2.0f},
        {"negative weight", " x  x ", " x ", -3, -6.0f},
        {"product overflows", " x  x ", " x ", 20000, std::nullopt},
        {"product at the limit", " x ", " x ", 32767, 32767.0f},
        {"count overflows", QByteArray(" x").repeated(32768) + ' ', " x ", 1, std::nullopt},
        {"count at the limit", QByteArray(" x").repeated(32767) + ' ', " x ", 1, 32767.0f},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(CountWordHits(c.text, c.key, c.weight), c.expected);
    }
}

TEST(IsSpamByWords, CountsOnlyBlankDelimitedWordsSubjectTwice)
{
    const MailLists lists = wordList({{"Pills", 10}});
    const SpamWordScanner scanner(lists);
    struct Case
    {
        const char *name;
        QByteArray subject;
        QByteArray body;
        float score;
    };
    const Case cases[] = {
        {"subject counts double", "cheap pills now", "", 20},
        {"body counts once", "", "cheap pills now", 10},
        {"upper case text", "cheap PILLS now", "", 20},
        {"at the start of the subject", "pills now", "", 0},
        {"next to punctuation", "cheap pills, now", "", 0},
        {"next to a line break marker", "", "cheap pills<BR>now", 0},
        {"both", "a pills b", "a pills pills b", 40},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(scanner.score(c.subject, c.body), c.score);
        EXPECT_TRUE(IsSpamByWords(scanner, c.subject, c.body, c.score)); // equal is spam
        EXPECT_FALSE(IsSpamByWords(scanner, c.subject, c.body, c.score + 1));
        EXPECT_EQ(IsSpamByWords(lists, c.subject, c.body, c.score + 1), false);
    }
    MailLists notLoaded = lists;
    notLoaded.BadWordsLoaded = false;
    EXPECT_FALSE(IsSpamByWords(notLoaded, "", "", 0));
    EXPECT_FALSE(IsSpamByWords(SpamWordScanner(notLoaded), "", "", 0));
}

TEST(IsSpamByWords, OverflowSkipsOnlyThatWordAndText)
{
    const MailLists lists = wordList({{"big", 20000}, {"small", 1}, {"big", 1}});
    const SpamWordScanner scanner(lists);
    // "big" twice overflows at weight 20000 but still counts at weight 1 (a second entry).
    EXPECT_EQ(scanner.score(" big big small ", " big "), 2 * (2 + 1) + 20000 + 1);
}

TEST(IsSpamByWords, ScannerMatchesWordByWordCounting)
{
    // Random texts over a tiny alphabet produce many overlapping and repeated keys,
    // including words with blanks, empty words and words that are prefixes of others.
    QRandomGenerator random(20080101);
    const QByteArray alphabet = "  abAB.";
    auto randomText = [&](int length) {
        QByteArray text;
        for (int i = 0; i < length; ++i)
            text += alphabet[random.bounded(int(alphabet.size()))];
        return text;
    };
    for (int round = 0; round < 300; ++round) {
        QList<SpamWord> words;
        const int count = random.bounded(1, 8);
        for (int i = 0; i < count; ++i)
            words.append({randomText(random.bounded(0, 4)), qint16(random.bounded(-5, 2000))});
        const MailLists lists = wordList(words);
        const QByteArray subject = randomText(random.bounded(0, 30));
        const QByteArray body = randomText(random.bounded(0, 300));
        SCOPED_TRACE(round);
        EXPECT_EQ(SpamWordScanner(lists).score(subject, body),
                  referenceScore(lists, subject, body));
    }
}
