#include "reviewqueue.h"

#include "damagedfile.h"
#include "platform/datadir.h"
#include "platform/textfile.h"
#include "services.h"

#include <QFile>

#include <algorithm>
#include <optional>

namespace {

constexpr char itemKind[] = "item";
constexpr char keptKind[] = "kept";

// A text as one line of the file: a line break inside it would start another line.
QByteArray field(QByteArray text)
{
    return text.replace('\r', ' ').replace('\n', ' ');
}

QList<QByteArray> itemLines(const ReviewItem &item)
{
    return {itemKind,
            field(item.AccountName),
            field(item.serverId),
            QByteArray::number(item.MailNumber),
            field(item.Sender),
            field(item.Subject),
            field(item.SendDate),
            field(item.Size),
            keyOf(item.reason),
            field(item.why.toUtf8())};
}

// Reads the blocks one after the other; stops at the first fault.
class BlockReader
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

std::optional<ReviewItem> readItem(BlockReader &reader)
{
    const auto lines = reader.take(9);
    if (!lines)
        return std::nullopt;
    bool isNumber = false;
    ReviewItem item;
    item.AccountName = lines->at(0);
    item.serverId = lines->at(1);
    item.MailNumber = lines->at(2).toInt(&isNumber);
    item.Sender = lines->at(3);
    item.Subject = lines->at(4);
    item.SendDate = lines->at(5);
    item.Size = lines->at(6);
    const std::optional<Reason> reason = reasonOf(lines->at(7));
    item.why = QString::fromUtf8(lines->at(8));
    if (!isNumber || !reason)
        return std::nullopt;
    item.reason = *reason;
    return item;
}

} // namespace

ReviewQueue::ReviewQueue(const QString &dataDir, Services &services, QObject *parent)
    : QObject(parent)
    , m_path(dataPath(dataDir, QStringLiteral("\\Review.ini")))
    , m_services(services)
{
}

void ReviewQueue::load()
{
    m_items.clear();
    m_kept.clear();
    m_keptSet.clear();
    // No file yet: nothing has ever waited for review.
    if (!QFile::exists(m_path)) {
        emit changed();
        return;
    }
    const std::optional<QList<QByteArray>> lines = TextFile::readLines(m_path);
    bool complete = lines.has_value();
    qsizetype completeEnd = 0; // the end of the last complete block
    if (lines) {
        BlockReader reader(*lines);
        while (complete && !reader.atEnd()) {
            completeEnd = reader.position();
            const QByteArray kind = reader.take(1)->at(0);
            if (kind == itemKind) {
                const std::optional<ReviewItem> item = readItem(reader);
                if (item)
                    m_items.append(*item);
                complete = item.has_value();
            } else if (kind == keptKind) {
                const auto ids = reader.take(2);
                if (ids)
                    keepId(ids->at(0), ids->at(1));
                complete = ids.has_value();
            } else {
                complete = false;
            }
        }
        if (complete)
            completeEnd = reader.position();
    }
    if (!complete) {
        // What was read before the fault stays and is written back at once. Nothing after
        // it is read: a subject or an account can be named "item" or "kept" too, so a kind
        // line found after the damage could start a block in the middle of another.
        keepDamagedFile(
            m_services, m_path,
            m_services.caption(QStringLiteral("280030"),
                               QStringLiteral("Review.ini is corrupted, it will be reset.")),
            completeEnd == 0 ? std::nullopt
                             : std::optional<QByteArray>(crLfLines(lines->first(completeEnd))),
            QStringLiteral("LoadReview"));
    }
    emit changed();
}

bool ReviewQueue::isKept(const QByteArray &accountName, const QByteArray &serverId) const
{
    return m_keptSet.contains(std::pair {field(accountName), field(serverId)});
}

bool ReviewQueue::replaceAccount(const QByteArray &accountName, const QList<ReviewItem> &items)
{
    m_items.removeIf(
        [&](const ReviewItem &item) { return item.AccountName == field(accountName); });
    // The account's items are gone from the queue, so only these can repeat one another.
    QSet<QByteArray> queued;
    for (ReviewItem item : items) {
        item.AccountName = field(accountName);
        item.serverId = field(item.serverId);
        if (queued.contains(item.serverId) || isKept(item.AccountName, item.serverId))
            continue;
        queued.insert(item.serverId);
        m_items.append(item);
    }
    return saveAndAnnounce();
}

bool ReviewQueue::keep(const QList<ReviewItem> &items)
{
    for (const ReviewItem &item : items)
        keepId(field(item.AccountName), field(item.serverId));
    return remove(items);
}

bool ReviewQueue::remove(const QList<ReviewItem> &items)
{
    QSet<std::pair<QByteArray, QByteArray>> gone;
    for (const ReviewItem &item : items)
        gone.insert({field(item.AccountName), field(item.serverId)});
    m_items.removeIf([&](const ReviewItem &queued) {
        return gone.contains({queued.AccountName, queued.serverId});
    });
    return saveAndAnnounce();
}

void ReviewQueue::keepId(const QByteArray &accountName, const QByteArray &serverId)
{
    if (m_keptSet.contains({accountName, serverId}))
        return;
    m_keptSet.insert({accountName, serverId});
    m_kept.append({accountName, serverId});
}

bool ReviewQueue::saveAndAnnounce()
{
    QList<QByteArray> lines;
    for (const ReviewItem &item : std::as_const(m_items))
        lines << itemLines(item);
    for (const auto &[account, serverId] : std::as_const(m_kept))
        lines << keptKind << account << serverId;
    const bool saved = TextFile::writeLines(m_path, lines);
    if (!saved)
        // The queue stays in memory: the next change writes it whole.
        m_services.ErrorReport(
            m_services.caption(QStringLiteral("280001"), QStringLiteral("Cannot write %1"))
                .arg(m_path),
            QStringLiteral("SaveReview"));
    emit changed();
    return saved;
}
