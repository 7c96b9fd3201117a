#pragma once

#include "mailsession.h"

#include <memory>

class MailboxFilter;
class Transport;
struct AppSettings;
struct MailAccount;
struct Services;

// Whether there is a session for the account's server type: "POP3" or "IMAP", exactly.
bool hasMailSession(const MailAccount &account);

// The session of the account over the given connection, which the session owns; nullptr
// when hasMailSession() is false.
std::unique_ptr<MailSession> makeMailSession(const MailAccount &account,
                                             std::unique_ptr<Transport> transport,
                                             const AppSettings &settings, Services &services,
                                             MailboxFilter &filter);
