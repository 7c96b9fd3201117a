#include "deletionsession.h"

#include "mailboxfilter.h"
#include "message/cmessages.h"
#include "net/transport.h"

namespace {

// A deletion session judges nothing and records nothing itself: the filter MailSession
// keeps for the checks is never called.
class NoFilter final : public MailboxFilter
{
public:
    QList<bool> CheckAllMessages(CMessages &) override { return {}; }
    bool Add2Hist(CMessages &, const QByteArray &) override { return true; }
    void recordKept(const CMessage &) override { }
};

MailboxFilter &noFilter()
{
    static NoFilter filter; // stateless
    return filter;
}

} // namespace

DeletionSession::DeletionSession(std::unique_ptr<Transport> transport, const MailAccount &account,
                                 const Captions &captions, const QList<MessageIdentity> &wanted,
                                 int timeOutSeconds, Services &services, QObject *parent)
    : MailSession(std::move(transport), account, captions, services, noFilter(), parent)
    , m_timeOutSeconds(timeOutSeconds)
{
    for (const MessageIdentity &identity : wanted) {
        if (m_identities.contains(identity.serverId))
            continue;
        m_wanted << identity.serverId;
        m_identities.insert(identity.serverId, identity);
        m_outcomes.insert(identity.serverId, DeletionOutcome::NotDone);
    }
    m_idle.setSingleShot(true);
    m_idle.setInterval(std::chrono::seconds(std::max(1, timeOutSeconds)));
    connect(&m_idle, &QTimer::timeout, this, &DeletionSession::timeOut);
    connect(this, &MailSession::activity, &m_idle, qOverload<>(&QTimer::start));
    connect(this, &MailSession::finished, &m_idle, &QTimer::stop);
    m_seconds.setInterval(std::chrono::seconds(1));
    connect(&m_seconds, &QTimer::timeout, this, &DeletionSession::tick);
    connect(this, &MailSession::finished, &m_seconds, &QTimer::stop);
}

DeletionSession::~DeletionSession() = default;

void DeletionSession::run(const QString &server, quint16 port)
{
    start(server, port);
    m_elapsed = 0;
    m_idle.start();
    m_seconds.start();
}

void DeletionSession::timeOut()
{
    if (hasEnded())
        return;
    end({SessionStatus::Timeout, step(), {}});
}

void DeletionSession::tick()
{
    if (hasEnded())
        return;
    ++m_elapsed;
    if (!isOverdue(m_elapsed, m_timeOutSeconds))
        return;
    tellTooSlow(m_elapsed);
    end({SessionStatus::Timeout, step(), {}});
}

void DeletionSession::setOutcome(const QByteArray &serverId, DeletionOutcome outcome)
{
    if (m_outcomes.contains(serverId))
        m_outcomes[serverId] = outcome;
}
