#include "classify/classifier.h"
#include "classify/whytext.h"
#include "message/cmessages.h"
#include "store/maillists.h"
#include "support/qtprinters.h"
#include "support/servicesbed.h"
#include "support/verdictprinter.h"

#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

constexpr int veryLow = 5;

struct VerdictBed : ServicesBed
{
    VerdictBed()
    {
        clock.current = QDateTime(QDate(2026, 3, 14), QTime(12, 0), QTimeZone::utc());
        lists.FriendList = {"friend@example.com", "*@friends.example"};
        lists.FriendListLoaded = true;
        lists.BlockedList = {"*@lottery.example"};
        lists.BlockedListLoaded = true;
        lists.BadWords = {SpamWord {"win", 40}, SpamWord {"free", 10}, SpamWord {"pills", 5}};
        lists.BadWordsLoaded = true;
        settings.SecurityLevel = 3;
        settings.EffectiveThreshold = 80.0f;
        settings.CheckLargerThan = true;
        settings.MaxSizeKB = 4096;
        settings.DelOld = true;
        settings.Days = 30;
        settings.DeleteRepeated = true;
    }
    MailLists lists;
    Classifier classifier {settings, lists, services, clock};
};

CMessage plain(const QByteArray &sender, const QByteArray &subject = "Lunch on Friday")
{
    CMessage m;
    m.ReturnPath = sender;
    m.from = sender;
    m.Subject = subject;
    m.MessageBody = "See you there.";
    m.SendDate = "Fri, 13 Mar 2026 10:00:00 +0000";
    m.SIZE = 2000;
    return m;
}

CMessage withBody(CMessage m, const QByteArray &subject, const QByteArray &body)
{
    m.Subject = subject;
    m.MessageBody = body;
    return m;
}

CMessage withAttachment(CMessage m, const QByteArray &name)
{
    m.Attachment = {QByteArray(), "notes.txt", name};
    m.AttachmentBodies = {QByteArray(), "x", "y"};
    return m;
}

CMessage withSize(CMessage m, qint32 size)
{
    m.SIZE = size;
    return m;
}

// 42 days before the bed's clock.
CMessage aged(CMessage m)
{
    m.SendDate = "Sat, 31 Jan 2026 10:00:00 +0000";
    return m;
}

// "you win big" and "claim your free gift and win a free car": win 2 x 1 + 1, free 2.
CMessage spam(const QByteArray &sender)
{
    return withBody(plain(sender), "you win big", "claim your free gift and win a free car");
}

struct Evidence
{
    Verdict v;
    Evidence &deleted(Reason reason)
    {
        v.status = MessageStatus::Deleted;
        v.reason = reason;
        return *this;
    }
    Evidence &friendOf(const QByteArray &entry)
    {
        v.reason = Reason::FriendSender;
        v.listEntry = entry;
        return *this;
    }
    Evidence &words(QList<SpamWordHit> hits, float total)
    {
        v.wordsScored = true;
        v.spamWords = std::move(hits);
        v.wordTotal = total;
        v.threshold = 80.0f;
        return *this;
    }
    Evidence &age(int days)
    {
        v.ageDays = days;
        v.dayLimit = 30;
        return *this;
    }
};

} // namespace

