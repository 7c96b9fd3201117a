#include "history.h"

#include "numbers.h"
#include "message/cmessage.h"
#include "message/cmessages.h"
#include "services.h"
#include "verdictkeys.h"
#include "platform/clock.h"
#include "platform/datadir.h"
#include "platform/prompter.h"
#include "platform/textfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <limits>

namespace {

constexpr int linesPerRecord = 9;

// Fills one record from nine lines starting at first. False when the ninth line is not
// a whole number.
bool readRecord(const QList<QByteArray> &lines, qsizetype first, HistoryRecord &record)
{
    QByteArray *texts[] = {&record.Sender, &record.Subject, &record.SendDate,
                           &record.Size, &record.Status, &record.Reason,
                           &record.CheckedAt, &record.AccountName};
    qsizetype line = first;
    for (QByteArray *field : texts)
        *field = lines.at(line++);
    const auto number = toWholeNumber(lines.at(line), std::numeric_limits<int>::min(),
                                      std::numeric_limits<int>::max());
    if (!number)
        return false;
    record.MailNumber = *number;
    return true;
}

// Who sent the message as the history names it: the "sender" header, else "from", as
// written in the header rather than reduced to an address.
const QByteArray &senderOf(const CMessage &message)
{
    return message.Sender.isEmpty() ? message.from : message.Sender;
}

} // namespace

QByteArray historyField(QByteArray text)
{
    // A line break inside a field would shift every later record of the nine-line file.
    text.replace('\r', ' ');
    text.replace('\n', ' ');
    return text;
}

History::History(const QString &dataDir, Services &services, const Clock &clock)
    : m_dataDir(dataDir)
    , m_services(services)
    , m_clock(clock)
{
}

QString History::path() const
{
    return dataPath(m_dataDir, QStringLiteral("\\History.ini"));
}

QString History::mailPath(int mailNumber) const
{
    return dataPath(m_dataDir, QStringLiteral("\\Mails\\") + QString::number(mailNumber)
                                   + QStringLiteral(".mal"));
}

QByteArray History::checkedAtNow() const
{
    return m_clock.now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")).toLatin1();
}

History::Key History::keyOf(const HistoryRecord &record)
{
    return Key{record.Sender, record.Subject, record.Status, record.SendDate};
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
    for (QByteArray *field : {&stored.Sender, &stored.Subject, &stored.SendDate, &stored.Size,
                              &stored.Status, &stored.Reason, &stored.CheckedAt,
                              &stored.AccountName})
        *field = historyField(*field);
    m_records.append(stored);
    m_index.insert(keyOf(stored));
    m_highestMailNumber = std::max(m_highestMailNumber, stored.MailNumber);
}

bool History::reviseToKept(const CMessage &message)
{
    HistoryRecord wanted;
    wanted.Sender = historyField(senderOf(message));
    wanted.Subject = historyField(message.Subject);
    wanted.SendDate = historyField(message.SendDate);
    // History::keyOf (the lookup key of a record) hides the vocabulary's keyOf here.
    wanted.Status = ::keyOf(MessageStatus::Deleted);
    const Key deletedKey = keyOf(wanted);
    for (auto it = m_records.rbegin(); it != m_records.rend(); ++it) {
        if (keyOf(*it) != deletedKey)
            continue;
        it->Status = ::keyOf(MessageStatus::Kept);
        m_index.insert(keyOf(*it));
        const bool othersStillDeleted = std::any_of(m_records.cbegin(), m_records.cend(),
                                                    [&](const HistoryRecord &r) {
                                                        return keyOf(r) == deletedKey;
                                                    });
        if (!othersStillDeleted)
            m_index.remove(deletedKey);
        return SaveHist();
    }
    return false;
}

void History::markDeleted(int index)
{
    if (index < 1 || index > count())
        return;
    // The lookup keeps the record: a deleted message is not recorded again.
    m_records[index - 1].AccountName = deletedMark;
}

bool History::contains(const QByteArray &sender, const QByteArray &subject,
                       const QByteArray &status, const QByteArray &sendDate) const
{
    return m_index.contains(
        Key{historyField(sender), historyField(subject), historyField(status), historyField(sendDate)});
}

