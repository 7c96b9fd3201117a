#include "e2ebed.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <utility>

namespace {

// A message with a date of its own, so that the age rule can tell them apart.
QByteArray datedMail(const QByteArray &sender, const QByteArray &subject, const QByteArray &body,
                     const QByteArray &date)
{
    QByteArray text = mail(sender, subject, body);
    return text.replace("Fri, 13 Mar 2026 10:00:00 +0000", date);
}

// The numbers of the messages whose text the sessions asked for since the last call, in the
// order they were asked for, from the protocol log that a ProtocolLogCapture collects.
QList<int> takeFetched()
{
    // "C: RETR 3" and "C: a654 FETCH 3 (FLAGS BODY.PEEK[])".
    static const QRegularExpression fetch(
        QStringLiteral(R"(^C: (?:RETR (\d+)|a654 FETCH (\d+) \(FLAGS BODY\.PEEK\[\]\))$)"));
    QList<int> numbers;
    for (const QString &line : std::exchange(ProtocolLogCapture::lines(), {})) {
        if (const QRegularExpressionMatch m = fetch.match(line); m.hasMatch())
            numbers << (m.captured(1) + m.captured(2)).toInt();
    }
    return numbers;
}

// The history of a bed as "sender | subject | status | reason" lines: what a check decided
// about each message, without the time of the check or the number of the saved copy.
QStringList decisions(const E2eBed &bed)
{
    QStringList lines;
    for (int i = 1; i <= bed.core->history.count(); ++i) {
        const HistoryRecord &r = bed.core->history.at(i);
        lines << QString::fromUtf8(r.Sender + " | " + r.Subject + " | " + r.Status + " | "
                                   + r.Reason);
    }
    return lines;
}

// The subject of each message in a mailbox, in its order.
QStringList subjects(const QList<QByteArray> &messages)
{
    QStringList lines;
    for (const QByteArray &text : messages) {
        const qsizetype at = text.indexOf("\r\nSubject: ") + 11;
        lines << QString::fromUtf8(text.mid(at, text.indexOf("\r\n", at) - at));
    }
    return lines;
}

// The 1-based positions in mailbox of the messages that are not in known.
QList<int> positionsOfNew(const QList<QByteArray> &mailbox, const QList<QByteArray> &known)
{
    QList<int> positions;
    for (qsizetype i = 0; i < mailbox.size(); ++i) {
        if (!known.contains(mailbox.at(i)))
            positions << int(i + 1);
    }
    return positions;
}

// The log split into the cache's own lines and all the others.
std::pair<QStringList, QStringList> splitCacheLines(const QStringList &log)
{
    static const QRegularExpression cacheLine(
        QStringLiteral(R"(^.*: \d+ fetched, \d+ from the cache\.$)"));
    std::pair<QStringList, QStringList> split;
    for (const QString &line : log)
        (cacheLine.match(line).hasMatch() ? split.first : split.second) << line;
    return split;
}

// Two cores over the same kind of mailbox, each with a mailbox of its own on the server: one
// with the message cache, one without it that fetches every message in full. Whatever
// happens to one happens to the other.
struct TwinBeds
{
    TwinBeds(const QByteArray &type, const QString &name)
        : cachedUser(QStringLiteral("e2e-inc-%1-cached").arg(name))
        , fullUser(QStringLiteral("e2e-inc-%1-full").arg(name))
    {
        full.core->isCachingMessages = false;
        port = type == "IMAP" ? cached.server.port("IMAP_PORT") : cached.server.pop3Port();
        EXPECT_NE(port, 0);
        for (auto [bed, user] : {std::pair {&cached, cachedUser}, std::pair {&full, fullUser}}) {
            EXPECT_TRUE(bed->server.addUser(user, QStringLiteral("pw")));
            bed->setAccounts({account(type, "Home", user.toUtf8(), "pw", port)});
        }
    }
    void deliver(const QList<QByteArray> &messages)
    {
        EXPECT_TRUE(cached.server.load(cachedUser, messages));
        EXPECT_TRUE(full.server.load(fullUser, messages));
    }
    void change(const std::function<void(E2eBed &)> &change)
    {
        change(cached);
        change(full);
    }
    // Checks both; the messages each one asked the server for.
    std::pair<QList<int>, QList<int>> check()
    {
        takeFetched();
        EXPECT_TRUE(cached.check());
        const QList<int> cachedFetched = takeFetched();
        EXPECT_TRUE(full.check());
        return {cachedFetched, takeFetched()};
    }
    QList<QByteArray> cachedInbox() const { return cached.server.inbox(cachedUser); }
    QList<QByteArray> fullInbox() const { return full.server.inbox(fullUser); }

