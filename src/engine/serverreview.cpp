#include "serverreview.h"

#include "imap/imapdeletion.h"
#include "message/textformat.h"
#include "net/transport.h"
#include "platform/notifier.h"
#include "platform/showntext.h"
#include "pop3/pop3deletion.h"
#include "sessionfactory.h"
#include "store/actionlog.h"
#include "store/decisionlog.h"
#include "store/history.h"
#include "store/listfiles.h"
#include "store/maillists.h"
#include "store/services.h"

namespace {

// The address of a sender as the history keeps it: the part in angle brackets when there
// is one ("Jo <jo@example.org>"), else the whole text.
QString itemName(const ReviewItem &item)
{
    const QString name
        = shownText(item.AccountName) + QStringLiteral(": \"") + shownText(item.Subject) + u'"';
    return item.Sender.isEmpty() ? name
                                 : name + QStringLiteral(" (") + shownText(item.Sender) + u')';
}

} // namespace

ServerReview::ServerReview(MailLists &lists, History &history, ReviewQueueCalls queue,
                           ListFiles &listFiles, Services &services, TransportFactory makeTransport,
                           std::function<int()> timeOutSeconds, QObject *parent)
    : ReviewActions(parent)
    , m_lists(lists)
    , m_history(history)
    , m_queue(std::move(queue))
    , m_listFiles(listFiles)
    , m_services(services)
    , m_makeTransport(std::move(makeTransport))
    , m_timeOutSeconds(std::move(timeOutSeconds))
{
}

ServerReview::~ServerReview()
{
    if (m_session)
        m_session->abort();
}

QString ServerReview::caption(const char *key, const char *defaultText) const
{
    return m_services.caption(key, defaultText);
}

void ServerReview::tell(const QString &text)
{
    m_services.notifier.ShowTrayWindow(text);
    m_services.log.Log(text);
}

void ServerReview::deleteOnServer(const QList<ReviewItem> &items)
{
    if (items.isEmpty())
        return;
    QList<AccountWork> accounts;
    for (const ReviewItem &item : items) {
        auto it = std::find_if(accounts.begin(), accounts.end(), [&](const AccountWork &w) {
            return w.mailbox == item.accountIdentity;
        });
        if (it == accounts.end())
            it = accounts.insert(accounts.end(), AccountWork {item.accountIdentity, {}});
        it->items << item;
    }
    m_batches << accounts;
    // Returns at once: the sessions run on the event loop, one after another.
    if (!m_isRunning && m_batches.size() == 1)
        QMetaObject::invokeMethod(this, &ServerReview::runNext, Qt::QueuedConnection);
}

void ServerReview::runNext()
{
    if (m_session)
        return;
    if (!m_isRunning) {
        if (m_batches.isEmpty())
            return;
        m_isRunning = true;
        m_accounts = m_batches.takeFirst();
        m_deleted = 0;
        m_asked = 0;
        m_report.clear();
        for (const AccountWork &work : std::as_const(m_accounts))
            m_asked += int(work.items.size());
    }
    while (!m_accounts.isEmpty()) {
        m_current = m_accounts.takeFirst();
        // The account that reaches the items' mailbox now, whatever it is called: an id of
        // one mailbox names another message, or none, in any other.
        const auto account = std::find_if(
            m_lists.Accounts.cbegin(), m_lists.Accounts.cend(), [this](const MailAccount &a) {
                return !a.AccountName.isEmpty() && identityOf(a) == m_current.mailbox;
            });
        if (account == m_lists.Accounts.cend()) {
            dropOrphans(m_current.items);
            continue;
        }
        if (!hasMailSession(*account)) {
            for (const ReviewItem &item : std::as_const(m_current.items))
                m_report << itemName(item) + QLatin1Char(' ')
                        + caption("280046",
                                  "not deleted: there is no POP3 or IMAP account of this name.");
            continue;
        }
        // Each message is deleted only when the server shows it as it was judged.
        QList<MessageIdentity> ids;
        for (const ReviewItem &item : std::as_const(m_current.items))
            ids << MessageIdentity {item.serverId, item.serverSize, item.headerDigest};
        // Encrypted as the account's check is, trusting the same certificate.
        const AccountSecurity security
            = m_securityOf ? m_securityOf(*account) : AccountSecurity {SecurityMode::None, {}};
        std::unique_ptr<Transport> transport = m_makeTransport();
        transport->trustCertificate(security.trustedSha256);
        if (account->ServerType == "POP3")
            m_session = new Pop3Deletion(std::move(transport), *account, ids, m_timeOutSeconds(),
                                         m_services, this);
        else
            m_session = new ImapDeletion(std::move(transport), *account, ids, m_timeOutSeconds(),
                                         m_services, this);
        m_session->setEncryption(encryptionFor(*account, security));
        connect(m_session, &MailSession::finished, this, &ServerReview::onSessionFinished);
        // The server as the check reaches it, so both talk to the same host.
        m_session->run(NormalizeServerName(shownText(account->MailServer)), quint16(account->Port));
        return;
    }
    finishBatch();
}

