#include "support/coretestbed.h"
#include "support/faketransport.h"
#include "ui/editors/korvanewindows.h"
#include "ui/tray/trayicon.h"
#include "ui/tray/traymenu.h"
#include "ui/viewer/frmstat.h"

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

// The viewer's Check Now is the same switch, and its caption reads as the tray menu's.
TEST(CheckNowMenu, ViewerCommandSwitchesTheCheckWithTheTrayCaption)
{
    CoreTestbed bed;
    TrayMenu menu;
    TrayIcon trayIcon {menu};
    KorvaneWindows windows {*bed.core, trayIcon, menu};
    windows.loadViewer();
    bed.core->checkCycle.setTransportFactory(
        [] { return std::unique_ptr<Transport>(std::make_unique<FakeTransport>()); });
    bed.core->lists.Accounts = {MailAccount {"POP3", "Home", "pop.home.test", "u", "p", 110}};
    bed.core->lists.AccountsLoaded = true;
    QAction *checkNow = windows.viewer().mnuCheckNow;
    EXPECT_EQ(checkNow->text(), "&Check  Now");

    checkNow->trigger();
    EXPECT_TRUE(bed.core->IsChecking);
    EXPECT_EQ(checkNow->text(), "&Stop Checking");
    EXPECT_EQ(menu.mnuCheckNow->text(), "&Stop Checking");

    checkNow->trigger();
    EXPECT_FALSE(bed.core->IsChecking);
    EXPECT_EQ(checkNow->text(), "&Check  Now");
    EXPECT_EQ(menu.mnuCheckNow->text(), "&Check  Now");
}
