#include "message/senderaddress.h"

#include <gtest/gtest.h>

TEST(SenderAddress, TheAddressTheListsCompareAndItsDomainPattern)
{
    const struct
    {
        QByteArray sender;
        QByteArray address;
        QByteArray domain;
    } cases[] = {
        {"\"Rail Bookings\" <noreply@rail.example>", "noreply@rail.example", "*@rail.example"},
        {"<ann@projects.example.net>", "ann@projects.example.net", "*@projects.example.net"},
        {"  bob@example.org ", "bob@example.org", "*@example.org"},
        // The last pair holds the address; a name may itself hold angle brackets.
        {"\"a <b>\" < c@d.example >", "c@d.example", "*@d.example"},
        {"Broken <x@y.example", "Broken <x@y.example", "*@y.example"},
        {"mailer-daemon", "mailer-daemon", "*mailer-daemon"},
        {"", "", "*"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.sender.toStdString());
        EXPECT_EQ(bareAddress(c.sender), c.address);
        EXPECT_EQ(domainPattern(bareAddress(c.sender)), c.domain);
    }
}
