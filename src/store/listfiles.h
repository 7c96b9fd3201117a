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
    ListFiles(const QString &dataDir, MailLists &lists, Services &services);

    // Does nothing while a check walks the accounts.
    void LoadAccounts(bool isChecking);
    [[nodiscard]] bool SaveAccounts();
    void LoadBadWords();
    void LoadFriendList();
    [[nodiscard]] bool SaveFriendList();
    void LoadBlockedList();
    [[nodiscard]] bool SaveBlockedList();

    QString accountsPath() const;
    QString badWordsPath() const;
    QString friendListPath() const;
    QString blockedListPath() const;

private:
    void reportCorrupt(const QString &path, const QList<QByteArray> &completeLines,
                       const QString &key, const QString &defaultText, const QString &procedure);
    [[nodiscard]] bool saveAddresses(const QList<AddressPattern> &list, const QString &path,
                                     const QString &procedure);
    [[nodiscard]] bool reportSaveFailure(bool saved, const QString &path, const QString &procedure);

    QString m_dataDir;
    MailLists &m_lists;
    Services &m_services;
};
