#include "classifier.h"

#include "maildate.h"
#include "matching.h"
#include "message/cmessages.h"
#include "platform/clock.h"
#include "platform/notifier.h"
#include "securitylevel.h"
#include "spamwords.h"
#include "store/appsettings.h"
#include "store/maillists.h"
#include "store/services.h"
#include "store/verdictkeys.h"

#include <QHash>

namespace {

struct RepeatKey
{
    QByteArray returnPath;
    QByteArray subject;
    bool operator==(const RepeatKey &) const = default;
    friend size_t qHash(const RepeatKey &key, size_t seed = 0)
    {
        return qHashMulti(seed, key.returnPath, key.subject);
    }
};

// The extension of a file name in lower case: the text after its last ".", empty without.
QByteArray extensionOf(const QByteArray &name)
{
    const qsizetype dot = name.lastIndexOf('.');
    return dot < 0 ? QByteArray() : name.mid(dot + 1).toLower();
}

bool isExecutable(const QByteArray &extension)
{
    return extension == "exe" || extension == "scr";
}

void decide(Verdict &verdict, Reason reason)
{
    verdict.status = MessageStatus::Deleted;
    verdict.reason = reason;
}

void mark(DeleteFlags &flags, qsizetype index)
{
    flags[index] = true;
    flags[0] = true;
}

} // namespace

Classifier::Classifier(const AppSettings &settings, const MailLists &lists, Services &services,
                       const Clock &clock)
    : m_settings(settings)
    , m_lists(lists)
    , m_services(services)
    , m_clock(clock)
{
}

DeleteFlags Classifier::CheckAllMessages(CMessages &messages)
{
    return applyVerdicts(messages, judgeAll(messages));
}

QList<Verdict> Classifier::judgeAll(const CMessages &messages) const
{
    return judgeAll(messages, {});
}

QList<Verdict> Classifier::judgeAll(const CMessages &messages,
                                    const QList<std::optional<Verdict>> &known,
                                    QList<Verdict> *single) const
{
    QList<Verdict> verdicts;
    verdicts.reserve(messages.Count());
    // The spam words are prepared once for the whole mailbox, and only when a message needs them.
    std::optional<SpamWordScanner> words;
    qsizetype index = 0;
    for (const CMessage &message : messages) {
        if (const std::optional<Verdict> &verdict = known.value(index++); verdict) {
            verdicts.append(*verdict);
            continue;
        }
        if (!words)
            words.emplace(m_lists);
        verdicts.append(judge(message, *words));
    }
    if (single)
        *single = verdicts;
    if (m_settings.DeleteRepeated && securityLevel() != SecurityLevel::VeryLow)
        markRepeated(messages, verdicts);
    return verdicts;
}

DeleteFlags Classifier::applyVerdicts(CMessages &messages, const QList<Verdict> &verdicts)
{
    Q_ASSERT(verdicts.size() == messages.Count());
    DeleteFlags flags(messages.Count() + 1, false);
    qsizetype index = 0;
    for (CMessage &message : messages) {
        const Verdict &verdict = verdicts.at(index++);
        message.Status = keyOf(verdict.status);
        message.Reason = keyOf(verdict.reason);
        if (verdict.isToDelete())
            mark(flags, index);
    }
    announceDeletions(flags);
    return flags;
}

void Classifier::markRepeated(const CMessages &messages, QList<Verdict> &verdicts) const
{
    // Grouping by (sender, subject) finds the same pairs as comparing every two messages:
    // the first of a group stays, every later one is marked as its repeat, whatever rule
    // fired before.
    QHash<RepeatKey, int> firstOfGroup;
    firstOfGroup.reserve(messages.Count());
    int index = 0;
    for (const CMessage &message : messages) {
        ++index;
        RepeatKey key {message.ReturnPath, message.Subject};
        const auto first = firstOfGroup.constFind(key);
        if (first == firstOfGroup.cend()) {
            firstOfGroup.insert(std::move(key), index);
            continue;
        }
        Verdict &verdict = verdicts[index - 1];
        decide(verdict, Reason::Repeated);
        verdict.repeatsMessage = *first;
    }
}

void Classifier::announceDeletions(const DeleteFlags &flags)
{
    // While "Ask me before deleting" is on nothing is deleted now: the check announces what
    // awaits the user's review once it has ended instead.
    const int count = NumberOfMes2Del(flags);
    if (count <= 0 || !m_settings.NotifyAfterDel || m_settings.AskBeforeDel)
        return;
    m_services.notifier.ShowTrayWindow(
        QString::number(count) + u' '
        + m_services.caption(QStringLiteral("10162"),
                             QStringLiteral("spam messages will be deleted!")));
}

bool Classifier::IsBadMessage(CMessage &message) const
{
    const Verdict verdict = judge(message, std::nullopt);
    // The reason is written only when the sender is a friend or a rule fired.
    if (verdict.reason != Reason::NoRule)
        message.Reason = keyOf(verdict.reason);
    return verdict.isToDelete();
}

Verdict Classifier::judge(const CMessage &message) const
{
    return judge(message, std::nullopt);
}

