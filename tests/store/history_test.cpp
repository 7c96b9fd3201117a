#include "message/cmessages.h"
#include "store/history.h"
#include "store/verdictkeys.h"
#include "support/filesizelimit.h"
#include "support/historysample.h"
#include "support/logentries.h"
#include "support/qtprinters.h"
#include "support/servicesbed.h"
#include "support/verdictprinter.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

QByteArray recordLines(const HistoryRecord &r)
{
    return r.Sender + "\r\n" + r.Subject + "\r\n" + r.SendDate + "\r\n" + r.Size + "\r\n" + r.Status
        + "\r\n" + r.Reason + "\r\n" + r.CheckedAt + "\r\n" + r.AccountName + "\r\n"
        + QByteArray::number(r.MailNumber) + "\r\n";
}

void expectSameRecord(const HistoryRecord &actual, const HistoryRecord &expected)
{
    EXPECT_EQ(actual.Sender, expected.Sender);
    EXPECT_EQ(actual.Subject, expected.Subject);
    EXPECT_EQ(actual.SendDate, expected.SendDate);
    EXPECT_EQ(actual.Size, expected.Size);
    EXPECT_EQ(actual.Status, expected.Status);
    EXPECT_EQ(actual.Reason, expected.Reason);
    EXPECT_EQ(actual.CheckedAt, expected.CheckedAt);
    EXPECT_EQ(actual.AccountName, expected.AccountName);
    EXPECT_EQ(actual.MailNumber, expected.MailNumber);
}

CMessage message(const QByteArray &subject, MessageStatus status = MessageStatus::Kept)
{
    CMessage m;
    m.from = "Bob Example <bob@example.com>";
    m.ReturnPath = "bob@example.com";
    m.Subject = subject;
    m.SendDate = "Tue, 3 Mar 2026 08:00:00 +0100";
    m.MessageBody = "Hello<BR>" + subject;
    m.SIZE = 2048;
    m.Status = keyOf(status);
    m.Reason = keyOf(status == MessageStatus::Deleted ? Reason::BlockedSender : Reason::NoRule);
    return m;
}

CMessages mailbox(const QList<CMessage> &list)
{
    CMessages messages;
    for (const CMessage &m : list)
        EXPECT_TRUE(messages.Add(m));
    return messages;
}

} // namespace

TEST(History, RoundTripLeavesOutDeletedRecordsAndKeepsMailNumbers)
{
    ServicesBed bed;
    History history(bed.dir.path(), bed.services, bed.clock);
    const HistoryRecord first = historyRecord("first", 1);
    const HistoryRecord second = historyRecord("second", 2, MessageStatus::Deleted);
    const HistoryRecord third = historyRecord("third", 3);
    history.append(first);
    history.append(second);
    history.append(third);
    history.markDeleted(1);

    ASSERT_TRUE(history.SaveHist());
    EXPECT_EQ(bed.dir.read(QStringLiteral("History.ini")),
              recordLines(second) + recordLines(third));
    EXPECT_EQ(history.count(), 3) << "a marked record stays in memory until the next load";

    history.LoadHistory();
    ASSERT_EQ(history.count(), 2);
    expectSameRecord(history.at(1), second);
    expectSameRecord(history.at(2), third);
    // Numbered by position, record 3 would now take the copy of "third".
    EXPECT_EQ(history.nextMailNumber(), 4);
    EXPECT_TRUE(bed.prompter.criticals.isEmpty());
}

TEST(History, MissingOrEmptyFileGivesEmptyHistory)
{
    ServicesBed bed;
    History history(bed.dir.path(), bed.services, bed.clock);
    history.append(historyRecord("old", 7));
    history.LoadHistory();
    EXPECT_EQ(history.count(), 0);
    EXPECT_EQ(history.nextMailNumber(), 1);

    bed.dir.write(QStringLiteral("History.ini"), QByteArray());
    history.LoadHistory();
    EXPECT_EQ(history.count(), 0);
    EXPECT_TRUE(bed.prompter.criticals.isEmpty());
}

