#pragma once

#include "historyrecord.h"
#include "verdict.h"
#include "verdictkeys.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

#include <optional>

class CMessage;
class CMessages;
class Clock;
struct Services;

// The history of examined messages, "History.ini" in the data folder, the saved copies
// "Mails/<n>.mal" of their bodies and the evidence "Mails/<n>.why" of their verdicts. Records count
// from 1 in order of recording; a record deleted in the history window keeps its place, marked,
// until the next save and load.
class History
{
public:
    History(const QString &dataDir, Services &services, const Clock &clock);

    // N: the records are at(1) .. at(count()).
    int count() const { return int(m_records.size()); }
    const HistoryRecord &at(int index) const { return m_records.at(index - 1); }

    // Records every message of the mailbox that is not in the history yet, under the
    // account being checked, writes its saved copy and then saves the history. False when
    // a copy or the history could not be written (each failure is reported); every record
    // stays in memory all the same. With verdicts (element i - 1 for message i), each
    // new record's verdict is written beside its copy as its evidence.
    [[nodiscard]] bool Add2Hist(const CMessages &messages, const QByteArray &accountName,
                                const QList<Verdict> *verdicts = nullptr);

    // True when a record (deleted ones included) has the message's sender as Add2Hist
    // records it, its subject, its status and its date, compared exactly.
    bool IsRecordExistInHist(const CMessage &message) const;
    // The MailNumber of the newest record IsRecordExistInHist finds; 0 when there is none.
    int recordedMailNumber(const CMessage &message) const;

    // The server refused to delete a message recorded as deleted (or as deletion pending):
    // its newest such record becomes kept and the history is saved again.
    [[nodiscard]] bool reviseToKept(const CMessage &message);

    // Before an account's check is recorded: every record of the account still "Deletion
    // pending" (a check was stopped between recording and the server's confirmation) is
    // settled by the mailbox the server holds now, judged by this check: a message still there
    // gives its record this check's status and reason (so Add2Hist records it once); a
    // message gone is recorded as deleted. Nothing is saved here. Gives how many were settled.
    int settlePending(const CMessages &messages, const QByteArray &accountName);

    // The record with this MailNumber gets the status, and the history is saved (a failed
    // write is reported and leaves the previous file whole). False when no record has the
    // number or the save failed; the record keeps the new status in memory all the same.
    [[nodiscard]] bool setStatusByMailNumber(int mailNumber, MessageStatus status);

    // The same for many records at once, saved once: a review of thousands of messages
    // rewrites the file one time, not once per message. Gives the numbers that no record
    // has; isSaved is false when the save failed (reported inside).
    struct StatusChange
    {
        QList<int> missing;
        bool isSaved = true;
    };
    [[nodiscard]] StatusChange setStatusByMailNumbers(const QList<int> &mailNumbers,
                                                      MessageStatus status);

    // Marks record index (1 .. N) as deleted: it stays in memory and in the lookup, and
    // the next SaveHist leaves it out of the file. Its saved copy is not touched.
    void markDeleted(int index);

    // Appends one record as it is, except that CR and LF in its texts become blanks, and
    // keeps the lookup in step. Add2Hist gives the record its MailNumber first.
    void append(const HistoryRecord &record);

    // True when a record (marked ones included) has exactly this sender, subject, status and
    // date. The texts are compared as a record would hold them, line breaks made blanks.
    bool contains(const QByteArray &sender, const QByteArray &subject, const QByteArray &status,
                  const QByteArray &sendDate) const;

    // One more than the highest number in use: that of any record in memory and of any file
    // in "Mails" when the history was created or loaded. So a new copy never replaces the
    // copy of a record that is still there, nor one whose record could not be saved.
    int nextMailNumber() const { return m_highestMailNumber + 1; }

    // Writes the saved copy of a record: "<html>" followed by the body, creating the
    // "Mails" folder when needed. False when the file could not be written whole, or when
    // a file of that name exists: it is another message's copy and stays as it is.
    [[nodiscard]] bool saveCopy(int mailNumber, const QByteArray &messageBody);

    // Writes the evidence of a record; a reader sees the whole file or none. False when it
    // could not be written, or when evidence of that number exists (it stays as it is).
    [[nodiscard]] bool saveEvidence(int mailNumber, const Verdict &verdict);

    // The evidence written for a record; nothing when there is none or it cannot be read.
    std::optional<Verdict> loadEvidence(int mailNumber) const;
    // The address the rules compared for record mailNumber, as its evidence holds it; for a
    // record without one, the bare address of its recorded sender.
    QByteArray judgedAddress(int mailNumber, const QByteArray &recordedSender) const;

    // Rewrites "History.ini" with every record not marked deleted. A failed write is
    // reported and leaves the previous file whole; the records stay in memory.
    [[nodiscard]] bool SaveHist();

    // Replaces the records with the content of "History.ini". A file that ends inside a
    // record or has a ninth line that is not a number is announced, keeps the records read
    // before the fault, is moved aside to its first free ".bad" name and is written anew
    // with those records (see keepDamagedFile).
    // A file read whole, with no damaged history kept beside it, also clears "Mails" of the
    // copies and evidence no record names (logged with their number).
    void LoadHistory();

    QString path() const;
    QString mailPath(int mailNumber) const;
    QString evidencePath(int mailNumber) const;

    // The time of recording as the history writes it.
    QByteArray checkedAtNow() const;

private:
    struct Key
    {
        QByteArray sender;
        QByteArray subject;
        QByteArray status;
        QByteArray sendDate;
        bool operator==(const Key &) const = default;
        friend size_t qHash(const Key &key, size_t seed = 0)
        {
            return qHashMulti(seed, key.sender, key.subject, key.status, key.sendDate);
        }
    };
    static Key keyOf(const HistoryRecord &record);
    void clear();
    QString mailsFolder() const;
    // The highest number that names a file in "Mails"; 0 when there is none.
    int highestSavedNumber() const;
    // After a clean load: removes the copies and evidence in "Mails" that no record names,
    // which a history write that failed, or a stop before it, left behind. Gives the highest
    // number still in use there.
    int removeUnrecordedCopies();
    // A damaged history was moved aside beside "History.ini": the copies of the records
    // only it still holds must stay.
    bool hasDamagedHistoryKept() const;

    QString m_dataDir;
    Services &m_services;
    const Clock &m_clock;
    QList<HistoryRecord> m_records;
    QHash<Key, int> m_index; // the MailNumber of the newest record of each key
    int m_highestMailNumber = 0;
};
