#pragma once

#include "platform/notifier.h"
#include "popupscreen.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>

class frmTrayWindow;

// The popups on screen, as one column at the bottom right: each new popup stands above the
// highest one still there, so that no message hides another. When the column would reach
// the top of the screen, it moves down into the room that popups gone below have left, and
// where there is none the oldest popup closes early.
class TrayWindows : public QObject, public Notifier
{
    Q_OBJECT

public:
    using ScreenSource = std::function<PopupScreen()>;

    explicit TrayWindows(ScreenSource screen = &PopupScreen::primary, QObject *parent = nullptr);
    // The program's end closes what is still on screen.
    ~TrayWindows() override;

    // Shows the text in a new popup and returns at once.
    void ShowTrayWindow(const QString &text) override;
    // Runs as each popup loads, before it shows: it plays the popup's sound.
    void setOnLoad(std::function<void()> onLoad) { m_onLoad = std::move(onLoad); }
    // Where windows cannot place themselves (Wayland without X11), the texts go to the
    // desktop's notification service instead, still with the popup's sound.
    void setNotificationService(Notifier *service) { m_service = service; }

    // The popups on screen, the oldest (and lowest) first.
    QList<frmTrayWindow *> popups() const;
    void closeAll();

private:
    int startTopAboveColumn(const frmTrayWindow &popup, const PopupScreen &screen) const;
    int makeRoom(const frmTrayWindow &popup, const PopupScreen &screen);
    void forget(frmTrayWindow *window);

    ScreenSource m_screen;
    std::function<void()> m_onLoad;
    Notifier *m_service = nullptr;
    QList<QPointer<frmTrayWindow>> m_popups; // oldest first
};
