#include "whytext.h"

#include "platform/showntext.h"
#include "store/services.h"
#include "store/verdict.h"

#include <QLocale>

#include <cmath>

namespace {

// Numbers as an English reader expects them, grouped by thousands, whatever the system's
// locale, so that the texts read the same with the English captions they stand in.
QString numberText(double value)
{
    return QLocale(QLocale::English, QLocale::UnitedStates)
        .toString(value, 'f', QLocale::FloatingPointShortest);
}

QString numberText(qint64 value)
{
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(value);
}

QString spamWordsText(const Verdict &verdict, const Services &services)
{
    QStringList words;
    for (const SpamWordHit &hit : verdict.spamWords)
        words.append(services.caption(QStringLiteral("280013"), QStringLiteral("%1 (%2) x%3"))
                         .arg(shownText(hit.word), numberText(qint64(hit.weight)),
                              numberText(qint64(hit.count))));
    return services
        .caption(QStringLiteral("280012"),
                 QStringLiteral(u"Spam words: %1 \u2014 total %2, threshold %3"))
        .arg(words.join(QStringLiteral(", ")), numberText(double(verdict.wordTotal)),
             numberText(double(verdict.threshold)));
}

} // namespace

QString whyText(const Verdict &verdict, const Services &services)
{
    switch (verdict.reason) {
    case Reason::BlockedSender:
        return services.caption(QStringLiteral("280010"), QStringLiteral("Blocked sender: %1"))
            .arg(shownText(verdict.listEntry));
    case Reason::FriendSender:
        return services.caption(QStringLiteral("280011"), QStringLiteral("Friend: %1"))
            .arg(shownText(verdict.listEntry));
    case Reason::SpamWords:
        return spamWordsText(verdict, services);
    case Reason::BlockedAttachment:
        return services
            .caption(QStringLiteral("280014"),
                     QStringLiteral("Attachment %1 is a watched type (%2)"))
            .arg(shownText(verdict.attachmentName), shownText(verdict.watchedType));
    case Reason::TooLarge:
        // Rounded up: the rule compares the exact size, so a message a fraction of a KB
        // over the limit must not read as being at the limit.
        return services
            .caption(QStringLiteral("280015"),
                     QStringLiteral("Size %1 KB is over the limit of %2 KB"))
            .arg(numberText(qint64(std::ceil(double(verdict.sizeBytes) / 1024.0))),
                 numberText(qint64(verdict.sizeLimitKB)));
    case Reason::TooOld:
        return services
            .caption(QStringLiteral("280016"),
                     QStringLiteral("%1 days old, over the limit of %2 days"))
            .arg(numberText(qint64(verdict.ageDays)), numberText(qint64(verdict.dayLimit)));
    case Reason::Repeated:
        return services
            .caption(QStringLiteral("280017"),
                     QStringLiteral("Repeats message %1 (same sender and subject)"))
            .arg(verdict.repeatsMessage);
    case Reason::NoRule:
        return services.caption(QStringLiteral("280018"), QStringLiteral("No rule matched"));
    }
    return {};
}
