#pragma once

#include "message/cmessage.h"
#include "message/messageidentity.h"
#include "store/messagecache.h"
#include "store/records.h"
#include "store/verdict.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class CMessages;
class History;
struct Services;

// One session's use of an account's message cache. The session lists the server's ids and
// learns which messages it must fetch; the others come from the cache, as far as the rules,
// the repeated-message rule and the history need them, with the verdicts they last received
// when nothing those depend on has changed, else parsed again from their cached text. The
// verdicts go back into the cache once the history has recorded the mailbox.
//
// Whatever the cache cannot vouch for is fetched: an id it does not hold, an entry whose text
// is damaged or whose body went with a saved copy, ids of another kind or another UIDVALIDITY.
class MailboxCache
{
public:
    // fingerprint gives the verdict fingerprint of the moment (VerdictFingerprint). Loads
    // the account's cache from the disk.
    MailboxCache(const QString &dataDir, Services &services, const MailAccount &account,
                 std::function<QByteArray()> fingerprint, CacheDisk *disk = nullptr);
    // Over a cache already loaded, kept by the caller from one check to the next; the
    // history tells which saved copies its records still name.
    MailboxCache(MessageCache &store, Services &services, const MailAccount &account,
                 std::function<QByteArray()> fingerprint, const History &history);
    // The folder of the account's cache under dataDir, to recognise a cache kept loaded.
    static QString folderOf(const QString &dataDir, Services &services, const MailAccount &account);

    // The server's ids of the mailbox in its order (element i for the session's message i;
    // an empty id where the server gave none) and the sizes it gives them (-1 where it gave
    // none). Gives, element for element, whether the message must be fetched: a cached
    // message is used only under the same id and the same size, and when its entry holds
    // the digest of its headers that a deletion asks the server to confirm. Without ids
    // (hasIds false) every message is fetched, and the account's cache is emptied.
    QList<bool> plan(const CacheIdKind &kind, const QList<QByteArray> &ids,
                     const QList<qint64> &sizes, bool hasIds);
    // A message the session fetched (index as in plan), written to the cache at once. With
    // isHeaderBlock, rawText is its header block alone, the rest being in the message's body
    // (CMessage::parseTakingBody).
    void fetched(int index, const QByteArray &rawText, const CMessage &message,
                 bool isHeaderBlock = false);
    // A message plan() left to the cache, moved out once.
    CMessage takeCached(int index);
    // The message plan() left to the cache: its text was not fetched in this session.
    bool isCached(int index) const;
    // What the message was when it was judged (for a cached message) or fetched: its id,
    // size and header digest.
    MessageIdentity identity(int index) const;
    // The server's message under a cached message's id is another one (its headers differ):
    // the entry is dropped at the commit and the message fetched as new at the next check.
    void mistaken(int index);
    // The mailbox the session is about to judge, by the plan's index of each of its
    // messages in order. Logs how many messages were fetched and how many came from the cache.
    void setMailbox(const CMessages &messages, const QList<int> &indexAt);

    bool isFor(const CMessages &messages) const { return &messages == m_mailbox; }
    // The single-message verdicts already known, by position from 0. When what they depend
    // on has changed since plan(), every message is judged anew, parsed from its text.
    QList<std::optional<Verdict>> knownVerdicts(CMessages &messages);
    // The single-message verdicts of the whole mailbox, by position from 0.
    void judged(const QList<Verdict> &single) { m_single = single; }
    // Before the history: a message from the cache that it will record anew needs its body
    // for the saved copy. False when one could not be read (the entry is dropped, so the next
    // check fetches it).
    bool prepareForHistory(CMessages &messages, const History &history);
    // After the history: the fetched messages and the new verdicts are committed, and the
    // entries of messages the server no longer lists dropped.
    void commit(const CMessages &messages, const History &history);

    int fetchedCount() const { return m_fetchedCount; }
    int cachedCount() const { return m_cachedCount; }

private:
    enum class Source {
        Fetch,
        Verdict, // the cached verdict holds: nothing is parsed
        Parsed, // judged anew, from the cached text
    };
    struct Planned
    {
        QByteArray id;
        Source source = Source::Fetch;
        std::optional<CMessage> message; // until taken
        std::optional<Verdict> verdict; // with Source::Verdict
        bool isFetched = false;
        bool isMistaken = false;
        qint64 size = -1; // the server's
        QByteArray headerDigest;
    };
    std::optional<CMessage> parsedText(const QByteArray &id);
    void reportUnwritten();

    Services &m_services;
    QByteArray m_accountName;
    std::unique_ptr<MessageCache> m_ownStore;
    MessageCache &m_store;
    const History *m_history = nullptr;
    std::function<QByteArray()> m_currentFingerprint;
    QByteArray m_fingerprint; // of plan(), then of the verdicts
    QList<Planned> m_planned;
    QList<QByteArray> m_listed;
    bool m_isUsable = false; // the ids can be kept
    const CMessages *m_mailbox = nullptr;
    QList<int> m_indexAt;
    QList<Verdict> m_single;
    bool m_hasReported = false;
    int m_fetchedCount = 0;
    int m_cachedCount = 0;
};

// The fields of a message that its verdict and its history record are read from, as text,
// and back: the message is not parsed again for them.
QByteArray messageSummary(const CMessage &message);
std::optional<CMessage> messageFromSummary(const QByteArray &summary);
