#pragma once

#include "verdict.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <optional>

struct Services;

// The account a cache belongs to, keyed as the other per-account stores key it.
struct CacheAccount
{
    QByteArray ServerType; // "POP3" or "IMAP"
    QByteArray MailServer;
    qint16 Port = 0;
    QByteArray UserName;
    friend bool operator==(const CacheAccount &, const CacheAccount &) = default;
};

// What the server ids of an account are. IMAP UIDs name the same message only under the same
// UIDVALIDITY.
struct CacheIdKind
{
    enum Kind { Pop3Uidl, ImapUid } kind = Pop3Uidl;
    quint32 uidValidity = 0; // IMAP only
    friend bool operator==(const CacheIdKind &, const CacheIdKind &) = default;
};

// The saved copy the history wrote for a message ("<html>" + body at Mails/<n>.mal).
struct SavedCopyRef
{
    int mailNumber = 0;
    QByteArray body; // the bytes the copy holds after "<html>"
};

// What a cache knows about one message without reading its text.
struct CachedMessage
{
    QByteArray id;
    qint64 size = 0; // as the server gave it when the message was fetched
    QByteArray headerDigest; // identityDigest() of its text; empty for an entry written before
    Verdict verdict;
    QByteArray fingerprint; // the verdict fingerprint the verdict was made under
    QByteArray summary; // what the caller stored to use the verdict without the text
    bool hasSharedBody = false; // the body is read from a saved copy of the history
};

// The file operations of the cache, replaceable in tests (to count what is written, or to
// stop half-way as a killed program would).
class CacheDisk
{
public:
    virtual ~CacheDisk() = default;
    // Replaces the file atomically: temporary file, flush, sync, rename.
    [[nodiscard]] virtual bool replace(const QString &path, const QByteArray &bytes);
    // Appends and syncs to the disk.
    [[nodiscard]] virtual bool append(const QString &path, const QByteArray &bytes);
    // Writes a new file under a temporary name and renames it; not synced, as the index that
    // names it holds its length and digest and a short file reads as absent.
    [[nodiscard]] virtual bool writeNew(const QString &path, const QByteArray &bytes);
    virtual void remove(const QString &path);
};

// The local copies of one account's messages, so that a check fetches only what is new on
// the server, and the verdicts they last received. Kept in "Cache/<account>/" in the data
// folder: an index appended to in committed batches and one file per message, written once.
//
// A kill at any moment leaves the state of the last committed batch; an entry whose index
// line or message file is damaged reads as absent (so the message is fetched again) and is
// reported once in the log: a damaged index is moved aside, a damaged message file removed
// (the server holds the message). The cache holds what the server
// listed at the last update and nothing more.
class MessageCache
{
public:
    MessageCache(const QString &dataDir, Services &services, const CacheAccount &account,
                 CacheDisk *disk = nullptr);

    // Reads the index; a damaged one is reported, moved aside and written back with the
    // entries that could be read. Message files no entry names (a kill before the commit
    // that would have named them) are removed.
    void load();

    // The server ids of this check: when they are not of the kind the cache holds (another
    // UIDVALIDITY, or the server stopped giving UIDLs) every entry is dropped. False when
    // the cache was emptied and could not be written.
    [[nodiscard]] bool useIds(const CacheIdKind &kind);
    CacheIdKind idKind() const { return m_kind; }

    int count() const { return int(m_entries.size()); }
    // The entry without its text; nothing when the id is not cached.
    std::optional<CachedMessage> find(const QByteArray &id) const;
    // The raw text (header block, empty line, body) of a cached message, read and checked.
    // Nothing when the id is not cached or its bytes are gone or damaged: the entry is then
    // dropped (a damaged file is reported and moved aside; a saved copy the user deleted
    // with its history record is not).
    std::optional<QByteArray> text(const QByteArray &id);

