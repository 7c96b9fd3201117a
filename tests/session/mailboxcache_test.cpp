#include "engine/coremailboxfilter.h"
#include "engine/korvanecore.h"
#include "message/cmessages.h"
#include "session/mailboxcache.h"
#include "support/coretestbed.h"
#include "support/logentries.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <gtest/gtest.h>

namespace {

QByteArray mail(const QByteArray &sender, const QByteArray &subject, const QByteArray &body,
                const QByteArray &date = "Fri, 13 Mar 2026 10:00:00 +0000")
{
    return "Return-Path: <" + sender + ">\r\nFrom: <" + sender + ">\r\nSubject: " + subject
        + "\r\nDate: " + date + "\r\n\r\n" + body;
}

QByteArray multipart(const QByteArray &sender, const QByteArray &subject, const QByteArray &text)
{
    return "Return-Path: <" + sender + ">\r\nFrom: <" + sender + ">\r\nSubject: " + subject
        + "\r\nDate: Fri, 13 Mar 2026 10:00:00 +0000\r\nMIME-Version: 1.0\r\n"
          "Content-Type: multipart/mixed; boundary=\"b1\"\r\n\r\n--b1\r\n"
          "Content-Type: text/plain\r\n\r\n"
        + text
        + "\r\n--b1\r\nContent-Type: application/octet-stream; name=\"notes.txt\"\r\n"
          "Content-Transfer-Encoding: base64\r\n\r\naGVsbG8=\r\n--b1--\r\n";
}

// A mailbox on a server: the messages' ids and texts, in the server's order.
struct Mailbox
{
    QList<QByteArray> ids;
    QList<QByteArray> texts;
    QList<qint64> sizes; // as the server lists them
    void add(const QByteArray &id, const QByteArray &text, qint64 size = -2)
    {
        ids << id;
        texts << text;
        sizes << (size == -2 ? text.size() : size);
    }
};

// What a check decided and recorded, without the times and numbers of the records.
struct Outcome
{
    QList<bool> flags;
    QStringList history; // sender, subject, status, reason and the saved copy of each record
    int fetched = 0;
    friend bool operator==(const Outcome &, const Outcome &) = default;
};

// A core and its real filter, checked the way a session checks: the ids first, then the
// messages the cache does not hold, then the whole mailbox judged and recorded.
struct FilterBed : CoreTestbed
{
    explicit FilterBed(bool isCaching)
    {
        core->isCachingMessages = isCaching;
        core->settings.AskBeforeDel = false;
        core->settings.NotifyAfterDel = false;
        core->settings.DelOld = false;
        core->lists.BlockedList = {"*@spam.test"};
        core->lists.BlockedListLoaded = true;
        core->lists.BadWords = {{"casino", 300}};
        core->lists.BadWordsLoaded = true;
        account.ServerType = "POP3";
        account.AccountName = "Home";
        account.MailServer = "pop.example.org";
        account.UserName = "joe";
        account.Port = 110;
    }

    Outcome check(const Mailbox &box)
    {
        Outcome outcome;
        MailboxCache *cache = filter.openCache(account);
        const QList<bool> toFetch = cache
            ? cache->plan({CacheIdKind::Pop3Uidl, 0}, box.ids, box.sizes, true)
            : QList<bool>(box.ids.size(), true);
        CMessages messages;
        QList<int> indexAt;
        for (int i = 0; i < box.ids.size(); ++i) {
            CMessage message;
            if (toFetch.at(i)) {
                message.ParseMessage(box.texts.at(i));
                if (cache)
                    cache->fetched(i, box.texts.at(i), message);
                ++outcome.fetched;
            } else {
                message = cache->takeCached(i);
            }
            EXPECT_TRUE(messages.Add(std::move(message), QString::number(i + 1)));
            indexAt << i;
        }
        if (cache)
            cache->setMailbox(messages, indexAt);
        outcome.flags = filter.CheckAllMessages(messages);
        EXPECT_TRUE(filter.Add2Hist(messages, account.AccountName));
        // As at the end of every check.
        core->history.LoadHistory();
        for (int r = 1; r <= core->history.count(); ++r) {
            const HistoryRecord &record = core->history.at(r);
            QFile copy(core->history.mailPath(record.MailNumber));
            EXPECT_TRUE(copy.open(QIODevice::ReadOnly));
            outcome.history << QStringList {QString::fromLatin1(record.Sender),
                                            QString::fromLatin1(record.Subject),
                                            QString::fromLatin1(record.Status),
                                            QString::fromLatin1(record.Reason),
                                            QString::fromLatin1(copy.readAll())}
                                   .join(u'|');
        }
        return outcome;
    }

    // Every byte the account's cache keeps in its message files.
    QByteArray cachedBytes() const
    {
        QByteArray bytes;
        QDirIterator it(core->env.dataDir + QStringLiteral("/Cache"), {QStringLiteral("*.msg")},
                        QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            if (file.open(QIODevice::ReadOnly))
                bytes += file.readAll();
        }
        return bytes;
    }

    CoreMailboxFilter filter {*core};
    MailAccount account;
};

// The server deletes what the check marked.
void deleteMarked(Mailbox &box, const QList<bool> &flags)
{
    for (qsizetype i = box.ids.size(); i >= 1; --i) {
        if (flags.value(i)) {
            box.ids.removeAt(i - 1);
            box.texts.removeAt(i - 1);
            box.sizes.removeAt(i - 1);
        }
    }
}

} // namespace

