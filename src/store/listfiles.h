#pragma once

#include "maillists.h"

#include <QString>

struct Services;

// The four list files of the data folder and their in-memory lists: "Accounts.ini" (six
// lines an account), "BadWords.ini" (two lines a word), "FriendList.ini" and
// "BlockedList.ini" (one address a line). A file that cannot be read is announced, keeps
// in memory what was read before the fault and is moved aside to its first free ".bad"
// name; its complete records are written back (see keepDamagedFile). A save that cannot
// write reports it, returns false and leaves the previous file whole.
class ListFiles
{
public:
    // What saving an empty address list does with its file.
    enum class EmptyList { KeepFile, EmptyFile };

    ListFiles(const QString &dataDir, MailLists &lists, Services &services);

    // Does nothing while a check walks the accounts.
    void LoadAccounts(bool isChecking);
    [[nodiscard]] bool SaveAccounts();
    void LoadBadWords();
    // Writes every word and its value, in list order; an empty list empties the file.
    [[nodiscard]] bool SaveBadWords();
    void LoadFriendList();
    // An empty list leaves the file as it is unless the caller asks for an empty file,
    // as the list editors do when every row was deleted.
    [[nodiscard]] bool SaveFriendList(EmptyList empty = EmptyList::KeepFile);
    void LoadBlockedList();
    [[nodiscard]] bool SaveBlockedList(EmptyList empty = EmptyList::KeepFile);

    QString accountsPath() const;
    QString badWordsPath() const;
    QString friendListPath() const;
    QString blockedListPath() const;

private:
    void reportCorrupt(const QString &path, const QList<QByteArray> &completeLines,
                       const QString &key, const QString &defaultText, const QString &procedure);
    [[nodiscard]] bool saveAddresses(const QList<AddressPattern> &list, const QString &path,
                                     EmptyList empty, const QString &procedure);
    [[nodiscard]] bool reportSaveFailure(bool saved, const QString &path, const QString &procedure);

    QString m_dataDir;
    MailLists &m_lists;
    Services &m_services;
};
