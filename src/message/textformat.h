#pragma once

#include <QString>
#include <QStringView>

// Small text helpers of the account and address editors and the history list.

// The bare host name of a typed server name: a URL scheme and a leading "www." are dropped
// ("http://www.example.com" gives "example.com").
QString NormalizeServerName(const QString &name);

// True when text holds "@" with at least one character before and after the first one.
bool IsValidEmail(QStringView text);

// "1023 Bytes", "1.5 KB", "2 MB", "1.2 GB": one decimal rounded half to even, without a
// trailing ".0"; empty from 1024^4 bytes on.
QString FormatSize(float size);
