#pragma once

#include <QByteArray>
#include <QString>

#include <utility>

struct Services;
struct TlsRefusal;

// What the POP3 and IMAP sessions, the checks and the deletions alike, say and send in the
// same words: the captions in front of a server's refusal or a connection error, and the
// forms of a reply and a quoted string.
namespace Pop3Texts {

// "POP3 Error:"
QString serverErrorCaption(const Services &services);
// "POP3 Connection Error", in the popup and in the log alike.
std::pair<QString, QString> connectionErrorCaptions(const Services &services);
// "+OK": RFC 1939 §3 gives every positive reply a leading "+".
bool isPositive(const QByteArray &reply);
// RFC 2595 §4: the text of a CAPA reply holds a line "STLS" when the server offers STARTTLS.
bool announcesStls(const QByteArray &capabilities);
// RFC 2449 §6.6: the server takes several commands at once and answers them in order.
bool announcesPipelining(const QByteArray &capabilities);

} // namespace Pop3Texts

namespace ImapTexts {

// "IMAP Error: "
QString serverErrorCaption(const Services &services);
// The popup's and the log's "IMAP Connection Error": they have always differed by the popup's
// trailing blank.
std::pair<QString, QString> connectionErrorCaptions(const Services &services);
// RFC 3501 §4.3: a quoted string escapes only the backslash and the double quote.
QByteArray quoted(const QByteArray &text);
// A line break or NUL in a quoted string would end the command and start another one.
bool canBeQuoted(const QByteArray &text);

} // namespace ImapTexts

namespace TlsTexts {

// "<name>: the secure connection to <host> was refused and nothing was sent over it: <every
// reason>." followed by the certificate's fingerprint when the server showed one.
QString refusalText(const Services &services, const QString &name, const QString &host,
                    const TlsRefusal &refusal);

} // namespace TlsTexts