// Step after step a check that fetches only new messages decides and records exactly what a
// check that fetches every message does: new mail, edited rules, the age rule's day, and a
// record the user deleted from the history.
TEST(MailboxCache, ChecksGiveTheResultsOfFullFetches)
{
    FilterBed cached(true);
    FilterBed full(false);
    Mailbox box;
    box.add("u1", mail("alice@example.org", "Lunch", "See you\r\nat noon today.\r\n"));
    box.add("u2", mail("promo@spam.test", "Offer", "Buy now.\r\n"));
    box.add("u3", multipart("bob@example.org", "Minutes", "The minutes of today."));
    box.add("u4", mail("news@shop.test", "Weekly", "Offers one.\r\n"));
    box.add("u5", mail("news@shop.test", "Weekly", "Offers two.\r\n"));
    box.add("u6",
            mail("carol@example.net", "Old news", "From long ago.\r\n",
                 "Mon, 12 Jan 2026 10:00:00 +0000"));

    // Each step deletes what the one before left, so each verdict counts.
    const auto step = [&](const char *name, int fetched, int deleted) {
        SCOPED_TRACE(name);
        const Outcome mine = cached.check(box);
        const Outcome reference = full.check(box);
        EXPECT_EQ(mine.flags, reference.flags);
        EXPECT_EQ(mine.history, reference.history);
        EXPECT_EQ(mine.fetched, fetched);
        EXPECT_EQ(reference.flags.count(true) - reference.flags.value(0), deleted);
        deleteMarked(box, reference.flags);
    };

    step("the first check fetches everything", 6, 2);
    // The plain body is kept once, in the history's saved copy; the multipart one whole.
    EXPECT_FALSE(cached.cachedBytes().contains("at noon"));
    EXPECT_TRUE(cached.cachedBytes().contains("The minutes of today."));

    box.add("u7", mail("dave@example.org", "Tonight", "Come to the casino tonight.\r\n"));
    box.add("u8", mail("news@shop.test", "Weekly", "Offers three.\r\n"));
    step("new mail: a spam word and a repeat of a cached message", 2, 2);

    for (FilterBed *bed : {&cached, &full})
        bed->core->lists.BadWords << SpamWord {"noon", 300};
    step("a spam word that a cached message holds", 0, 1);

    for (FilterBed *bed : {&cached, &full}) {
        bed->core->settings.DelOld = true;
        bed->clock.current = bed->clock.current.addDays(20);
    }
    step("the clock past the age limit", 0, 1);

    // The user deleted every record, copies and all: the next check records the mailbox anew,
    // with copies of the cached messages too. The plain message whose body was kept only in
    // its copy is fetched again.
    for (FilterBed *bed : {&cached, &full}) {
        ASSERT_TRUE(QDir(bed->core->env.dataDir + QStringLiteral("/Mails")).removeRecursively());
        QFile::remove(bed->core->history.path());
        bed->core->history.LoadHistory();
    }
    step("records deleted by the user", 1, 0);
}

// A verdict kept in the cache is not made again, but whatever it depends on that changes
// while the mail comes in still counts, as it would for a check that fetched everything.
TEST(MailboxCache, RulesEditedDuringACheckStillCount)
{
    FilterBed cached(true);
    Mailbox box;
    box.add("u1", mail("alice@example.org", "Lunch", "See you at noon today.\r\n"));
    cached.check(box);
    MailboxCache *cache = cached.filter.openCache(cached.account);
    ASSERT_EQ(cache->plan({CacheIdKind::Pop3Uidl, 0}, box.ids, box.sizes, true),
              QList<bool> {false});
    CMessages messages;
    ASSERT_TRUE(messages.Add(cache->takeCached(0), QStringLiteral("1")));
    cache->setMailbox(messages, {0});
    cached.core->lists.BadWords << SpamWord {"noon", 300};
    EXPECT_EQ(cached.filter.CheckAllMessages(messages), (QList<bool> {true, true}));
}

// An id the server gives two messages could hand one message's verdict to the other: both
// are fetched at every check, and the log says what came from where.
TEST(MailboxCache, AnIdGivenTwiceIsNeverTakenFromTheCache)
{
    FilterBed cached(true);
    FilterBed full(false);
    Mailbox box;
    box.add("same", mail("alice@example.org", "Lunch", "See you.\r\n"));
    box.add("same", mail("promo@spam.test", "Offer", "Buy now.\r\n"));
    box.add("u3", mail("bob@example.org", "Minutes", "Attached.\r\n"));
    for (int check = 1; check <= 2; ++check) {
        SCOPED_TRACE(check);
        const Outcome mine = cached.check(box);
        EXPECT_EQ(mine.fetched, check == 1 ? 3 : 2);
        EXPECT_EQ(mine.flags, full.check(box).flags);
    }
    EXPECT_EQ(
        logEntries(cached.core->log.path()).filter(QStringLiteral("cache")),
        (QStringList {"Home: 3 fetched, 0 from the cache.", "Home: 2 fetched, 1 from the cache."}));
}
