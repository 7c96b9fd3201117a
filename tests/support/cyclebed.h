#pragma once

#include "coretestbed.h"
#include "engine/checkcycle.h"
#include "fakemailboxfilter.h"
#include "faketransport.h"
#include "logentries.h"
#include "sessionbed.h"
#include "store/accountsecurity.h"

#include <stdexcept>

// An account of the given type with the type's usual port.
inline MailAccount account(const QByteArray &type, const QByteArray &name, const QByteArray &server)
{
    MailAccount a;
    a.ServerType = type;
    a.AccountName = name;
    a.MailServer = server;
    a.UserName = "joe";
    a.Password = "pw";
    a.Port = type == "IMAP" ? 143 : 110;
    return a;
}

// A core whose sessions, POP3 and IMAP, run over fake connections, one per started account.
struct CycleBed : CoreTestbed
{
    CycleBed()
    {
        core->armTimers();
        // The cycle's tests expect today's deletions; ask mode switches it back on.
        core->settings.AskBeforeDel = false;
        cycle.setMailboxFilter(filter);
        cycle.setTransportFactory([this]() -> std::unique_ptr<Transport> {
            if (failingFactoryCall == int(nets.size()))
                throw std::runtime_error("out of sockets");
            auto net = std::make_unique<FakeTransport>();
            nets << net.get();
            return net;
        });
        QObject::connect(&cycle, &CheckCycle::checkNowCaptionChanged,
                         [this](const QString &caption) { captions << caption; });
        QObject::connect(&cycle, &CheckCycle::sessionEnded,
                         [this](const SessionResult &result) { results << result; });
    }
    // The accounts, in plain mode: the cycle's tests read the plain transcripts.
    void setAccounts(const QList<MailAccount> &accounts)
    {
        core->lists.Accounts = accounts;
        core->lists.AccountsLoaded = true;
        for (const MailAccount &a : accounts)
            SaveAccountSecurity(*registry, a, {SecurityMode::None, {}});
    }
    // POP3 login and an empty mailbox: the session ends by itself.
    static void emptyMailbox(FakeTransport &net)
    {
        for (const char *reply : {"+OK ready\r\n", "+OK\r\n", "+OK in\r\n", "+OK 0 0\r\n"})
            net.serverSends(reply);
    }
    // IMAP greeting, login and a selected inbox of count messages.
    static void imapLogin(FakeTransport &net, int count)
    {
        net.serverSends("* OK ready\r\n");
        net.serverSends("a001 OK Logged in\r\n");
        net.serverSends("* " + QByteArray::number(count)
                        + " EXISTS\r\na142 OK [READ-WRITE] Select completed.\r\n");
    }
    QStringList log() const { return logEntries(core->log.path()); }

    CheckCycle &cycle = core->checkCycle;
    FakeMailboxFilter filter;
    QList<FakeTransport *> nets; // owned by their sessions
    int failingFactoryCall = -1;
    QStringList captions;
    QList<SessionResult> results; // of every ended session
    // The statuses of the ended sessions, in their order.
    QList<SessionStatus> statuses() const
    {
        QList<SessionStatus> list;
        for (const SessionResult &result : results)
            list << result.status;
        return list;
    }
};
