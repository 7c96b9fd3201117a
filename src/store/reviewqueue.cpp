#include "reviewqueue.h"

#include "damagedfile.h"
#include "platform/datadir.h"
#include "platform/textfile.h"
#include "records.h"
#include "services.h"

#include <QFile>
#include <QHash>

#include <algorithm>

namespace {

constexpr char itemKind[] = "item2";
constexpr char keptKind[] = "kept2";
// The blocks of files that named the account alone.
constexpr char oldItemKind[] = "item";
constexpr char oldKeptKind[] = "kept";

// A text as one line of the file: a line break inside it would start another line.
QByteArray field(QByteArray text)
{
    return text.replace('\r', ' ').replace('\n', ' ');
}

QList<QByteArray> itemLines(const ReviewItem &item)
{
    return {itemKind,
            field(item.AccountName),
            identityKey(item.accountIdentity),
            field(item.serverId),
            QByteArray::number(item.serverSize),
            field(item.headerDigest),
            QByteArray::number(item.MailNumber),
            field(item.Sender),
            field(item.Subject),
            field(item.SendDate),
            field(item.Size),
            keyOf(item.reason),
            field(item.why.toUtf8())};
}

// The fields from Sender on, which both kinds of item block end with.
bool readTail(const QList<QByteArray> &lines, qsizetype from, ReviewItem &item)
{
    item.Sender = lines.at(from);
    item.Subject = lines.at(from + 1);
    item.SendDate = lines.at(from + 2);
    item.Size = lines.at(from + 3);
    const std::optional<Reason> reason = reasonOf(lines.at(from + 4));
    item.why = QString::fromUtf8(lines.at(from + 5));
    if (!reason)
        return false;
    item.reason = *reason;
    return true;
}

} // namespace

// Reads the blocks one after the other; stops at the first fault.
class ReviewQueue::BlockReader
{
public:
    explicit BlockReader(const QList<QByteArray> &lines)
        : m_lines(lines)
    {
    }
    bool atEnd() const { return m_next >= m_lines.size(); }
    qsizetype position() const { return m_next; }
    // The next count lines, or nothing when the file ends before them.
    std::optional<QList<QByteArray>> take(qsizetype count)
    {
        if (m_next + count > m_lines.size())
            return std::nullopt;
        const QList<QByteArray> block = m_lines.mid(m_next, count);
        m_next += count;
        return block;
    }

private:
    const QList<QByteArray> &m_lines;
    qsizetype m_next = 0;
};

// The mailboxes the configured accounts reach, and the one mailbox each name leads to.
class ReviewQueue::Mailboxes
{
public:
    explicit Mailboxes(const QList<MailAccount> &accounts)
    {
        for (const MailAccount &account : accounts) {
            // The account editor leaves a deleted account's record without a name until
            // the file is written.
            if (account.AccountName.isEmpty())
                continue;
            const AccountIdentity identity = identityOf(account);
            m_keys.insert(identityKey(identity));
            const QByteArray name = field(account.AccountName);
            const auto named = m_byName.constFind(name);
            // Two mailboxes under one name: an old block could be either's.
            if (named == m_byName.cend())
                m_byName.insert(name, identity);
            else if (*named != identity)
                m_byName.insert(name, std::nullopt);
        }
    }
    bool contains(const AccountIdentity &identity) const
    {
        return m_keys.contains(identityKey(identity));
    }
    bool containsKey(const QByteArray &key) const { return m_keys.contains(key); }
    std::optional<AccountIdentity> named(const QByteArray &name) const
    {
        return m_byName.value(name, std::nullopt);
    }

private:
    QSet<QByteArray> m_keys;
    QHash<QByteArray, std::optional<AccountIdentity>> m_byName;
};

ReviewQueue::ReviewQueue(const QString &dataDir, Services &services, QObject *parent)
    : QObject(parent)
    , m_path(dataPath(dataDir, QStringLiteral("\\Review.ini")))
    , m_services(services)
{
}

