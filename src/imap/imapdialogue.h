#pragma once

#include "net/dialogueclient.h"
#include "net/encryption.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

struct ImapResponse;

// Brings an IMAP connection from the greeting to where work can start: CAPABILITY and
// STARTTLS where STARTTLS is wanted, LOGIN with both strings quoted, then SELECT or EXAMINE
// of a named mailbox when one is asked for, whose UIDVALIDITY it keeps. A PREAUTH greeting
// counts as logged in, except where STARTTLS is wanted: it then ends the dialogue. It owns the
// encryption rules: where STARTTLS is required and not offered, neither the user name nor the
// password is sent. Each session gives its own tags, so that a server's log tells the checks from
// the deletions.
class ImapDialogue
{
    Q_GADGET

public:
    enum class Step {
        Greeting, // connecting, waiting for the greeting
        CapabilitySent, // STARTTLS wanted: CAPABILITY sent after the greeting
        StartTlsSent,
        Encrypting, // the server agreed to STARTTLS: the TLS handshake runs
        LoginSent,
        SelectSent, // SELECT or EXAMINE sent
        Ready, // done: the client's own commands follow
    };
    Q_ENUM(Step)

    struct Tags
    {
        QByteArray capability;
        QByteArray startTls;
        QByteArray login;
        QByteArray select;
    };

    // Every untagged response after the greeting, such as "* 3 EXISTS", "* 2 EXPUNGE" or
    // "* CAPABILITY ...", once the dialogue has read what it needs of it: the session's to
    // follow where it cares.
    using UntaggedHandler = std::function<void(const ImapResponse &)>;

    // mailboxCommand is sent after the login with the select tag, for example
    // "SELECT INBOX"; empty to open none.
    ImapDialogue(DialogueClient &client, UntaggedHandler untagged, const Tags &tags,
                 const QByteArray &mailboxCommand, const QByteArray &userName,
                 const QByteArray &password);

    // Back at the greeting, to be encrypted as given; nothing is known of the server.
    void restart(Encryption encryption);
    Step step() const { return m_step; }
    QString stepName() const;
    bool isDone() const { return m_step == Step::Ready; }

    void onResponse(const ImapResponse &response);
    // The connection asked for with startEncryption() is encrypted and its certificate passed.
    void onEncrypted();

    // RFC 3501 §7.1: the opened mailbox's UIDVALIDITY as the server wrote it, the UIDs hold
    // only while it does; empty when the server gave none.
    const QByteArray &uidValidity() const { return m_uidValidity; }
    // The server's tagged answer to SELECT or EXAMINE; empty when none was sent.
    const QByteArray &selectReply() const { return m_selectReply; }

private:
    void onGreeting(const ImapResponse &response);
    void onSelectData(const ImapResponse &response);
    void withoutStartTls(const QByteArray &reply);
    void sendLogin();
    void loggedIn();
    void fail(DialogueFailure failure, const QByteArray &reply = {});

    DialogueClient &m_client;
    const UntaggedHandler m_untagged;
    const Tags m_tags;
    const QByteArray m_mailboxCommand;
    const QByteArray m_userName;
    const QByteArray m_password;
    Encryption m_encryption = Encryption::None;
    Step m_step = Step::Greeting;
    bool m_offersStartTls = false; // an untagged CAPABILITY named it
    QByteArray m_uidValidity;
    QByteArray m_selectReply;
};
