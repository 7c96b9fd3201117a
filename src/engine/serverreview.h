#pragma once

#include "reviewactions.h"
#include "session/deletionsession.h"
#include "session/sessionresult.h"
#include "store/accountsecurity.h"
#include "store/reviewqueue.h"

#include <QHash>
#include <QList>
#include <QStringList>

#include <functional>
#include <memory>

class History;
class ListFiles;
class Transport;
struct MailLists;
struct Services;

// What ServerReview changes in the review queue: the two calls, so that its tests and the
// queue's file stay apart.
struct ReviewQueueCalls
{
    std::function<bool(const QList<ReviewItem> &)> remove;
    std::function<bool(const QList<ReviewItem> &)> keep;
};

// The calls of a real queue.
inline ReviewQueueCalls reviewQueueCalls(ReviewQueue &queue)
{
    return {[&queue](const QList<ReviewItem> &items) { return queue.remove(items); },
            [&queue](const QList<ReviewItem> &items) {
                return queue.keep(items);
            }};
}

// The user's decisions from the review window, carried out: deleteOnServer() runs one
// deletion session per account, one after another (never two at once to a server), then
// turns the confirmed records to "Deleted", drops them from the queue, tells one report in
// the popup and the log and emits deletionFinished(). keep() works at once.
class ServerReview final : public ReviewActions
{
    Q_OBJECT

public:
    using TransportFactory = std::function<std::unique_ptr<Transport>()>;

    // makeTransport gives each session its connection; timeOutSeconds is asked at the start
    // of each session, so a changed setting counts from the next one.
    ServerReview(MailLists &lists, History &history, ReviewQueueCalls queue, ListFiles &listFiles,
                 Services &services, TransportFactory makeTransport,
                 std::function<int()> timeOutSeconds, QObject *parent = nullptr);
    ~ServerReview() override;

    // How each account's connection is encrypted; every account in clear unless set.
    using SecurityLookup = std::function<AccountSecurity(const MailAccount &)>;
    void setSecurityLookup(SecurityLookup lookup) { m_securityOf = std::move(lookup); }

    void deleteOnServer(const QList<ReviewItem> &items) override;
    void keep(const QList<ReviewItem> &items, bool addSendersToFriends) override;

    // A deletion is under way; further calls wait for it.
    bool isDeleting() const { return m_isRunning || !m_batches.isEmpty(); }

private:
    // The items of one mailbox, deleted through the account that reaches it.
    struct AccountWork
    {
        AccountIdentity mailbox;
        QList<ReviewItem> items;
    };

    void runNext();
    void onSessionFinished(const SessionResult &result);
    void finishBatch();
    // Items whose mailbox no account reaches any more: never deleted, they leave the queue.
    void dropOrphans(const QList<ReviewItem> &items);
    QStringList recordStatus(const QList<ReviewItem> &items, MessageStatus status);
    QString outcomeText(DeletionOutcome outcome, const SessionResult &result) const;
    QString caption(const char *key, const char *defaultText) const;
    void tell(const QString &text);

    MailLists &m_lists;
    History &m_history;
    ReviewQueueCalls m_queue;
    ListFiles &m_listFiles;
    Services &m_services;
    TransportFactory m_makeTransport;
    std::function<int()> m_timeOutSeconds; // the check's connection time-out, as it is now
    SecurityLookup m_securityOf;

    QList<QList<AccountWork>> m_batches; // deleteOnServer() calls that wait their turn
    QList<AccountWork> m_accounts; // the current call's accounts still to do
    AccountWork m_current;
    DeletionSession *m_session = nullptr; // a child, released with deleteLater()
    bool m_isRunning = false; // a deleteOnServer() call is being worked on
    int m_deleted = 0; // in the current call
    int m_asked = 0;
    QStringList m_report;
};
