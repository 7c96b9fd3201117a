#pragma once

#include <QByteArray>

// The scrambling of passwords in "Accounts.ini": every byte less one, then base64.
// Not encryption: it only keeps a password from being read at a glance.
QByteArray EncodePassword(const QByteArray &text);
QByteArray DecodePassword(const QByteArray &text);