    E2eBed cached;
    E2eBed full;
    QString cachedUser;
    QString fullUser;
    quint16 port = 0;
    // The cached bed's mailbox as its last check left it.
    QList<QByteArray> afterLastCheck;
    ProtocolLogCapture protocolLog;
};

// How many of the messages it has not seen before the cached bed may ask for: all of them,
// or, after a check that was killed before it could commit what it fetched, those too.
enum class NewFetched { All, AtMostAll };

// The message files of the cached bed's cache, of every account.
int cachedFiles(const E2eBed &bed)
{
    int count = 0;
    QDirIterator files(bed.dir.file(QStringLiteral("data/Cache")), {QStringLiteral("*.msg")},
                       QDir::Files, QDirIterator::Subdirectories);
    for (; files.hasNext(); files.next())
        ++count;
    return count;
}

// Checks both beds and expects the same outcome of both: the messages left on the server,
// the history's decisions, the popups and the log but for the cache's own line. The cached
// bed asks only for the messages it has not seen on the server before, says so in that
// line, and keeps no more than the server holds.
void expectSameCheck(TwinBeds &beds, const QStringList &leftOnServer,
                     NewFetched newFetched = NewFetched::All)
{
    const QList<QByteArray> mailbox = beds.cachedInbox();
    const QList<int> fresh = positionsOfNew(mailbox, beds.afterLastCheck);
    QList<int> all;
    for (int i = 1; i <= mailbox.size(); ++i)
        all << i;

    auto [cachedFetched, fullFetched] = beds.check();

    beds.afterLastCheck = beds.cachedInbox();
    EXPECT_EQ(subjects(beds.cachedInbox()), leftOnServer);
    EXPECT_EQ(beds.cachedInbox(), beds.fullInbox());
    EXPECT_EQ(decisions(beds.cached), decisions(beds.full));
    EXPECT_EQ(beds.cached.notifier.popups, beds.full.notifier.popups);
    const auto [cacheLines, otherLines] = splitCacheLines(beds.cached.log());
    EXPECT_EQ(otherLines, beds.full.log());
    EXPECT_EQ(beds.cached.statuses, beds.full.statuses);
    EXPECT_EQ(fullFetched, all);
    std::sort(cachedFetched.begin(), cachedFetched.end());
    if (newFetched == NewFetched::All) {
        EXPECT_EQ(cachedFetched, fresh);
    } else {
        for (int n : cachedFetched)
            EXPECT_TRUE(fresh.contains(n)) << "message " << n << " was fetched again";
    }
    EXPECT_EQ(cacheLines.value(cacheLines.size() - 1),
              QStringLiteral("Home: %1 fetched, %2 from the cache.")
                  .arg(cachedFetched.size())
                  .arg(mailbox.size() - cachedFetched.size()));
    // Deleted messages go from the cache at the next check, when the server no longer lists
    // them.
    EXPECT_LE(cachedFiles(beds.cached), mailbox.size());
}

class IncrementalCheckE2e : public ::testing::TestWithParam<const char *>
{
};

} // namespace

