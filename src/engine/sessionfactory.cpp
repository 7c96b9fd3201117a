#include "sessionfactory.h"

#include "imap/imapsession.h"
#include "net/transport.h"
#include "pop3/pop3session.h"
#include "store/accountsecurity.h"

bool hasMailSession(const MailAccount &account)
{
    return account.ServerType == "POP3" || account.ServerType == "IMAP";
}

MailSession::Encryption encryptionFor(const MailAccount &account, const AccountSecurity &security)
{
    if (security.mode) {
        switch (*security.mode) {
        case SecurityMode::SslTls:
            return Encryption::Implicit;
        case SecurityMode::StartTls:
            return Encryption::StartTls;
        case SecurityMode::None:
            return Encryption::None;
        }
    }
    // RFC 8314 §3.3: 995 and 993 are the ports of POP3 and IMAP over TLS.
    if (account.Port == 995 || account.Port == 993)
        return Encryption::Implicit;
    return Encryption::StartTlsWhenOffered;
}

std::unique_ptr<MailSession> makeMailSession(const MailAccount &account,
                                             std::unique_ptr<Transport> transport,
                                             const AppSettings &settings, Services &services,
                                             MailboxFilter &filter, const AccountSecurity &security)
{
    transport->trustCertificate(security.trustedSha256);
    std::unique_ptr<MailSession> session;
    if (account.ServerType == "POP3")
        session = std::make_unique<Pop3Session>(std::move(transport), account, settings, services,
                                                filter);
    else if (account.ServerType == "IMAP")
        session = std::make_unique<ImapSession>(std::move(transport), account, settings, services,
                                                filter);
    if (session)
        session->setEncryption(encryptionFor(account, security));
    return session;
}
