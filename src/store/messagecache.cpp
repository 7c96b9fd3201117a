#include "messagecache.h"

#include "actionlog.h"
#include "message/bytetext.h"
#include "message/messageidentity.h"
#include "platform/datadir.h"
#include "platform/textfile.h"
#include "services.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <limits>
#include <tuple>
#include <utility>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr char indexMagic[] = "korvane-cache";
constexpr int indexFormat = 1;
constexpr char htmlMark[] = "<html>";

QByteArray digestOf(QByteArrayView bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex();
}

// Every index line ends with a blank and the first eight digits of its content's digest,
// so a damaged line is known as such and read as absent, never as another entry.
QByteArray sealed(const QByteArray &content)
{
    return content + ' ' + digestOf(content).left(8);
}

std::optional<QByteArray> unsealed(const QByteArray &line)
{
    const qsizetype blank = line.lastIndexOf(' ');
    if (blank < 0)
        return std::nullopt;
    const QByteArray content = line.left(blank);
    if (line.sliced(blank + 1) != digestOf(content).left(8))
        return std::nullopt;
    return content;
}

QByteArray encoded(const QByteArray &text)
{
    return text.toPercentEncoding();
}

QByteArray decoded(const QByteArray &text)
{
    return QByteArray::fromPercentEncoding(text);
}

template<typename Int> bool readNumber(const QByteArray &text, Int &value, qint64 lowest)
{
    bool ok = false;
    const qlonglong number = text.toLongLong(&ok);
    if (!ok || number < lowest || number > qlonglong(std::numeric_limits<Int>::max()))
        return false;
    value = Int(number);
    return true;
}

// The header block of a raw message through its empty line, and the body after it; nothing
// when the text has no empty line.
std::optional<std::pair<QByteArrayView, QByteArrayView>> splitAtBody(QByteArrayView rawText)
{
    const qsizetype end = rawText.indexOf("\r\n\r\n");
    if (end < 0)
        return std::nullopt;
    return std::pair {rawText.first(end + 4), rawText.sliced(end + 4)};
}

// The body a saved copy holds, as the message carried it: the copy writes each CR LF of a
// plain body as "<BR>". Decoded piece by piece, so that a large body is never held as the
// copy and the body side by side; a "<BR>" may stand across two pieces.
class CopyBodyDecoder
{
public:
    // The body of the piece, less an end that may begin a "<BR>": it waits for the next
    // piece. With isLast all of it.
    QByteArray decode(QByteArrayView piece, bool isLast)
    {
        static constexpr QByteArrayView lineEnd = "<BR>";
        QByteArray work = std::exchange(m_held, QByteArray());
        work.append(piece);
        qsizetype keep = 0;
        for (qsizetype from = std::max<qsizetype>(0, work.size() - (lineEnd.size() - 1));
             !isLast && from < work.size(); ++from) {
            if (lineEnd.startsWith(QByteArrayView(work).sliced(from))) {
                keep = work.size() - from;
                break;
            }
        }
        m_held = work.last(keep);
        return replaceAll(QByteArrayView(work).first(work.size() - keep), lineEnd, "\r\n");
    }

private:
    QByteArray m_held;
};

constexpr qsizetype copyPieceSize = 1 << 20;

// The header block followed by the body of a saved copy, read a piece at a time. Nothing
// when the copy is gone or holds another body than the one of that length and digest.
std::optional<QByteArray> withBodyOfCopy(const QByteArray &header, const QString &copyPath,
                                         qint64 length, const QByteArray &digest)
{
    QFile copy(copyPath);
    if (!copy.open(QIODevice::ReadOnly) || copy.read(qsizetype(sizeof htmlMark) - 1) != htmlMark)
        return std::nullopt;
    QByteArray text = header;
    text.reserve(header.size() + qsizetype(std::min<qint64>(length, copy.size())));
    QCryptographicHash body(QCryptographicHash::Md5);
    CopyBodyDecoder decoder;
    for (;;) {
        const QByteArray piece = copy.read(copyPieceSize);
        if (copy.error() != QFileDevice::NoError)
            return std::nullopt;
        const bool isLast = piece.isEmpty();
        const QByteArray decoded = decoder.decode(piece, isLast);
        text += decoded;
        body.addData(decoded);
        if (isLast)
            break;
        if (text.size() - header.size() > length)
            return std::nullopt;
    }
    if (text.size() - header.size() != length || body.result().toHex() != digest)
        return std::nullopt;
    return text;
}

