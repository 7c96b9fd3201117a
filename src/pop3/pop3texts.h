#pragma once

#include <QByteArray>
#include <QString>

#include <utility>

struct Services;

// What the POP3 sessions, the checks and the deletions alike, say and read in the same
// words: the captions in front of a server's refusal or a connection error, and the
// capabilities of a CAPA reply.
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
