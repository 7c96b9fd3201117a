#include "popupscreen.h"

#include <QGuiApplication>
#include <QScreen>

PopupScreen PopupScreen::primary()
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {QRect(0, 0, 1024, 768), 96};
    return {screen->availableGeometry(), screen->logicalDotsPerInch()};
}
