#pragma once

#include "mailsession.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QTimer>

// What became of one message that the user confirmed for deletion.
enum class DeletionOutcome {
    Deleted, // the server confirmed it: POP3 QUIT +OK, IMAP EXPUNGE OK
    Gone, // its id is no longer on the server
    Refused, // the server refused to delete it
    NotDone, // the session ended before the server confirmed anything
    UidValidityChanged, // IMAP: the mailbox was renewed; its UIDs mean other messages now
    FlaggedNotExpunged, // IMAP: flagged \Deleted, left for the user since others are flagged too
    ExpungeRefused, // IMAP: flagged \Deleted, but the server refused to expunge it
    NoUidValidity, // IMAP: the mailbox gives no UIDVALIDITY, so no UID of it can be trusted
    NotTheSame, // another message carries the id now: its size or headers differ, or unknown
};

// A session that deletes given messages, found by their server ids and proved by their sizes
// and headers (MessageIdentity), and judges nothing:
// MailSession's lifecycle with an inactivity time-out of its own, and the time limit of a
// check's session (MailSession::allowedSeconds) against a trickling server. Every id starts
// NotDone and changes only on the server's confirmation or refusal, so whatever ends the
// session early (a refusal, a hang-up, a time-out) never counts a message as deleted.
class DeletionSession : public MailSession
{
    Q_OBJECT

public:
    ~DeletionSession() override;

    // Connects and starts the inactivity timer.
    void run(const QString &server, quint16 port);
    QHash<QByteArray, DeletionOutcome> outcomes() const { return m_outcomes; }
    // The inactivity timer ran out: the session ends as Timeout.
    void timeOut();
    // One second of the session has passed; past its time limit it ends as Timeout. The
    // real timer calls it, tests may too.
    void tick();

protected:
    DeletionSession(std::unique_ptr<Transport> transport, const MailAccount &account,
                    const Captions &captions, const QList<MessageIdentity> &wanted,
                    int timeOutSeconds, Services &services, QObject *parent);

    void setOutcome(const QByteArray &serverId, DeletionOutcome outcome);
    // The ids given to the constructor, in their order.
    const QList<QByteArray> &wanted() const { return m_wanted; }
    // What the message of the id was when the user confirmed it.
    MessageIdentity identityOf(const QByteArray &serverId) const
    {
        return m_identities.value(serverId);
    }

private:
    QList<QByteArray> m_wanted;
    QHash<QByteArray, MessageIdentity> m_identities;
    QHash<QByteArray, DeletionOutcome> m_outcomes;
    int m_timeOutSeconds;
    QTimer m_idle;
    QTimer m_seconds; // never restarted by arrivals, unlike m_idle
    qint64 m_elapsed = 0; // seconds since run()
};