TEST_P(IncrementalCheckE2e, CachedChecksDecideAsFullFetchesAndFetchOnlyNewMail)
{
    ASSERT_TRUE(MailServer::shared().isRunning());
    TwinBeds beds(GetParam(), QString::fromLatin1(GetParam()).toLower());
    beds.deliver({
        mail("alice@example.org", "Lunch on Friday", "See you at noon.\r\n"),
        mail("promo@spam.test", "Great offer", "Buy now.\r\n"),
        mail("carol@example.net", "Your luck", "Visit our casino tonight.\r\n"),
        mail("bob@example.org", "Minutes", "The lottery of the club is on Sunday.\r\n"),
        mail("dave@partner.test", "Project plan", "The plan is attached.\r\n"),
        datedMail("news@shop.test", "Spring sale", "Ten percent off.\r\n",
                  "Sun, 1 Mar 2026 08:00:00 +0000"),
    });
    const QStringList kept {"Lunch on Friday", "Minutes", "Project plan", "Spring sale"};

    {
        SCOPED_TRACE("first check");
        expectSameCheck(beds, kept);
    }
    {
        SCOPED_TRACE("new mail");
        beds.deliver({mail("alice@example.org", "Re: Lunch on Friday", "Noon is fine.\r\n"),
                      mail("eve@example.net", "Tonight", "The casino opens at nine.\r\n"),
                      mail("promo@spam.test", "Last chance", "Buy today.\r\n")});
        expectSameCheck(beds, kept + QStringList {"Re: Lunch on Friday"});
    }
    {
        SCOPED_TRACE("a word added to the spam words");
        beds.change([](E2eBed &bed) { bed.core->lists.BadWords << SpamWord {"lottery", 300}; });
        expectSameCheck(beds,
                        {"Lunch on Friday", "Project plan", "Spring sale", "Re: Lunch on Friday"});
    }
    {
        SCOPED_TRACE("a sender added to the blocked list");
        beds.change([](E2eBed &bed) { bed.core->lists.BlockedList << "dave@partner.test"; });
        expectSameCheck(beds, {"Lunch on Friday", "Spring sale", "Re: Lunch on Friday"});
    }
    {
        SCOPED_TRACE("the clock past the age limit of one message");
        // 35 days after "Spring sale" was sent, 23 after the others; the limit is 30.
        beds.change([](E2eBed &bed) { bed.clock.current = bed.clock.current.addDays(22); });
        expectSameCheck(beds, {"Lunch on Friday", "Re: Lunch on Friday"});
    }
}

INSTANTIATE_TEST_SUITE_P(Protocols, IncrementalCheckE2e, ::testing::Values("POP3", "IMAP"),
                         [](const ::testing::TestParamInfo<const char *> &type) {
                             return std::string(type.param);
                         });

TEST(IncrementalImapCheckE2e, ChangedUidValidityFetchesEveryMessageAgain)
{
    ASSERT_TRUE(MailServer::shared().isRunning());
    TwinBeds beds("IMAP", QStringLiteral("validity"));
    beds.deliver({mail("alice@example.org", "Lunch on Friday", "See you at noon.\r\n"),
                  mail("promo@spam.test", "Great offer", "Buy now.\r\n"),
                  mail("bob@example.org", "Minutes", "Attached are the minutes.\r\n")});
    {
        SCOPED_TRACE("first check");
        expectSameCheck(beds, {"Lunch on Friday", "Minutes"});
    }

    // The server lost its UIDs: UID 1 now names spam, where the message cached under it is
    // wanted mail.
    const QByteArray validity = beds.cached.server.imapIds(beds.cachedUser).value(0).split(':')[0];
    ASSERT_FALSE(validity.isEmpty());
    const QList<QByteArray> replaced {
        mail("carol@example.net", "Your luck", "Visit our casino tonight.\r\n"),
        mail("bob@example.org", "Agenda", "Item one.\r\n")};
    for (const QString &user : {beds.cachedUser, beds.fullUser}) {
        ASSERT_TRUE(beds.cached.server.addUser(user, QStringLiteral("pw")));
        ASSERT_TRUE(beds.cached.server.load(user, replaced));
        ASSERT_TRUE(beds.cached.server.setUidValidity(user, validity.toUInt() + 1));
    }
    {
        SCOPED_TRACE("after the new UIDVALIDITY");
        expectSameCheck(beds, {"Agenda"});
    }
    // "Agenda" has the UID that "Great offer" had.
    EXPECT_EQ(beds.cached.server.imapIds(beds.cachedUser),
              QList<QByteArray> {QByteArray::number(validity.toUInt() + 1) + ":2"});
}

