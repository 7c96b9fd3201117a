#pragma once

#include "imapmailsession.h"
#include "session/deletionsession.h"

#include <QHash>
#include <QList>

// Deletes given messages of one IMAP inbox by their ids "<UIDVALIDITY>:<UID>": the
// dialogue's LOGIN and SELECT INBOX, CAPABILITY, a UID FETCH of the size and identifying
// headers of the wanted UIDs still there (a server may give a UID again: one whose size or
// headers differ is NotTheSame), UID STORE \Deleted of those proved the same, then UID EXPUNGE of
// exactly those (RFC 4315) when the server has UIDPLUS; without it a plain EXPUNGE only when UID
// SEARCH DELETED finds no other flagged message, else they stay flagged (FlaggedNotExpunged). An id
// of another UIDVALIDITY is never acted on.
class ImapDeletion final : public ImapMailSession<DeletionSession>
{
    Q_OBJECT

public:
    enum class State {
        LoggingIn, // the dialogue runs, up to the SELECT: step() names its step
        SelectSent, // the SELECT was answered
        CapabilitySent,
        FetchSent, // which wanted UIDs are still there, their sizes and headers
        StoreSent,
        UidExpungeSent,
        DeletedSearchSent, // which messages carry \Deleted
        ExpungeSent,
    };
    Q_ENUM(State)

    ImapDeletion(std::unique_ptr<Transport> transport, const MailAccount &account,
                 const QList<MessageIdentity> &wanted, int timeOutSeconds, Services &services,
                 QObject *parent = nullptr);

    State state() const { return m_state; }

private:
    void restart() override;
    QString sessionStep() const override;
    QString dialogueStep() const override;
    void dialogueDone() override;

    void onResponse(const ImapResponse &response) override;
    void onUntagged(const ImapResponse &response) override;
    void afterSelect();
    void onIdentity(const ImapResponse &response);
    void afterIdentities(const ImapResponse &reply);
    void setFoundOutcome(DeletionOutcome outcome);
    void logout();

    State m_state = State::LoggingIn;
    QByteArray m_validity; // of the selected mailbox; empty when the SELECT gave none
    bool m_hasUidPlus = false;
    QList<quint32> m_uids; // the wanted UIDs of the mailbox's UIDVALIDITY
    QHash<quint32, QByteArray> m_idOf; // a wanted UID's id as given
    QList<quint32> m_found; // of those, the ones the fetch proved the same; ascending
    QList<quint32> m_present; // the ones the fetch found at all
    QList<quint32> m_flagged; // every UID that UID SEARCH DELETED found
};
