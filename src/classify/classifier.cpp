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

#include <QSet>

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
    DeleteFlags flags(messages.Count() + 1, false);
    // The spam words are prepared once for the whole mailbox.
    const SpamWordScanner words(m_lists);
    qsizetype index = 0;
    for (CMessage &message : messages) {
        ++index;
        message.Status = keyOf(MessageStatus::Kept);
        message.Reason = keyOf(Reason::NoRule);
        if (isBadMessage(message, words)) {
            mark(flags, index);
            message.Status = keyOf(MessageStatus::Deleted);
        }
    }
    if (m_settings.DeleteRepeated && securityLevel() != SecurityLevel::VeryLow)
        markRepeated(messages, flags);
    announceDeletions(flags);
    return flags;
}

void Classifier::markRepeated(CMessages &messages, DeleteFlags &flags) const
{
    // Grouping by (sender, subject) finds the same pairs as comparing every two messages:
    // the first of a group stays, every later one is marked, whatever rule fired before.
    QSet<RepeatKey> seen;
    seen.reserve(messages.Count());
    qsizetype index = 0;
    for (CMessage &message : messages) {
        ++index;
        if (seen.contains(RepeatKey {message.ReturnPath, message.Subject})) {
            mark(flags, index);
            message.Status = keyOf(MessageStatus::Deleted);
            message.Reason = keyOf(Reason::Repeated);
        } else {
            seen.insert(RepeatKey {message.ReturnPath, message.Subject});
        }
    }
}

void Classifier::announceDeletions(const DeleteFlags &flags)
{
    const int count = NumberOfMes2Del(flags);
    if (count <= 0 || !m_settings.NotifyAfterDel)
        return;
    m_services.notifier.ShowTrayWindow(
        QString::number(count) + u' '
        + m_services.caption(QStringLiteral("10162"),
                             QStringLiteral("spam messages will be deleted!")));
}

bool Classifier::IsBadMessage(CMessage &message) const
{
    return isBadMessage(message, std::nullopt);
}

bool Classifier::isBadMessage(CMessage &message, OptionalScanner words) const
{
    const QByteArray &sender = message.ReturnPath;
    const SecurityLevel level = securityLevel();
    const bool isFriend = IsInFriendList(m_lists, sender);
    if (isFriend)
        message.Reason = keyOf(Reason::FriendSender);

    // A friend that is also blocked is deleted.
    if (IsInBlockedList(m_lists, sender)) {
        message.Reason = keyOf(Reason::BlockedSender);
        return true;
    }
    if (level != SecurityLevel::VeryLow && IsBlockedExt(message.Attachment, isFriend)) {
        message.Reason = keyOf(Reason::BlockedAttachment);
        return true;
    }
    // At Very High the size limit holds for friends too.
    if (m_settings.CheckLargerThan && (level == SecurityLevel::VeryHigh || !isFriend)
        && isLarger(message)) {
        message.Reason = keyOf(Reason::TooLarge);
        return true;
    }
    // The age limit holds for friends too, at every level.
    if (m_settings.DelOld && isOld(message)) {
        message.Reason = keyOf(Reason::TooOld);
        return true;
    }
    if (isFriend)
        return false;
    if (isSpamByWords(message, words)) {
        message.Reason = keyOf(Reason::SpamWords);
        return true;
    }
    return false;
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

bool Classifier::isOld(const CMessage &message) const
{
    // A date that is not a whole calendar date says nothing about the age: such a message
    // is never old, and the remaining tests still apply to it.
    const auto age = MessageAgeInDays(ParseMailDate(message.SendDate), m_clock);
    return age && *age > m_settings.Days;
}

bool Classifier::isSpamByWords(const CMessage &message, OptionalScanner words) const
{
    // Very Low runs no word test, and a threshold of zero or below would call every
    // message spam that has no negative weights.
    if (securityLevel() == SecurityLevel::VeryLow || !(m_settings.EffectiveThreshold > 0.0f))
        return false;
    if (words)
        return IsSpamByWords(words->get(), message.Subject, message.MessageBody,
                             m_settings.EffectiveThreshold);
    return IsSpamByWords(m_lists, message.Subject, message.MessageBody,
                         m_settings.EffectiveThreshold);
}

bool Classifier::IsBlockedExt(const QList<QByteArray> &names, bool isFriend) const
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
                return true;
        }
    }
    return false;
}

int NumberOfMes2Del(const DeleteFlags &flags)
{
    int count = 0;
    for (qsizetype i = 1; i < flags.size(); ++i)
        count += flags.at(i) ? 1 : 0;
    return count;
}
