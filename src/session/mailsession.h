#pragma once

#include "message/messageidentity.h"
#include "net/dialogueclient.h"
#include "net/encryption.h"
#include "net/framingbuffer.h"
#include "sessionresult.h"
#include "store/records.h"
#include "store/reviewitem.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMetaEnum>
#include <QObject>
#include <QString>

#include <exception>
#include <functional>
#include <memory>
#include <utility>

class CMessages;
class MailboxFilter;
class Transport;
struct Services;
struct TlsRefusal;

// One mailbox session of a check, POP3 or IMAP, over its own connection, which it owns. It
// runs on the events of that connection and emits finished() exactly once when it has ended
// by itself, whatever the outcome; abort() ends it silently. Owners release it with
// deleteLater(). The protocols supply the framing, the dialogue that logs in, the replies'
// handling and their texts; the lifecycle, and what becomes of the dialogue's failures, is
// shared.
class MailSession : public QObject, public DialogueClient
{
    Q_OBJECT

public:
    using Encryption = ::Encryption;

    // The words a protocol puts in front of a server's refusal, and of a connection error:
    // first in the popup, second in the log.
    struct Captions
    {
        QString (*serverError)(const Services &services);
        std::pair<QString, QString> (*connectionError)(const Services &services);
    };

    ~MailSession() override;

    // Takes effect at the next start(); None unless set.
    void setEncryption(Encryption encryption) { m_encryption = encryption; }
    Encryption encryption() const { return m_encryption; }

    // ConnectPop3 / ConnectIMAP: connects and starts at the greeting with an empty mailbox.
    void start(const QString &server, quint16 port);
    // Closes the connection without logging out, so nothing of the session is deleted on
    // the server; no signal follows.
    void abort();
    // The SHA-256 fingerprint of the certificate this session refused; empty when none was.
    const QString &refusedSha256() const { return m_refusedSha256; }
    // The protocol step the session is at, by name.
    virtual QString step() const = 0;

    // The bytes that arrived since start().
    qint64 bytesReceived() const { return m_bytesReceived; }
    // How long a session may run under the given connection time-out once bytes have
    // arrived; see the rule in the .cpp.
    static qint64 allowedSeconds(int timeOutSeconds, qint64 bytes);
    // Why an account without a chosen encryption mode was not signed in to: its server
    // offers no STARTTLS.
    static QString clearNotChosenText(const Services &services, const QString &accountName);
    // The session has run for seconds and is past that limit.
    bool isOverdue(qint64 seconds, int timeOutSeconds) const
    {
        return seconds >= allowedSeconds(timeOutSeconds, m_bytesReceived);
    }
    // Tells, in the popup and the log, that the session was ended after seconds for coming
    // in too slowly; whoever ends it calls this first.
    void tellTooSlow(qint64 seconds);

signals:
    // Data came from the server: the connection time-out starts again.
    void activity();
    // The server agreed to STARTTLS and the connection is now encrypted, its certificate
    // passed.
    void encryptedByStartTls();
    // No encryption mode was chosen for the account and its server offers no STARTTLS: the
    // session ended before the login, and only the user can choose to sign in in clear.
    void encryptionChoiceNeeded();
    void finished(const SessionResult &result);

protected:
    MailSession(std::unique_ptr<Transport> transport, const MailAccount &account,
                const Captions &captions, Services &services, MailboxFilter &filter,
                QObject *parent);

    // The protocol's fresh start: its state, its reader and an empty mailbox.
    virtual void reset() = 0;
    // Hands an arrival to the protocol's reader.
    virtual void buffer(const QByteArray &data) = 0;
    // Handles every complete reply in the reader while the session neither has ended nor
    // waits for a continuation.
    virtual void processBuffered() = 0;
    // The connection asked for with startEncryption() is encrypted and its certificate passed.
    virtual void onEncrypted() { }

