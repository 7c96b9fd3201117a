#include "checkcycle.h"

#include "classify/classifier.h"
#include "classify/verdictfingerprint.h"
#include "classify/whytext.h"
#include "korvanecore.h"
#include "mailboxcache.h"
#include "mailboxfilter.h"
#include "message/cmessages.h"
#include "message/textformat.h"
#include "platform/notifier.h"
#include "platform/prompter.h"
#include "platform/showntext.h"
#include "platform/trayhost.h"
#include "sessionfactory.h"
#include "store/accountsecurity.h"
#include "store/historycodec.h"
#include "store/verdictkeys.h"
#include "tcptransport.h"

#include <exception>

namespace {

// The real verdicts and history of a fetched mailbox.
class CoreMailboxFilter final : public MailboxFilter
{
public:
    explicit CoreMailboxFilter(KorvaneCore &core)
        : m_core(core)
        , m_classifier(core.settings, core.lists, core.services, core.env.clock)
    {
    }
    MailboxCache *openCache(const MailAccount &account) override
    {
        m_cache.reset();
        if (m_core.isCachingMessages)
            m_cache = std::make_unique<MailboxCache>(m_core.env.dataDir, m_core.services, account,
                                                     [this] { return fingerprint(); });
        return m_cache.get();
    }
    QList<bool> CheckAllMessages(CMessages &messages) override
    {
        MailboxCache *cache = cacheOf(messages);
        if (cache) {
            QList<Verdict> single;
            m_verdicts = m_classifier.judgeAll(messages, cache->knownVerdicts(messages), &single);
            cache->judged(single);
        } else {
            m_verdicts = m_classifier.judgeAll(messages);
        }
        m_verdictsFor = &messages;
        return m_classifier.applyVerdicts(messages, m_verdicts);
    }
    bool Add2Hist(CMessages &messages, const QByteArray &accountName) override
    {
        // The session records the mailbox it has just judged; the verdicts go with it as the
        // evidence of each new record, and only with that mailbox.
        const bool judged = &messages == m_verdictsFor && m_verdicts.size() == messages.Count();
        MailboxCache *cache = cacheOf(messages);
        // A message from the cache that the history records anew needs its body for the copy;
        // one that cannot be read leaves the account unrecorded, so nothing is deleted.
        if (cache && !cache->prepareForHistory(messages, m_core.history))
            return false;
        // A failed write has been reported; the records stay in memory all the same, and
        // the session deletes nothing.
        const bool isSaved
            = m_core.history.Add2Hist(messages, accountName, judged ? &m_verdicts : nullptr);
        if (cache && judged)
            cache->commit(messages, m_core.history);
        m_verdicts.clear();
        m_verdictsFor = nullptr;
        return isSaved;
    }
    void recordKept(const CMessage &message) override
    {
        // As above: a failed save has been reported, the revised record stays in memory.
        (void)m_core.history.reviseToKept(message);
    }
    bool isKeptForReview(const QByteArray &accountName, const QByteArray &serverId) const override
    {
        return m_core.reviewQueue.isKept(accountName, serverId);
    }
    void awaitReview(const QByteArray &accountName, const QList<ReviewItem> &items) override
    {
        QList<ReviewItem> numbered = items;
        const QHash<RecordKey, int> mailNumbers = awaitingMailNumbers();
        for (ReviewItem &item : numbered) {
            item.MailNumber = mailNumbers.value(recordKeyOf(item));
            // The evidence was written beside the saved copy when the history recorded it.
            if (const std::optional<Verdict> verdict = m_core.history.loadEvidence(item.MailNumber))
                item.why = whyText(*verdict, m_core.services);
        }
        // A failed write has been reported; the queue stays in memory all the same.
        (void)m_core.reviewQueue.replaceAccount(accountName, numbered);
    }

private:
    MailboxCache *cacheOf(const CMessages &messages) const
    {
        return m_cache && m_cache->isFor(messages) ? m_cache.get() : nullptr;
    }
    QByteArray fingerprint() const
    {
        return VerdictFingerprint(m_core.settings, m_core.lists, m_core.env.clock);
    }

    // The newest record that Add2Hist made (or had made before) of the held message.
    // The newest records awaiting review, by what the history records of a message, so that
    // a mailbox of thousands of held messages is looked up in one pass over the history.
    using RecordKey
        = std::pair<std::pair<QByteArray, QByteArray>, std::pair<QByteArray, QByteArray>>;
    QHash<RecordKey, int> awaitingMailNumbers() const
    {
        const History &history = m_core.history;
        const QByteArray awaiting = keyOf(MessageStatus::AwaitingReview);
        QHash<RecordKey, int> numbers;
        for (int i = 1; i <= history.count(); ++i) {
            const HistoryRecord &r = history.at(i);
            if (r.Status == awaiting)
                numbers.insert({{r.AccountName, r.Sender}, {r.Subject, r.SendDate}}, r.MailNumber);
        }
        return numbers;
    }
    static RecordKey recordKeyOf(const ReviewItem &item)
    {
        return {{historyField(item.AccountName), historyField(item.Sender)},
                {historyField(item.Subject), historyField(item.SendDate)}};
    }

    KorvaneCore &m_core;
    Classifier m_classifier;
    // The verdicts of the last CheckAllMessages and the mailbox they judged, used only to
    // recognise it, never read through.
    QList<Verdict> m_verdicts;
    const CMessages *m_verdictsFor = nullptr;
    std::unique_ptr<MailboxCache> m_cache; // of the session that opened it last
};

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
    connect(session, &MailSession::activity, this, [this, session] {
        if (session == m_session)
            restartTimeOut();
    });
    connect(session, &MailSession::finished, this,
            [this, session, account](const SessionResult &result) {
                onSessionFinished(session, account, result);
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
    CheckNextAccount();
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
    if (m_session)
        emit sessionEnded({status, m_session->step(), {}});
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
