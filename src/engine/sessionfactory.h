#pragma once

#include "session/mailsession.h"

#include <memory>

class MailboxFilter;
class Transport;
struct AccountSecurity;
struct AppSettings;
struct MailAccount;
struct Services;

// Whether there is a session for the account's server type: "POP3" or "IMAP", exactly.
bool hasMailSession(const MailAccount &account);

// How the account's connection is encrypted: as its stored mode says; with nothing stored,
// TLS from the first byte on the implicit-TLS ports 995 and 993, else STARTTLS when the
// server announces it.
MailSession::Encryption encryptionFor(const MailAccount &account, const AccountSecurity &security);

// The session of the account over the given connection, which the session owns, encrypted
// as the account's security says and trusting its one certificate; nullptr when
// hasMailSession() is false.
std::unique_ptr<MailSession> makeMailSession(const MailAccount &account,
                                             std::unique_ptr<Transport> transport,
                                             const AppSettings &settings, Services &services,
                                             MailboxFilter &filter,
                                             const AccountSecurity &security);