// The length and digest of the body a saved copy of copyBody gives back.
std::pair<qint64, QByteArray> measureBodyOfCopy(QByteArrayView copyBody)
{
    QCryptographicHash body(QCryptographicHash::Md5);
    qint64 length = 0;
    CopyBodyDecoder decoder;
    for (qsizetype at = 0;; at += copyPieceSize) {
        const bool isLast = at >= copyBody.size();
        const QByteArray decoded = decoder.decode(
            isLast ? QByteArrayView()
                   : copyBody.sliced(at, std::min(copyPieceSize, copyBody.size() - at)),
            isLast);
        body.addData(decoded);
        length += decoded.size();
        if (isLast)
            break;
    }
    return {length, body.result().toHex()};
}

// The raw body is what the copy will hold, so the copy can give it back byte for byte. A
// body with a "<BR>" of its own could not be told apart from a line end. One pass that
// stops at the first difference: most bodies that are not plain text differ at once.
bool isBodyInCopy(QByteArrayView rawBody, QByteArrayView copyBody)
{
    if (rawBody.isEmpty())
        return false;
    qsizetype r = 0;
    qsizetype c = 0;
    while (r < rawBody.size() && c < copyBody.size()) {
        if (copyBody.sliced(c).startsWith("<BR>")) {
            if (!rawBody.sliced(r).startsWith("\r\n"))
                return false;
            r += 2;
            c += 4;
        } else if (rawBody.at(r) == copyBody.at(c) && rawBody.at(r) != '<') {
            ++r;
            ++c;
        } else if (rawBody.at(r) == '<' && copyBody.at(c) == '<') {
            // A "<" that starts no "<BR>" in the copy; the body must not hold one either.
            if (rawBody.sliced(r).startsWith("<BR>"))
                return false;
            ++r;
            ++c;
        } else {
            return false;
        }
    }
    return r == rawBody.size() && c == copyBody.size();
}

// The number a message file is named after: "12" for "12.msg"; 0 for other names.
int numberOfMessageFile(const QString &fileName)
{
    if (!fileName.endsWith(QStringLiteral(".msg")))
        return 0;
    bool isNumber = false;
    const int number = QStringView(fileName).chopped(4).toInt(&isNumber);
    return isNumber && number > 0 && number < std::numeric_limits<int>::max() ? number : 0;
}

// "<n>.msg.bad" and its numbered forms ("<n>.msg.bad2", ...): a damaged message file moved
// aside.
bool isMovedAsideMessage(const QString &fileName)
{
    const qsizetype bad = fileName.indexOf(QStringLiteral(".msg.bad"));
    return bad > 0 && numberOfMessageFile(fileName.left(bad + 4)) > 0;
}

// A temporary file an atomic replacement of the index left behind when the program died
// before its rename ("Index.ini.Ab12Cd"); an index moved aside (".bad") is kept.
bool isIndexLeftover(const QString &fileName)
{
    return fileName.startsWith(QStringLiteral("Index.ini."))
        && !fileName.startsWith(QStringLiteral("Index.ini.bad"));
}

} // namespace

bool CacheDisk::replace(const QString &path, const QByteArray &bytes)
{
    return TextFile::writeAll(path, bytes);
}

bool CacheDisk::append(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append, privateFileMode))
        return false;
    return file.write(bytes) == bytes.size() && file.flush() && file.error() == QFileDevice::NoError
        && ::fsync(file.handle()) == 0;
}

bool CacheDisk::writeNew(const QString &path, const QByteArray &bytes)
{
    // Straight under its name: no committed entry names the file yet, and the entry that
    // will holds its length and digest, so a file cut short by a kill is never taken for a
    // message. A file of that name can only be a leftover no entry names. Plain system
    // calls: a first check writes thousands of these, and each QFile costs several more.
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    const bool written = ::close(fd) == 0 && done == bytes.size();
    if (!written)
        ::unlink(name.constData());
    return written;
}

void CacheDisk::remove(const QString &path)
{
    QFile::remove(path);
}

MessageCache::MessageCache(const QString &dataDir, Services &services, const CacheAccount &account,
                           CacheDisk *disk)
    : m_dataDir(dataDir)
    , m_services(services)
    , m_account(account)
    , m_disk(disk ? *disk : m_ownDisk)
{
    // The folder's name comes from the account's key; the key itself is in the index too.
    QCryptographicHash key(QCryptographicHash::Sha256);
    for (const QByteArray &part : {account.ServerType, account.MailServer,
                                   QByteArray::number(account.Port), account.UserName}) {
        key.addData(QByteArray::number(part.size()) + ':');
        key.addData(part);
    }
    m_folder = dataPath(dataDir, QStringLiteral("\\Cache\\"))
        + QString::fromLatin1(key.result().toHex().left(24));
}

