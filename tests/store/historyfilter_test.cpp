#include "store/historyfilter.h"
#include "store/verdictkeys.h"
#include "support/servicesbed.h"

#include <gtest/gtest.h>

namespace {

const QDate today(2026, 3, 14);

HistoryRecord record(const QByteArray &checkedAt, const QByteArray &sender = "ann@example.com",
                     const QByteArray &status = keyOf(MessageStatus::Kept),
                     const QByteArray &account = "home")
{
    HistoryRecord r;
    r.Sender = sender;
    r.Subject = "Hello";
    r.Status = status;
    r.CheckedAt = checkedAt;
    r.AccountName = account;
    return r;
}

HistoryFilter period(HistoryFilter::Period kind, QDate from = today, QDate to = today)
{
    HistoryFilter f;
    f.period = kind;
    f.today = today;
    f.from = from;
    f.to = to;
    return f;
}

// Friends are @friends.example, blocked senders @spam.example.
const SenderLists lists {
    [](const QByteArray &sender) { return sender.endsWith("@friends.example"); },
    [](const QByteArray &sender) { return sender.endsWith("@spam.example"); },
};

struct Case
{
    const char *name;
    HistoryRecord record;
    HistoryFilter filter;
    bool shown;
};

void expectCases(const ServicesBed &bed, std::initializer_list<Case> cases)
{
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(matchesFilter(c.record, c.filter, bed.services, lists), c.shown);
    }
}

} // namespace

TEST(HistoryFilter, PeriodComparesTheCheckDay)
{
    using P = HistoryFilter::Period;
    ServicesBed bed;
    const QDate from(2026, 3, 1);
    const QDate to(2026, 3, 10);
    expectCases(
        bed,
        {
            {"any period", record("2020-01-01 00:00:00"), period(P::Any), true},
            {"today, checked today", record("2026-03-14 23:59:59"), period(P::Today), true},
            {"today, checked yesterday", record("2026-03-13 12:00:00"), period(P::Today), false},
            {"range, first day", record("2026-03-01 00:00:00"), period(P::Range, from, to), true},
            {"range, last day", record("2026-03-10 23:59:59"), period(P::Range, from, to), true},
            {"range, day before", record("2026-02-28 23:59:59"), period(P::Range, from, to), false},
            {"range, day after", record("2026-03-11 00:00:00"), period(P::Range, from, to), false},
            {"range, date only", record("2026-03-05"), period(P::Range, from, to), true},
            {"unreadable date, today", record("14.03.2026 10:00:00"), period(P::Today), true},
            {"unreadable date, range", record(""), period(P::Range, from, to), true},
        });
}

TEST(HistoryFilter, AccountComparesTheShownName)
{
    ServicesBed bed;
    HistoryFilter work;
    work.account = QStringLiteral("Work");
    HistoryFilter unnamed;
    unnamed.account = QString();
    expectCases(
        bed,
        {
            {"same name", record("", "a@b", keyOf(MessageStatus::Kept), "Work"), work, true},
            {"other name", record("", "a@b", keyOf(MessageStatus::Kept), "home"), work, false},
            {"case matters", record("", "a@b", keyOf(MessageStatus::Kept), "work"), work, false},
            {"empty name asked", record("", "a@b", keyOf(MessageStatus::Kept), ""), unnamed, true},
            {"no account asked", record("", "a@b", keyOf(MessageStatus::Kept), "home"),
             HistoryFilter(), true},
        });
}

TEST(HistoryFilter, StatusComparesTheShownCaption)
{
    ServicesBed bed;
    bed.dir.write(QStringLiteral("Lang/Test.ini"), "[Korvane]\r\n70043=Deleted\r\n70044=Exist\r\n");
    bed.lang.LanguageFile = QStringLiteral("Test.ini");
    HistoryFilter deleted;
    deleted.status = QStringLiteral("Deleted");
    HistoryFilter unknown;
    unknown.status = QStringLiteral("??ERROR??");
    // The pack has no caption for this status; the viewer offers its English text.
    HistoryFilter awaiting;
    awaiting.status = QStringLiteral("Awaiting review");
    expectCases(
        bed,
        {
            {"deleted asked, deleted", record("", "a@b", keyOf(MessageStatus::Deleted)), deleted,
             true},
            {"deleted asked, kept", record("", "a@b", keyOf(MessageStatus::Kept)), deleted, false},
            {"caption of an unknown key", record("", "a@b", "12345"), unknown, true},
            {"awaiting asked, awaiting", record("", "a@b", keyOf(MessageStatus::AwaitingReview)),
             awaiting, true},
            {"awaiting asked, deleted", record("", "a@b", keyOf(MessageStatus::Deleted)), awaiting,
             false},
            {"unknown asked, awaiting", record("", "a@b", keyOf(MessageStatus::AwaitingReview)),
             unknown, false},
            {"no status asked", record("", "a@b", keyOf(MessageStatus::Deleted)), HistoryFilter(),
             true},
        });
}

TEST(HistoryFilter, SenderClassUsesTheListsAsTheyAreNow)
{
    using S = HistoryFilter::Senders;
    ServicesBed bed;
    const auto senders = [](S kind) {
        HistoryFilter f;
        f.senders = kind;
        return f;
    };
    const QByteArray friendly = "ann@friends.example";
    const QByteArray blocked = "bob@spam.example";
    const QByteArray other = "cy@example.com";
    expectCases(bed,
                {
                    {"all, friend", record("", friendly), senders(S::All), true},
                    {"all, blocked", record("", blocked), senders(S::All), true},
                    {"friends, friend", record("", friendly), senders(S::Friends), true},
                    {"friends, other", record("", other), senders(S::Friends), false},
                    {"blocked, blocked", record("", blocked), senders(S::Blocked), true},
                    {"blocked, friend", record("", friendly), senders(S::Blocked), false},
                    {"others, other", record("", other), senders(S::Others), true},
                    {"others, friend", record("", friendly), senders(S::Others), false},
                    {"others, blocked", record("", blocked), senders(S::Others), false},
                });
}

TEST(HistoryFilter, EveryPartMustPass)
{
    ServicesBed bed;
    bed.dir.write(QStringLiteral("Lang/Test.ini"), "[Korvane]\r\n70043=Deleted\r\n70044=Exist\r\n");
    bed.lang.LanguageFile = QStringLiteral("Test.ini");
    HistoryFilter all = period(HistoryFilter::Period::Today);
    all.account = QStringLiteral("Work");
    all.status = QStringLiteral("Deleted");
    all.senders = HistoryFilter::Senders::Blocked;
    const HistoryRecord match
        = record("2026-03-14 08:00:00", "bob@spam.example", keyOf(MessageStatus::Deleted), "Work");
    HistoryRecord wrongDay = match;
    wrongDay.CheckedAt = "2026-03-13 08:00:00";
    HistoryRecord wrongAccount = match;
    wrongAccount.AccountName = "home";
    HistoryRecord wrongStatus = match;
    wrongStatus.Status = keyOf(MessageStatus::Kept);
    HistoryRecord wrongSender = match;
    wrongSender.Sender = "ann@friends.example";
    expectCases(bed,
                {
                    {"all parts pass", match, all, true},
                    {"wrong day", wrongDay, all, false},
                    {"wrong account", wrongAccount, all, false},
                    {"wrong status", wrongStatus, all, false},
                    {"wrong sender", wrongSender, all, false},
                });
}
