#include "mailsession.h"

#include "mailboxfilter.h"
#include "message/cmessages.h"
#include "net/protocollog.h"
#include "net/transport.h"
#include "platform/notifier.h"
#include "platform/showntext.h"
#include "store/actionlog.h"
#include "store/decisionlog.h"
#include "store/services.h"
#include "store/verdictkeys.h"
#include "tlstexts.h"

#include <QMetaObject>
#include <QStringList>

#include <algorithm>

MailSession::MailSession(std::unique_ptr<Transport> transport, const MailAccount &account,
                         const Captions &captions, Services &services, MailboxFilter &filter,
                         QObject *parent)
    : QObject(parent)
    , m_account(account)
    , m_services(services)
    , m_filter(filter)
    , m_transport(std::move(transport))
    , m_captions(captions)
{
    connect(m_transport.get(), &Transport::received, this, &MailSession::onReceived);
    connect(m_transport.get(), &Transport::closed, this, &MailSession::onClosed);
    connect(m_transport.get(), &Transport::failed, this, &MailSession::onFailed);
    connect(m_transport.get(), &Transport::refused, this, &MailSession::onRefused);
    connect(m_transport.get(), &Transport::encrypted, this, [this] {
        if (m_hasEnded)
            return;
        if (m_encryption == Encryption::StartTls || m_encryption == Encryption::StartTlsWhenOffered)
            emit encryptedByStartTls();
        onEncrypted();
    });
}

MailSession::~MailSession()
{
    m_transport->disconnect(this);
}

void MailSession::start(const QString &server, quint16 port)
{
    m_transport->close();
    reset();
    m_bytesReceived = 0;
    m_refusedSha256.clear();
    m_hasEnded = false;
    m_host = server;
    if (m_encryption == Encryption::Implicit)
        m_transport->connectToHostEncrypted(server, port);
    else
        m_transport->connectToHost(server, port);
}

void MailSession::abort()
{
    m_hasEnded = true;
    m_transport->close();
}

void MailSession::onReceived(const QByteArray &data)
{
    if (m_hasEnded)
        return;
    m_bytesReceived += data.size();
    emit activity();
    buffer(data);
    // An encrypted connection may hand over what it read from inside a write. The reply
    // waits until the handler that is writing has finished: handled there, it would run
    // ahead of the handler's own next steps.
    if (m_isSending) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!m_hasEnded)
                    processBuffered();
            },
            Qt::QueuedConnection);
        return;
    }
    processBuffered();
}

void MailSession::onClosed()
{
    // The server hung up: nothing more of this session is deleted; go on with the next account.
    if (m_hasEnded)
        return;
    m_hasEnded = true;
    // Only the log: a popup for every dropped connection would be more noise than help, but
    // the log must say why the account's check stopped short.
    m_services.log.Log(
        m_services
            .caption(QStringLiteral("280074"),
                     QStringLiteral("%1: the server closed the connection during %2."))
            .arg(shownText(m_account.AccountName), step()));
    emit finished({SessionStatus::ProtocolError, step(), {}});
}

void MailSession::onFailed(int code, const QString &description)
{
    if (m_hasEnded)
        return;
    m_transport->close();
    const auto [popupCaption, logCaption] = m_captions.connectionError(m_services);
    const QString detail
        = QLatin1Char(' ') + QString::number(code) + QStringLiteral(" : ") + description;
    m_services.notifier.ShowTrayWindow(popupCaption + detail);
    m_services.log.Log(logCaption + detail);
    end({SessionStatus::ConnectFailed, step(), description});
}

// The certificate or the handshake failed: nothing more goes to this server, and the user
// learns why with the fingerprint that a trusted certificate would have to match.
void MailSession::onRefused(const TlsRefusal &refusal)
{
    if (m_hasEnded)
        return;
    m_transport->close();
    tell(TlsTexts::refusalText(m_services, shownText(m_account.AccountName), m_host, refusal));
    m_refusedSha256 = refusal.sha256;
    end({SessionStatus::TlsFailed, step(), refusal.detail});
}

QString MailSession::clearNotChosenText(const Services &services, const QString &accountName)
{
    return services
        .caption(QStringLiteral("280140"),
                 QStringLiteral("%1: the server does not offer STARTTLS, so neither the user name "
                                "nor the password was sent. To check this account unencrypted, "
                                "set its Security to \"None\"."))
        .arg(accountName);
}

