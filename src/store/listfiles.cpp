#include "listfiles.h"

#include "damagedfile.h"
#include "numbers.h"
#include "password.h"
#include "platform/datadir.h"
#include "platform/prompter.h"
#include "platform/textfile.h"
#include "services.h"

#include <QFile>

namespace {

// Walks the lines of a list file record by record.
class LineCursor
{
public:
    explicit LineCursor(const QList<QByteArray> &lines)
        : m_lines(lines)
    {
    }
    bool atEnd() const { return m_next >= m_lines.size(); }
    qsizetype position() const { return m_next; }
    // The next line, or nothing when the file ends inside a record.
    std::optional<QByteArray> next()
    {
        if (atEnd())
            return std::nullopt;
        return m_lines.at(m_next++);
    }

private:
    const QList<QByteArray> &m_lines;
    qsizetype m_next = 0;
};

bool readAccount(LineCursor &cursor, MailAccount &account)
{
    QByteArray *texts[] = {&account.ServerType, &account.AccountName, &account.MailServer,
                           &account.UserName, &account.Password};
    for (QByteArray *field : texts) {
        const auto line = cursor.next();
        if (!line)
            return false;
        *field = *line;
    }
    account.Password = DecodePassword(account.Password);
    const auto port = cursor.next();
    const auto number = port ? toInt16(*port) : std::nullopt;
    if (!number)
        return false;
    account.Port = *number;
    return true;
}

bool readSpamWord(LineCursor &cursor, SpamWord &word)
{
    const auto text = cursor.next();
    if (!text)
        return false;
    word.Word = *text;
    const auto valueLine = cursor.next();
    const auto value = valueLine ? toInt16(*valueLine) : std::nullopt;
    if (!value)
        return false;
    word.Value = *value;
    return true;
}

bool readAddress(LineCursor &cursor, AddressPattern &address)
{
    const auto line = cursor.next();
    if (!line)
        return false;
    address = *line;
    return true;
}

struct ListRead
{
    bool isComplete = true; // false when the file could not be read or a record was cut short
    QList<QByteArray> completeLines; // the file's lines up to the end of its last complete record
};

// Reads records until the end of the file. A file without lines leaves the list and its
// flag as they were; otherwise the list becomes exactly what the file holds, a record cut
// short included.
template<typename Record, typename ReadRecord>
ListRead loadList(const QString &path, QList<Record> &list, bool &loaded, ReadRecord readRecord)
{
    const auto lines = TextFile::readLines(path);
    if (!lines)
        return {false, {}};
    if (lines->isEmpty())
        return {};
    QList<Record> records;
    LineCursor cursor(*lines);
    bool complete = true;
    qsizetype completeEnd = 0;
    while (complete && !cursor.atEnd()) {
        Record record {};
        complete = readRecord(cursor, record);
        records.append(record);
        if (complete) {
            loaded = true;
            completeEnd = cursor.position();
        }
    }
    list = records;
    return {complete, lines->first(completeEnd)};
}

} // namespace

ListFiles::ListFiles(const QString &dataDir, MailLists &lists, Services &services)
    : m_dataDir(dataDir)
    , m_lists(lists)
    , m_services(services)
{
}

QString ListFiles::accountsPath() const
{
    return dataPath(m_dataDir, QStringLiteral("\\Accounts.ini"));
}

QString ListFiles::badWordsPath() const
{
    return dataPath(m_dataDir, QStringLiteral("\\BadWords.ini"));
}

QString ListFiles::friendListPath() const
{
    return dataPath(m_dataDir, QStringLiteral("\\FriendList.ini"));
}

QString ListFiles::blockedListPath() const
{
    return dataPath(m_dataDir, QStringLiteral("\\BlockedList.ini"));
}

void ListFiles::reportCorrupt(const QString &path, const QList<QByteArray> &completeLines,
                              const QString &key, const QString &defaultText,
                              const QString &procedure)
{
    // Nothing after the damage is read: these files mark no record boundaries, so a record
    // found after a line too many or too few could join the fields of two (an account's
    // password with another account's server). Those records stay in the original.
    keepDamagedFile(m_services, path, m_services.caption(key, defaultText),
                    completeLines.isEmpty() ? std::nullopt
                                            : std::optional<QByteArray>(crLfLines(completeLines)),
                    procedure);
}

