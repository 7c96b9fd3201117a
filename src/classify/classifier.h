#pragma once

#include "securitylevel.h"
#include "store/verdict.h"

#include <QByteArray>
#include <QList>

#include <functional>
#include <optional>

class CMessage;
class CMessages;
class Clock;
class SpamWordScanner;
struct AppSettings;
struct MailLists;
struct Services;

// Element i (1 .. N) marks message i of a mailbox for deletion; element 0 is set when any is.
using DeleteFlags = QList<bool>;

// The spam rules over one fetched mailbox. Reads the live settings and lists at each call
// and keeps no state between calls.
class Classifier
{
public:
    Classifier(const AppSettings &settings, const MailLists &lists, Services &services,
               const Clock &clock);

    // Gives every message its Status and Reason and returns which to delete. Announces the
    // number of deletions in the popup, before anything is deleted, when NotifyAfterDel is on.
    DeleteFlags CheckAllMessages(CMessages &messages);

    // The verdicts of a mailbox, element i - 1 for message i: the single-message rules, then
    // the repeated-message rule over the whole mailbox. Changes nothing.
    QList<Verdict> judgeAll(const CMessages &messages) const;
    // The same where the single-message verdicts of some messages are already known (element
    // i - 1 for message i; nothing: judge it): those are taken as they are. The repeated-message
    // rule always runs over the whole mailbox. single, when given, receives the single-message
    // verdicts, as they were before that rule.
    QList<Verdict> judgeAll(const CMessages &messages, const QList<std::optional<Verdict>> &known,
                            QList<Verdict> *single = nullptr) const;

    // What CheckAllMessages does with the verdicts: writes each message's Status and Reason
    // from its verdict, announces the deletions and returns the flags.
    DeleteFlags applyVerdicts(CMessages &messages, const QList<Verdict> &verdicts);

    // The single-message rules in order: blocked sender, attachment type, size, age, spam
    // words; the first that fires decides and writes its reason. A friend is spared by the
    // attachment rule at most levels, by the size rule below level 1 and by the word test.
    bool IsBadMessage(CMessage &message) const;
    // The same rules as a verdict, without touching the message.
    Verdict judge(const CMessage &message) const;

    // True when a name (from index 1) has a watched extension that the level checks for
    // this class of sender.
    bool IsBlockedExt(const QList<QByteArray> &names, bool isFriend) const;

private:
    using OptionalScanner = std::optional<std::reference_wrapper<const SpamWordScanner>>;
    struct WatchedAttachment
    {
        QByteArray name;
        QByteArray watchedType;
    };
    Verdict judge(const CMessage &message, OptionalScanner words) const;
    std::optional<WatchedAttachment> watchedAttachment(const QList<QByteArray> &names,
                                                       bool isFriend) const;
    SecurityLevel securityLevel() const;
    bool isLarger(const CMessage &message) const;
    std::optional<int> oldAge(const CMessage &message) const;
    bool isSpamByWords(const CMessage &message, OptionalScanner words, Verdict &verdict) const;
    void markRepeated(const CMessages &messages, QList<Verdict> &verdicts) const;
    void announceDeletions(const DeleteFlags &flags);

    const AppSettings &m_settings;
    const MailLists &m_lists;
    Services &m_services;
    const Clock &m_clock;
};

// The number of messages marked for deletion (element 0 not counted).
int NumberOfMes2Del(const DeleteFlags &flags);
