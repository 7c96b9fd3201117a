#pragma once

#include "message/cmessages.h"
#include "message/messageidentity.h"
#include "pop3mailsession.h"
#include "session/mailsession.h"
#include "store/records.h"

#include <QList>
#include <QSet>

#include <map>
#include <optional>

class MailboxCache;
class MailboxFilter;
class Transport;
struct AppSettings;
struct Services;

// One POP3 session over one account: the login dialogue, STAT, RETR of every message, then the
// verdicts, DELE of the marked messages one per reply, the history, and QUIT.
// With "Ask me before deleting" on, UIDL and LIST give the messages' ids and sizes before the
// first RETR and nothing is deleted: the marked messages are recorded as awaiting review and
// queued with their ids, sizes and header digests. With the filter's message cache UIDL and
// LIST come first too, and only the messages the cache does not hold under the same id and
// size are fetched; the verdicts cover the whole mailbox all the same. A message the cache
// gave is deleted only after "TOP n 0" showed the headers it was judged with.
// With more than one message CAPA follows STAT (unless its answer is known on this
// connection): a server that announces PIPELINING gets several RETRs at once, and one it
// refuses leaves only its message out; any other server gets one RETR at a time.
// Every outcome is told in the popup and the log before finished() is emitted.
class Pop3Session final : public Pop3MailSession<MailSession>
{
    Q_OBJECT

public:
    // The numbers are those the engine has always used for these steps.
    enum class State {
        LoggingIn = 0, // the login dialogue runs: step() names its step
        StatSent = 3,
        Retrieving = 4, // RETR CurrentMessage sent
        Deleting = 5, // DELE sent
        Quitting = 6, // QUIT sent and the connection dropped without waiting
        QuitSent = 7,
        UidlSent = 8, // ask mode: UIDL sent, before the first RETR
        PipeCapaSent = 12, // more than one message: CAPA sent after STAT, for PIPELINING
        ListSent = 13, // after UIDL: the messages' sizes
        TopSent = 14, // "TOP n 0" of a cached message to delete: is it still the one judged?
    };
    Q_ENUM(State)

    Pop3Session(std::unique_ptr<Transport> transport, const MailAccount &account,
                const AppSettings &settings, Services &services, MailboxFilter &filter,
                QObject *parent = nullptr);

    State state() const { return m_state; }
    int MessageCount() const { return m_messageCount; }
    // How many RETRs may be in flight at once: 1 without PIPELINING.
    int RetrWindow() const { return m_retrWindow; }
    const CMessages &Pop3Messages() const { return m_messages; }

private:
    void restart() override;
    QString sessionStep() const override;
    bool handleNext(LineReader &reader) override;
    void dialogueDone() override;

    void onReply(const QByteArray &reply);
    void onCapabilities(const QByteArray &list);
    void onStat(const QByteArray &reply);
    void startRetrieving();
    void retrieve();
    void assembleMailbox();
    void onUidl(const QByteArray &list);
    void onList(const QByteArray &list);
    QHash<int, MessageIdentity> identities() const;
    void verifyNext();
    void onTop(const std::optional<QByteArray> &headers);
    void onMessageText(QByteArray text);
    void fetchNext();
    void onRetrRefused(const QByteArray &reply);
    void afterMessage();
    void classifyMailbox();
    void deleteNext();
    void recordAndQuit();
    void giveUpUnrecorded();
    void onQuitRefused(const QByteArray &reply);

    const AppSettings &m_settings;

    State m_state = State::LoggingIn;
    int m_messageCount = 0;
    int m_currentMessage = 0; // the message whose RETR reply comes next
    QList<int> m_toFetch; // the messages to RETR, ascending: those the cache does not hold
    QSet<int> m_fromCache; // the messages the cache gives
    MailboxCache *m_cache = nullptr; // the filter's; none when every message is fetched
    std::map<int, CMessage> m_parsed; // the fetched messages by number, until the verdicts
    qsizetype m_requested = 0; // RETRs sent, of m_toFetch
    qsizetype m_answered = 0; // RETR replies read whole, texts and refusals alike
    int m_retrWindow = 1;
    qint64 m_mailboxOctets = -1; // by STAT; -1 when it gave no size
    bool m_knowsCapabilities = false; // CAPA was answered on this connection's current layer
    bool m_isPipelining = false; // and it announced PIPELINING
    bool m_hasListStatus = false; // the "+OK" line of the current CAPA, RETR or UIDL is in
    CMessages m_messages;
    QList<int> m_numbers; // the message number of position p at p - 1
    QList<bool> m_deleteFlags;
    int m_deleting = 0; // the message of the outstanding DELE
    QHash<int, QByteArray> m_serverIds; // message number -> UIDL, in ask mode
    QHash<int, qint64> m_sizes; // message number -> its size by LIST
    QHash<int, QByteArray> m_digests; // message number -> identityDigest() of a fetched text
    QList<int> m_toVerify; // the cached messages to delete, ascending
    qsizetype m_verifying = 0; // index in m_toVerify of the outstanding TOP
    int m_mistaken = 0; // cached messages the server now holds another message for
    bool m_hasServerIds = false; // the server answered UIDL
    bool m_isHolding = false; // ask mode at the verdicts: nothing is deleted
    QList<ReviewItem> m_held; // the messages that await review
};
