#include "checkcycle.h"

#include "coremailboxfilter.h"
#include "korvanecore.h"
#include "message/cmessages.h"
#include "message/textformat.h"
#include "net/tcptransport.h"
#include "platform/clock.h"
#include "platform/notifier.h"
#include "platform/prompter.h"
#include "platform/showntext.h"
#include "platform/trayhost.h"
#include "session/mailboxfilter.h"
#include "sessionfactory.h"
#include "store/accountsecurity.h"
#include "store/verdictkeys.h"

#include <exception>

namespace {

QString describe(const std::exception_ptr &failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception &e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("Unknown failure");
    }
}

} // namespace

CheckCycle::CheckCycle(KorvaneCore &core, QObject *parent)
    : QObject(parent)
    , m_core(core)
    , m_coreFilter(std::make_unique<CoreMailboxFilter>(core))
    , m_filter(m_coreFilter.get())
    , m_makeTransport([] { return std::make_unique<TcpTransport>(); })
{
    tmrIcon.setInterval(500);
    connect(&tmrIcon, &QTimer::timeout, this, &CheckCycle::onIconTick);
    connect(&m_core.tmrCheck, &ExtraTimer::Timer, this, &CheckCycle::onCheckTimer);
    connect(&m_core.tmrTimeOut, &ExtraTimer::Timer, this, &CheckCycle::onTimeOut);
    sessionClock.setIntervalUnit(0);
    sessionClock.setInterval(1);
    connect(&sessionClock, &ExtraTimer::Timer, this, &CheckCycle::onSessionSecond);
}

CheckCycle::~CheckCycle()
{
    if (m_session)
        m_session->abort();
}

QString CheckCycle::caption(const char *key, const char *defaultText) const
{
    return m_core.services.caption(QString::fromLatin1(key), QString::fromLatin1(defaultText));
}

QString CheckCycle::checkNowCaption() const
{
    return m_core.IsChecking ? caption("10163", "&Stop Checking") : caption("10033", "&Check  Now");
}

void CheckCycle::tell(const QString &text)
{
    m_core.env.notifier.ShowTrayWindow(text);
    m_core.log.Log(text);
}

void CheckCycle::CheckNow()
{
    // While a check runs the menu item reads "&Stop Checking" and is the stop command.
    if (m_core.IsChecking) {
        cutSessionShort(SessionStatus::Cancelled);
        EndCheck();
        // Without a word the stop would look like a check that had nothing to say.
        return tell(caption("280320", "Checking has been stopped."));
    }
    startCheck();
}

void CheckCycle::onCheckTimer()
{
    // A firing during a check is dropped, not queued.
    if (!m_core.IsChecking)
        startCheck();
}

void CheckCycle::startCheck()
{
    m_core.IsChecking = true;
    emit checkNowCaptionChanged(checkNowCaption());
    BeginCheckMailList();
}

void CheckCycle::BeginCheckMailList()
{
    try {
        m_core.log.Log(caption("10119", "Begin checking mail accounts"));
        restartTimeOut();
        tmrIcon.start();
        if (!m_core.lists.AccountsLoaded || m_core.lists.Accounts.isEmpty()) {
            tell(caption("10121", "NO accounts to check.!"));
            return EndCheck();
        }
        m_nextAccountIndex = 1;
        startAccount(0, true);
    } catch (...) {
        const QString text = caption("10133", "Error:") + describe(std::current_exception())
            + QStringLiteral("(BeginCheckMailList)");
        m_core.env.prompter.critical(text);
        m_core.log.Log(text);
        EndCheck();
    }
}

void CheckCycle::CheckNextAccount()
{
    // A session that ends after the check was stopped has nothing to go on with.
    if (!m_core.IsChecking)
        return;
    try {
        releaseSession();
        const auto &accounts = m_core.lists.Accounts;
        if (m_nextAccountIndex < accounts.size()) {
            const int index = m_nextAccountIndex;
            m_core.log.Log(caption("10134", "Finished checking ") + QLatin1Char(' ')
                           + shownText(accounts.at(index - 1).AccountName) + QLatin1Char(' ')
                           + caption("10135", " Account"));
            restartTimeOut();
            m_nextAccountIndex = index + 1;
            startAccount(index, false);
            return;
        }
        EndCheck();
        tell(caption("10124", "Finished Checking All Account's"));
        m_core.history.LoadHistory();
        // One notice for the whole check, however many accounts added to the queue.
        if (const int pending = m_core.reviewQueue.count(); pending > 0) {
            tell(caption("280033", "%1 messages await your review").arg(pending));
            emit reviewPending(pending);
        }
        emit checkFinished();
    } catch (...) {
        const QString description = describe(std::current_exception());
        const QString error = caption("10133", "Error:");
        m_core.env.prompter.critical(error + description + QStringLiteral("(checkNwxtAccount)"));
        m_core.log.Log(error + description + QStringLiteral("(CheckNextAccount)"));
        m_core.history.LoadHistory();
        EndCheck();
    }
}

