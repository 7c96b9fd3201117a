#pragma once

#include <QByteArray>

// Why a dialogue could not bring its connection to where work can start.
enum class DialogueFailure {
    GreetingRefused, // the server refused the session at its greeting
    NoStartTls, // STARTTLS was required and the server does not offer it
    StartTlsRefused, // the server offered STARTTLS and then refused it: nothing goes in clear
    PreauthInClear, // IMAP: a PREAUTH greeting where STARTTLS was to come: nothing was read
    ClearNotChosen, // no mode chosen, and the server offers no STARTTLS: nothing was sent
    CannotQuote, // the user name or the password holds a line break: neither was sent
    LoginRefused, // the server refused the user name or the password
    SelectRefused, // IMAP: the server refused to open the mailbox
};

// What a protocol dialogue (greeting, capabilities, STARTTLS, login, mailbox) needs of the
// session that runs it: a way to send, to encrypt, and to hear how it went. Each outcome
// is told once; after dialogueFailed() or dialogueDone() the dialogue sends nothing more.
class DialogueClient
{
public:
    virtual ~DialogueClient() = default;

    // Sends one command line; the line end is the client's.
    virtual void send(const QByteArray &command) = 0;
    // The server agreed to STARTTLS: what was read before is dropped, and the handshake
    // starts. The dialogue goes on with the login once it hears the connection is encrypted.
    virtual void startEncryption() = 0;
    // The dialogue ended without reaching its goal; reply is the server's line, if any.
    virtual void dialogueFailed(DialogueFailure failure, const QByteArray &reply) = 0;
    // Logged in, and the mailbox opened when one was asked for: the session's own work starts.
    virtual void dialogueDone() = 0;
};

// A line break or NUL in a command's argument would end the command and start another one
// of the sender's choosing.
inline bool fitsOneLine(const QByteArray &text)
{
    return !text.contains('\r') && !text.contains('\n') && !text.contains('\0');
}
