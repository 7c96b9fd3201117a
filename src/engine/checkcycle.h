#pragma once

#include "accountproblems.h"
#include "extratimer.h"
#include "session/sessionresult.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

class KorvaneCore;
class MailboxFilter;
class MailSession;
class Transport;
struct MailAccount;

// The check over every account: the start and stop commands, one session per account in
// index order, the connection time-out and each session's time limit, the tray blink and
// the end of a check. Its texts go to the popup and the log.
class CheckCycle : public QObject
{
    Q_OBJECT

public:
    using TransportFactory = std::function<std::unique_ptr<Transport>()>;

    explicit CheckCycle(KorvaneCore &core, QObject *parent = nullptr);
    ~CheckCycle() override;

    void setTransportFactory(TransportFactory factory) { m_makeTransport = std::move(factory); }
    // The verdicts and the history of fetched mailboxes; the real rules unless replaced.
    void setMailboxFilter(MailboxFilter &filter) { m_filter = &filter; }

    // The check-now switch: stops a running check, else starts one.
    void CheckNow();
    void BeginCheckMailList();
    // A session has ended: starts the next account, or ends the check after the last.
    void CheckNextAccount();
    // Stops everything (the open session without logging out) and returns to idle.
    void EndCheck();

    int NextAccountIndex() const { return m_nextAccountIndex; }
    // "&Stop Checking" while a check runs, "&Check  Now" otherwise.
    QString checkNowCaption() const;

    // tmrIcon: alternates the tray icon between 0 and 1 every 500 ms while a check runs.
    QTimer tmrIcon;
    int IconFrame = 0;
    void onIconTick();

    // Counts the seconds of the running session, one tick a second; arrivals restart the
    // connection time-out but never this count, so a server that trickles is still stopped
    // at the session's time limit (MailSession::allowedSeconds).
    ExtraTimer sessionClock;

    // The accounts whose last check failed, until they are checked successfully.
    const AccountProblems &problems() const { return m_problems; }

signals:
    void checkNowCaptionChanged(const QString &caption);
    // The last account is done and the history has been reloaded.
    void checkFinished();
    // An account's session has ended: by itself with its own result, or cut short by the
    // time-out or its time limit (Timeout) or the stop command (Cancelled).
    void sessionEnded(const SessionResult &result);
    // A check has ended and count messages (all accounts together) await the user's review.
    void reviewPending(int count);
    // The account has no encryption mode chosen and its server offers no STARTTLS: it was
    // not signed in to, and will not be until the user chooses a mode for it.
    void encryptionChoiceNeeded(const MailAccount &account);
    // An account's check failed, or one that had failed succeeded: problems() changed.
    void problemsChanged();

private:
    void onCheckTimer();
    void onTimeOut();
    void onSessionSecond();
    void startCheck();
    void startAccount(int index, bool isFirst);
    void startSession(std::unique_ptr<MailSession> owned, const MailAccount &account);
    void onSessionFinished(MailSession *session, const MailAccount &account,
                           const SessionResult &result);
    void releaseSession();
    void keepStartTls(const MailAccount &account);
    void restartTimeOut();
    void cutSessionShort(SessionStatus status);
    void recordEnd(const QByteArray &account, const SessionResult &result);
    void tell(const QString &text);
    QString caption(const char *key, const char *defaultText) const;

    KorvaneCore &m_core;
    std::unique_ptr<MailboxFilter> m_coreFilter;
    MailboxFilter *m_filter;
    TransportFactory m_makeTransport;
    QPointer<MailSession> m_session;
    QByteArray m_sessionAccount; // the name of m_session's account
    AccountProblems m_problems;
    qint64 m_sessionSeconds = 0; // of m_session, by sessionClock
    int m_nextAccountIndex = 0;
};
