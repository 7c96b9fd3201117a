#pragma once

#include "net/dialogueclient.h"
#include "net/encryption.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <optional>

class LineReader;

// Brings a POP3 connection from the greeting to the TRANSACTION state (RFC 1939 §4): CAPA
// and STLS where STARTTLS is wanted, then USER and PASS. It owns the encryption rules: where
// STARTTLS is required and not offered, neither the user name nor the password is sent.
// What it sends and how it ends goes through its client; the replies come from the
// client's reader, one by one, through take() and onReply().
class Pop3Dialogue
{
    Q_GADGET

public:
    enum class Step {
        Greeting, // connecting, waiting for the greeting
        CapaSent, // STARTTLS wanted: CAPA sent after the greeting
        StlsSent,
        Encrypting, // the server agreed to STLS: the TLS handshake runs
        UserSent,
        PassSent,
        LoggedIn, // done: the client's own commands follow
    };
    Q_ENUM(Step)

    Pop3Dialogue(DialogueClient &client, const QByteArray &userName, const QByteArray &password);

    // Back at the greeting, to be encrypted as given; nothing is known of the server.
    void restart(Encryption encryption);
    Step step() const { return m_step; }
    QString stepName() const;
    bool isDone() const { return m_step == Step::LoggedIn; }

    // The next reply the dialogue awaits from the reader: CAPA's list once its "+OK" is in,
    // else a status line; nullopt until it is whole.
    std::optional<QByteArray> take(LineReader &reader) const;
    void onReply(const QByteArray &reply);
    // The connection asked for with startEncryption() is encrypted and its certificate passed.
    void onEncrypted();

    // CAPA was answered, "+OK" or "-ERR", on the connection's current layer.
    bool knowsCapabilities() const { return m_knowsCapabilities; }
    // And its list announced PIPELINING.
    bool isPipelining() const { return m_isPipelining; }

private:
    void onCapabilities(const QByteArray &list);
    void withoutStartTls(const QByteArray &reply);
    void sendUser();
    void fail(DialogueFailure failure, const QByteArray &reply = {});

    DialogueClient &m_client;
    const QByteArray m_userName;
    const QByteArray m_password;
    Encryption m_encryption = Encryption::None;
    Step m_step = Step::Greeting;
    bool m_hasListStatus = false; // the "+OK" line of CAPA is in
    bool m_knowsCapabilities = false;
    bool m_isPipelining = false;
};
