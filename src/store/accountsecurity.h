#pragma once

#include "records.h"

#include <QString>

#include <optional>

class CRegister;

// How an account's connection is encrypted, as the user chose it.
enum class SecurityMode {
    SslTls, // TLS from the first byte
    StartTls, // plain, then encrypted before the user name is sent
    None,
};

// The connection settings of one account that "Accounts.ini" does not hold; they live in the
// settings store under the account's server type, user, server and port.
struct AccountSecurity
{
    std::optional<SecurityMode> mode; // nothing chosen yet
    // SHA-256 fingerprint of the one certificate trusted without an authority; empty: none.
    QString trustedSha256;
};

// The names stored and shown: "SSL/TLS", "STARTTLS", "None".
QString securityModeName(SecurityMode mode);
std::optional<SecurityMode> securityModeFromName(const QString &name);

AccountSecurity LoadAccountSecurity(const CRegister &store, const MailAccount &account);
// An empty mode or fingerprint removes the stored value.
bool SaveAccountSecurity(CRegister &store, const MailAccount &account,
                         const AccountSecurity &security);

// The fingerprint of the certificate the account's last connection refused, kept so that the
// account editor can offer to trust it; empty: the last connection was not refused for one.
QString LoadRefusedCertificate(const CRegister &store, const MailAccount &account);
// An empty fingerprint removes the stored one.
bool SaveRefusedCertificate(CRegister &store, const MailAccount &account, const QString &sha256);