QString MessageCache::indexPath() const
{
    return m_folder + QStringLiteral("/Index.ini");
}

QString MessageCache::messagePath(int file) const
{
    return m_folder + u'/' + QString::number(file) + QStringLiteral(".msg");
}

QString MessageCache::copyPath(int mailNumber) const
{
    // Where History keeps the saved copy of record mailNumber.
    return dataPath(m_dataDir,
                    QStringLiteral("\\Mails\\") + QString::number(mailNumber)
                        + QStringLiteral(".mal"));
}

QByteArray MessageCache::headerLine() const
{
    const QByteArray kind = m_kind.kind == CacheIdKind::ImapUid ? "imap-uid" : "pop3-uidl";
    return sealed(QByteArray(indexMagic) + ' ' + QByteArray::number(indexFormat) + ' ' + kind + ' '
                  + QByteArray::number(m_kind.uidValidity) + ' ' + encoded(m_account.ServerType)
                  + ' ' + encoded(m_account.MailServer) + ' ' + QByteArray::number(m_account.Port)
                  + ' ' + encoded(m_account.UserName));
}

QByteArray MessageCache::entryLine(const Entry &entry)
{
    return sealed("+ " + encoded(entry.id) + ' ' + QByteArray::number(entry.size) + ' '
                  + QByteArray::number(entry.file) + ' ' + QByteArray::number(entry.fileLength)
                  + ' ' + entry.fileDigest + ' ' + QByteArray::number(entry.copyNumber) + ' '
                  + QByteArray::number(entry.copyLength) + ' ' + entry.copyDigest + ' '
                  + encoded(entry.fingerprint) + ' ' + encoded(encodeVerdict(entry.verdict)) + ' '
                  + encoded(entry.summary) + ' ' + entry.headerDigest);
}

std::optional<MessageCache::Entry> MessageCache::readEntry(const QList<QByteArray> &fields)
{
    // Entries written before the header digest have twelve fields: they read without one, so
    // that the message is fetched again rather than trusted on its id and size alone.
    if (fields.size() != 12 && fields.size() != 13)
        return std::nullopt;
    Entry entry;
    entry.headerDigest = fields.value(12);
    entry.id = decoded(fields.at(1));
    entry.fileDigest = fields.at(5);
    entry.copyDigest = fields.at(8);
    entry.fingerprint = decoded(fields.at(9));
    entry.summary = decoded(fields.at(11));
    const std::optional<Verdict> verdict = decodeVerdict(decoded(fields.at(10)));
    if (!verdict || entry.id.isEmpty() || !readNumber(fields.at(2), entry.size, 0)
        || !readNumber(fields.at(3), entry.file, 1)
        || !readNumber(fields.at(4), entry.fileLength, 0)
        || !readNumber(fields.at(6), entry.copyNumber, 0)
        || !readNumber(fields.at(7), entry.copyLength, 0))
        return std::nullopt;
    entry.verdict = *verdict;
    return entry;
}

void MessageCache::forgetAll()
{
    m_entries.clear();
    m_staged.clear();
    m_pending.clear();
    m_obsoleteFiles.clear();
    m_indexLines = 0;
    m_mustRewrite = true;
}