// A check killed between two messages leaves the next one to fetch at most what it had not
// committed, and to decide as a check of a cache-less core that was never killed.
TEST_P(IncrementalCheckE2e, CheckAfterAKilledOneDecidesAsAFullFetch)
{
    ASSERT_TRUE(MailServer::shared().isRunning());
    const QByteArray type = GetParam();
    TwinBeds beds(type, QStringLiteral("kill-") + QString::fromLatin1(type).toLower());
    beds.deliver({mail("alice@example.org", "Lunch on Friday", "See you at noon.\r\n"),
                  mail("promo@spam.test", "Great offer", "Buy now.\r\n")});
    {
        SCOPED_TRACE("first check");
        expectSameCheck(beds, {"Lunch on Friday"});
    }
    beds.deliver({mail("bob@example.org", "Minutes", "Attached are the minutes.\r\n"),
                  mail("carol@example.net", "Your luck", "Visit our casino tonight.\r\n"),
                  mail("dave@example.org", "Agenda", "Item one.\r\n"),
                  mail("promo@spam.test", "Last chance", "Buy today.\r\n")});

    // Killed as the third of the four new messages arrives.
    QProcess killed;
    killed.start(QStringLiteral(KILLED_CHECK),
                 {beds.cached.dir.file(QStringLiteral("data")), QString::fromLatin1(type),
                  QString::number(beds.port), beds.cachedUser, QStringLiteral("pw"),
                  QStringLiteral("3")});
    ASSERT_TRUE(killed.waitForFinished(60000));
    EXPECT_EQ(killed.exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(killed.readAllStandardOutput(), "killed\n");
    // Nothing was deleted before the kill.
    ASSERT_EQ(beds.cachedInbox(), beds.fullInbox());

    SCOPED_TRACE("the check after the killed one");
    expectSameCheck(beds, {"Lunch on Friday", "Minutes", "Agenda"}, NewFetched::AtMostAll);
}

// Killed after the history was written and before the server made the deletions final: the
// history says "Deletion pending", never "Deleted", and the account's next check settles it
// by what the server holds then, with one record per message.
TEST_P(IncrementalCheckE2e, DeletionsOfAKilledCheckAreSettledByTheNextOne)
{
    ASSERT_TRUE(MailServer::shared().isRunning());
    const QByteArray type = GetParam();
    const QByteArray pending = keyOf(MessageStatus::DeletionPending);
    const QByteArray friendMail = mail("alice@example.org", "Lunch on Friday", "Noon.\r\n");
    const QByteArray spam = mail("promo@spam.test", "Great offer", "Buy now.\r\n");
    for (const bool isGoneMeanwhile : {false, true}) {
        SCOPED_TRACE(isGoneMeanwhile ? "the spam gone meanwhile" : "the spam still there");
        E2eBed bed;
        const QString user = QStringLiteral("e2e-pending-%1-%2")
                                 .arg(QString::fromLatin1(type).toLower())
                                 .arg(isGoneMeanwhile);
        const quint16 port = type == "IMAP" ? bed.server.port("IMAP_PORT") : bed.server.pop3Port();
        ASSERT_TRUE(bed.server.addUser(user, QStringLiteral("pw")));
        bed.setAccounts({account(type, "Home", user.toUtf8(), "pw", port)});
        ASSERT_TRUE(bed.server.load(user, {friendMail, spam}));

        QProcess killed;
        killed.start(QStringLiteral(KILLED_CHECK),
                     {bed.dir.file(QStringLiteral("data")), QString::fromLatin1(type),
                      QString::number(port), user, QStringLiteral("pw"),
                      QStringLiteral("confirm")});
        ASSERT_TRUE(killed.waitForFinished(60000));
        EXPECT_EQ(killed.readAllStandardOutput(), "killed\n");
        EXPECT_EQ(bed.server.inbox(user).size(), 2) << "nothing final before the confirmation";
        bed.core->history.LoadHistory();
        EXPECT_EQ(bed.history(),
                  (QStringList {"Lunch on Friday 70044 10152 Home",
                                "Great offer " + pending + " 10155 Home"}));

        if (isGoneMeanwhile) {
            // Another client removed the spam; the friend's message comes back as a new file.
            ASSERT_TRUE(bed.server.addUser(user, QStringLiteral("pw")));
            ASSERT_TRUE(bed.server.load(user, {friendMail}));
        }
        ASSERT_TRUE(bed.check());
        EXPECT_EQ(bed.server.inbox(user), QList<QByteArray> {friendMail});
        EXPECT_EQ(
            bed.history(),
            (QStringList {"Lunch on Friday 70044 10152 Home", "Great offer 70043 10155 Home"}));
    }
}
