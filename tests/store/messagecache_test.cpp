#include "platform/textfile.h"
#include "store/messagecache.h"
#include "support/logentries.h"
#include "support/servicesbed.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

const CacheAccount account {"POP3", "pop.home.test", 110, "anna"};

QByteArray raw(const QByteArray &id, const QByteArray &body = {})
{
    return "From: bob@spam.test\r\nSubject: offer " + id + "\r\n\r\n"
        + (body.isEmpty() ? "Body of " + id + "\r\n" : body);
}

Verdict verdictFor(const QByteArray &id)
{
    Verdict v;
    v.status = MessageStatus::Deleted;
    v.reason = Reason::SpamWords;
    v.wordsScored = true;
    v.spamWords = {{"cheap " + id, 50, 3}};
    v.wordTotal = 150.0f;
    v.threshold = 120.0f;
    return v;
}

// Counts what reaches the disk, and can stop as a killed program would.
class TestDisk : public CacheDisk
{
public:
    enum class Kill { Never, HalfWayThroughAppend, BeforeRename };
    bool replace(const QString &path, const QByteArray &bytes) override
    {
        written += bytes.size();
        if (kill != Kill::BeforeRename)
            return CacheDisk::replace(path, bytes);
        // The temporary file is whole; the program dies before it takes the index's name.
        QFile temporary(path + QStringLiteral(".XyZ123"));
        if (temporary.open(QIODevice::WriteOnly))
            temporary.write(bytes);
        return false;
    }
    bool append(const QString &path, const QByteArray &bytes) override
    {
        written += bytes.size();
        if (kill != Kill::HalfWayThroughAppend)
            return CacheDisk::append(path, bytes);
        (void)CacheDisk::append(path, bytes.first(bytes.size() / 2));
        return false;
    }
    bool writeNew(const QString &path, const QByteArray &bytes) override
    {
        written += bytes.size();
        return CacheDisk::writeNew(path, bytes);
    }
    qint64 written = 0;
    Kill kill = Kill::Never;
};

struct CacheBed : ServicesBed
{
    std::unique_ptr<MessageCache> open(CacheDisk *disk = nullptr)
    {
        auto cache = std::make_unique<MessageCache>(dir.path(), services, account, disk);
        cache->load();
        return cache;
    }
    // A cache holding the ids, committed in one update.
    void fill(const QList<QByteArray> &ids)
    {
        auto cache = open();
        QList<QByteArray> listed;
        for (const QByteArray &id : ids) {
            ASSERT_TRUE(cache->add(id, raw(id), raw(id).size(), verdictFor(id), "fp1"));
            listed << id;
        }
        ASSERT_TRUE(cache->update(listed));
    }
    QStringList messageFiles(const MessageCache &cache) const
    {
        return QDir(cache.folder()).entryList({QStringLiteral("*.msg")}, QDir::Files);
    }
    QStringList reports() const { return logEntries(log.path()); }
    void writeCopy(int number, const QByteArray &body) const
    {
        QDir().mkpath(dir.file(QStringLiteral("Mails")));
        dir.write(QStringLiteral("Mails/%1.mal").arg(number), "<html>" + body);
    }
};

} // namespace

