#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

struct ImapResponse;
struct Services;

// What the IMAP sessions, the checks and the deletions alike, say and send in the same
// words: the captions in front of a server's refusal or a connection error, and the form
// of a quoted string.
namespace ImapTexts {

// "IMAP Error: "
QString serverErrorCaption(const Services &services);
// The popup's and the log's "IMAP Connection Error": they have always differed by the popup's
// trailing blank.
std::pair<QString, QString> connectionErrorCaptions(const Services &services);
// RFC 3501 §4.3: a quoted string escapes only the backslash and the double quote.
QByteArray quoted(const QByteArray &text);

// RFC 3501 §9: a sequence-set of ascending UIDs, runs written as "first:last".
QByteArray uidSet(const QList<quint32> &uids);
// The numbers of a "* SEARCH n n n" response, ascending.
QList<quint32> searchNumbers(const ImapResponse &response);

} // namespace ImapTexts