void ReviewQueue::load(const QList<MailAccount> &accounts)
{
    m_items.clear();
    m_kept.clear();
    m_keptSet.clear();
    m_onDisk.reset();
    // No file yet: nothing has ever waited for review.
    if (!QFile::exists(m_path)) {
        m_onDisk = QList<QByteArray>();
        emit changed();
        return;
    }
    const Mailboxes mailboxes(accounts);
    const std::optional<QList<QByteArray>> lines = TextFile::readLines(m_path);
    bool complete = lines.has_value();
    qsizetype completeEnd = 0; // the end of the last complete block
    if (lines) {
        BlockReader reader(*lines);
        while (complete && !reader.atEnd()) {
            completeEnd = reader.position();
            complete = readBlock(reader, mailboxes);
        }
        if (complete)
            completeEnd = reader.position();
    }
    dropRepeats();
    if (!complete) {
        // What was read before the fault stays and is written back at once. Nothing after
        // it is read: a subject or an account can be named like a kind too, so a kind line
        // found after the damage could start a block in the middle of another.
        keepDamagedFile(
            m_services, m_path,
            m_services.caption(QStringLiteral("280030"),
                               QStringLiteral("Review.ini is corrupted, it will be reset.")),
            completeEnd == 0 ? std::nullopt : std::optional<QByteArray>(crLfLines(fileLines())),
            QStringLiteral("LoadReview"));
    } else if (const QList<QByteArray> read = fileLines(); read != *lines) {
        // Blocks of gone mailboxes were left out or old blocks read: written once as the
        // queue now is, so that the next start reads it as it is.
        (void)write(read);
    } else {
        m_onDisk = read;
    }
    emit changed();
}

bool ReviewQueue::readBlock(BlockReader &reader, const Mailboxes &mailboxes)
{
    const QByteArray kind = reader.take(1)->at(0);
    if (kind == itemKind) {
        const auto lines = reader.take(12);
        if (!lines)
            return false;
        bool isSize = false;
        bool isNumber = false;
        const std::optional<AccountIdentity> identity = identityFromKey(lines->at(1));
        ReviewItem item;
        item.AccountName = lines->at(0);
        item.serverId = lines->at(2);
        item.serverSize = lines->at(3).toLongLong(&isSize);
        item.headerDigest = lines->at(4);
        item.MailNumber = lines->at(5).toInt(&isNumber);
        if (!identity || !isSize || !isNumber || !readTail(*lines, 6, item))
            return false;
        item.accountIdentity = *identity;
        if (mailboxes.contains(item.accountIdentity))
            m_items.append(item);
        return true;
    }
    if (kind == keptKind) {
        const auto ids = reader.take(2);
        if (!ids || !identityFromKey(ids->at(0)))
            return false;
        if (mailboxes.containsKey(ids->at(0)))
            keepId(ids->at(0), ids->at(1));
        return true;
    }
    if (kind == oldItemKind) {
        const auto lines = reader.take(9);
        if (!lines)
            return false;
        bool isNumber = false;
        ReviewItem item;
        item.AccountName = lines->at(0);
        item.serverId = lines->at(1);
        item.MailNumber = lines->at(2).toInt(&isNumber);
        if (!isNumber || !readTail(*lines, 3, item))
            return false;
        if (const std::optional<AccountIdentity> identity = mailboxes.named(item.AccountName)) {
            item.accountIdentity = *identity;
            m_items.append(item);
        }
        return true;
    }
    if (kind == oldKeptKind) {
        const auto ids = reader.take(2);
        if (!ids)
            return false;
        if (const std::optional<AccountIdentity> identity = mailboxes.named(ids->at(0)))
            keepId(identityKey(*identity), ids->at(1));
        return true;
    }
    return false;
}

bool ReviewQueue::isKept(const AccountIdentity &mailbox, const QByteArray &serverId) const
{
    return m_keptSet.contains(std::pair {identityKey(mailbox), field(serverId)});
}