void ServerReview::onSessionFinished(const SessionResult &result)
{
    const QHash<QByteArray, DeletionOutcome> outcomes = m_session->outcomes();
    m_session->deleteLater();
    m_session = nullptr;
    QList<ReviewItem> deleted;
    for (const ReviewItem &item : std::as_const(m_current.items)) {
        const DeletionOutcome outcome = outcomes.value(item.serverId, DeletionOutcome::NotDone);
        if (outcome != DeletionOutcome::Deleted) {
            m_report << itemName(item) + QLatin1Char(' ') + outcomeText(outcome, result);
            continue;
        }
        ++m_deleted;
        deleted << item;
        logDeleted(m_services, item.AccountName, item.Sender, item.Subject, keyOf(item.reason));
    }
    m_report << recordStatus(deleted, MessageStatus::Deleted);
    if (!deleted.isEmpty() && !m_queue.remove(deleted))
        m_report << caption("280048", "The review list could not be updated.");
    // The next account from the event loop, after this session has returned.
    QMetaObject::invokeMethod(this, &ServerReview::runNext, Qt::QueuedConnection);
}

void ServerReview::finishBatch()
{
    const QString report = QStringLiteral("%1/%2 ").arg(m_deleted).arg(m_asked)
        + caption("280040", "messages deleted on the server.")
        + (m_report.isEmpty() ? QString() : QLatin1Char('\n') + m_report.join(QLatin1Char('\n')));
    tell(report);
    m_isRunning = false;
    const int deleted = m_deleted;
    if (!m_batches.isEmpty())
        QMetaObject::invokeMethod(this, &ServerReview::runNext, Qt::QueuedConnection);
    emit deletionFinished(deleted, report);
}

void ServerReview::dropOrphans(const QList<ReviewItem> &items)
{
    for (const ReviewItem &item : items)
        m_report << itemName(item) + QLatin1Char(' ')
                + caption("280400",
                          "not deleted: its account was deleted or now reaches another mailbox, "
                          "so it leaves the review list.");
    if (!m_queue.remove(items))
        m_report << caption("280048", "The review list could not be updated.");
}

// The items' history records get the status, saved once for all of them. Gives a line for
// each item whose record is missing or could not be saved.
QStringList ServerReview::recordStatus(const QList<ReviewItem> &items, MessageStatus status)
{
    QStringList unrecorded;
    if (items.isEmpty())
        return unrecorded;
    QList<int> numbers;
    for (const ReviewItem &item : items)
        numbers << item.MailNumber;
    const History::StatusChange change = m_history.setStatusByMailNumbers(numbers, status);
    for (const ReviewItem &item : items) {
        if (!change.isSaved || change.missing.contains(item.MailNumber))
            unrecorded << itemName(item) + QLatin1Char(' ')
                    + caption("280047", "its history record could not be updated.");
    }
    return unrecorded;
}

QString ServerReview::outcomeText(DeletionOutcome outcome, const SessionResult &result) const
{
    switch (outcome) {
    case DeletionOutcome::Deleted:
        return {};
    case DeletionOutcome::Gone:
        return caption("280041", "is no longer on the server; nothing else was deleted.");
    case DeletionOutcome::Refused:
        return caption("280042", "was not deleted: the server refused.");
    case DeletionOutcome::NotDone: {
        const QString detail = (result.step + QLatin1Char(' ') + result.serverText).trimmed();
        return caption("280043",
                       "was not deleted: the session ended before the server confirmed it.")
            + (detail.isEmpty() ? QString() : QStringLiteral(" (") + detail + QLatin1Char(')'));
    }
    case DeletionOutcome::UidValidityChanged:
        return caption("280044",
                       "was not deleted: the mailbox was renewed (UIDVALIDITY changed), so its "
                       "message ids may name other messages now.");
    case DeletionOutcome::FlaggedNotExpunged:
        return caption("280045",
                       "is marked deleted but still there: other messages of the mailbox are "
                       "marked deleted too, so it was not expunged.");
    case DeletionOutcome::ExpungeRefused:
        return caption("280132",
                       "is marked deleted but still there: the server refused to expunge it.");
    case DeletionOutcome::NotTheSame:
        return caption("280137",
                       "was not deleted: the message on the server under its id is not the one "
                       "judged (its size or headers differ), so the next check judges it.");
    case DeletionOutcome::NoUidValidity:
        return caption("280133",
                       "was not deleted: the mailbox gives no UIDVALIDITY, so its message ids "
                       "cannot be trusted.");
    }
    return {};
}

void ServerReview::keep(const QList<ReviewItem> &items, bool addSendersToFriends)
{
    if (items.isEmpty())
        return;
    if (!m_queue.keep(items))
        tell(caption("280048", "The review list could not be updated."));
    for (const ReviewItem &item : items)
        logKept(m_services, item.AccountName, item.Sender, item.Subject);
    const QStringList unrecorded = recordStatus(items, MessageStatus::Kept);
    if (!unrecorded.isEmpty())
        tell(unrecorded.join(QLatin1Char('\n')));
    if (!addSendersToFriends)
        return;
    bool isAdded = false;
    for (const ReviewItem &item : items) {
        const QByteArray address = m_history.judgedAddress(item.MailNumber, item.Sender);
        const bool isListed = std::any_of(
            m_lists.FriendList.cbegin(), m_lists.FriendList.cend(),
            [&](const AddressPattern &p) { return p.compare(address, Qt::CaseInsensitive) == 0; });
        if (address.isEmpty() || isListed)
            continue;
        m_lists.FriendList << address;
        logFriendAdded(m_services, address);
        isAdded = true;
    }
    if (isAdded && !m_listFiles.SaveFriendList())
        tell(caption("280049", "The friend list could not be saved."));
}
