#pragma once

#include <QByteArray>

// The window system Korvane asks Qt for, given the environment: QT_QPA_PLATFORM, DISPLAY and
// XDG_SESSION_TYPE. On a Wayland session that also runs X11, X11 comes first, because only
// there can the popups place themselves at the bottom right of the screen; Wayland stays the
// fallback. Empty: leave Qt's own choice (the user's choice, or a desktop without X11).
QByteArray preferredPlatform(const QByteArray &qpaPlatform, const QByteArray &display,
                             const QByteArray &sessionType);