TEST(History, CorruptFileKeepsRecordsReadBeforeTheFaultAndIsMovedAside)
{
    const HistoryRecord good = historyRecord("good", 5);
    QByteArray eightLines = recordLines(historyRecord("cut", 6));
    eightLines.chop(QByteArray("6\r\n").size());
    QByteArray badNumber = recordLines(historyRecord("bad", 6));
    badNumber.replace("\r\n6\r\n", "\r\nsix\r\n");
    const struct
    {
        const char *name;
        QByteArray tail;
    } cases[] = {
        {"last record has eight lines", eightLines},
        {"ninth line is not a number", badNumber},
        {"last record has one line", "orphan\r\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ServicesBed bed;
        const QByteArray original = recordLines(good) + c.tail;
        bed.dir.write(QStringLiteral("History.ini"), original);
        History history(bed.dir.path(), bed.services, bed.clock);

        history.LoadHistory();

        EXPECT_EQ(bed.prompter.criticals,
                  QStringList {QStringLiteral("History.ini is corrupted, it will be reset.\n"
                                              "The original file was kept as %1.")
                                   .arg(bed.dir.file(QStringLiteral("History.ini.bad")))});
        ASSERT_EQ(history.count(), 1);
        expectSameRecord(history.at(1), good);
        EXPECT_EQ(bed.dir.read(QStringLiteral("History.ini")), recordLines(good));
        EXPECT_EQ(bed.dir.read(QStringLiteral("History.ini.bad")), original);

        ASSERT_TRUE(history.SaveHist());
        EXPECT_EQ(bed.dir.read(QStringLiteral("History.ini")), recordLines(good));
    }
}

TEST(History, FailedSaveLeavesFileAndMemoryWhole)
{
    ServicesBed bed;
    History history(bed.dir.path(), bed.services, bed.clock);
    history.append(historyRecord("first", 1));
    ASSERT_TRUE(history.SaveHist());
    const QByteArray before = bed.dir.read(QStringLiteral("History.ini"));
    for (int n = 2; n <= 200; ++n)
        history.append(historyRecord("more " + QByteArray::number(n), n));

    {
        // Large enough for a part of the new file, too small for all of it.
        FileSizeLimit limit(before.size() * 3);
        EXPECT_FALSE(history.SaveHist());
    }

    EXPECT_EQ(bed.dir.read(QStringLiteral("History.ini")), before);
    const QString expected = QStringLiteral("Error: Cannot write %1(SaveHist)").arg(history.path());
    EXPECT_EQ(bed.notifier.popups, QStringList {expected});
    EXPECT_EQ(history.count(), 200);

    ASSERT_TRUE(history.SaveHist());
    history.LoadHistory();
    ASSERT_EQ(history.count(), 200);
    EXPECT_EQ(history.at(200).Subject, "more 200");
}

TEST(History, LineBreaksInFieldsBecomeBlanks)
{
    ServicesBed bed;
    History history(bed.dir.path(), bed.services, bed.clock);
    HistoryRecord folded = historyRecord("two\r\nlines", 1);
    folded.Sender = "Ann\n<ann@example.com>";
    history.append(folded);
    history.append(historyRecord("after", 2));
    EXPECT_TRUE(history.contains(folded.Sender, folded.Subject, folded.Status, folded.SendDate));

    ASSERT_TRUE(history.SaveHist());
    history.LoadHistory();

    ASSERT_EQ(history.count(), 2);
    EXPECT_EQ(history.at(1).Subject, "two  lines");
    EXPECT_EQ(history.at(1).Sender, "Ann <ann@example.com>");
    EXPECT_EQ(history.at(2).Subject, "after");
    EXPECT_TRUE(history.contains(folded.Sender, folded.Subject, folded.Status, folded.SendDate));
}

TEST(History, LookupMatchesSenderSubjectStatusAndDateExactly)
{
    ServicesBed bed;
    History history(bed.dir.path(), bed.services, bed.clock);
    const HistoryRecord r = historyRecord("Offer", 1);
    history.append(r);
    history.markDeleted(1);

    EXPECT_TRUE(history.contains(r.Sender, r.Subject, r.Status, r.SendDate))
        << "deleted records still count";
    EXPECT_FALSE(history.contains(r.Sender, "offer", r.Status, r.SendDate));
    EXPECT_FALSE(history.contains(r.Sender, r.Subject, keyOf(MessageStatus::Deleted), r.SendDate));
    EXPECT_FALSE(history.contains("ann@example.com", r.Subject, r.Status, r.SendDate));
    EXPECT_FALSE(history.contains(r.Sender, r.Subject, r.Status, r.SendDate + " "));
}

TEST(History, Add2HistRecordsNewMessagesWithTheirCopiesOnce)
{
    ServicesBed bed;
    CMessage withSender = message("second", MessageStatus::Deleted);
    withSender.Sender = "Ann <ann@example.com>";
    const CMessages messages = mailbox({message("first"), withSender});
    {
        History history(bed.dir.path(), bed.services, bed.clock);
        ASSERT_TRUE(history.Add2Hist(messages, "home"));
        ASSERT_EQ(history.count(), 2);
        const HistoryRecord &first = history.at(1);
        EXPECT_EQ(first.Sender, "Bob Example <bob@example.com>");
        EXPECT_EQ(first.Subject, "first");
        EXPECT_EQ(first.SendDate, "Tue, 3 Mar 2026 08:00:00 +0100");
        EXPECT_EQ(first.Size, "2048");
        EXPECT_EQ(first.Status, keyOf(MessageStatus::Kept));
        EXPECT_EQ(first.Reason, keyOf(Reason::NoRule));
        EXPECT_EQ(first.CheckedAt, "2026-03-14 09:05:07");
        EXPECT_EQ(first.AccountName, "home");
        EXPECT_EQ(first.MailNumber, 1);
        EXPECT_EQ(history.at(2).Sender, "Ann <ann@example.com>");
        EXPECT_EQ(history.at(2).MailNumber, 2);
        EXPECT_EQ(bed.dir.read(QStringLiteral("Mails/1.mal")), "<html>Hello<BR>first");
        EXPECT_EQ(bed.dir.read(QStringLiteral("Mails/2.mal")), "<html>Hello<BR>second");
        EXPECT_EQ(bed.dir.read(QStringLiteral("History.ini")),
                  recordLines(history.at(1)) + recordLines(history.at(2)));
    }

    // The next check, after a restart, sees the same mailbox in another account.
    History history(bed.dir.path(), bed.services, bed.clock);
    history.LoadHistory();
    const QByteArray before = bed.dir.read(QStringLiteral("History.ini"));
    ASSERT_TRUE(history.Add2Hist(messages, "work"));
    EXPECT_EQ(history.count(), 2);
    EXPECT_EQ(bed.dir.read(QStringLiteral("History.ini")), before);
    EXPECT_FALSE(QFile::exists(bed.dir.file(QStringLiteral("Mails/3.mal"))));

    // Kept before, deleted now by a changed rule: a second record.
    const CMessages again = mailbox({message("first", MessageStatus::Deleted)});
    ASSERT_TRUE(history.Add2Hist(again, "home"));
    ASSERT_EQ(history.count(), 3);
    EXPECT_EQ(history.at(3).Status, keyOf(MessageStatus::Deleted));
    EXPECT_EQ(history.at(3).MailNumber, 3);
    EXPECT_TRUE(bed.notifier.popups.isEmpty());
}

TEST(History, EmptyMailboxRewritesSameContent)
{
    ServicesBed bed;
    const QByteArray content = recordLines(historyRecord("kept", 4));
    bed.dir.write(QStringLiteral("History.ini"), content);
    History history(bed.dir.path(), bed.services, bed.clock);
    history.LoadHistory();
    const CMessages none;
    ASSERT_TRUE(history.Add2Hist(none, "home"));
    EXPECT_EQ(bed.dir.read(QStringLiteral("History.ini")), content);
}

TEST(History, NewCopyNeverReplacesCopyOfSurvivingRecord)
{
    ServicesBed bed;
    History history(bed.dir.path(), bed.services, bed.clock);
    ASSERT_TRUE(
        history.Add2Hist(mailbox({message("one"), message("two"), message("three")}), "home"));
    history.markDeleted(1);
    ASSERT_TRUE(history.SaveHist());
    history.LoadHistory();
    ASSERT_EQ(history.count(), 2);

    ASSERT_TRUE(history.Add2Hist(mailbox({message("four")}), "home"));
    ASSERT_EQ(history.count(), 3);
    EXPECT_EQ(history.at(3).MailNumber, 4);
    EXPECT_EQ(bed.dir.read(QStringLiteral("Mails/3.mal")), "<html>Hello<BR>three");
    EXPECT_EQ(bed.dir.read(QStringLiteral("Mails/4.mal")), "<html>Hello<BR>four");
}

TEST(History, FailedCopiesAreReportedOnceAndRecordsStillSaved)
{
    ServicesBed bed;
    bed.dir.write(QStringLiteral("Mails"), "a file where the folder should be");
    History history(bed.dir.path(), bed.services, bed.clock);

    EXPECT_FALSE(history.Add2Hist(mailbox({message("one"), message("two")}), "home"));

    EXPECT_EQ(
        bed.notifier.popups,
        QStringList {QStringLiteral("Error: Cannot write %1(Add2Hist)").arg(history.mailPath(1))});
    EXPECT_EQ(history.count(), 2);
    history.LoadHistory();
    EXPECT_EQ(history.count(), 2);
}

TEST(History, RefusedDeletionTurnsTheRecordBackToKept)
{
    ServicesBed bed;
    History history(bed.dir.path(), bed.services, bed.clock);
    const CMessage spam = message("win big", MessageStatus::Deleted);
    ASSERT_TRUE(history.Add2Hist(mailbox({spam, message("hello")}), "home"));

    EXPECT_TRUE(history.reviseToKept(spam));
    EXPECT_EQ(history.at(1).Status, keyOf(MessageStatus::Kept));
    EXPECT_EQ(history.at(1).Reason, keyOf(Reason::BlockedSender));
    CMessage kept = spam;
    kept.Status = keyOf(MessageStatus::Kept);
    EXPECT_TRUE(history.IsRecordExistInHist(kept));
    EXPECT_FALSE(history.IsRecordExistInHist(spam));

    History reloaded(bed.dir.path(), bed.services, bed.clock);
    reloaded.LoadHistory();
    ASSERT_EQ(reloaded.count(), 2);
    EXPECT_EQ(reloaded.at(1).Status, keyOf(MessageStatus::Kept));
    // Nothing recorded as deleted: nothing to revise.
    EXPECT_FALSE(history.reviseToKept(message("unknown", MessageStatus::Deleted)));
}

TEST(History, StatusSetByMailNumberIsSavedAndLookedUp)
{
    ServicesBed bed;
    History history(bed.dir.path(), bed.services, bed.clock);
    history.append(historyRecord("first", 4, MessageStatus::AwaitingReview));
    history.append(historyRecord("second", 7, MessageStatus::AwaitingReview));

    EXPECT_TRUE(history.setStatusByMailNumber(7, MessageStatus::Deleted));
    EXPECT_FALSE(history.setStatusByMailNumber(5, MessageStatus::Deleted)) << "no such record";
    const HistoryRecord &r = history.at(2);
    EXPECT_TRUE(history.contains(r.Sender, r.Subject, keyOf(MessageStatus::Deleted), r.SendDate));
    EXPECT_FALSE(
        history.contains(r.Sender, r.Subject, keyOf(MessageStatus::AwaitingReview), r.SendDate));

    History reloaded(bed.dir.path(), bed.services, bed.clock);
    reloaded.LoadHistory();
    ASSERT_EQ(reloaded.count(), 2);
    EXPECT_EQ(reloaded.at(1).Status, keyOf(MessageStatus::AwaitingReview));
    EXPECT_EQ(reloaded.at(2).Status, keyOf(MessageStatus::Deleted));

    // Many at once: the missing number is named, the others saved together.
    const History::StatusChange change
        = reloaded.setStatusByMailNumbers({4, 9, 7}, MessageStatus::Kept);
    EXPECT_EQ(change.missing, QList<int>({9}));
    EXPECT_TRUE(change.isSaved);
    History again(bed.dir.path(), bed.services, bed.clock);
    again.LoadHistory();
    EXPECT_EQ(again.at(1).Status, keyOf(MessageStatus::Kept));
    EXPECT_EQ(again.at(2).Status, keyOf(MessageStatus::Kept));
    EXPECT_TRUE(again.contains(r.Sender, r.Subject, keyOf(MessageStatus::Kept), r.SendDate));
}

TEST(History, EvidenceIsWrittenBesideTheCopyAndReadBack)
{
    ServicesBed bed;
    History history(bed.dir.path(), bed.services, bed.clock);
    Verdict spam;
    spam.status = MessageStatus::Deleted;
    spam.reason = Reason::BlockedSender;
    spam.listEntry = "*@example.com";
    Verdict kept;
    kept.wordsScored = true;
    kept.threshold = 80;
    const QList<Verdict> verdicts = {spam, kept};
    ASSERT_TRUE(history.Add2Hist(
        mailbox({message("spam", MessageStatus::Deleted), message("kept")}), "home", &verdicts));

    EXPECT_EQ(bed.dir.read(QStringLiteral("Mails/1.why")), encodeVerdict(spam));
    EXPECT_FALSE(QFile::exists(bed.dir.file(QStringLiteral("Mails/1.why.part"))));
    EXPECT_EQ(history.loadEvidence(1), spam);
    EXPECT_EQ(history.loadEvidence(2), kept);

    // A message already recorded gets no second record and keeps its evidence; without
    // verdicts nothing is written, and a missing or damaged file reads as nothing.
    const QList<Verdict> other = {kept, kept, kept};
    ASSERT_TRUE(history.Add2Hist(
        mailbox({message("spam", MessageStatus::Deleted), message("new"), message("newer")}),
        "home", &other));
    EXPECT_EQ(history.loadEvidence(1), spam);
    EXPECT_EQ(history.loadEvidence(3), kept);
    ASSERT_TRUE(history.Add2Hist(mailbox({message("plain")}), "home"));
    EXPECT_EQ(history.count(), 5);
    EXPECT_EQ(history.loadEvidence(5), std::nullopt);
    bed.dir.write(QStringLiteral("Mails/2.why"), "garbage");
    EXPECT_EQ(history.loadEvidence(2), std::nullopt);
}

// The flow that lost saved copies: the history could not be written during a check, the end
// of the check reloaded the file from before it, and the next check numbered its records from
// there again, over the copies of the first.
TEST(History, CopiesWhoseRecordsWereNotSavedAreNeverOverwritten)
{
    ServicesBed bed;
    History history(bed.dir.path(), bed.services, bed.clock);
    {
        // Room for the small copies, not for the history.
        FileSizeLimit limit(100);
        EXPECT_FALSE(history.Add2Hist(mailbox({message("one"), message("two")}), "home"));
    }
    history.LoadHistory();
    ASSERT_EQ(history.count(), 0);

    ASSERT_TRUE(history.Add2Hist(mailbox({message("three")}), "home"));

    EXPECT_EQ(history.at(1).MailNumber, 3);
    EXPECT_EQ(bed.dir.read(QStringLiteral("Mails/1.mal")), "<html>Hello<BR>one");
    EXPECT_EQ(bed.dir.read(QStringLiteral("Mails/2.mal")), "<html>Hello<BR>two");
    EXPECT_EQ(bed.dir.read(QStringLiteral("Mails/3.mal")), "<html>Hello<BR>three");
    // Asked directly for a number that is taken, the copy is refused rather than replaced.
    EXPECT_FALSE(history.saveCopy(1, "other"));
    EXPECT_EQ(bed.dir.read(QStringLiteral("Mails/1.mal")), "<html>Hello<BR>one");
}

// A history read whole names every copy that is still wanted: the copies and evidence no
// record names (left by a history write that failed, or a stop before it) are removed at load.
// A missing history, or a damaged one kept beside it, keeps every file. A new record takes a
// number above every record and every file still there.
TEST(History, LoadRemovesUnrecordedCopiesAndNewRecordsTakeAFreeNumber)
{
    const QByteArray recordOne = recordLines(historyRecord("one", 1));
    const struct
    {
        const char *name;
        QByteArray historyFile; // empty: no "History.ini"
        QStringList filesBeforeLoad;
        QStringList removed; // of filesBeforeLoad
        QStringList filesAfterLoad;
        int expected;
    } cases[] = {
        {"copies of records the history lost",
         recordOne,
         {"Mails/1.mal", "Mails/2.mal", "Mails/2.why", "Mails/3.why.part"},
         {"Mails/2.mal", "Mails/2.why", "Mails/3.why.part"},
         {},
         2},
        {"record above every file",
         recordLines(historyRecord("nine", 9)),
         {"Mails/2.mal"},
         {"Mails/2.mal"},
         {},
         10},
        {"other names stay and keep their numbers",
         recordOne,
         {"Mails/notes.txt", "Mails/7.mal.old", "Mails/x5.mal"},
         {},
         {},
         8},
        {"no history: copies stay", {}, {"Mails/4.mal", "Mails/6.why"}, {}, {}, 7},
        {"a damaged history kept beside it",
         recordOne,
         {"History.ini.bad", "Mails/1.mal", "Mails/2.mal"},
         {},
         {},
         3},
        {"a copy that appeared after loading", {}, {}, {}, {"Mails/1.mal", "Mails/2.why"}, 3},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ServicesBed bed;
        if (!c.historyFile.isEmpty())
            bed.dir.write(QStringLiteral("History.ini"), c.historyFile);
        for (const QString &name : c.filesBeforeLoad)
            bed.dir.write(name, name.toUtf8());
        History history(bed.dir.path(), bed.services, bed.clock);
        history.LoadHistory();
        for (const QString &name : c.filesAfterLoad)
            bed.dir.write(name, name.toUtf8());

        EXPECT_TRUE(history.Add2Hist(mailbox({message("new")}), "home"));

        EXPECT_EQ(history.at(history.count()).MailNumber, c.expected);
        EXPECT_EQ(bed.dir.read(QStringLiteral("Mails/%1.mal").arg(c.expected)),
                  "<html>Hello<BR>new");
        // The new record's copy may take the name of one removed.
        for (const QString &name : c.filesBeforeLoad + c.filesAfterLoad) {
            if (name == QStringLiteral("Mails/%1.mal").arg(c.expected))
                continue;
            if (c.removed.contains(name))
                EXPECT_FALSE(QFile::exists(bed.dir.file(name))) << name.toStdString();
            else
                EXPECT_EQ(bed.dir.read(name), name.toUtf8()) << name.toStdString();
        }
        const QString told = QStringLiteral("%1 saved copies that no history record names were "
                                            "removed from the Mails folder.")
                                 .arg(c.removed.size());
        EXPECT_EQ(logEntries(bed.log.path()).contains(told), !c.removed.isEmpty());
    }
}

// A check killed between recording and the server's confirmation leaves "Deletion pending"
// records. The account's next check settles them by what the server holds: a message gone
// was deleted; one still there takes what that check decided, in its one record with its
// copy; other accounts' records wait for their own checks.
TEST(History, PendingDeletionsAreSettledByTheNextCheckOfTheirAccount)
{
    ServicesBed bed;
    History history(bed.dir.path(), bed.services, bed.clock);
    const CMessage gone = message("gone meanwhile", MessageStatus::DeletionPending);
    const CMessage still = message("still there", MessageStatus::DeletionPending);
    ASSERT_TRUE(history.Add2Hist(mailbox({gone, still}), "home"));
    ASSERT_TRUE(
        history.Add2Hist(mailbox({message("work's", MessageStatus::DeletionPending)}), "work"));
    const int stillNumber = history.at(2).MailNumber;

    // The next check of "home" finds only the second message, and keeps it this time.
    const CMessages now = mailbox({message("still there")});
    EXPECT_EQ(history.settlePending(now, "home"), 2);
    ASSERT_TRUE(history.Add2Hist(now, "home"));

    History reloaded(bed.dir.path(), bed.services, bed.clock);
    reloaded.LoadHistory();
    QList<std::pair<QByteArray, QByteArray>> records;
    for (int i = 1; i <= reloaded.count(); ++i)
        records.append({reloaded.at(i).Subject, reloaded.at(i).Status});
    EXPECT_EQ(records,
              (QList<std::pair<QByteArray, QByteArray>> {
                  {"gone meanwhile", keyOf(MessageStatus::Deleted)},
                  {"still there", keyOf(MessageStatus::Kept)},
                  {"work's", keyOf(MessageStatus::DeletionPending)}}));
    EXPECT_EQ(reloaded.at(2).MailNumber, stillNumber);
    EXPECT_TRUE(QFile::exists(reloaded.mailPath(stillNumber)));
}