    // A fetched message, size as the server gave it. Its bytes are written at once; the index
    // names them at update().
    // With copy, and when the copy holds the message's body (each CR LF as "<BR>"), only the
    // header block is written and the body is read from the copy.
    [[nodiscard]] bool add(const QByteArray &id, const QByteArray &rawText, qint64 size,
                           const Verdict &verdict, const QByteArray &fingerprint,
                           const std::optional<SavedCopyRef> &copy = std::nullopt,
                           const QByteArray &summary = {});

    // The same in two steps, for a check that writes each message as it arrives and learns
    // its verdict and saved copy later. stage() writes the text at once; copyBody is what the
    // history's saved copy will hold after "<html>", so that only the header block is written
    // when the copy holds the body. With isHeaderBlock, rawText is the header block alone and
    // the body is copyBody with each "<BR>" as CR LF (CMessage::parseTakingBody): the copy
    // holds it. A staged message is not in the cache until complete() names it, and a kill
    // before the commit leaves its file to the next load to remove.
    [[nodiscard]] bool stage(const QByteArray &id, const QByteArray &rawText,
                             const QByteArray &copyBody = {}, bool isHeaderBlock = false);
    // copyNumber: the history record whose saved copy holds the message's body; a message
    // staged without its body and without such a record is left out (fetched again next time).
    [[nodiscard]] bool complete(const QByteArray &id, qint64 size, const Verdict &verdict,
                                const QByteArray &fingerprint, const QByteArray &summary,
                                int copyNumber);

    // A cached message judged again under another fingerprint; an empty summary keeps the
    // one it has.
    void setVerdict(const QByteArray &id, const Verdict &verdict, const QByteArray &fingerprint,
                    const QByteArray &summary = {});
    // The message's body can be had: kept in the cache, or in a saved copy that a history
    // record still names (recordedCopies: their MailNumbers) or that is still on the disk.
    // The bytes themselves are checked only by text().
    bool hasText(const QByteArray &id, const QSet<int> &recordedCopies = {}) const;

    // Ends a check: drops every id the server did not list and commits the changes since the
    // last update to the disk. The message files of dropped entries are removed after the
    // commit. False when the index could not be written (the previous state stays on disk).
    [[nodiscard]] bool update(const QList<QByteArray> &listedIds);

    // Drops every entry and every message file of the account.
    [[nodiscard]] bool dropAccount();

    QString folder() const { return m_folder; }
    QString indexPath() const;

private:
    struct Entry
    {
        QByteArray id;
        qint64 size = 0;
        QByteArray headerDigest;
        int file = 0; // <file>.msg
        qint64 fileLength = 0;
        QByteArray fileDigest;
        int copyNumber = 0; // 0: the file holds the whole text
        qint64 copyLength = 0;
        QByteArray copyDigest;
        QByteArray fingerprint;
        QByteArray summary;
        Verdict verdict;
    };
    QString messagePath(int file) const;
    QString copyPath(int mailNumber) const;
    QByteArray headerLine() const;
    static QByteArray entryLine(const Entry &entry);
    static std::optional<Entry> readEntry(const QList<QByteArray> &fields);
    QByteArray wholeIndex() const;
    bool rewrite();
    bool hasFolder();
    // Every entry, staged message and change in memory, without touching the disk.
    void forgetAll();
    void reportDamage(const QString &path, const std::optional<QString> &keptAs);
    void reportRemoved(const QString &path);
    void removeStrayFiles();
    void forget(const QByteArray &id);

    QString m_folder;
    QString m_dataDir;
    Services &m_services;
    CacheAccount m_account;
    CacheDisk m_ownDisk;
    CacheDisk &m_disk;
    CacheIdKind m_kind;
    QHash<QByteArray, Entry> m_entries;
    QHash<QByteArray, Entry> m_staged; // written, waiting for complete()
    QList<QByteArray> m_pending; // index lines of the batch not committed yet
    QSet<int> m_obsoleteFiles; // to remove once the batch that drops them is committed
    int m_nextFile = 1;
    bool m_hasFolder = false; // made by this cache
    qsizetype m_indexLines = 0; // entry lines in the file, live or replaced
    bool m_mustRewrite = true; // the file is missing, damaged or of another kind
};
