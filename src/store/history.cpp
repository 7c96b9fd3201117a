#include "history.h"

#include "actionlog.h"
#include "damagedfile.h"
#include "historycodec.h"
#include "message/cmessage.h"
#include "message/cmessages.h"
#include "message/senderaddress.h"
#include "platform/clock.h"
#include "platform/datadir.h"
#include "platform/textfile.h"
#include "services.h"
#include "verdictkeys.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <limits>

namespace {

// Who sent the message as the history names it: the "sender" header, else "from", as
// written in the header rather than reduced to an address.
const QByteArray &senderOf(const CMessage &message)
{
    return message.Sender.isEmpty() ? message.from : message.Sender;
}

enum class NewFile {
    Written,
    Taken, // a file of that name exists and was left as it is
    Failed,
};

// Writes a file whole, creating its folder when needed. With QIODevice::NewOnly in mode an
// existing file is never opened, so nothing of it is lost; a file that was not written whole
// is then removed again, since no one else can have used it.
NewFile writeFile(const QString &file, std::initializer_list<QByteArrayView> content,
                  QIODevice::OpenMode mode)
{
    QFile out(file);
    // Made private at once: the copy is the user's mail.
    if (!out.open(mode, privateFileMode)) {
        makePrivateFolder(QFileInfo(file).absolutePath());
        if (!out.open(mode, privateFileMode)) {
            const QFileInfo existing(file);
            return mode.testFlag(QIODevice::NewOnly) && (existing.exists() || existing.isSymLink())
                ? NewFile::Taken
                : NewFile::Failed;
        }
    }
    // The flush writes out what the file still buffers; a full disk refuses it there, and
    // close() would only report it in error().
    const bool written
        = std::all_of(content.begin(), content.end(),
                      [&out](QByteArrayView piece) {
                          return out.write(piece.data(), piece.size()) == piece.size();
                      })
        && out.flush() && out.error() == QFileDevice::NoError;
    out.close();
    if (written && out.error() == QFileDevice::NoError)
        return NewFile::Written;
    if (mode.testFlag(QIODevice::NewOnly))
        out.remove();
    return NewFile::Failed;
}

// Writes the saved copy of a message: "<html>" followed by its body, written as it is, not
// joined first, since a body can be as large as its message. Each copy gets a number no
// record and no file holds, so there is nothing to replace; should a file of that name exist
// all the same, it is another message's copy and stays as it is.
NewFile writeCopy(const QString &file, const QByteArray &messageBody)
{
    return writeFile(file, {"<html>", messageBody}, QIODevice::WriteOnly | QIODevice::NewOnly);
}

// A record's copy, its evidence, or evidence being written: "12.mal", "12.why", "12.why.part".
bool isRecordFile(const QString &fileName)
{
    static const QRegularExpression name(QStringLiteral("^[1-9][0-9]*\\.(mal|why|why\\.part)$"));
    return name.match(fileName).hasMatch();
}

// The number a file of the "Mails" folder is named after: "12" for "12.mal", "12.why" and
// "12.why.part"; 0 for other names, and for a number that leaves no next one.
int numberOfSavedFile(const QString &fileName)
{
    bool isNumber = false;
    const int number = QStringView(fileName).left(fileName.indexOf(u'.')).toInt(&isNumber);
    return isNumber && number < std::numeric_limits<int>::max() ? number : 0;
}

} // namespace

History::History(const QString &dataDir, Services &services, const Clock &clock)
    : m_dataDir(dataDir)
    , m_services(services)
    , m_clock(clock)
    , m_highestMailNumber(highestSavedNumber())
{
}

QString History::path() const
{
    return dataPath(m_dataDir, QStringLiteral("\\History.ini"));
}

QString History::mailsFolder() const
{
    return dataPath(m_dataDir, QStringLiteral("\\Mails"));
}

int History::highestSavedNumber() const
{
    // Read once per load, not per record: the folder can hold hundreds of thousands of
    // files. Folders and hidden files count too, since they block a copy's name as well.
    int highest = 0;
    QDirIterator it(mailsFolder(),
                    QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        highest = std::max(highest, numberOfSavedFile(it.fileName()));
    }
    return highest;
}

