#include "historyfilter.h"

#include "platform/showntext.h"
#include "services.h"
#include "verdictkeys.h"

namespace {

// The day part of CheckedAt ("yyyy-MM-dd HH:mm:ss"); invalid when it cannot be read.
QDate checkDayOf(const HistoryRecord &record)
{
    const QByteArray &checkedAt = record.CheckedAt;
    return QDate::fromString(QString::fromLatin1(checkedAt.left(checkedAt.indexOf(' '))),
                             QStringLiteral("yyyy-MM-dd"));
}

bool inPeriod(const QDate &checkDay, const HistoryFilter &filter)
{
    // A check day that cannot be read drops nothing.
    if (!checkDay.isValid())
        return true;
    switch (filter.period) {
    case HistoryFilter::Period::Any:
        return true;
    case HistoryFilter::Period::Today:
        return checkDay == filter.today;
    case HistoryFilter::Period::Range:
        return checkDay >= filter.from && checkDay <= filter.to;
    }
    return true;
}

bool senderShown(const QByteArray &sender, HistoryFilter::Senders senders, const SenderLists &lists)
{
    switch (senders) {
    case HistoryFilter::Senders::All:
        return true;
    case HistoryFilter::Senders::Friends:
        return lists.isFriend(sender);
    case HistoryFilter::Senders::Blocked:
        return lists.isBlocked(sender);
    case HistoryFilter::Senders::Others:
        return !lists.isFriend(sender) && !lists.isBlocked(sender);
    }
    return true;
}

} // namespace

QString shownStatus(const QByteArray &status, const Services &services)
{
    const std::optional<MessageStatus> known = statusOf(status);
    QString fallback = QStringLiteral("??ERROR??");
    if (known == MessageStatus::AwaitingReview)
        fallback = QStringLiteral("Awaiting review");
    else if (known == MessageStatus::DeletionPending)
        fallback = QStringLiteral("Deletion pending");
    return services.caption(QString::fromLatin1(status), fallback);
}

bool matchesFilter(const HistoryRecord &record, const HistoryFilter &filter,
                   const Services &services, const SenderLists &lists)
{
    if (!inPeriod(checkDayOf(record), filter))
        return false;
    if (filter.account && *filter.account != shownText(record.AccountName))
        return false;
    if (filter.status && *filter.status != shownStatus(record.Status, services))
        return false;
    return senderShown(record.Sender, filter.senders, lists);
}
