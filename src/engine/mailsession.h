#pragma once

#include <QObject>
#include <QString>

// One mailbox session of a check, POP3 or IMAP. It runs on the events of its own connection
// and emits finished() exactly once when it has ended by itself, whatever the outcome;
// abort() ends it silently. Owners release it with deleteLater().
class MailSession : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual void start(const QString &server, quint16 port) = 0;
    // Closes the connection without logging out, so nothing of the session is deleted on
    // the server; no signal follows.
    virtual void abort() = 0;

signals:
    // Data came from the server: the connection time-out starts again.
    void activity();
    void finished();
};
