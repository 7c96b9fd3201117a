#pragma once

#include "imapmailsession.h"
#include "message/cmessages.h"
#include "message/messageidentity.h"
#include "session/mailsession.h"
#include "store/records.h"

#include <QByteArrayView>
#include <QList>

#include <map>
#include <optional>

class MailboxCache;
class MailboxFilter;
class Transport;
struct AppSettings;
struct Services;

// The message count of a SELECT reply: the number in the word before the first word that
// contains "exists" in any letter case; 0 when there is no such word. nullopt when the
// word before it is missing or is not a number from 0 to 2^31 - 1.
std::optional<qint32> GetIMAPInbox(QByteArrayView text);

// One IMAP session over the inbox of one account: the dialogue's LOGIN and SELECT INBOX, an
// optional search for unseen messages, one FETCH of every message's UID and size, FETCH of every
// message the filter's message cache does not hold under that UID and size, without marking it read
// (several in flight, their completions matched in the order sent; one the server refuses leaves
// only its message unjudged), then the verdicts over the whole mailbox, for the cached messages to
// delete a fetch of the headers they were judged with (one that differs is not deleted), UID STORE
// \Deleted of the marked
// messages one per reply, the history, then the removal of exactly those (UID EXPUNGE with
// UIDPLUS; a plain EXPUNGE only when no other message carries \Deleted, else they stay
// flagged and are recorded as kept), and LOGOUT: never CLOSE, which would remove the
// messages another mail program only marked \Deleted. The messages are those of the
// SELECT: an EXPUNGE from the server at any point takes its message out (it is no longer
// fetched or flagged), later arrivals wait for the next check, and a message is only ever
// flagged by its UID. With "Ask me before deleting" on nothing is flagged: the marked
// messages are recorded as awaiting review and queued under "<UIDVALIDITY>:<UID>". Every
// outcome is told in the popup and the log before finished() is emitted.
class ImapSession final : public ImapMailSession<MailSession>
{
    Q_OBJECT

public:
    // The numbers are those the engine has always used for these steps.
    enum class State {
        LoggingIn = 0, // the dialogue runs, up to the SELECT: step() names its step
        SelectSent = 2, // the SELECT was answered: its message count decides what follows
        SearchSent = 3, // "a282" search for unseen messages, when new mail is announced
        Fetching = 4, // FETCHes of messages sent
        Storing = 6, // UID STORE sent
        ExpungeSent = 7, // "a202" EXPUNGE: only this check's messages carry \Deleted
        UidFetchSent = 8, // "a610" fetch of every UID and size, before the first FETCH
        CapabilitySent = 12, // "a203" CAPABILITY: UIDPLUS decides how the flagged go
        UidExpungeSent = 13, // "a204" UID EXPUNGE of this check's flagged messages
        DeletedSearchSent = 14, // "a205" UID SEARCH DELETED: who else carries \Deleted
        VerifySent = 15, // "a611" headers of the cached messages to delete: the ones judged?
    };
    Q_ENUM(State)

    ImapSession(std::unique_ptr<Transport> transport, const MailAccount &account,
                const AppSettings &settings, Services &services, MailboxFilter &filter,
                QObject *parent = nullptr);

    State state() const { return m_state; }
    int MessageCount() const { return m_messageCount; }
    // How many FETCHes of messages may be in flight at once now.
    int FetchWindow() const;
    const CMessages &ImapMessages() const { return m_messages; }

private:
    void restart() override;
    QString sessionStep() const override;
    void dialogueDone() override;

    // A message of the SELECT, followed through the session by identity: its sequence number
    // is its place in m_present, which every EXPUNGE shortens.
    struct Mail
    {
        quint32 uid = 0; // 0 until the UID fetch gives one
        bool isRequested = false; // its FETCH went out
        bool isFetched = false;
        bool isExpunged = false;
        bool isFromCache = false; // the cache gives it: it is not fetched
        qint64 size = -1; // RFC822.SIZE of the UID fetch
        QByteArray headerDigest; // of the text it was judged from
    };

    void onResponse(const ImapResponse &response) override;
    void onUntagged(const ImapResponse &response) override;
    void onExpunged(const ImapResponse &response);
    void afterSelect();
    void announceUnseen();
    void startFetching();
    QString noServerIdsCaption() const;
    void onUidFetched(const ImapResponse &response);
    void onUidFetchDone(const ImapResponse &reply);
    void onMessageFetched(const ImapResponse &response);
    void onFetchDone(const ImapResponse &reply);
    bool fetchNext();
    void planFetching();
    void parseFetched();
    void assembleMailbox();
    void classifyMailbox();
    int spareUnflaggable();
    bool verifyCached();
    void onVerified(const ImapResponse &response);
    void afterVerifying(const ImapResponse &reply);
    void afterVerdicts();
    QHash<int, MessageIdentity> identities() const;
    void storeNext();
    bool recordKept(int position);
    void expunge();
    void afterCapabilities();
    void afterDeletedSearch(const ImapResponse &reply);
    void keepFlagged(const QString &caption);
    void logout();

    const AppSettings &m_settings;

    State m_state = State::LoggingIn;
    int m_messageCount = -1; // of the SELECT still in the mailbox; -1 until SELECT gives it
    int m_unseenCount = 0;
    QList<Mail> m_mails; // every message of the SELECT, in its order
    QList<int> m_present; // m_mails index of sequence number n at n - 1
    int m_fetchedLead = 0; // m_present[0 .. m_fetchedLead - 1] are requested
    struct Request
    {
        int mail = 0; // m_mails index of the message asked for
        int expunges = 0; // m_expunges when it was sent
    };
    QList<Request> m_inFlight; // the outstanding FETCHes of messages, oldest first
    int m_expunges = 0; // expunges of the SELECT's messages told so far
    QHash<int, QByteArray> m_fetchedTexts; // by m_mails index, until its FETCH completes
    qint64 m_fetchedBytes = 0; // of the texts fetched so far
    int m_fetchedCount = 0;
    std::optional<QByteArray> m_unparsedText; // fetched, its parse queued
    int m_unparsedMail = -1;
    std::map<int, CMessage> m_parsed; // fetched, by m_mails index, until the verdicts
    MailboxCache *m_cache = nullptr; // the filter's; none when every message is fetched
    CMessages m_messages; // in the order of the SELECT, under their position from 1
    QList<int> m_mailAt; // m_mails index of the message at position p at p - 1
    QList<bool> m_deleteFlags; // by position
    int m_unnamed = 0; // messages to delete kept for want of a UID
    QList<int> m_toVerify; // positions of the cached messages to delete
    QHash<quint32, QByteArray> m_serverDigests; // by UID, as the verifying fetch gave them
    int m_storing = 0; // the position of the outstanding UID STORE's message
    QList<quint32> m_stored; // the UIDs the server agreed to flag, ascending
    bool m_hasUidPlus = false; // the CAPABILITY before the expunge named UIDPLUS
    QList<quint32> m_flagged; // every UID that UID SEARCH DELETED found
    QByteArray m_uidValidity; // of the selected inbox, from the dialogue; empty when none
    bool m_hasServerIds = false; // the server answered the UID fetch
    bool m_isHolding = false; // ask mode at the verdicts: nothing is flagged
    QList<ReviewItem> m_held; // the messages that await review
};