void MessageCache::load()
{
    forgetAll();
    m_kind = {};
    const QString path = indexPath();
    if (!QFileInfo::exists(path)) {
        removeStrayFiles();
        return;
    }
    const std::optional<QList<QByteArray>> lines = TextFile::readLines(path);
    bool damaged = !lines || lines->isEmpty();
    if (!damaged) {
        // The header names the account and the kind of its ids.
        const std::optional<QByteArray> header = unsealed(lines->first());
        const QList<QByteArray> fields = header ? header->split(' ') : QList<QByteArray>();
        CacheIdKind kind;
        const bool known = fields.size() == 8 && fields.at(0) == indexMagic
            && fields.at(1) == QByteArray::number(indexFormat)
            && (fields.at(2) == "pop3-uidl" || fields.at(2) == "imap-uid")
            && readNumber(fields.at(3), kind.uidValidity, 0)
            && decoded(fields.at(4)) == m_account.ServerType
            && decoded(fields.at(5)) == m_account.MailServer
            && fields.at(6) == QByteArray::number(m_account.Port)
            && decoded(fields.at(7)) == m_account.UserName;
        kind.kind = fields.value(2) == "imap-uid" ? CacheIdKind::ImapUid : CacheIdKind::Pop3Uidl;
        damaged = !known;
        if (known)
            m_kind = kind;
    }
    if (!damaged) {
        // A batch counts once its commit line follows it: what a kill cut short is left out,
        // so the cache is as the last whole update left it.
        struct Change
        {
            QByteArray id;
            std::optional<Entry> entry; // nothing: the id was dropped
        };
        QList<Change> batch;
        qsizetype batchLines = 0;
        for (qsizetype i = 1; i < lines->size(); ++i) {
            const std::optional<QByteArray> content = unsealed(lines->at(i));
            if (!content) {
                // A damaged line hides one entry; the others of its batch still hold.
                damaged = true;
                ++batchLines;
                continue;
            }
            const QList<QByteArray> fields = content->split(' ');
            if (fields.first() == "=") {
                qsizetype counted = -1;
                if (fields.size() != 2 || !readNumber(fields.at(1), counted, 0)
                    || counted != batchLines)
                    damaged = true;
                for (const Change &change : std::as_const(batch)) {
                    if (change.entry)
                        m_entries.insert(change.id, *change.entry);
                    else
                        m_entries.remove(change.id);
                }
                m_indexLines += batchLines;
                batch.clear();
                batchLines = 0;
                continue;
            }
            ++batchLines;
            if (fields.first() == "+") {
                if (const std::optional<Entry> entry = readEntry(fields))
                    batch.append({entry->id, entry});
                else
                    damaged = true;
            } else if (fields.first() == "-" && fields.size() == 2) {
                batch.append({decoded(fields.at(1)), std::nullopt});
            } else {
                damaged = true;
            }
        }
        // A last batch without its commit: the file was cut short.
        damaged = damaged || batchLines > 0;
        m_mustRewrite = false;
    }
    if (damaged) {
        const std::optional<QString> keptAs = TextFile::moveAside(path);
        reportDamage(path, keptAs);
        // What could be read is written back at once, so the damage is reported only once.
        m_mustRewrite = true;
        if (keptAs)
            (void)rewrite();
    }
    removeStrayFiles();
}

void MessageCache::reportDamage(const QString &path, const std::optional<QString> &keptAs)
{
    QString text = m_services
                       .caption(QStringLiteral("280380"),
                                QStringLiteral("The message cache file %1 is damaged; the "
                                               "messages it held will be fetched again."))
                       .arg(QDir::toNativeSeparators(path));
    if (keptAs)
        text += u' '
            + m_services
                  .caption(QStringLiteral("280080"),
                           QStringLiteral("The original file was kept as %1."))
                  .arg(QDir::toNativeSeparators(*keptAs));
    m_services.log.Log(text);
}

void MessageCache::reportRemoved(const QString &path)
{
    m_services.log.Log(m_services
                           .caption(QStringLiteral("280138"),
                                    QStringLiteral("The message cache file %1 was damaged and "
                                                   "has been removed; the message will be "
                                                   "fetched again."))
                           .arg(QDir::toNativeSeparators(path)));
}

void MessageCache::removeStrayFiles()
{
    QSet<int> named;
    for (const Entry &entry : std::as_const(m_entries))
        named.insert(entry.file);
    int highest = 0;
    QDirIterator it(m_folder, QDir::Files | QDir::Hidden | QDir::System);
    while (it.hasNext()) {
        it.next();
        const QString name = it.fileName();
        const int number = numberOfMessageFile(name);
        if (number > 0 && !named.contains(number))
            m_disk.remove(it.filePath());
        else if (name.endsWith(QStringLiteral(".part")) || isIndexLeftover(name))
            m_disk.remove(it.filePath());
        else if (isMovedAsideMessage(name)) {
            // A damaged message file that an earlier version kept aside.
            m_disk.remove(it.filePath());
            reportRemoved(it.filePath());
        }
        highest = std::max(highest, number);
    }
    for (const int file : std::as_const(named))
        highest = std::max(highest, file);
    m_nextFile = highest + 1;
}

bool MessageCache::useIds(const CacheIdKind &kind)
{
    if (kind == m_kind)
        return true;
    // Ids of another kind, or UIDs under another UIDVALIDITY, name other messages.
    for (const Entry &entry : std::as_const(m_entries))
        m_obsoleteFiles.insert(entry.file);
    m_entries.clear();
    m_kind = kind;
    return rewrite();
}

