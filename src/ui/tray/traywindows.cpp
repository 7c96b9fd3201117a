#include "traywindows.h"

#include "frmtraywindow.h"

#include <QCoreApplication>

namespace {

// The room between two popups of the column.
constexpr int GapTwips = 20;

int bottomStartTop(const PopupScreen &screen)
{
    return screen.available.bottom() + 1 - screen.pixels(frmTrayWindow::StartTwips);
}

} // namespace

TrayWindows::TrayWindows(ScreenSource screen, QObject *parent)
    : QObject(parent)
    , m_screen(std::move(screen))
{
    if (QCoreApplication::instance())
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this,
                &TrayWindows::closeAll);
}

TrayWindows::~TrayWindows()
{
    const QList<QPointer<frmTrayWindow>> popups = std::exchange(m_popups, {});
    for (const QPointer<frmTrayWindow> &popup : popups)
        delete popup.data();
}

void TrayWindows::ShowTrayWindow(const QString &text)
{
    if (m_service) {
        if (m_onLoad)
            m_onLoad();
        return m_service->ShowTrayWindow(text);
    }
    const PopupScreen screen = m_screen();
    auto *popup = new frmTrayWindow(screen);
    popup->setPopupText(text);
    if (m_onLoad)
        m_onLoad();
    popup->setStartTop(makeRoom(*popup, screen));
    m_popups.append(popup);
    connect(popup, &frmTrayWindow::finished, this, &TrayWindows::forget);
    popup->start();
}

// Above the highest popup, out of the way of everywhere it will still be: popups move alike,
// so an older one below is always further on its way and only ever moves away.
int TrayWindows::startTopAboveColumn(const frmTrayWindow &popup, const PopupScreen &screen) const
{
    const int bottom = bottomStartTop(screen);
    if (m_popups.isEmpty())
        return bottom;
    const int above = m_popups.last()->highestTopAhead() - screen.pixels(GapTwips) - popup.height();
    return std::min(bottom, above);
}

// The start of a new popup, after making room for its rise below the top of the screen.
int TrayWindows::makeRoom(const frmTrayWindow &popup, const PopupScreen &screen)
{
    const int rise = screen.pixels(frmTrayWindow::RiseSteps * frmTrayWindow::RiseStepTwips);
    const int bottom = bottomStartTop(screen);
    m_popups.removeAll(nullptr);
    while (!m_popups.isEmpty()) {
        const int startTop = startTopAboveColumn(popup, screen);
        if (startTop - rise >= screen.available.top())
            return startTop;
        // The whole column moves down as one, so its popups keep out of each other's way.
        if (const int room = bottom - m_popups.first()->startTop(); room > 0) {
            for (const QPointer<frmTrayWindow> &shown : std::as_const(m_popups))
                shown->setStartTop(shown->startTop() + room);
            continue;
        }
        m_popups.first()->close(); // forget() takes it off the list
    }
    return bottom;
}

void TrayWindows::forget(frmTrayWindow *window)
{
    m_popups.removeAll(window);
}

QList<frmTrayWindow *> TrayWindows::popups() const
{
    QList<frmTrayWindow *> windows;
    for (const QPointer<frmTrayWindow> &popup : m_popups)
        windows.append(popup.data());
    return windows;
}

void TrayWindows::closeAll()
{
    const QList<QPointer<frmTrayWindow>> popups = m_popups;
    for (const QPointer<frmTrayWindow> &popup : popups)
        if (popup)
            popup->close();
}
