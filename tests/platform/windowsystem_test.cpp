#include "platform/windowsystem.h"

#include <gtest/gtest.h>

TEST(WindowSystem, X11ComesFirstOnlyOnAWaylandSessionThatHasIt)
{
    struct Case
    {
        const char *qpa, *display, *session, *chosen;
    };
    for (const Case &c : {
             Case {"", ":0", "wayland", "xcb;wayland"},
             Case {"", "", "wayland", ""}, // no X11: Wayland, with the notification service
             Case {"wayland", ":0", "wayland", ""}, // the user's own choice
             Case {"", ":0", "x11", ""},
             Case {"", ":0", "", ""},
         })
        EXPECT_EQ(preferredPlatform(c.qpa, c.display, c.session), QByteArray(c.chosen))
            << c.qpa << "|" << c.display << "|" << c.session;
}