TEST(MessageCache, KeepsTextsVerdictsAndFingerprintsAcrossRuns)
{
    CacheBed bed;
    // The copy holds a plain body with each CR LF written as "<BR>".
    const QByteArray sharedBody = "Hello\r\nthere";
    const QByteArray copyBody = "Hello<BR>there";
    {
        auto cache = bed.open();
        ASSERT_TRUE(cache->add("U1", raw("U1"), 4711, verdictFor("U1"), "fp1"));
        ASSERT_TRUE(cache->add("id with blanks\r\n%", raw("U2"), 12, Verdict(), "fp1"));
        // The history's copy holds this body: only the header block is kept here.
        bed.writeCopy(7, copyBody);
        ASSERT_TRUE(cache->add("U3", raw("U3", sharedBody), 99, verdictFor("U3"), "fp1",
                               SavedCopyRef {7, copyBody}));
        // A body with a "<BR>" of its own could not be given back: it is kept whole.
        bed.writeCopy(9, copyBody);
        ASSERT_TRUE(
            cache->add("U5", raw("U5", copyBody), 9, Verdict(), "fp1", SavedCopyRef {9, copyBody}));
        // A copy that holds another text than the body (as decoded bodies do) is not used.
        ASSERT_TRUE(
            cache->add("U4", raw("U4"), 5, Verdict(), "fp1", SavedCopyRef {8, "Body of U4"}));
        ASSERT_TRUE(cache->update({"U1", "id with blanks\r\n%", "U3", "U4", "U5"}));
        cache->setVerdict("U4", verdictFor("U4"), "fp2");
        ASSERT_TRUE(cache->update({"U1", "id with blanks\r\n%", "U3", "U4", "U5"}));
    }
    auto cache = bed.open();
    ASSERT_EQ(cache->count(), 5);
    const std::optional<CachedMessage> first = cache->find("U1");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->size, 4711);
    EXPECT_EQ(first->verdict, verdictFor("U1"));
    EXPECT_EQ(first->fingerprint, "fp1");
    EXPECT_EQ(cache->find("U4")->verdict, verdictFor("U4"));
    EXPECT_EQ(cache->find("U4")->fingerprint, "fp2");
    EXPECT_EQ(cache->text("U1"), raw("U1"));
    EXPECT_EQ(cache->text("id with blanks\r\n%"), raw("U2"));
    EXPECT_EQ(cache->text("U3"), raw("U3", sharedBody));
    EXPECT_EQ(cache->text("U4"), raw("U4"));
    EXPECT_EQ(cache->text("U5"), raw("U5", copyBody));
    EXPECT_FALSE(cache->find("U6"));

    // The shared body is on the disk once.
    qint64 cached = 0;
    for (const QString &name : bed.messageFiles(*cache))
        cached += QFileInfo(cache->folder() + u'/' + name).size();
    EXPECT_EQ(cached,
              raw("U1").size() + raw("U2").size() + raw("U4").size() + raw("U5", copyBody).size()
                  + raw("U3", {}).indexOf("\r\n\r\n") + 4);
    EXPECT_TRUE(bed.reports().isEmpty());
}

TEST(MessageCache, GivesBackABodyThatItsSavedCopyHoldsInSeveralReads)
{
    CacheBed bed;
    // The copy is read a MiB at a time: line ends written as "<BR>" stand across the first
    // three of those boundaries with 1, 2 and 3 of their bytes before it, and a "<B" that
    // begins none ends right before the fourth.
    constexpr qsizetype read = 1 << 20;
    const struct
    {
        qsizetype at; // in the copy's body
        QByteArray raw;
        QByteArray copy;
    } pieces[] = {{read - 1, "\r\n", "<BR>"},
                  {2 * read - 2, "\r\n", "<BR>"},
                  {3 * read - 3, "\r\n", "<BR>"},
                  {4 * read - 2, "<Bx", "<Bx"}};
    QByteArray body;
    QByteArray copyBody;
    for (const auto &piece : pieces) {
        const QByteArray filler(piece.at - copyBody.size(), 'a');
        body += filler + piece.raw;
        copyBody += filler + piece.copy;
    }
    body += "\r\nend";
    copyBody += "<BR>end";
    {
        auto cache = bed.open();
        bed.writeCopy(7, copyBody);
        ASSERT_TRUE(
            cache->add("U1", raw("U1", body), 99, Verdict(), "fp1", SavedCopyRef {7, copyBody}));
        ASSERT_TRUE(cache->update({"U1"}));
    }
    auto cache = bed.open();
    // Only the header block is in the cache; the body comes from the copy.
    ASSERT_EQ(bed.messageFiles(*cache).size(), 1);
    EXPECT_LT(QFileInfo(cache->folder() + u'/' + bed.messageFiles(*cache).first()).size(), 100);
    EXPECT_EQ(cache->text("U1"), raw("U1", body));
}

