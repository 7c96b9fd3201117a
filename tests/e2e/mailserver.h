#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The private Dovecot of the end-to-end tests, run by scripts/mailserver.sh. ctest starts one
// for the whole run and names it in KORVANE_MAILSERVER; a test program run by hand starts its
// own and stops it when it ends.
class MailServer
{
public:
    static MailServer &shared();

    bool isRunning() const { return m_pop3Port != 0; }
    quint16 pop3Port() const { return m_pop3Port; }
    QString folder() const { return m_folder; }
    // A port the script wrote into the server's "env": "IMAP_PORT", "POP3S_PORT", ...; 0
    // when it is not there.
    quint16 port(const QByteArray &name) const;
    // A file of the server's test certificates: "ca.pem", "selfsigned.pem", ...
    QString tlsFile(const QString &name) const;
    // Adds the server's test authority to the authorities that every new connection of this
    // process trusts, as a system would trust its own authorities. The program itself has
    // no such switch; only tests call this.
    bool trustTestAuthority() const;

    // A user with an empty inbox (emptied when it exists).
    bool addUser(const QString &name, const QString &password);
    // Puts messages into the user's inbox, numbered in this order.
    bool load(const QString &name, const QList<QByteArray> &messages);
    // The texts of the messages in the user's inbox, in their order.
    QList<QByteArray> inbox(const QString &name) const;
    // The server's own ids of those messages, in the same order: the POP3 UIDLs (the maildir
    // file names, as the server is configured) or, once a session has listed the inbox, the
    // IMAP ids "<UIDVALIDITY>:<UID>" from Dovecot's uidlist (empty for an unlisted message).
    QList<QByteArray> pop3Ids(const QString &name) const;
    QList<QByteArray> imapIds(const QString &name) const;
    // Gives the user's inbox another IMAP UIDVALIDITY, as a server does that could not keep
    // its UIDs: every UID a client knew is void.
    bool setUidValidity(const QString &name, quint32 value);

    bool start();
    void stop();

private:
    QStringList inboxFiles(const QString &name) const; // "cur/<file>" or "new/<file>"
    bool run(const QStringList &arguments) const;
    bool readEnv();

    QString m_pointer;
    bool m_ownsServer = false;
    QString m_folder;
    quint16 m_pop3Port = 0;
};
