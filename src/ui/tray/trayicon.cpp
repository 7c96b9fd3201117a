#include "trayicon.h"

#include "trayicons.h"
#include "traymenu.h"

#include <QSystemTrayIcon>

TrayIcon::TrayIcon(TrayMenu &menu, QObject *parent)
    : QObject(parent)
    , m_menu(menu)
{
}

TrayIcon::~TrayIcon() = default;

void TrayIcon::AddTrayIcon()
{
    if (!m_icon) {
        m_icon = std::make_unique<QSystemTrayIcon>();
        m_icon->setContextMenu(&m_menu);
        connect(m_icon.get(), &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    // A double click arrives as its own reason after the first press and
                    // does nothing more; the right button opens the menu by itself.
                    if (reason == QSystemTrayIcon::Trigger)
                        emit leftButtonPressed();
                });
    }
    m_current = 0;
    m_icon->setIcon(trayIcon(0));
    m_icon->setToolTip(QStringLiteral("Korvane"));
    m_icon->show();
}

void TrayIcon::SetTrayIcon(int n)
{
    m_current = n;
    if (m_icon)
        m_icon->setIcon(trayIcon(n));
}

void TrayIcon::RemoveTrayIcon()
{
    if (m_icon)
        m_icon->hide();
}

bool TrayIcon::isShown() const
{
    return m_icon && m_icon->isVisible();
}