TEST(MessageCache, StagesTheHeaderBlockAloneWhenTheCopyHoldsTheBody)
{
    // The same message staged from its whole text, and from its header block after the
    // parser took the body for the message's own (CMessage::parseTakingBody).
    const QByteArray header = "From: bob@spam.test\r\nSubject: offer\r\n\r\n";
    const QByteArray body = "Hello\r\nthere\r";
    const QByteArray copyBody = "Hello<BR>there\r";
    for (bool isHeaderBlock : {false, true}) {
        SCOPED_TRACE(isHeaderBlock ? "header block" : "whole text");
        CacheBed bed;
        {
            auto cache = bed.open();
            bed.writeCopy(7, copyBody);
            ASSERT_TRUE(cache->stage("U1", isHeaderBlock ? header : header + body, copyBody,
                                     isHeaderBlock));
            ASSERT_TRUE(cache->complete("U1", 99, Verdict(), "fp1", {}, 7));
            ASSERT_TRUE(cache->update({"U1"}));
        }
        auto cache = bed.open();
        ASSERT_EQ(bed.messageFiles(*cache).size(), 1);
        EXPECT_EQ(QFileInfo(cache->folder() + u'/' + bed.messageFiles(*cache).first()).size(),
                  header.size());
        EXPECT_EQ(cache->text("U1"), header + body);
    }
}

TEST(MessageCache, HoldsOnlyWhatTheServerListed)
{
    CacheBed bed;
    bed.fill({"A", "B", "C"});
    {
        auto cache = bed.open();
        ASSERT_TRUE(cache->add("D", raw("D"), 1, Verdict(), "fp1"));
        ASSERT_TRUE(cache->update({"C", "A", "D"}));
        EXPECT_EQ(bed.messageFiles(*cache).size(), 3);
    }
    auto cache = bed.open();
    EXPECT_EQ(cache->count(), 3);
    EXPECT_FALSE(cache->find("B"));
    EXPECT_EQ(cache->text("D"), raw("D"));
    ASSERT_TRUE(cache->update({}));
    EXPECT_EQ(cache->count(), 0);
    EXPECT_TRUE(bed.messageFiles(*cache).isEmpty());
    EXPECT_EQ(bed.open()->count(), 0);
}

TEST(MessageCache, AnotherKindOfIdsEmptiesTheAccount)
{
    CacheBed bed;
    {
        auto cache = bed.open();
        ASSERT_TRUE(cache->useIds({CacheIdKind::ImapUid, 5}));
        ASSERT_TRUE(cache->add("1", raw("1"), 1, Verdict(), "fp1"));
        ASSERT_TRUE(cache->update({"1"}));
    }
    {
        auto cache = bed.open();
        EXPECT_EQ(cache->idKind(), (CacheIdKind {CacheIdKind::ImapUid, 5}));
        ASSERT_TRUE(cache->useIds({CacheIdKind::ImapUid, 5}));
        EXPECT_EQ(cache->count(), 1);
        // UID 1 under another UIDVALIDITY is another message.
        ASSERT_TRUE(cache->useIds({CacheIdKind::ImapUid, 6}));
        EXPECT_EQ(cache->count(), 0);
        EXPECT_TRUE(bed.messageFiles(*cache).isEmpty());
        ASSERT_TRUE(cache->add("1", raw("other"), 1, Verdict(), "fp1"));
        ASSERT_TRUE(cache->update({"1"}));
    }
    auto cache = bed.open();
    EXPECT_EQ(cache->text("1"), raw("other"));
    // A server that stops giving ids leaves nothing behind.
    ASSERT_TRUE(cache->dropAccount());
    EXPECT_FALSE(QFileInfo::exists(cache->folder()));
    EXPECT_EQ(bed.open()->count(), 0);
}