std::optional<CachedMessage> MessageCache::find(const QByteArray &id) const
{
    const auto it = m_entries.constFind(id);
    if (it == m_entries.cend())
        return std::nullopt;
    return CachedMessage {it->id,          it->size,    it->headerDigest,  it->verdict,
                          it->fingerprint, it->summary, it->copyNumber > 0};
}

void MessageCache::forget(const QByteArray &id)
{
    if (m_entries.remove(id))
        m_pending << sealed("- " + encoded(id));
}

bool MessageCache::hasText(const QByteArray &id, const QSet<int> &recordedCopies) const
{
    const auto it = m_entries.constFind(id);
    return it != m_entries.cend()
        && (it->copyNumber == 0 || recordedCopies.contains(it->copyNumber)
            || QFileInfo::exists(copyPath(it->copyNumber)));
}

std::optional<QByteArray> MessageCache::text(const QByteArray &id)
{
    const auto it = m_entries.constFind(id);
    if (it == m_entries.cend())
        return std::nullopt;
    const Entry entry = *it;
    const QString path = messagePath(entry.file);
    const std::optional<QByteArray> bytes = TextFile::readAll(path);
    if (!bytes || bytes->size() != entry.fileLength || digestOf(*bytes) != entry.fileDigest) {
        // The server holds the message: a damaged local copy is worth nothing to keep.
        m_disk.remove(path);
        reportRemoved(path);
        forget(id);
        return std::nullopt;
    }
    if (entry.copyNumber == 0)
        return bytes;
    // The body lives in the history's saved copy. When the user deleted that record with
    // its copy, or a new record took the number, the message is simply fetched again.
    std::optional<QByteArray> text
        = withBodyOfCopy(*bytes, copyPath(entry.copyNumber), entry.copyLength, entry.copyDigest);
    if (!text) {
        m_obsoleteFiles.insert(entry.file);
        forget(id);
    }
    return text;
}

bool MessageCache::add(const QByteArray &id, const QByteArray &rawText, qint64 size,
                       const Verdict &verdict, const QByteArray &fingerprint,
                       const std::optional<SavedCopyRef> &copy, const QByteArray &summary)
{
    const bool hasCopy = copy && copy->mailNumber > 0;
    return stage(id, rawText, hasCopy ? copy->body : QByteArray())
        && complete(id, size, verdict, fingerprint, summary, hasCopy ? copy->mailNumber : 0);
}

bool MessageCache::stage(const QByteArray &id, const QByteArray &rawText,
                         const QByteArray &copyBody, bool isHeaderBlock)
{
    if (id.isEmpty())
        return false;
    Entry entry;
    entry.id = id;
    QByteArray content = rawText;
    // One copy of the body on the disk: when the history's copy holds the body, only the
    // header block is kept here.
    if (isHeaderBlock) {
        std::tie(entry.copyLength, entry.copyDigest) = measureBodyOfCopy(copyBody);
    } else if (const auto parts = splitAtBody(rawText);
               parts && isBodyInCopy(parts->second, copyBody)) {
        content = parts->first.toByteArray();
        entry.copyLength = parts->second.size();
        entry.copyDigest = digestOf(parts->second);
    }
    entry.headerDigest = identityDigest(rawText);
    entry.file = m_nextFile++;
    entry.fileLength = content.size();
    entry.fileDigest = digestOf(content);
    if (!hasFolder() || !m_disk.writeNew(messagePath(entry.file), content))
        return false;
    // A message staged twice keeps the later text.
    if (const auto earlier = m_staged.constFind(id); earlier != m_staged.cend())
        m_disk.remove(messagePath(earlier->file));
    m_staged.insert(id, entry);
    return true;
}

bool MessageCache::complete(const QByteArray &id, qint64 size, const Verdict &verdict,
                            const QByteArray &fingerprint, const QByteArray &summary,
                            int copyNumber)
{
    const auto staged = m_staged.constFind(id);
    if (staged == m_staged.cend())
        return false;
    Entry entry = *staged;
    m_staged.erase(staged);
    if (entry.copyLength > 0) {
        // Without the record's copy the body would be nowhere.
        if (copyNumber <= 0) {
            m_disk.remove(messagePath(entry.file));
            return false;
        }
        entry.copyNumber = copyNumber;
    }
    entry.size = size;
    entry.verdict = verdict;
    entry.fingerprint = fingerprint;
    entry.summary = summary;
    const auto previous = m_entries.constFind(id);
    if (previous != m_entries.cend())
        m_obsoleteFiles.insert(previous->file);
    m_pending << entryLine(entry);
    m_entries.insert(id, entry);
    return true;
}