void MailSession::dialogueFailed(DialogueFailure failure, const QByteArray &reply)
{
    switch (failure) {
    case DialogueFailure::GreetingRefused:
        return failWithReply(SessionStatus::ConnectFailed, reply);
    case DialogueFailure::NoStartTls:
        m_transport->close();
        tellAboutAccount(m_services.caption(
            QStringLiteral("280130"),
            QStringLiteral("%1: the server does not offer STARTTLS, so neither the user name "
                           "nor the password was sent.")));
        return end({SessionStatus::TlsFailed, step(), shownServerText(reply.trimmed())});
    case DialogueFailure::StartTlsRefused:
        m_transport->close();
        tellAboutAccount(m_services.caption(
            QStringLiteral("280135"),
            QStringLiteral("%1: the server offered STARTTLS but then refused it, so neither the "
                           "user name nor the password was sent.")));
        return end({SessionStatus::TlsFailed, step(), shownServerText(reply.trimmed())});
    case DialogueFailure::PreauthInClear:
        m_transport->close();
        tellAboutAccount(m_services.caption(
            QStringLiteral("280131"),
            QStringLiteral("%1: the server skipped the login (PREAUTH) before the connection was "
                           "encrypted, so the session was ended and nothing was read over it.")));
        return end({SessionStatus::TlsFailed, step(), shownServerText(reply.trimmed())});
    case DialogueFailure::ClearNotChosen:
        m_transport->close();
        tell(clearNotChosenText(m_services, shownText(m_account.AccountName)));
        emit encryptionChoiceNeeded();
        return end({SessionStatus::TlsFailed, step(), shownServerText(reply.trimmed())});
    case DialogueFailure::CannotQuote:
        return failUnexpected(QStringLiteral("The user name or the password holds a line break"));
    case DialogueFailure::LoginRefused:
        return failWithReply(SessionStatus::AuthRejected, reply);
    case DialogueFailure::SelectRefused:
        return failWithReply(SessionStatus::ProtocolError, reply);
    }
}

void MailSession::send(const QByteArray &command)
{
    qCDebug(lcProtocol).noquote() << "C:" << maskedCommand(command);
    m_isSending = true;
    m_transport->write(command + "\r\n");
    m_isSending = false;
}

void MailSession::logReply(const QByteArray &reply)
{
    qCDebug(lcProtocol).noquote() << "S:" << reply.trimmed();
}

void MailSession::tell(const QString &text)
{
    m_services.notifier.ShowTrayWindow(text);
    m_services.log.Log(text);
}

void MailSession::tellServerError(const QByteArray &reply)
{
    tell(m_captions.serverError(m_services) + shownServerText(reply));
}

void MailSession::failWithReply(SessionStatus status, const QByteArray &reply)
{
    m_transport->close();
    tellServerError(reply);
    end({status, step(), shownServerText(reply.trimmed())});
}

void MailSession::failUnexpected(const QString &description, const QByteArray &serverText)
{
    m_transport->close();
    tell(m_services.caption(QStringLiteral("10133"), QStringLiteral("Error:")) + QLatin1Char(' ')
         + description);
    end({SessionStatus::ProtocolError, step(), shownServerText(serverText.trimmed())});
}

void MailSession::failFraming(FramingFailure failure, const FramingLimits &limits)
{
    switch (failure) {
    case FramingFailure::None:
        return;
    case FramingFailure::LiteralTooLarge:
        return failUnexpected(QStringLiteral("The server announced a literal of more than %1 bytes")
                                  .arg(limits.maxTextSize));
    case FramingFailure::LineTooLong:
        tellAboutLimit(m_services.caption(QStringLiteral("280100"),
                                          QStringLiteral("%1: the server sent a line longer than "
                                                         "%2 bytes, so the connection to this "
                                                         "account was ended.")),
                       limits.maxLineLength);
        break;
    case FramingFailure::TextTooLarge:
        tellAboutLimit(m_services.caption(QStringLiteral("280101"),
                                          QStringLiteral("%1: the server sent a message text "
                                                         "larger than %2 bytes, so the connection "
                                                         "to this account was ended.")),
                       limits.maxTextSize);
        break;
    }
    end({SessionStatus::ProtocolError, step(), {}});
}

// A trickling server restarts the connection time-out with every byte and so could hold a
// check for ever, with no later check run. Four time-outs leave room for connecting, logging
// in and a server's pauses over a large mailbox, each of which the time-out alone allows; on
// top, every KiB received buys one second. That rate is well below the slowest line still in
// use (GPRS carries a few KiB/s), so a large mailbox on a slow but honest line finishes,
// while a server that sends a byte now and then falls behind for good.
qint64 MailSession::allowedSeconds(int timeOutSeconds, qint64 bytes)
{
    static constexpr qint64 graceTimeOuts = 4;
    static constexpr qint64 minimumBytesPerSecond = 1024;
    return graceTimeOuts * std::max(1, timeOutSeconds) + bytes / minimumBytesPerSecond;
}