// NextAccountIndex already points past this account, so a session that ends at once goes on
// with the right one.
void CheckCycle::startAccount(int index, bool isFirst)
{
    const MailAccount &account = m_core.lists.Accounts.at(index);
    const QString name = shownText(account.AccountName);
    // The first account's line has always read "Begin Checking" with key 10123 for the word
    // "Account"; the others "Begin checking" with key 10135.
    const QString beginLine = isFirst ? caption("10122", "Begin Checking ") + QLatin1Char(' ')
            + name + QLatin1Char(' ') + caption("10123", " Account")
                                      : caption("10122", "Begin checking ") + QLatin1Char(' ')
            + name + QLatin1Char(' ') + caption("10135", " Account");
    if (!hasMailSession(account)) {
        // Without a session nothing would move until the time-out cancelled the whole check.
        m_core.log.Log(caption("280006", "Unknown server type, account skipped: ") + name);
        return CheckNextAccount();
    }
    m_core.log.Log(beginLine);
    startSession(makeMailSession(account, m_makeTransport(), m_core.settings, m_core.services,
                                 *m_filter, LoadAccountSecurity(m_core.env.registry, account)),
                 account);
}

// The cycle owns the session from here on as its QObject child; releaseSession() hands it to
// deleteLater(), so it is never destroyed while one of its handlers is on the stack.
void CheckCycle::startSession(std::unique_ptr<MailSession> owned, const MailAccount &account)
{
    MailSession *session = owned.release();
    session->setParent(this);
    m_session = session;
    m_sessionAccount = account.AccountName;
    connect(session, &MailSession::activity, this, [this, session] {
        if (session == m_session)
            restartTimeOut();
    });
    connect(session, &MailSession::finished, this,
            [this, session, account](const SessionResult &result) {
                onSessionFinished(session, account, result);
            });
    connect(session, &MailSession::encryptedByStartTls, this, [this, session, account] {
        if (session == m_session)
            keepStartTls(account);
    });
    connect(session, &MailSession::encryptionChoiceNeeded, this, [this, session, account] {
        if (session == m_session)
            emit encryptionChoiceNeeded(account);
    });
    m_sessionSeconds = 0;
    sessionClock.setEnabled(true);
    session->start(NormalizeServerName(shownText(account.MailServer)), quint16(account.Port));
}

void CheckCycle::onSessionFinished(MailSession *session, const MailAccount &account,
                                   const SessionResult &result)
{
    if (session != m_session)
        return;
    // The account editor offers to trust the certificate last refused; a connection that
    // got as far as the login leaves nothing to offer.
    if (result.status == SessionStatus::TlsFailed && !session->refusedSha256().isEmpty())
        (void)SaveRefusedCertificate(m_core.env.registry, account, session->refusedSha256());
    else if (result.status == SessionStatus::Ok || result.status == SessionStatus::AuthRejected)
        (void)SaveRefusedCertificate(m_core.env.registry, account, {});
    emit sessionEnded(result);
    recordEnd(account.AccountName, result);
    CheckNextAccount();
}

void CheckCycle::recordEnd(const QByteArray &account, const SessionResult &result)
{
    if (m_problems.recordEnd(account, result, AccountProblems::reasonText(m_core.services, result),
                             m_core.env.clock.now()))
        emit problemsChanged();
}

// An account with no mode chosen takes STARTTLS only where the server offers it. Once a
// server has encrypted with it, an offer that goes missing later is more likely stripped on
// the way than withdrawn: the account keeps STARTTLS, so such a check fails instead of
// sending the password in clear.
void CheckCycle::keepStartTls(const MailAccount &account)
{
    AccountSecurity security = LoadAccountSecurity(m_core.env.registry, account);
    if (security.mode)
        return;
    security.mode = SecurityMode::StartTls;
    if (!SaveAccountSecurity(m_core.env.registry, account, security))
        return;
    m_core.log.Log(m_core.services
                       .caption(QStringLiteral("280134"),
                                QStringLiteral("%1: the server encrypted the connection with "
                                               "STARTTLS, so this account is checked only that "
                                               "way from now on."))
                       .arg(shownText(account.AccountName)));
}

void CheckCycle::releaseSession()
{
    if (!m_session)
        return;
    MailSession *session = m_session;
    m_session = nullptr;
    sessionClock.setEnabled(false);
    session->abort();
    // It may be the one whose handler is on the stack now.
    session->deleteLater();
}

void CheckCycle::EndCheck()
{
    releaseSession();
    m_core.tmrTimeOut.setEnabled(false);
    tmrIcon.stop();
    m_core.IsChecking = false;
    emit checkNowCaptionChanged(checkNowCaption());
    m_core.env.tray.SetTrayIcon(0);
}

void CheckCycle::cutSessionShort(SessionStatus status)
{
    if (!m_session)
        return;
    const SessionResult result {status, m_session->step(), {}};
    emit sessionEnded(result);
    recordEnd(m_sessionAccount, result);
}

void CheckCycle::onTimeOut()
{
    cutSessionShort(SessionStatus::Timeout);
    tell(caption("270013", "Connection Time Out, Checking has been cancelled."));
    EndCheck();
}

// Unlike the time-out, this ends only the session: the server answers, just too slowly, and
// the next account deserves its check.
void CheckCycle::onSessionSecond()
{
    if (!m_session)
        return;
    ++m_sessionSeconds;
    if (!m_session->isOverdue(m_sessionSeconds, m_core.tmrTimeOut.Interval()))
        return;
    cutSessionShort(SessionStatus::Timeout);
    m_session->tellTooSlow(m_sessionSeconds);
    CheckNextAccount();
}

void CheckCycle::restartTimeOut()
{
    m_core.tmrTimeOut.setEnabled(false);
    m_core.tmrTimeOut.setEnabled(true);
}

void CheckCycle::onIconTick()
{
    IconFrame = IconFrame < 1 ? IconFrame + 1 : 0;
    m_core.env.tray.SetTrayIcon(IconFrame);
}