bool ReviewQueue::replaceAccount(const MailAccount &account, const QList<ReviewItem> &items)
{
    const QList<QByteArray> before = fileLines();
    const AccountIdentity identity = identityOf(account);
    const QByteArray key = identityKey(identity);
    // The new items take the place of the old ones, so that the same items found again
    // give the same file and nothing is written.
    const auto isOfAccount = [&](const ReviewItem &item) {
        return item.accountIdentity == identity;
    };
    qsizetype at = std::find_if(m_items.cbegin(), m_items.cend(), isOfAccount) - m_items.cbegin();
    m_items.removeIf(isOfAccount);
    // The account's items are gone from the queue, so only these can repeat one another.
    QSet<QByteArray> queued;
    for (ReviewItem item : items) {
        item.AccountName = field(account.AccountName);
        item.accountIdentity = identity;
        item.serverId = field(item.serverId);
        if (queued.contains(item.serverId) || m_keptSet.contains({key, item.serverId}))
            continue;
        queued.insert(item.serverId);
        m_items.insert(at++, item);
    }
    return saveIfChanged(before);
}

bool ReviewQueue::keep(const QList<ReviewItem> &items)
{
    const QList<QByteArray> before = fileLines();
    for (const ReviewItem &item : items)
        keepId(identityKey(item.accountIdentity), field(item.serverId));
    removeItems(items);
    return saveIfChanged(before);
}

bool ReviewQueue::remove(const QList<ReviewItem> &items)
{
    const QList<QByteArray> before = fileLines();
    removeItems(items);
    return saveIfChanged(before);
}

int ReviewQueue::dropGoneAccounts(const QList<MailAccount> &accounts)
{
    const QList<QByteArray> before = fileLines();
    const int dropped = dropUnknown(Mailboxes(accounts));
    // A failed write has been reported; the queue in memory is right all the same.
    (void)saveIfChanged(before);
    return dropped;
}

int ReviewQueue::dropUnknown(const Mailboxes &mailboxes)
{
    const qsizetype dropped = m_items.removeIf(
        [&](const ReviewItem &item) { return !mailboxes.contains(item.accountIdentity); });
    m_kept.removeIf([&](const auto &id) { return !mailboxes.containsKey(id.first); });
    m_keptSet = QSet<std::pair<QByteArray, QByteArray>>(m_kept.cbegin(), m_kept.cend());
    return int(dropped);
}

void ReviewQueue::dropRepeats()
{
    // Two names of one mailbox in an old file bring its messages twice.
    QSet<std::pair<QByteArray, QByteArray>> seen;
    m_items.removeIf([&](const ReviewItem &item) {
        const std::pair id {identityKey(item.accountIdentity), item.serverId};
        const bool isRepeat = seen.contains(id);
        seen.insert(id);
        return isRepeat;
    });
}

void ReviewQueue::removeItems(const QList<ReviewItem> &items)
{
    QSet<std::pair<QByteArray, QByteArray>> gone;
    for (const ReviewItem &item : items)
        gone.insert({identityKey(item.accountIdentity), field(item.serverId)});
    m_items.removeIf([&](const ReviewItem &queued) {
        return gone.contains({identityKey(queued.accountIdentity), queued.serverId});
    });
}

void ReviewQueue::keepId(const QByteArray &mailboxKey, const QByteArray &serverId)
{
    if (m_keptSet.contains({mailboxKey, serverId}))
        return;
    m_keptSet.insert({mailboxKey, serverId});
    m_kept.append({mailboxKey, serverId});
}

QList<QByteArray> ReviewQueue::fileLines() const
{
    QList<QByteArray> lines;
    for (const ReviewItem &item : std::as_const(m_items))
        lines << itemLines(item);
    for (const auto &[mailbox, serverId] : std::as_const(m_kept))
        lines << keptKind << mailbox << serverId;
    return lines;
}

bool ReviewQueue::saveIfChanged(const QList<QByteArray> &before)
{
    const QList<QByteArray> lines = fileLines();
    const bool saved = write(lines);
    // Announced even when the write failed: the queue in memory has changed and the next
    // write carries it.
    if (lines != before)
        emit changed();
    return saved;
}

bool ReviewQueue::write(const QList<QByteArray> &lines)
{
    if (m_onDisk == lines)
        return true;
    if (TextFile::writeLines(m_path, lines)) {
        m_onDisk = lines;
        return true;
    }
    // The old file may be there or not; the next call writes the queue whole.
    m_onDisk.reset();
    m_services.ErrorReport(
        m_services.caption(QStringLiteral("280001"), QStringLiteral("Cannot write %1")).arg(m_path),
        QStringLiteral("SaveReview"));
    return false;
}
