#pragma once

#include "session/sessionresult.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

struct Services;

// The accounts whose last check failed, with why and when, until their next successful check.
// What the tray shows so that a failure stays visible after its popup has gone.
class AccountProblems
{
public:
    struct Problem
    {
        QByteArray account;
        QString reason;
        QDateTime at;
    };

    // An account's check ended: a failure replaces the account's problem, a success removes
    // it, and a check the user stopped changes nothing. True when the list changed.
    bool recordEnd(const QByteArray &account, const SessionResult &result, const QString &reason,
                   const QDateTime &at);
    const QList<Problem> &list() const { return m_problems; }

    // What went wrong, in the user's words, with the server's own line when there is one.
    static QString reasonText(const Services &services, const SessionResult &result);
    // Every problem on a line of its own: "<account>, <time>: <reason>".
    static QString listText(const Services &services, const QList<Problem> &problems);

private:
    QList<Problem> m_problems;
};
