#pragma once

#include "deletionsession.h"
#include "imapreader.h"

#include <QHash>
#include <QList>

// Deletes given messages of one IMAP inbox by their ids "<UIDVALIDITY>:<UID>": LOGIN,
// SELECT INBOX, CAPABILITY, UID SEARCH for the wanted UIDs still there, UID STORE \Deleted,
// then UID EXPUNGE of exactly those (RFC 4315) when the server has UIDPLUS; without it a
// plain EXPUNGE only when UID SEARCH DELETED finds no other flagged message, else they stay
// flagged (FlaggedNotExpunged). An id of another UIDVALIDITY is never acted on.
class ImapDeletion final : public DeletionSession
{
    Q_OBJECT

public:
    enum class State {
        Greeting, // connecting, waiting for the greeting
        LoginSent,
        SelectSent,
        CapabilitySent,
        SearchSent, // which wanted UIDs are still there
        StoreSent,
        UidExpungeSent,
        DeletedSearchSent, // which messages carry \Deleted
        ExpungeSent,
        LoginCapabilitySent, // STARTTLS wanted: CAPABILITY sent after the greeting
        StartTlsSent,
        Encrypting, // the server agreed to STARTTLS: the TLS handshake runs
    };
    Q_ENUM(State)

    ImapDeletion(std::unique_ptr<Transport> transport, const MailAccount &account,
                 const QList<QByteArray> &serverIds, int timeOutSeconds, Services &services,
                 QObject *parent = nullptr);

    State state() const { return m_state; }
    QString step() const override;

private:
    void reset() override;
    void buffer(const QByteArray &data) override;
    void processBuffered() override;
    QString serverErrorCaption() const override;
    std::pair<QString, QString> connectionErrorCaptions() const override;

    void onResponse(const ImapResponse &response);
    void onEncrypted() override;
    void sendLogin();
    void afterSelect();
    void setFoundOutcome(DeletionOutcome outcome);
    void logout();

    ImapReader m_reader;
    State m_state = State::Greeting;
    QByteArray m_validity; // of the selected mailbox; empty until SELECT gives it
    bool m_hasUidPlus = false;
    bool m_offersStartTls = false; // the CAPABILITY reply before the login names STARTTLS
    QList<quint32> m_uids; // the wanted UIDs of the mailbox's UIDVALIDITY
    QHash<quint32, QByteArray> m_idOf; // a wanted UID's id as given
    QList<quint32> m_found; // of those, the ones UID SEARCH found; ascending
    QList<quint32> m_flagged; // every UID that UID SEARCH DELETED found
};