void MailSession::tellTooSlow(qint64 seconds)
{
    tell(m_services
             .caption(QStringLiteral("280102"),
                      QStringLiteral("%1: the server sent only %2 bytes in %3 seconds, too slowly "
                                     "to go on, so the connection to this account was ended."))
             .arg(shownText(m_account.AccountName), QString::number(m_bytesReceived),
                  QString::number(seconds)));
}

void MailSession::end(SessionResult result)
{
    m_hasEnded = true;
    m_transport->close();
    emit finished(result);
}

void MailSession::continueLater(std::function<void()> next)
{
    m_isWaiting = true;
    QMetaObject::invokeMethod(
        this,
        [this, next = std::move(next)] {
            m_isWaiting = false;
            if (m_hasEnded)
                return;
            next();
            processBuffered();
        },
        Qt::QueuedConnection);
}

QList<ReviewItem> MailSession::holdForReview(CMessages &messages, const QList<bool> &deleteFlags,
                                             const QHash<int, MessageIdentity> &identities)
{
    QList<ReviewItem> items;
    for (int n = 1; n < deleteFlags.size(); ++n) {
        CMessage *message = messages.Item(QString::number(n));
        if (!deleteFlags.at(n) || !message)
            continue;
        const MessageIdentity identity = identities.value(n);
        const QByteArray &serverId = identity.serverId;
        if (serverId.isEmpty() || m_filter.isKeptForReview(m_account, serverId)) {
            message->Status = keyOf(MessageStatus::Kept);
            continue;
        }
        message->Status = keyOf(MessageStatus::AwaitingReview);
        ReviewItem item;
        item.AccountName = m_account.AccountName;
        item.accountIdentity = identityOf(m_account);
        item.serverId = serverId;
        item.serverSize = identity.serverSize;
        item.headerDigest = identity.headerDigest;
        // Who sent it as the history names it: the "sender" header, else "from".
        item.Sender = message->Sender.isEmpty() ? message->from : message->Sender;
        item.Subject = message->Subject;
        item.SendDate = message->SendDate;
        item.Size = QByteArray::number(message->SIZE);
        item.reason = reasonOf(message->Reason).value_or(Reason::NoRule);
        items << item;
    }
    return items;
}

void MailSession::tellNoServerIds(const QString &caption)
{
    tell(shownText(m_account.AccountName) + QStringLiteral(": ") + caption);
}

void MailSession::markDeletionsPending(CMessages &messages)
{
    const QByteArray deleted = keyOf(MessageStatus::Deleted);
    for (CMessage &message : messages) {
        if (message.Status == deleted)
            message.Status = keyOf(MessageStatus::DeletionPending);
    }
}

void MailSession::confirmDeletions(CMessages &messages)
{
    m_filter.confirmDeleted(messages);
    const QByteArray pending = keyOf(MessageStatus::DeletionPending);
    for (CMessage &message : messages) {
        if (message.Status != pending)
            continue;
        message.Status = keyOf(MessageStatus::Deleted);
        logDeleted(m_services, m_account.AccountName,
                   message.Sender.isEmpty() ? message.from : message.Sender, message.Subject,
                   message.Reason);
    }
}

int MailSession::recordDeletionsKept(CMessages &messages)
{
    const QByteArray deleted = keyOf(MessageStatus::Deleted);
    const QByteArray pending = keyOf(MessageStatus::DeletionPending);
    int count = 0;
    for (CMessage &message : messages) {
        if (message.Status != deleted && message.Status != pending)
            continue;
        message.Status = keyOf(MessageStatus::Kept);
        m_filter.recordKept(message);
        ++count;
    }
    return count;
}

void MailSession::tellNotTheJudgedMessage()
{
    tellAboutAccount(m_services.caption(
        QStringLiteral("280136"),
        QStringLiteral("%1: a message judged at an earlier check is not the one on the server "
                       "now under its id, so it was not deleted; the message there is judged "
                       "at the next check.")));
}

void MailSession::tellHistoryNotSaved(bool isHolding)
{
    tellAboutAccount(
        isHolding
            ? m_services.caption(QStringLiteral("280071"),
                                 QStringLiteral("%1: the history could not be saved, so nothing "
                                                "was put up for review on this account."))
            : m_services.caption(QStringLiteral("280070"),
                                 QStringLiteral("%1: the history could not be saved, so nothing "
                                                "was deleted on this account.")));
}

void MailSession::tellAboutAccount(const QString &caption)
{
    tell(caption.arg(shownText(m_account.AccountName)));
}

void MailSession::tellAboutLimit(const QString &caption, qint64 limit)
{
    tell(caption.arg(shownText(m_account.AccountName), QString::number(limit)));
}
