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
// and CLOSE. Every outcome is told in the popup and the log before finished() is emitted.
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
    };

    ImapSession(Transport &transport, const MailAccount &account, const AppSettings &settings,
                Services &services, MailboxFilter &filter, QObject *parent = nullptr);
    ~ImapSession() override;

    // ConnectIMAP: connects and starts at the greeting with an empty mailbox.
    void start(const QString &server, quint16 port) override;
    void abort() override;

    State state() const { return m_state; }
    int MessageCount() const { return m_messageCount; }
    const CMessages &ImapMessages() const { return m_messages; }

private:
    void onReceived(const QByteArray &data);
    void onClosed();
    void onFailed(int code, const QString &description);

    void processBuffered();
    void onResponse(const ImapResponse &response);
    void onUntagged(const ImapResponse &response);
    bool onTagged(const ImapResponse &response);
    void afterSelect(const ImapResponse &reply);
    void announceUnseen();
    void fetchNext();
    void parseFetched();
    void classifyMailbox();
    void storeNext();
    void expunge();
    void closeMailbox();

    void send(const QByteArray &command);
    void tell(const QString &text);
    void failWithReply(const ImapResponse &reply);
    void failUnexpected(const QString &description);
    void end();
    void continueLater(void (ImapSession::*step)());

    Transport &m_transport;
    const MailAccount m_account;
    const AppSettings &m_settings;
    Services &m_services;
    MailboxFilter &m_filter;

    ImapReader m_reader;
    State m_state = State::Greeting;
    int m_messageCount = -1; // -1 until the SELECT reply gives it
    int m_currentMessage = 0;
    int m_unseenCount = 0;
    std::optional<QByteArray> m_fetchedText; // the text of the outstanding FETCH
    std::optional<QByteArray> m_unparsedText; // fetched, its parse queued
    int m_unparsedNumber = 0;
    bool m_isWaiting = false; // a continuation is queued; arrivals wait for it
    bool m_hasEnded = false;
    CMessages m_messages;
    QList<bool> m_deleteFlags;
    int m_storing = 0; // the message of the outstanding STORE
    bool m_hasStored = false; // the server agreed to flag at least one message
};