void MessageCache::setVerdict(const QByteArray &id, const Verdict &verdict,
                              const QByteArray &fingerprint, const QByteArray &summary)
{
    const auto it = m_entries.find(id);
    if (it == m_entries.end())
        return;
    it->verdict = verdict;
    it->fingerprint = fingerprint;
    if (!summary.isEmpty())
        it->summary = summary;
    m_pending << entryLine(*it);
}

bool MessageCache::update(const QList<QByteArray> &listedIds)
{
    // What was staged and never completed has no verdict to keep.
    for (const Entry &entry : std::as_const(m_staged))
        m_obsoleteFiles.insert(entry.file);
    m_staged.clear();
    const QSet<QByteArray> listed(listedIds.cbegin(), listedIds.cend());
    QList<QByteArray> gone;
    for (const Entry &entry : std::as_const(m_entries)) {
        if (!listed.contains(entry.id))
            gone << entry.id;
    }
    for (const QByteArray &id : std::as_const(gone)) {
        m_obsoleteFiles.insert(m_entries.value(id).file);
        forget(id);
    }
    // An index that has grown to twice what it describes is written anew, so appending
    // costs no more than a rewrite over time.
    const bool tooLong = m_indexLines + m_pending.size() > 2 * m_entries.size() + 100;
    if (m_mustRewrite || tooLong)
        return rewrite();
    if (m_pending.isEmpty() && m_obsoleteFiles.isEmpty())
        return true;
    QByteArray batch;
    for (const QByteArray &line : std::as_const(m_pending))
        batch += line + "\r\n";
    batch += sealed("= " + QByteArray::number(m_pending.size())) + "\r\n";
    if (!m_disk.append(indexPath(), batch)) {
        // Part of the batch may be on the disk without its commit: the next write replaces
        // the whole file rather than adding after it.
        m_mustRewrite = true;
        return false;
    }
    m_indexLines += m_pending.size();
    m_pending.clear();
    for (const int file : std::as_const(m_obsoleteFiles))
        m_disk.remove(messagePath(file));
    m_obsoleteFiles.clear();
    return true;
}

QByteArray MessageCache::wholeIndex() const
{
    // In the order the files were written, so that the same cache gives the same file.
    QList<const Entry *> entries;
    entries.reserve(m_entries.size());
    for (const Entry &entry : m_entries)
        entries << &entry;
    std::sort(entries.begin(), entries.end(),
              [](const Entry *a, const Entry *b) { return a->file < b->file; });
    QByteArray bytes = headerLine() + "\r\n";
    for (const Entry *entry : std::as_const(entries))
        bytes += entryLine(*entry) + "\r\n";
    bytes += sealed("= " + QByteArray::number(entries.size())) + "\r\n";
    return bytes;
}

bool MessageCache::hasFolder()
{
    // Made once; a folder removed behind the cache's back fails the writes, which are then
    // simply missing from the cache.
    if (!m_hasFolder)
        m_hasFolder = makePrivateFolder(m_folder);
    return m_hasFolder;
}

bool MessageCache::rewrite()
{
    if (!makePrivateFolder(m_folder) || !m_disk.replace(indexPath(), wholeIndex())) {
        m_mustRewrite = true;
        return false;
    }
    m_mustRewrite = false;
    m_indexLines = m_entries.size();
    m_pending.clear();
    // Only now that no committed index names them may the files go.
    for (const int file : std::as_const(m_obsoleteFiles))
        m_disk.remove(messagePath(file));
    m_obsoleteFiles.clear();
    return true;
}

bool MessageCache::dropAccount()
{
    forgetAll();
    // The index goes first: without it no message file is named, so a kill half-way leaves
    // an empty cache, and the next load removes the files that are left.
    m_disk.remove(indexPath());
    if (QFileInfo::exists(indexPath()))
        return false;
    QDirIterator it(m_folder, QDir::Files | QDir::Hidden | QDir::System);
    while (it.hasNext())
        m_disk.remove(it.next());
    QDir().rmdir(m_folder);
    m_hasFolder = false;
    m_nextFile = 1;
    return true;
}