Verdict Classifier::judge(const CMessage &message, OptionalScanner words) const
{
    Verdict verdict;
    const QByteArray &sender = message.ReturnPath;
    verdict.address = sender;
    const SecurityLevel level = securityLevel();
    const AddressPattern *friendEntry = friendEntryFor(m_lists, sender);
    const bool isFriend = friendEntry != nullptr;
    if (isFriend) {
        verdict.reason = Reason::FriendSender;
        verdict.listEntry = *friendEntry;
    }

    // A friend that is also blocked is deleted.
    if (const AddressPattern *blockedEntry = blockedEntryFor(m_lists, sender)) {
        verdict.listEntry = *blockedEntry;
        decide(verdict, Reason::BlockedSender);
        return verdict;
    }
    if (level != SecurityLevel::VeryLow) {
        if (auto attachment = watchedAttachment(message.Attachment, isFriend)) {
            verdict.attachmentName = std::move(attachment->name);
            verdict.watchedType = std::move(attachment->watchedType);
            decide(verdict, Reason::BlockedAttachment);
            return verdict;
        }
    }
    // At Very High the size limit holds for friends too.
    if (m_settings.CheckLargerThan && (level == SecurityLevel::VeryHigh || !isFriend)
        && isLarger(message)) {
        verdict.sizeBytes = message.SIZE;
        verdict.sizeLimitKB = m_settings.MaxSizeKB;
        decide(verdict, Reason::TooLarge);
        return verdict;
    }
    // The age limit holds for friends too, at every level.
    if (m_settings.DelOld) {
        if (const std::optional<int> age = oldAge(message)) {
            verdict.ageDays = *age;
            verdict.dayLimit = m_settings.Days;
            decide(verdict, Reason::TooOld);
            return verdict;
        }
    }
    if (isFriend)
        return verdict;
    if (isSpamByWords(message, words, verdict))
        decide(verdict, Reason::SpamWords);
    return verdict;
    return verdict;
}

SecurityLevel Classifier::securityLevel() const
{
    // The settings store and the level panel only ever store a level; should another number
    // be there, the rules work as LoadSettings would read it, at the default Normal.
    return securityLevelFrom(m_settings.SecurityLevel).value_or(SecurityLevel::Normal);
}

bool Classifier::isLarger(const CMessage &message) const
{
    // Sizes compare in KB without rounding: exactly the limit is not larger.
    return double(message.SIZE) / 1024.0 > double(m_settings.MaxSizeKB);
}

std::optional<int> Classifier::oldAge(const CMessage &message) const
{
    // A date that is not a whole calendar date says nothing about the age: such a message
    // is never old, and the remaining tests still apply to it.
    const auto age = MessageAgeInDays(ParseMailDate(message.SendDate), m_clock);
    if (age && *age > m_settings.Days)
        return int(*age);
    return std::nullopt;
}

bool Classifier::isSpamByWords(const CMessage &message, OptionalScanner words,
                               Verdict &verdict) const
{
    // Very Low runs no word test, and a threshold of zero or below would call every
    // message spam that has no negative weights.
    const float threshold = m_settings.EffectiveThreshold;
    if (securityLevel() == SecurityLevel::VeryLow || !(threshold > 0.0f))
        return false;
    if (!m_lists.BadWordsLoaded)
        return false;
    // One message alone (IsBadMessage) prepares the words for itself.
    std::optional<SpamWordScanner> ownScanner;
    if (!words)
        words = std::cref(ownScanner.emplace(m_lists));
    const SpamWordScanner &scanner = words->get();
    if (!scanner.isLoaded())
        return false;
    verdict.wordsScored = true;
    verdict.wordTotal = scanner.score(message.Subject, message.MessageBody, &verdict.spamWords);
    verdict.threshold = threshold;
    return verdict.wordTotal >= threshold;
}

bool Classifier::IsBlockedExt(const QList<QByteArray> &names, bool isFriend) const
{
    return watchedAttachment(names, isFriend).has_value();
}

std::optional<Classifier::WatchedAttachment>
Classifier::watchedAttachment(const QList<QByteArray> &names, bool isFriend) const
{
    const SecurityLevel level = securityLevel();
    for (qsizetype i = 1; i < names.size(); ++i) {
        const QByteArray extension = extensionOf(names.at(i));
        // Which senders have every watched type checked, and which only "exe" and "scr":
        // friends at levels 1 to 3, everyone at 3, non-friends at 4.
        const bool onlyExecutables = (isFriend && level < SecurityLevel::Low)
            || level == SecurityLevel::Normal || (!isFriend && level == SecurityLevel::Low);
        if (onlyExecutables && !isExecutable(extension))
            continue;
        for (const QByteArray &watched : m_settings.WatchedExtensions) {
            if (watched.compare(extension, Qt::CaseInsensitive) == 0)
                return WatchedAttachment {names.at(i), watched};
        }
    }
    return std::nullopt;
}

int NumberOfMes2Del(const DeleteFlags &flags)
{
    int count = 0;
    for (qsizetype i = 1; i < flags.size(); ++i)
        count += flags.at(i) ? 1 : 0;
    return count;
}