bool History::IsRecordExistInHist(const CMessage &message) const
{
    return contains(senderOf(message), message.Subject, message.Status, message.SendDate);
}

bool History::Add2Hist(const CMessages &messages, const QByteArray &accountName)
{
    const QByteArray checkedAt = checkedAtNow();
    QString failedCopy;
    for (const CMessage &message : messages) {
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
        record.MailNumber = nextMailNumber();
        // The record is kept even when its copy fails: a lost copy must not lose the fact
        // that the message was seen, and perhaps deleted.
        append(record);
        if (!saveCopy(record.MailNumber, message.MessageBody) && failedCopy.isEmpty())
            failedCopy = mailPath(record.MailNumber);
    }
    // One report for the batch: a folder that cannot be written fails every copy.
    if (!failedCopy.isEmpty())
        m_services.ErrorReport(m_services.caption(QStringLiteral("280001"),
                                                  QStringLiteral("Cannot write %1"))
                                   .arg(failedCopy),
                               QStringLiteral("Add2Hist"));
    const bool saved = SaveHist();
    return failedCopy.isEmpty() && saved;
}

bool History::saveCopy(int mailNumber, const QByteArray &messageBody)
{
    // Each copy gets a number no record holds, so there is no older content to protect
    // and a plain write suffices.
    const QString file = mailPath(mailNumber);
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly)) {
        QDir().mkpath(QFileInfo(file).absolutePath());
        if (!out.open(QIODevice::WriteOnly))
            return false;
    }
    const QByteArray content = QByteArrayLiteral("<html>") + messageBody;
    const bool written = out.write(content) == content.size() && out.flush();
    out.close();
    return written && out.error() == QFileDevice::NoError;
}

bool History::SaveHist()
{
    // One buffer for the whole file: the history is rewritten after every check and can
    // hold hundreds of thousands of lines.
    qsizetype total = 0;
    for (const HistoryRecord &record : std::as_const(m_records))
        total += record.Sender.size() + record.Subject.size() + record.SendDate.size()
                 + record.Size.size() + record.Status.size() + record.Reason.size()
                 + record.CheckedAt.size() + record.AccountName.size() + 12 + 2 * linesPerRecord;
    QByteArray bytes;
    bytes.reserve(total);
    for (const HistoryRecord &record : std::as_const(m_records)) {
        if (record.AccountName == deletedMark)
            continue;
        for (const QByteArray *field : {&record.Sender, &record.Subject, &record.SendDate,
                                        &record.Size, &record.Status, &record.Reason,
                                        &record.CheckedAt, &record.AccountName}) {
            bytes.append(*field);
            bytes.append("\r\n", 2);
        }
        bytes.append(QByteArray::number(record.MailNumber));
        bytes.append("\r\n", 2);
    }
    if (TextFile::writeAll(path(), bytes))
        return true;
    // The previous file is still whole and the records are still in memory: the next
    // save writes them all.
    m_services.ErrorReport(m_services.caption(QStringLiteral("280001"),
                                              QStringLiteral("Cannot write %1"))
                               .arg(path()),
                           QStringLiteral("SaveHist"));
    return false;
}

void History::LoadHistory()
{
    clear();
    if (!QFile::exists(path()))
        return;
    const auto lines = TextFile::readLines(path());
    bool complete = lines.has_value();
    if (lines) {
        qsizetype first = 0;
        for (; first + linesPerRecord <= lines->size(); first += linesPerRecord) {
            HistoryRecord record;
            if (!readRecord(*lines, first, record)) {
                complete = false;
                break;
            }
            append(record);
        }
        if (first < lines->size())
            complete = false; // the file ends inside a record
    }
    if (complete)
        return;
    // The records read so far stay, so the next SaveHist writes them back; the damaged
    // file is kept aside rather than deleted.
    m_services.prompter.critical(
        m_services.caption(QStringLiteral("10052"),
                           QStringLiteral("History.ini is corrupted, it will be reset.")));
    // The damaged file has just been announced; one that cannot be moved aside stays
    // where it is until the next save replaces it, which is all the announcement promises.
    (void)TextFile::moveAside(path());
}