TEST(MessageCache, AKilledUpdateLeavesThePreviousState)
{
    for (const auto kill : {TestDisk::Kill::HalfWayThroughAppend, TestDisk::Kill::BeforeRename}) {
        CacheBed bed;
        bed.fill({"A", "B"});
        {
            TestDisk dying;
            dying.kill = kill;
            auto cache = bed.open(&dying);
            // A change of UIDVALIDITY rewrites the index whole; a plain update appends.
            if (kill == TestDisk::Kill::BeforeRename) {
                EXPECT_FALSE(cache->useIds({CacheIdKind::ImapUid, 9}));
            } else {
                ASSERT_TRUE(cache->add("C", raw("C"), 1, Verdict(), "fp1"));
                EXPECT_FALSE(cache->update({"B", "C"}));
            }
        }
        auto cache = bed.open();
        EXPECT_EQ(cache->idKind(), CacheIdKind()) << int(kill);
        EXPECT_EQ(cache->text("A"), raw("A")) << int(kill);
        EXPECT_EQ(cache->text("B"), raw("B")) << int(kill);
        EXPECT_FALSE(cache->find("C")) << int(kill);
        // The next update starts from there.
        ASSERT_TRUE(cache->add("C", raw("C"), 1, Verdict(), "fp1"));
        ASSERT_TRUE(cache->update({"B", "C"}));
        auto after = bed.open();
        EXPECT_EQ(after->count(), 2);
        EXPECT_EQ(after->text("C"), raw("C"));
        EXPECT_EQ(bed.messageFiles(*after).size(), 2);
        // Nothing of the dead write is left in the folder (a cut index is kept aside).
        const QStringList others = QDir(after->folder())
                                       .entryList(QDir::Files)
                                       .filter(QRegularExpression(QStringLiteral(
                                           "^(?!\\d+\\.msg$)(?!Index\\.ini(\\.bad)?$)")));
        EXPECT_TRUE(others.isEmpty()) << others.join(u' ').toStdString();
    }
}

TEST(MessageCache, DamageHidesOnlyTheDamagedEntryAndIsReportedOnce)
{
    const QByteArray lineOfB = "+ B ";
    struct Damage
    {
        const char *name;
        std::function<void(CacheBed &, const MessageCache &)> apply;
    };
    const Damage damages[] = {
        {"a byte of its index line",
         [&](CacheBed &, const MessageCache &cache) {
             QFile file(cache.indexPath());
             ASSERT_TRUE(file.open(QIODevice::ReadWrite));
             QByteArray bytes = file.readAll();
             const qsizetype at = bytes.indexOf(lineOfB);
             ASSERT_GE(at, 0);
             bytes[at + qsizetype(lineOfB.size()) + 1] ^= 1;
             file.seek(0);
             file.write(bytes);
         }},
        {"the index cut inside the last batch",
         [&](CacheBed &, const MessageCache &cache) {
             QFile file(cache.indexPath());
             const QByteArray bytes = TextFile::readAll(cache.indexPath()).value();
             ASSERT_TRUE(file.resize(bytes.indexOf(lineOfB) + 10));
         }},
        {"its message file",
         [&](CacheBed &bed, const MessageCache &cache) {
             const QStringList files = bed.messageFiles(cache);
             for (const QString &name : files) {
                 const QString path = cache.folder() + u'/' + name;
                 if (TextFile::readAll(path) == raw("B")) {
                     QFile file(path);
                     ASSERT_TRUE(file.open(QIODevice::WriteOnly));
                     file.write(raw("X"));
                 }
             }
         }},
    };
    for (const Damage &damage : damages) {
        CacheBed bed;
        bed.fill({"A", "C"});
        {
            auto cache = bed.open();
            ASSERT_TRUE(cache->add("B", raw("B"), 1, Verdict(), "fp1"));
            ASSERT_TRUE(cache->update({"A", "B", "C"}));
            damage.apply(bed, *cache);
        }
        auto cache = bed.open();
        EXPECT_EQ(cache->text("A"), raw("A")) << damage.name;
        EXPECT_EQ(cache->text("B"), std::nullopt) << damage.name;
        EXPECT_EQ(cache->text("C"), raw("C")) << damage.name;
        EXPECT_FALSE(cache->find("B")) << damage.name;
        ASSERT_EQ(bed.reports().size(), 1) << damage.name;
        // The index is kept aside for a look; a message file, which the server holds, goes.
        const bool isMessageFile = QByteArray(damage.name) == "its message file";
        EXPECT_TRUE(bed.reports().first().contains(
            isMessageFile ? QStringLiteral("has been removed") : QStringLiteral(".bad")))
            << damage.name;
        if (isMessageFile) {
            EXPECT_TRUE(QDir(cache->folder()).entryList({QStringLiteral("*.bad*")}).isEmpty());
        }
        ASSERT_TRUE(cache->update({"A", "B", "C"}));
        // Written back without the damage: the next start finds nothing to report.
        auto next = bed.open();
        EXPECT_EQ(next->count(), 2) << damage.name;
        EXPECT_EQ(next->text("C"), raw("C")) << damage.name;
        EXPECT_EQ(bed.reports().size(), 1) << damage.name;
    }
}

