#pragma once

#include "imapreader.h"
#include "mailsession.h"
#include "message/cmessages.h"
#include "store/records.h"

#include <QByteArrayView>
#include <QList>

#include <optional>

class MailboxFilter;
class Transport;
struct AppSettings;
struct Services;

// The message count of a SELECT reply: the number in the word before the first word that
// contains "exists" in any letter case; 0 when there is no such word. nullopt when the
// word before it is missing or is not a number from 0 to 32767.
std::optional<qint16> GetIMAPInbox(QByteArrayView text);

// One IMAP session over the inbox of one account: LOGIN, SELECT INBOX, an optional search
// for unseen messages, FETCH of every message one at a time without marking it read, then
// the verdicts, STORE \Deleted of the marked messages one per reply, the history, EXPUNGE
// and CLOSE. With "Ask me before deleting" on, one FETCH of every UID comes before the
// messages' FETCHes and nothing is flagged: the marked messages are recorded as awaiting
// review and queued under "<UIDVALIDITY>:<UID>". Every outcome is told in the popup and
// the log before finished() is emitted.
class ImapSession final : public MailSession
{
    Q_OBJECT

public:
    // The numbers are those the engine has always used for these steps.
    enum class State {
        Greeting = 0, // connecting, waiting for the greeting
        LoginSent = 1,
        SelectSent = 2,
        SearchSent = 3, // "a282" search for unseen messages, when new mail is announced
        Fetching = 4, // FETCH CurrentMessage sent
        Storing = 6, // STORE sent
        ExpungeSent = 7,
        UidFetchSent = 8, // ask mode: "a610" fetch of every UID, before the first FETCH
        CapabilitySent = 9, // STARTTLS wanted: "a120" CAPABILITY sent after the greeting
        StartTlsSent = 10, // "a121" STARTTLS
        Encrypting = 11, // the server agreed to STARTTLS: the TLS handshake runs
    };
    Q_ENUM(State)

    ImapSession(std::unique_ptr<Transport> transport, const MailAccount &account,
                const AppSettings &settings, Services &services, MailboxFilter &filter,
                QObject *parent = nullptr);

    State state() const { return m_state; }
    QString step() const override;
    int MessageCount() const { return m_messageCount; }
    const CMessages &ImapMessages() const { return m_messages; }

private:
    void reset() override;
    void buffer(const QByteArray &data) override;
    void processBuffered() override;
    QString serverErrorCaption() const override;
    std::pair<QString, QString> connectionErrorCaptions() const override;

    void onResponse(const ImapResponse &response);
    void onEncrypted() override;
    void sendLogin();
    void afterSelect(const ImapResponse &reply);
    void announceUnseen();
    void startFetching();
    QString noServerIdsCaption() const;
    void fetchNext();
    void parseFetched();
    void classifyMailbox();
    void storeNext();
    void expunge();
    void onExpungeRefused(const ImapResponse &response);
    void closeMailbox();

    const AppSettings &m_settings;

    ImapReader m_reader;
    State m_state = State::Greeting;
    int m_messageCount = -1; // -1 until the SELECT reply gives it
    int m_currentMessage = 0;
    int m_unseenCount = 0;
    bool m_offersStartTls = false; // the CAPABILITY reply names STARTTLS
    std::optional<QByteArray> m_fetchedText; // the text of the outstanding FETCH
    std::optional<QByteArray> m_unparsedText; // fetched, its parse queued
    int m_unparsedNumber = 0;
    CMessages m_messages;
    QList<bool> m_deleteFlags;
    int m_storing = 0; // the message of the outstanding STORE
    bool m_hasStored = false; // the server agreed to flag at least one message
    QByteArray m_uidValidity; // of the selected inbox; empty when the server gave none
    QHash<int, QByteArray> m_serverIds; // message number -> "<UIDVALIDITY>:<UID>"
    bool m_hasServerIds = false; // the server answered the UID fetch
    bool m_isHolding = false; // ask mode at the verdicts: nothing is flagged
    QList<ReviewItem> m_held; // the messages that await review
};
