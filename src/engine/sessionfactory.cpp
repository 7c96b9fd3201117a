#include "sessionfactory.h"

#include "imapsession.h"
#include "pop3session.h"
#include "transport.h"

bool hasMailSession(const MailAccount &account)
{
    return account.ServerType == "POP3" || account.ServerType == "IMAP";
}

std::unique_ptr<MailSession> makeMailSession(const MailAccount &account,
                                             std::unique_ptr<Transport> transport,
                                             const AppSettings &settings, Services &services,
                                             MailboxFilter &filter)
{
    if (account.ServerType == "POP3")
        return std::make_unique<Pop3Session>(std::move(transport), account, settings, services,
                                             filter);
    if (account.ServerType == "IMAP")
        return std::make_unique<ImapSession>(std::move(transport), account, settings, services,
                                             filter);
    return nullptr;
}
