#include "net/protocollog.h"
#include "support/qtprinters.h"

#include <gtest/gtest.h>

TEST(ProtocolLog, MaskedCommandHidesOnlyThePassword)
{
    struct Case
    {
        const char *name;
        QByteArray command;
        QByteArray logged;
    };
    const Case cases[] = {
        {"POP3 password", "PASS se cret", "PASS ****"},
        {"POP3 password in lower case", "pass x", "PASS ****"},
        {"IMAP login with quoted strings", "a001 LOGIN \"joe\" \"se \\\"cr\\\\et\"",
         "a001 LOGIN \"joe\" ****"},
        {"IMAP user name with a blank and a quote", "a001 LOGIN \"jo \\\"e\" \"pw\"",
         "a001 LOGIN \"jo \\\"e\" ****"},
        {"IMAP login with atoms", "a001 login joe pw", "a001 login joe ****"},
        {"other commands", "USER joe", "USER joe"},
        {"a tagged command", "a142 SELECT INBOX", "a142 SELECT INBOX"},
        {"a word that only begins like PASS", "PASSWORD x", "PASSWORD x"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(maskedCommand(c.command), c.logged);
    }
}

TEST(ProtocolLog, IsOffUnlessSwitchedOn)
{
    EXPECT_FALSE(lcProtocol().isDebugEnabled());
    EXPECT_TRUE(lcProtocol().isInfoEnabled());
}