void ListFiles::LoadAccounts(bool isChecking)
{
    // The check in progress walks this list; it must not change under it.
    if (isChecking)
        return;
    const ListRead read
        = loadList(accountsPath(), m_lists.Accounts, m_lists.AccountsLoaded, readAccount);
    if (!read.isComplete)
        reportCorrupt(accountsPath(), read.completeLines, QStringLiteral("270004"),
                      QStringLiteral("Accounts.ini is corrupted, it will be reset."),
                      QStringLiteral("LoadAccounts"));
}

bool ListFiles::SaveAccounts()
{
    QList<QByteArray> lines;
    for (const MailAccount &account : std::as_const(m_lists.Accounts)) {
        if (account.AccountName.isEmpty())
            continue; // deleted in the account editor
        lines << account.ServerType << account.AccountName << account.MailServer << account.UserName
              << EncodePassword(account.Password) << QByteArray::number(account.Port);
    }
    return reportSaveFailure(TextFile::writeLines(accountsPath(), lines), accountsPath(),
                             QStringLiteral("SaveAccounts"));
}

void ListFiles::LoadBadWords()
{
    if (!QFile::exists(badWordsPath()))
        m_services.prompter.critical(m_services.caption(
            QStringLiteral("270002"), QStringLiteral("BadWords.ini is not exist")));
    const ListRead read
        = loadList(badWordsPath(), m_lists.BadWords, m_lists.BadWordsLoaded, readSpamWord);
    if (!read.isComplete)
        reportCorrupt(badWordsPath(), read.completeLines, QStringLiteral("270003"),
                      QStringLiteral("BadWords.ini is corrupted, it will be rest."),
                      QStringLiteral("LoadBadWords"));
}

bool ListFiles::SaveBadWords()
{
    QList<QByteArray> lines;
    for (const SpamWord &word : std::as_const(m_lists.BadWords))
        lines << word.Word << QByteArray::number(word.Value);
    return reportSaveFailure(TextFile::writeLines(badWordsPath(), lines), badWordsPath(),
                             QStringLiteral("SaveBadWords"));
}

void ListFiles::LoadFriendList()
{
    const ListRead read
        = loadList(friendListPath(), m_lists.FriendList, m_lists.FriendListLoaded, readAddress);
    if (!read.isComplete)
        reportCorrupt(friendListPath(), read.completeLines, QStringLiteral("270000"),
                      QStringLiteral("FriendList.ini is corrupted , it will be reset."),
                      QStringLiteral("LoadFriendList"));
}

void ListFiles::LoadBlockedList()
{
    const ListRead read
        = loadList(blockedListPath(), m_lists.BlockedList, m_lists.BlockedListLoaded, readAddress);
    if (!read.isComplete)
        reportCorrupt(blockedListPath(), read.completeLines, QStringLiteral("270001"),
                      QStringLiteral("BockedList.ini is corrupted, it will be reset."),
                      QStringLiteral("LoadBlockedList"));
}

bool ListFiles::SaveFriendList(EmptyList empty)
{
    return saveAddresses(m_lists.FriendList, friendListPath(), empty,
                         QStringLiteral("SaveFriendList"));
}

bool ListFiles::SaveBlockedList(EmptyList empty)
{
    return saveAddresses(m_lists.BlockedList, blockedListPath(), empty,
                         QStringLiteral("SaveBlockedList"));
}

bool ListFiles::saveAddresses(const QList<AddressPattern> &list, const QString &path,
                              EmptyList empty, const QString &procedure)
{
    // The viewer's savers run after adding an address: an empty list there means nothing
    // was added, and the file stays as it is.
    if (list.isEmpty() && empty == EmptyList::KeepFile)
        return true;
    return reportSaveFailure(TextFile::writeLines(path, list), path, procedure);
}

bool ListFiles::reportSaveFailure(bool saved, const QString &path, const QString &procedure)
{
    // The old file stays whole; say that the new content did not reach the disk.
    if (!saved)
        m_services.ErrorReport(
            m_services.caption(QStringLiteral("280001"), QStringLiteral("Cannot write %1"))
                .arg(path),
            procedure);
    return saved;
}