    // The name of a protocol's state, as step() gives it.
    template<class State> static QString stateName(State state)
    {
        return QString::fromLatin1(QMetaEnum::fromType<State>().valueToKey(int(state)));
    }

    bool hasEnded() const { return m_hasEnded; }
    bool isWaiting() const { return m_isWaiting; }

    void send(const QByteArray &command) override;
    // Tells the failure and ends the session with its status.
    void dialogueFailed(DialogueFailure failure, const QByteArray &reply) override;
    void logReply(const QByteArray &reply);
    void tell(const QString &text);
    // Tells the server's refusal with the protocol's caption; the session goes on.
    void tellServerError(const QByteArray &reply);
    // Ends the session with the server's refusal, told with the protocol's caption.
    void failWithReply(SessionStatus status, const QByteArray &reply);
    // Ends the session with a failure the server did not name itself.
    void failUnexpected(const QString &description, const QByteArray &serverText = {});
    // Ends the session because the server broke one of its reader's limits.
    void failFraming(FramingFailure failure, const FramingLimits &limits);
    // Drops the connection and emits finished(); the last thing a handler does.
    void end(SessionResult result = {});
    // Runs next from the event loop, so that a stop or a time-out lands before it; arrivals
    // wait until it has run, and it does not run once the session has ended.
    void continueLater(std::function<void()> next);
    // Runs a call into code that may throw (the rules, the history); a throw ends the
    // session as an unexpected failure with its text. False when it did.
    template<class Call> bool guarded(Call &&call)
    {
        try {
            call();
            return true;
        } catch (const std::exception &e) {
            failUnexpected(QString::fromLocal8Bit(e.what()));
            return false;
        }
    }

    // Ask mode ("Ask me before deleting"): nothing is deleted. Every message the flags mark
    // is recorded as awaiting review, or as kept when the user kept its server id before or
    // when the server gave it no id (it could never be found again to be deleted). Gives
    // the messages that await review, for the queue once the history has them.
    QList<ReviewItem> holdForReview(CMessages &messages, const QList<bool> &deleteFlags,
                                    const QHash<int, MessageIdentity> &identities);
    // Tells that the server gives no ids, so nothing of the account can be reviewed.
    void tellNoServerIds(const QString &caption);
    // Records every message of the mailbox that is recorded as deleted as kept again, for
    // when the server did not delete them after all; gives how many there were.
    int recordDeletionsKept(CMessages &messages);
    // Before the history records a mailbox whose deletions the server has yet to confirm:
    // what is to be deleted is recorded as "Deletion pending", so that a program killed
    // before the confirmation leaves no record that claims a deletion.
    static void markDeletionsPending(CMessages &messages);
    // After the server's confirmation: the pending ones are recorded as deleted.
    void confirmDeletions(CMessages &messages);
    // Tells that the history could not be written, so nothing of the account was deleted,
    // or in ask mode put up for review.
    void tellHistoryNotSaved(bool isHolding);
    // Tells that a message judged at an earlier check is another one on the server now, so it
    // was not deleted.
    void tellNotTheJudgedMessage();
    // Tells, with the account's name in front, a caption that ends in its place.
    void tellAboutAccount(const QString &caption);
    // The same for a caption that names a limit the server broke as its %2.
    void tellAboutLimit(const QString &caption, qint64 limit);

    Transport &transport() { return *m_transport; }

    const MailAccount m_account;
    Services &m_services;
    MailboxFilter &m_filter;

private:
    void onReceived(const QByteArray &data);
    void onClosed();
    void onFailed(int code, const QString &description);
    void onRefused(const TlsRefusal &refusal);

    std::unique_ptr<Transport> m_transport;
    const Captions m_captions;
    Encryption m_encryption = Encryption::None;
    QString m_host; // as connected to, for the texts
    QString m_refusedSha256;
    qint64 m_bytesReceived = 0;
    bool m_isWaiting = false; // a continuation is queued; arrivals wait for it
    bool m_isSending = false; // a command is being written
    bool m_hasEnded = false;
};
