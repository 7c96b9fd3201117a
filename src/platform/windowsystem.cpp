#include "windowsystem.h"

QByteArray preferredPlatform(const QByteArray &qpaPlatform, const QByteArray &display,
                             const QByteArray &sessionType)
{
    if (!qpaPlatform.isEmpty() || display.isEmpty() || sessionType != "wayland")
        return {};
    return QByteArrayLiteral("xcb;wayland");
}
