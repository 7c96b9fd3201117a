#pragma once

#include <QMetaType>
#include <QString>

// How a mail session ended.
enum class SessionStatus {
    Ok, // the mailbox was checked to its end, an empty one included
    ConnectFailed, // no connection, or the server refused the session at its greeting
    TlsFailed, // the encryption or the server's certificate failed: nothing was sent
    AuthRejected, // the server refused the user name or the password
    ProtocolError, // a refusal or a reply the session cannot go on from, or a hang-up
    Timeout, // the check's connection time-out ended it
    Cancelled, // the user stopped the check
};

// The outcome of one session: its status, the protocol step it was at and what the server
// said last (its reply line, or the connection's error text when it was not reached).
struct SessionResult
{
    SessionStatus status = SessionStatus::Ok;
    QString step;
    QString serverText;
};

Q_DECLARE_METATYPE(SessionResult)
