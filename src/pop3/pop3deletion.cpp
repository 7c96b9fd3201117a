#include "pop3deletion.h"

#include "net/protocollog.h"
#include "net/transport.h"
#include "pop3texts.h"
#include "store/services.h"

#include <algorithm>

using Pop3Texts::isPositive;

Pop3Deletion::Pop3Deletion(std::unique_ptr<Transport> transport, const MailAccount &account,
                           const QList<QByteArray> &uidls, int timeOutSeconds, Services &services,
                           QObject *parent)
    : Pop3MailSession(std::move(transport), account, uidls, timeOutSeconds, services, parent)
{
}

QString Pop3Deletion::sessionStep() const
{
    return stateName(m_state);
}

void Pop3Deletion::restart()
{
    m_state = State::LoggingIn;
    m_toDelete.clear();
    m_deleting = -1;
    m_marked.clear();
}

bool Pop3Deletion::handleNext(LineReader &reader)
{
    const std::optional<QByteArray> reply
        = m_state == State::UidlListing ? reader.takeMultiline() : reader.takeLine();
    if (!reply)
        return false;
    logReply(*reply);
    if (m_state == State::UidlListing)
        onListing(*reply);
    else
        onReply(*reply);
    return true;
}

// LoggingIn:   the dialogue's; logged in -> UIDL | its failures end the session
// UidlSent:    +OK -> listing | -ERR -> "POP3 Error:", end without QUIT: nothing deleted
// UidlListing: "n uidl" lines up to "." -> wanted ids absent are Gone; DELE of the first
//              wanted, or QUIT when none is there
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
            m_toDelete.append({*it, uidl});
        else
            setOutcome(uidl, DeletionOutcome::Gone);
    }
    std::sort(m_toDelete.begin(), m_toDelete.end());
    m_toDelete.erase(std::unique(m_toDelete.begin(), m_toDelete.end()), m_toDelete.end());
    m_deleting = -1;
    m_state = State::Deleting;
    deleteNext();
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
