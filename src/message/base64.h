#pragma once

#include <QByteArray>

// The plain base64 coder of the account file's passwords: standard alphabet, "=" padding,
// one line. Each byte is one character.

QByteArray Base64Encode(const QByteArray &text);

// Lenient: one or two trailing "=" are dropped, characters outside the alphabet (line
// breaks and blanks included) count as 0, and a final group of two or three characters
// gives one or two bytes.
QByteArray Base64Decode(const QByteArray &text);
