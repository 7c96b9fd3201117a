#pragma once

#include <QByteArray>
#include <QString>

// A mail header value as it is shown on screen. RFC 2047 encoded words ("=?charset?B?...?="
// and "=?charset?Q?...?=") are decoded in their charsets, and the blanks between two adjacent
// encoded words are dropped; the text outside them reads as UTF-8 when it is valid UTF-8,
// otherwise as Latin-1. A broken encoded word (bad base64 or escape, no closing "?=") stays as
// it is; one in a charset unknown here reads like the text around it. Control characters
// become blanks, so that a header keeps to one line. Only the shown text changes: the bytes
// of the mail and of the data files stay as they are.
QString decodedHeaderText(const QByteArray &raw);

// The same, with the text outside encoded words in the message's own charset when that is
// known; an empty or unknown name, or bytes that are not text in it, fall back as above.
QString decodedHeaderText(const QByteArray &raw, const QByteArray &charset);
