#include "decisionlog.h"

#include "actionlog.h"
#include "platform/headertext.h"
#include "platform/showntext.h"
#include "services.h"
#include "verdictkeys.h"

namespace {

// The reason's words in the language pack, else in English.
QString reasonCaption(const Services &services, const QByteArray &key)
{
    const std::optional<Reason> reason = reasonOf(key);
    return services.caption(QString::fromLatin1(key),
                            QString::fromLatin1(reason ? englishText(*reason) : "??ERROR??"));
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
                              decodedHeaderText(subject), reasonCaption(services, reasonKey)));
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
