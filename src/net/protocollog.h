#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QLoggingCategory>

// The protocol dialogue of the mail sessions, command by command and reply by reply; off
// unless switched on with the rule "korvane.protocol.debug=true".
Q_DECLARE_LOGGING_CATEGORY(lcProtocol)

// The command as it may be logged: the password of "PASS" and of "LOGIN" replaced by "****".
QByteArray maskedCommand(QByteArrayView command);
