#include "pop3deletion.h"

#include "net/protocollog.h"
#include "net/transport.h"
#include "pop3texts.h"
#include "store/services.h"

#include <algorithm>

using Pop3Texts::isPositive;

Pop3Deletion::Pop3Deletion(std::unique_ptr<Transport> transport, const MailAccount &account,
                           const QList<MessageIdentity> &wanted, int timeOutSeconds,
                           Services &services, QObject *parent)
    : Pop3MailSession(std::move(transport), account, wanted, timeOutSeconds, services, parent)
{
}

QString Pop3Deletion::sessionStep() const
{
    return stateName(m_state);
}

void Pop3Deletion::restart()
{
    m_state = State::LoggingIn;
    m_found.clear();
    m_verifying = -1;
    m_toDelete.clear();
    m_deleting = -1;
    m_marked.clear();
}

bool Pop3Deletion::handleNext(LineReader &reader)
{
    const bool isListing = m_state == State::UidlListing || m_state == State::ListListing
        || m_state == State::TopListing;
    const std::optional<QByteArray> reply = isListing ? reader.takeMultiline() : reader.takeLine();
    if (!reply)
        return false;
    logReply(*reply);
    if (m_state == State::UidlListing)
        onListing(*reply);
    else if (m_state == State::ListListing)
        onSizes(*reply);
    else if (m_state == State::TopListing)
        onHeaders(*reply);
    else
        onReply(*reply);
    return true;
}

// LoggingIn:   the dialogue's; logged in -> UIDL | its failures end the session
// UidlSent:    +OK -> listing | -ERR -> "POP3 Error:", end without QUIT: nothing deleted
// UidlListing: "n uidl" lines up to "." -> wanted ids absent are Gone; LIST, or QUIT when
//              none is there
// ListSent:    +OK -> sizes | -ERR -> every wanted one NotTheSame, QUIT
// ListListing: "n size" lines -> a wanted message of another size is NotTheSame; TOP n 0
//              of the first of the same size
// TopSent:     +OK -> headers | -ERR -> NotTheSame (nothing proves it is the same)
// TopListing:  the header block -> the digest it was judged with: to delete | else
//              NotTheSame; the next TOP, or DELE of the first to delete, or QUIT
// Deleting:    +OK -> marked, next DELE or QUIT | -ERR -> Refused, next DELE or QUIT
// QuitSent:    +OK -> the marked ones are Deleted, end (Ok) | -ERR -> "POP3 Error:", end:
//              nothing deleted
// A failure ends the session without QUIT: the server then deletes nothing.
void Pop3Deletion::onReply(const QByteArray &reply)
{
    switch (m_state) {
    case State::LoggingIn:
        return;
    case State::UidlSent:
        if (!isPositive(reply))
            return failWithReply(SessionStatus::ProtocolError, reply);
        m_state = State::UidlListing;
        return;
    case State::UidlListing:
    case State::ListListing:
    case State::TopListing:
        return;
    case State::ListSent:
        if (!isPositive(reply)) {
            for (const auto &[number, uidl] : std::as_const(m_found))
                setOutcome(uidl, DeletionOutcome::NotTheSame);
            m_found.clear();
            return verifyNext();
        }
        m_state = State::ListListing;
        return;
    case State::TopSent:
        if (!isPositive(reply))
            return onHeaders(std::nullopt);
        m_state = State::TopListing;
        return;
    case State::Deleting:
        if (isPositive(reply)) {
            m_marked.append(m_toDelete.at(m_deleting).second);
        } else {
            tellServerError(reply);
            setOutcome(m_toDelete.at(m_deleting).second, DeletionOutcome::Refused);
        }
        deleteNext();
        return;
    case State::QuitSent:
        if (!isPositive(reply))
            return failWithReply(SessionStatus::ProtocolError, reply);
        for (const QByteArray &uidl : std::as_const(m_marked))
            setOutcome(uidl, DeletionOutcome::Deleted);
        end();
        return;
    }
}

void Pop3Deletion::dialogueDone()
{
    m_state = State::UidlSent;
    send("UIDL");
}

// RFC 1939 §7: each line of the listing is "<number> <uidl>"; the numbers are the
// messages' current ones, which shift when others have gone since the check.
void Pop3Deletion::onListing(const QByteArray &listing)
{
    QHash<QByteArray, int> numberOf;
    for (const QByteArray &line : listing.split('\n')) {
        const QList<QByteArray> words = line.simplified().split(' ');
        bool isNumber = false;
        const int number = words.value(0).toInt(&isNumber);
        if (words.size() == 2 && isNumber && number > 0)
            numberOf.insert(words.at(1), number);
    }
    for (const QByteArray &uidl : wanted()) {
        if (const auto it = numberOf.constFind(uidl); it != numberOf.cend())
            m_found.append({*it, uidl});
        else
            setOutcome(uidl, DeletionOutcome::Gone);
    }
    std::sort(m_found.begin(), m_found.end());
    if (m_found.isEmpty())
        return verifyNext();
    m_state = State::ListSent;
    send("LIST");
}

// RFC 1939 §5: "<number> <octets>" per message. A server may give a gone message's UIDL to a
// new one: a message of another size is another message.
void Pop3Deletion::onSizes(const QByteArray &listing)
{
    QHash<int, qint64> sizeOf;
    for (const QByteArray &line : listing.split('\n')) {
        const QList<QByteArray> words = line.simplified().split(' ');
        bool isNumber = false;
        bool isSize = false;
        const int number = words.value(0).toInt(&isNumber);
        const qint64 size = words.value(1).toLongLong(&isSize);
        if (words.size() == 2 && isNumber && isSize && number > 0)
            sizeOf.insert(number, size);
    }
    QList<std::pair<int, QByteArray>> sameSize;
    for (const auto &[number, uidl] : std::as_const(m_found)) {
        const MessageIdentity judged = identityOf(uidl);
        if (judged.matches({uidl, sizeOf.value(number, -1), judged.headerDigest}))
            sameSize.append({number, uidl});
        else
            setOutcome(uidl, DeletionOutcome::NotTheSame);
    }
    m_found = sameSize;
    m_verifying = -1;
    verifyNext();
}

// One TOP at a time; then the DELEs of the messages proved the same.
void Pop3Deletion::verifyNext()
{
    if (++m_verifying < m_found.size()) {
        m_state = State::TopSent;
        send("TOP " + QByteArray::number(m_found.at(m_verifying).first) + " 0");
        return;
    }
    m_deleting = -1;
    m_state = State::Deleting;
    deleteNext();
}

// TOP is optional (RFC 1939 §7): a server without it proves nothing, and deletes nothing.
void Pop3Deletion::onHeaders(const std::optional<QByteArray> &headers)
{
    const auto &[number, uidl] = m_found.at(m_verifying);
    const MessageIdentity judged = identityOf(uidl);
    if (headers && identityDigest(*headers) == judged.headerDigest)
        m_toDelete.append({number, uidl});
    else
        setOutcome(uidl, DeletionOutcome::NotTheSame);
    verifyNext();
}

// Ascending order, one DELE outstanding at a time.
void Pop3Deletion::deleteNext()
{
    if (++m_deleting < m_toDelete.size()) {
        send("DELE " + QByteArray::number(m_toDelete.at(m_deleting).first));
        return;
    }
    m_state = State::QuitSent;
    send("QUIT");
}
