#include "platform/cregister.h"
#include "store/accountsecurity.h"
#include "support/tempdatadir.h"

#include <gtest/gtest.h>

namespace {

MailAccount account(const QByteArray &type, const QByteArray &user, const QByteArray &server,
                    qint16 port)
{
    MailAccount a;
    a.ServerType = type;
    a.AccountName = "Home";
    a.MailServer = server;
    a.UserName = user;
    a.Password = "secret";
    a.Port = port;
    return a;
}

} // namespace

// Each account's mode and trusted certificate are its own: another type, user, server or
// port finds nothing, also when names hold the store's own separators.
TEST(AccountSecurity, IsKeptPerTypeUserServerAndPort)
{
    TempDataDir dir;
    const QString path = dir.file("config/Korvane 3.2.conf");
    const MailAccount home = account("POP3", "jo/e\\x,y@example.org", "mail.example.org", 995);
    {
        CRegister store(path);
        EXPECT_TRUE(SaveAccountSecurity(store, home, {SecurityMode::StartTls, "AB:CD"}));
    }
    CRegister store(path);
    const AccountSecurity loaded = LoadAccountSecurity(store, home);
    EXPECT_EQ(loaded.mode, SecurityMode::StartTls);
    EXPECT_EQ(loaded.trustedSha256, "AB:CD");
    const MailAccount others[] = {
        account("IMAP", home.UserName, home.MailServer, home.Port),
        account("POP3", "jo", home.MailServer, home.Port),
        account("POP3", home.UserName, "example.org", home.Port),
        account("POP3", home.UserName, home.MailServer, 110),
    };
    for (const MailAccount &other : others) {
        const AccountSecurity none = LoadAccountSecurity(store, other);
        EXPECT_FALSE(none.mode.has_value());
        EXPECT_TRUE(none.trustedSha256.isEmpty());
    }
    // The account's name and password are not part of the key, and never stored.
    MailAccount renamed = home;
    renamed.AccountName = "Work";
    renamed.Password = "other";
    EXPECT_EQ(LoadAccountSecurity(store, renamed).mode, SecurityMode::StartTls);
    EXPECT_TRUE(SaveAccountSecurity(store, home, {SecurityMode::None, {}}));
    EXPECT_EQ(LoadAccountSecurity(store, home).mode, SecurityMode::None);
    EXPECT_TRUE(LoadAccountSecurity(store, home).trustedSha256.isEmpty());
}

TEST(AccountSecurity, ModeNamesReadBackAndUnknownOnesAreNothing)
{
    for (SecurityMode mode : {SecurityMode::SslTls, SecurityMode::StartTls, SecurityMode::None})
        EXPECT_EQ(securityModeFromName(securityModeName(mode)), mode);
    EXPECT_EQ(securityModeName(SecurityMode::SslTls), "SSL/TLS");
    EXPECT_EQ(securityModeName(SecurityMode::StartTls), "STARTTLS");
    EXPECT_EQ(securityModeName(SecurityMode::None), "None");
    EXPECT_FALSE(securityModeFromName("ssl").has_value());
    EXPECT_FALSE(securityModeFromName("").has_value());
}
