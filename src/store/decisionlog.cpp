#include "decisionlog.h"

#include "actionlog.h"
#include "platform/headertext.h"
#include "platform/showntext.h"
#include "services.h"
#include "verdictkeys.h"

namespace {

// The reason's own words when no language pack gives them.
QString reasonText(const Services &services, const QByteArray &key)
{
    const std::optional<Reason> reason = reasonOf(key);
    const char *english = "??ERROR??";
    if (reason) {
        switch (*reason) {
        case Reason::NoRule:
            english = "No rule applied";
            break;
        case Reason::FriendSender:
            english = "Friend";
            break;
        case Reason::BlockedSender:
            english = "Blocked sender";
            break;
        case Reason::BlockedAttachment:
            english = "Blocked attachment type";
            break;
        case Reason::SpamWords:
            english = "Spam words";
            break;
        case Reason::TooLarge:
            english = "Larger than the size limit";
            break;
        case Reason::TooOld:
            english = "Older than the age limit";
            break;
        case Reason::Repeated:
            english = "Repeated message";
            break;
        }
    }
    return services.caption(QString::fromLatin1(key), QString::fromLatin1(english));
}

// A message without a sender reads as SMTP's null sender.
QString shownSender(const QByteArray &sender)
{
    return sender.isEmpty() ? QStringLiteral("<>") : decodedHeaderText(sender);
}

} // namespace

void logDeleted(Services &services, const QByteArray &accountName, const QByteArray &sender,
                const QByteArray &subject, const QByteArray &reasonKey)
{
    services.log.Log(services
                         .caption(QStringLiteral("280143"),
                                  QStringLiteral("%1: deleted the message from %2, \"%3\" (%4)."))
                         .arg(shownText(accountName), shownSender(sender),
                              decodedHeaderText(subject), reasonText(services, reasonKey)));
}

void logKept(Services &services, const QByteArray &accountName, const QByteArray &sender,
             const QByteArray &subject)
{
    services.log.Log(
        services
            .caption(QStringLiteral("280144"),
                     QStringLiteral("%1: kept the message from %2, \"%3\"."))
            .arg(shownText(accountName), shownSender(sender), decodedHeaderText(subject)));
}

void logFriendAdded(Services &services, const QByteArray &entry)
{
    services.log.Log(
        services
            .caption(QStringLiteral("280145"), QStringLiteral("%1 was added to the friend list."))
            .arg(shownText(entry)));
}
