#pragma once

#include <QByteArray>

struct Services;

// One log line for each message whose fate was carried out, by a check or by the user in the
// review window, so that the log tells afterwards what became of every message. The texts
// are the recorded ones (account name, sender and subject as the headers hold them).
void logDeleted(Services &services, const QByteArray &accountName, const QByteArray &sender,
                const QByteArray &subject, const QByteArray &reasonKey);
void logKept(Services &services, const QByteArray &accountName, const QByteArray &sender,
             const QByteArray &subject);
// An entry the review window added to the friend list.
void logFriendAdded(Services &services, const QByteArray &entry);