int History::removeUnrecordedCopies()
{
    QSet<int> recorded;
    recorded.reserve(m_records.size());
    for (const HistoryRecord &record : std::as_const(m_records))
        recorded.insert(record.MailNumber);
    int highest = 0;
    int removed = 0;
    QDirIterator it(mailsFolder(),
                    QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (it.hasNext()) {
        it.next();
        const int number = numberOfSavedFile(it.fileName());
        if (it.fileInfo().isFile() && isRecordFile(it.fileName()) && !recorded.contains(number)) {
            QFile::setPermissions(it.filePath(),
                                  QFile::permissions(it.filePath()) | QFileDevice::WriteOwner);
            if (QFile::remove(it.filePath())) {
                ++removed;
                continue;
            }
        }
        highest = std::max(highest, number);
    }
    if (removed > 0)
        m_services.log.Log(m_services
                               .caption(QStringLiteral("280141"),
                                        QStringLiteral("%1 saved copies that no history record "
                                                       "names were removed from the Mails "
                                                       "folder."))
                               .arg(removed));
    return highest;
}

bool History::hasDamagedHistoryKept() const
{
    const QFileInfo file(path());
    return !file.dir()
                .entryList({file.fileName() + QStringLiteral(".bad*")},
                           QDir::Files | QDir::Hidden | QDir::System)
                .isEmpty();
}

QString History::mailPath(int mailNumber) const
{
    return dataPath(m_dataDir,
                    QStringLiteral("\\Mails\\") + QString::number(mailNumber)
                        + QStringLiteral(".mal"));
}

QString History::evidencePath(int mailNumber) const
{
    return dataPath(m_dataDir,
                    QStringLiteral("\\Mails\\") + QString::number(mailNumber)
                        + QStringLiteral(".why"));
}

QByteArray History::checkedAtNow() const
{
    return m_clock.now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1();
}

History::Key History::keyOf(const HistoryRecord &record)
{
    return Key {record.Sender, record.Subject, record.Status, record.SendDate};
}

void History::clear()
{
    m_records.clear();
    m_index.clear();
    m_highestMailNumber = 0;
}

void History::append(const HistoryRecord &record)
{
    HistoryRecord stored = record;
    for (QByteArray HistoryRecord::*field : historyTextFields)
        stored.*field = historyField(stored.*field);
    m_records.append(stored);
    m_index.insert(keyOf(stored), stored.MailNumber);
    m_highestMailNumber = std::max(m_highestMailNumber, stored.MailNumber);
}

bool History::reviseToKept(const CMessage &message)
{
    HistoryRecord wanted;
    wanted.Sender = historyField(senderOf(message));
    wanted.Subject = historyField(message.Subject);
    wanted.SendDate = historyField(message.SendDate);
    // History::keyOf (the lookup key of a record) hides the vocabulary's keyOf here. A
    // deletion the server has not confirmed yet is recorded as pending.
    wanted.Status = ::keyOf(MessageStatus::DeletionPending);
    if (!m_index.contains(keyOf(wanted)))
        wanted.Status = ::keyOf(MessageStatus::Deleted);
    const Key deletedKey = keyOf(wanted);
    for (auto it = m_records.rbegin(); it != m_records.rend(); ++it) {
        if (keyOf(*it) != deletedKey)
            continue;
        it->Status = ::keyOf(MessageStatus::Kept);
        m_index.insert(keyOf(*it), it->MailNumber);
        const bool othersStillDeleted
            = std::any_of(m_records.cbegin(), m_records.cend(),
                          [&](const HistoryRecord &r) { return keyOf(r) == deletedKey; });
        if (!othersStillDeleted)
            m_index.remove(deletedKey);
        return SaveHist();
    }
    return false;
}

int History::settlePending(const CMessages &messages, const QByteArray &accountName)
{
    const QByteArray pending = ::keyOf(MessageStatus::DeletionPending);
    const QByteArray account = historyField(accountName);
    // What the mailbox holds now, compared as the records hold it.
    // Record fields hold no line breaks, so one joins the three without ambiguity.
    const auto keyFor
        = [](const QByteArray &sender, const QByteArray &subject, const QByteArray &sendDate) {
              return sender + '\n' + subject + '\n' + sendDate;
          };
    QHash<QByteArray, const CMessage *> present;
    for (const CMessage &message : messages)
        present.insert(keyFor(historyField(senderOf(message)), historyField(message.Subject),
                              historyField(message.SendDate)),
                       &message);
    int settled = 0;
    for (qsizetype i = 0; i < m_records.size(); ++i) {
        HistoryRecord &record = m_records[i];
        if (record.Status != pending || record.AccountName != account)
            continue;
        ++settled;
        m_index.remove(keyOf(record));
        const CMessage *still
            = present.value(keyFor(record.Sender, record.Subject, record.SendDate));
        // Gone: the deletion was done. Still on the server: the record takes what this check
        // decided, so Add2Hist finds it and records no second one.
        record.Status = still ? still->Status : ::keyOf(MessageStatus::Deleted);
        if (still)
            record.Reason = still->Reason;
        m_index.insert(keyOf(record), record.MailNumber);
    }
    return settled;
}

bool History::setStatusByMailNumber(int mailNumber, MessageStatus status)
{
    const StatusChange change = setStatusByMailNumbers({mailNumber}, status);
    return change.missing.isEmpty() && change.isSaved;
}

History::StatusChange History::setStatusByMailNumbers(const QList<int> &mailNumbers,
                                                      MessageStatus status)
{
    QHash<int, qsizetype> indexOf;
    indexOf.reserve(m_records.size());
    for (qsizetype i = 0; i < m_records.size(); ++i) {
        if (!indexOf.contains(m_records.at(i).MailNumber))
            indexOf.insert(m_records.at(i).MailNumber, i);
    }
    StatusChange change;
    for (const int number : mailNumbers) {
        const auto it = indexOf.constFind(number);
        if (it == indexOf.cend()) {
            change.missing << number;
            continue;
        }
        m_records[*it].Status = ::keyOf(status);
    }
    if (change.missing.size() == mailNumbers.size())
        return change;
    // Rebuilt whole: the lookup forgets a previous status only when no record still has it.
    m_index.clear();
    for (const HistoryRecord &record : std::as_const(m_records))
        m_index.insert(keyOf(record), record.MailNumber);
    change.isSaved = SaveHist();
    return change;
}

void History::markDeleted(int index)
{
    if (index < 1 || index > count())
        return;
    // The lookup keeps the record: a deleted message is not recorded again.
    m_records[index - 1].AccountName = HistoryRecord::deletedMark;
}

bool History::contains(const QByteArray &sender, const QByteArray &subject,
                       const QByteArray &status, const QByteArray &sendDate) const
{
    return m_index.contains(Key {historyField(sender), historyField(subject), historyField(status),
                                 historyField(sendDate)});
}

bool History::IsRecordExistInHist(const CMessage &message) const
{
    return contains(senderOf(message), message.Subject, message.Status, message.SendDate);
}

int History::recordedMailNumber(const CMessage &message) const
{
    return m_index.value(Key {historyField(senderOf(message)), historyField(message.Subject),
                              historyField(message.Status), historyField(message.SendDate)});
}

bool History::Add2Hist(const CMessages &messages, const QByteArray &accountName,
                       const QList<Verdict> *verdicts)
{
    // Verdicts of another length belong to another mailbox and tell nothing about these.
    if (verdicts && verdicts->size() != messages.Count())
        verdicts = nullptr;
    const QByteArray checkedAt = checkedAtNow();
    QString failedCopy;
    qsizetype index = -1;
    for (const CMessage &message : messages) {
        ++index;
        if (IsRecordExistInHist(message))
            continue;
        HistoryRecord record;
        record.Sender = senderOf(message);
        record.Subject = message.Subject;
        record.SendDate = message.SendDate;
        record.Size = QByteArray::number(message.SIZE);
        record.Status = message.Status;
        record.Reason = message.Reason;
        record.CheckedAt = checkedAt;
        record.AccountName = accountName;
        // A copy or evidence put into "Mails" after it was read belongs to another message:
        // its number is in use, so the record takes the next one.
        const auto claim = [&](int number) {
            return QFileInfo::exists(evidencePath(number))
                ? NewFile::Taken
                : writeCopy(mailPath(number), message.MessageBody);
        };
        record.MailNumber = nextMailNumber();
        NewFile copy = claim(record.MailNumber);
        while (copy == NewFile::Taken) {
            m_highestMailNumber = record.MailNumber;
            record.MailNumber = nextMailNumber();
            copy = claim(record.MailNumber);
        }
        // The record is kept even when its copy fails: a lost copy must not lose the fact
        // that the message was seen, and perhaps deleted.
        append(record);
        if (copy == NewFile::Failed && failedCopy.isEmpty())
            failedCopy = mailPath(record.MailNumber);
        if (verdicts && !saveEvidence(record.MailNumber, verdicts->at(index))
            && failedCopy.isEmpty())
            failedCopy = evidencePath(record.MailNumber);
    }
    // One report for the batch: a folder that cannot be written fails every copy.
    if (!failedCopy.isEmpty())
        m_services.ErrorReport(
            m_services.caption(QStringLiteral("280001"), QStringLiteral("Cannot write %1"))
                .arg(failedCopy),
            QStringLiteral("Add2Hist"));
    const bool saved = SaveHist();
    return failedCopy.isEmpty() && saved;
}

bool History::saveCopy(int mailNumber, const QByteArray &messageBody)
{
    return writeCopy(mailPath(mailNumber), messageBody) == NewFile::Written;
}

bool History::saveEvidence(int mailNumber, const Verdict &verdict)
{
    // Written whole under another name and then renamed, so that a reader never meets half
    // a verdict. Unlike TextFile::writeAll it does not wait for the disk file by file, which
    // made recording a large mailbox several times slower; a file lost in a power cut only
    // loses an explanation, and an empty one reads as none.
    const QString file = evidencePath(mailNumber);
    const QString partial = file + QStringLiteral(".part");
    const QByteArray content = encodeVerdict(verdict);
    // The number is new, so evidence already under its name is another message's: the
    // rename never replaces an existing file.
    const bool written = writeFile(partial, {content}, QIODevice::WriteOnly | QIODevice::Truncate)
            == NewFile::Written
        && QFile::rename(partial, file);
    if (!written)
        // A half-written file must not linger beside the evidence, nor fill the disk.
        QFile::remove(partial);
    return written;
}

QByteArray History::judgedAddress(int mailNumber, const QByteArray &recordedSender) const
{
    if (const std::optional<Verdict> evidence = loadEvidence(mailNumber);
        evidence && !evidence->address.isEmpty())
        return evidence->address;
    return bareAddress(recordedSender);
}

std::optional<Verdict> History::loadEvidence(int mailNumber) const
{
    const std::optional<QByteArray> bytes = TextFile::readAll(evidencePath(mailNumber));
    if (!bytes)
        return std::nullopt;
    return decodeVerdict(*bytes);
}

bool History::SaveHist()
{
    if (TextFile::writeAll(path(), encodeHistory(m_records)))
        return true;
    // The previous file is still whole and the records are still in memory: the next
    // save writes them all.
    m_services.ErrorReport(
        m_services.caption(QStringLiteral("280001"), QStringLiteral("Cannot write %1")).arg(path()),
        QStringLiteral("SaveHist"));
    return false;
}

void History::LoadHistory()
{
    clear();
    // Copies outlive their records when "History.ini" is missing or was reset: their numbers
    // stay in use, or the next new record would overwrite them. Only a history read whole,
    // with no damaged one kept beside it, tells which copies no record will ever name.
    if (!QFile::exists(path())) {
        m_highestMailNumber = highestSavedNumber();
        return;
    }
    const std::optional<QByteArray> bytes = TextFile::readAll(path());
    bool complete = bytes.has_value();
    if (bytes) {
        const DecodedHistory decoded = decodeHistory(*bytes);
        for (const HistoryRecord &record : decoded.records)
            append(record);
        complete = decoded.isComplete;
    }
    const int inUse
        = complete && !hasDamagedHistoryKept() ? removeUnrecordedCopies() : highestSavedNumber();
    m_highestMailNumber = std::max(m_highestMailNumber, inUse);
    if (complete)
        return;
    // The records read before the fault stay and are written back at once. Nothing after it
    // is read: nine lines a record and no mark between records, so after a line too many or
    // too few no boundary can be trusted. Those records stay in the original.
    keepDamagedFile(
        m_services, path(),
        m_services.caption(QStringLiteral("10052"),
                           QStringLiteral("History.ini is corrupted, it will be reset.")),
        m_records.isEmpty() ? std::nullopt : std::optional<QByteArray>(encodeHistory(m_records)),
        QStringLiteral("LoadHistory"));
}
