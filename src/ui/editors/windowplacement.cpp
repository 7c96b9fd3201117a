#include "windowplacement.h"

#include <QLayout>
#include <QScreen>
#include <QWidget>

#include <algorithm>

void growToFit(QWidget &window)
{
    if (QLayout *layout = window.layout())
        layout->activate();
    const QSize wanted = window.sizeHint().expandedTo(window.minimumSizeHint());
    const int width = std::max(window.width(), wanted.width());
    // Wrapped labels need their height for the width they actually get.
    const int height = window.hasHeightForWidth() ? window.heightForWidth(width) : wanted.height();
    window.resize(width, std::max(window.height(), height));
}

void centreWindow(QWidget &window)
{
    const QWidget *owner = window.parentWidget() ? window.parentWidget()->window() : nullptr;
    const QRect screenArea = window.screen()->availableGeometry();
    const QRect area = owner && owner->isVisible() ? owner->frameGeometry() : screenArea;
    // The window's frame is known only once the window exists on the desktop.
    (void)window.winId();
    QRect frame = window.frameGeometry();
    frame.moveCenter(area.center());
    // A window larger than the screen still shows its title bar.
    const int left = std::max(screenArea.left(),
                              std::min(frame.left(), screenArea.right() - frame.width() + 1));
    const int top = std::max(screenArea.top(),
                             std::min(frame.top(), screenArea.bottom() - frame.height() + 1));
    window.move(left, top);
}