TEST(Verdicts, EveryRuleGivesItsReasonAndEvidence)
{
    const QByteArray stranger = "stranger@example.net";
    const QByteArray friendly = "ann@friends.example";
    const auto blocked = [] {
        Evidence e;
        e.deleted(Reason::BlockedSender).v.listEntry = "*@lottery.example";
        return e.v;
    }();
    const auto attachment = [] {
        Evidence e;
        e.deleted(Reason::BlockedAttachment).v.attachmentName = "invoice.exe";
        e.v.watchedType = "EXE";
        return e.v;
    }();
    const auto large = [] {
        Evidence e;
        e.deleted(Reason::TooLarge).v.sizeBytes = 4096 * 1024 + 1;
        e.v.sizeLimitKB = 4096;
        return e.v;
    }();
    const auto repeated = [] {
        Evidence e;
        e.deleted(Reason::Repeated).age(42).v.repeatsMessage = 1;
        return e.v;
    }();
    const QList<SpamWordHit> spamHits = {{"win", 40, 3}, {"free", 10, 2}};

    struct Case
    {
        const char *name;
        QList<CMessage> mailbox;
        int level;
        float threshold;
        int index; // the message whose verdict is checked, from 1
        Verdict expected;
    };
    const Case cases[] = {
        {"blocked pattern", {plain("bob@lottery.example")}, 3, 80, 1, blocked},
        {"friend pattern", {plain(friendly)}, 3, 80, 1, Evidence().friendOf("*@friends.example").v},
        {"friend entry stays when a later rule fires",
         {aged(plain("Friend@Example.com"))},
         3,
         80,
         1,
         Evidence().friendOf("friend@example.com").deleted(Reason::TooOld).age(42).v},
        {"watched attachment",
         {withAttachment(plain(stranger), "invoice.exe")},
         3,
         80,
         1,
         attachment},
        {"one byte over the size limit",
         {withSize(plain(stranger), 4096 * 1024 + 1)},
         3,
         80,
         1,
         large},
        {"too old",
         {aged(plain(stranger))},
         3,
         80,
         1,
         Evidence().deleted(Reason::TooOld).age(42).v},
        {"spam words over the threshold",
         {spam(stranger)},
         3,
         80,
         1,
         Evidence().deleted(Reason::SpamWords).words(spamHits, 140).v},
        {"spam words below the threshold",
         {withBody(plain(stranger), "hello", "a free gift")},
         3,
         80,
         1,
         Evidence().words({{"free", 10, 1}}, 10).v},
        {"no rule", {plain(stranger)}, 3, 80, 1, Evidence().words({}, 0).v},
        {"friends skip the words",
         {spam(friendly)},
         3,
         80,
         1,
         Evidence().friendOf("*@friends.example").v},
        {"threshold zero skips the words", {spam(stranger)}, 3, 0, 1, Verdict()},
        {"very low skips words, attachments and repeats",
         {spam(stranger), withAttachment(spam(stranger), "invoice.exe")},
         veryLow,
         80,
         2,
         Verdict()},
        {"repeat names the first of its group and keeps earlier evidence",
         {plain(stranger), plain(stranger, "Other"), aged(plain(stranger)), plain(stranger)},
         3,
         80,
         3,
         repeated},
        {"later repeat names the first too",
         {plain(stranger), plain(stranger, "Other"), plain(stranger), plain(stranger)},
         3,
         80,
         4,
         [] {
             Evidence e;
             e.words({}, 0).deleted(Reason::Repeated).v.repeatsMessage = 1;
             return e.v;
         }()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        VerdictBed bed;
        bed.settings.SecurityLevel = c.level;
        bed.settings.EffectiveThreshold = c.threshold;
        CMessages messages;
        for (const CMessage &m : c.mailbox)
            ASSERT_TRUE(messages.Add(m));

        const QList<Verdict> verdicts = bed.classifier.judgeAll(messages);
        ASSERT_EQ(verdicts.size(), c.mailbox.size());
        // Every verdict names the address the lists were compared with.
        Verdict expected = c.expected;
        expected.address = c.mailbox.at(c.index - 1).ReturnPath;
        EXPECT_EQ(verdicts.at(c.index - 1), expected);

        // CheckAllMessages writes exactly these decisions into the messages.
        const DeleteFlags flags = bed.classifier.CheckAllMessages(messages);
        const CMessage *judged = messages.Item(c.index);
        EXPECT_EQ(judged->Status, keyOf(c.expected.status));
        EXPECT_EQ(judged->Reason, keyOf(c.expected.reason));
        EXPECT_EQ(flags.at(c.index), c.expected.isToDelete());
    }
}

TEST(Verdicts, WhyTextNamesTheEvidence)
{
    struct Case
    {
        Verdict verdict;
        QString expected;
    };
    const auto make = [](Reason reason, auto fill) {
        Verdict v;
        v.reason = reason;
        fill(v);
        return v;
    };
    const Case cases[] = {
        {make(Reason::BlockedSender, [](Verdict &v) { v.listEntry = "*@lottery.example"; }),
         QStringLiteral("Blocked sender: *@lottery.example")},
        {make(Reason::FriendSender, [](Verdict &v) { v.listEntry = "ann@example.com"; }),
         QStringLiteral("Friend: ann@example.com")},
        {make(Reason::SpamWords,
              [](Verdict &v) {
                  v.spamWords = {{"win", 40, 2}, {"free", 10, 1}};
                  v.wordTotal = 90;
                  v.threshold = 80.5f;
              }),
         QStringLiteral(u"Spam words: win (40) x2, free (10) x1 \u2014 total 90, threshold 80.5")},
        {make(Reason::BlockedAttachment,
              [](Verdict &v) {
                  v.attachmentName = "invoice.exe";
                  v.watchedType = "EXE";
              }),
         QStringLiteral("Attachment invoice.exe is a watched type (EXE)")},
        // A fraction of a KB over the limit must not read as the limit itself.
        {make(Reason::TooLarge,
              [](Verdict &v) {
                  v.sizeBytes = 4096 * 1024 + 1;
                  v.sizeLimitKB = 4096;
              }),
         QStringLiteral("Size 4,097 KB is over the limit of 4,096 KB")},
        {make(Reason::TooOld,
              [](Verdict &v) {
                  v.ageDays = 1042;
                  v.dayLimit = 30;
              }),
         QStringLiteral("1,042 days old, over the limit of 30 days")},
        {make(Reason::Repeated, [](Verdict &v) { v.repeatsMessage = 3; }),
         QStringLiteral("Repeats message 3 (same sender and subject)")},
        {make(Reason::NoRule, [](Verdict &) {}), QStringLiteral("No rule matched")},
    };
    ServicesBed bed;
    for (const Case &c : cases) {
        SCOPED_TRACE(keyText(c.verdict.reason));
        EXPECT_EQ(whyText(c.verdict, bed.services), c.expected);
    }
}