TEST(MessageCache, ASavedCopyGoneWithItsRecordMeansFetchingAgain)
{
    const QByteArray body = "Only\r\nthis";
    const QByteArray copyBody = "Only<BR>this";
    for (const QByteArray &copyNow : {QByteArray(), QByteArray("<html>another message")}) {
        CacheBed bed;
        {
            auto cache = bed.open();
            bed.writeCopy(3, copyBody);
            ASSERT_TRUE(
                cache->add("A", raw("A", body), 1, Verdict(), "fp1", SavedCopyRef {3, copyBody}));
            ASSERT_TRUE(cache->update({"A"}));
        }
        // The user deleted the record and its copy; perhaps a new record took its number.
        QFile::remove(bed.dir.file(QStringLiteral("Mails/3.mal")));
        if (!copyNow.isEmpty())
            bed.dir.write(QStringLiteral("Mails/3.mal"), copyNow);
        auto cache = bed.open();
        EXPECT_EQ(cache->text("A"), std::nullopt);
        EXPECT_FALSE(cache->find("A"));
        ASSERT_TRUE(cache->update({"A"}));
        EXPECT_TRUE(bed.messageFiles(*cache).isEmpty());
        // Not damage: nothing to report.
        EXPECT_TRUE(bed.reports().isEmpty());
    }
}

TEST(MessageCache, AnUpdateOfALargeMailboxWritesOnlyItsChanges)
{
    CacheBed bed;
    QList<QByteArray> listed;
    for (int i = 0; i < 10000; ++i)
        listed << "UIDL-" + QByteArray::number(i);
    {
        auto cache = bed.open();
        for (const QByteArray &id : std::as_const(listed))
            ASSERT_TRUE(cache->add(id, raw(id), raw(id).size(), verdictFor(id), "fp1"));
        ASSERT_TRUE(cache->update(listed));
    }
    const qint64 indexSize = QFileInfo(bed.open()->indexPath()).size();
    // Ten messages left the server and ten arrived.
    listed = listed.mid(10);
    TestDisk counting;
    auto cache = bed.open(&counting);
    qint64 newBytes = 0;
    for (int i = 0; i < 10; ++i) {
        const QByteArray id = "NEW-" + QByteArray::number(i);
        listed << id;
        newBytes += raw(id).size();
        ASSERT_TRUE(cache->add(id, raw(id), raw(id).size(), verdictFor(id), "fp1"));
    }
    ASSERT_TRUE(cache->update(listed));
    // The new texts, and a few hundred bytes of index per change; not the index again.
    EXPECT_LT(counting.written, newBytes + 20 * 400);
    EXPECT_GT(indexSize, 100 * (newBytes + 20 * 400));

    auto after = bed.open();
    EXPECT_EQ(after->count(), 10000);
    EXPECT_FALSE(after->find("UIDL-9"));
    EXPECT_EQ(after->text("UIDL-10"), raw("UIDL-10"));
    EXPECT_EQ(after->text("NEW-9"), raw("NEW-9"));
    EXPECT_EQ(bed.messageFiles(*after).size(), 10000);
}

// Damaged message files that an earlier version moved aside are removed at the next start,
// and the log says so: the cache never keeps what it cannot use, and never silently drops.
TEST(MessageCache, MessageFilesMovedAsideEarlierAreRemovedWithANotice)
{
    CacheBed bed;
    bed.fill({"A"});
    QString folder;
    {
        auto cache = bed.open();
        folder = cache->folder();
    }
    for (const char *name : {"7.msg.bad", "8.msg.bad2"}) {
        QFile file(folder + u'/' + QLatin1String(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("damaged");
    }
    auto cache = bed.open();
    EXPECT_EQ(cache->text("A"), raw("A"));
    EXPECT_TRUE(QDir(folder).entryList({QStringLiteral("*.bad*")}).isEmpty());
    EXPECT_EQ(bed.reports().filter(QStringLiteral("has been removed")).size(), 2);
}
