#include "support/coretestbed.h"
#include "support/faketransport.h"
#include "ui/editors/korvanewindows.h"
#include "ui/tray/trayicon.h"
#include "ui/tray/traymenu.h"

#include <QAction>

#include <gtest/gtest.h>

// The tray menu's check-now item is the start and stop switch of the check.
TEST(CheckNowMenu, StartsAndStopsTheCheckAndFollowsItsCaption)
{
    CoreTestbed bed;
    TrayMenu menu;
    TrayIcon trayIcon {menu};
    KorvaneWindows windows {*bed.core, trayIcon, menu};
    windows.loadViewer();
    FakeTransport *net = nullptr;
    bed.core->checkCycle.setTransportFactory([&net]() -> std::unique_ptr<Transport> {
        auto transport = std::make_unique<FakeTransport>();
        net = transport.get();
        return transport;
    });
    MailAccount account;
    account.ServerType = "POP3";
    account.AccountName = "Home";
    account.MailServer = "pop.home.test";
    account.Port = 110;
    bed.core->lists.Accounts = {account};
    bed.core->lists.AccountsLoaded = true;

    menu.mnuCheckNow->trigger();
    EXPECT_TRUE(bed.core->IsChecking);
    EXPECT_EQ(menu.mnuCheckNow->text(), "&Stop Checking");
    ASSERT_NE(net, nullptr);
    EXPECT_TRUE(net->isOpen);

    menu.mnuCheckNow->trigger();
    EXPECT_FALSE(bed.core->IsChecking);
    EXPECT_FALSE(net->isOpen);
    EXPECT_EQ(menu.mnuCheckNow->text(), "&Check  Now");
}
