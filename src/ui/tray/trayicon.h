#pragma once

#include "platform/notifier.h"
#include "platform/trayhost.h"

#include <QObject>

#include <functional>
#include <memory>

class QSystemTrayIcon;
class TrayMenu;

// Korvane's presence in the notification area: the icon with its three pictures, the tip
// "Korvane", the tray menu on the right button and the history viewer on the left one.
// Until the popup window exists, messages appear as the icon's balloon.
class TrayIcon : public QObject, public TrayHost, public Notifier
{
    Q_OBJECT

public:
    explicit TrayIcon(TrayMenu &menu, QObject *parent = nullptr);
    ~TrayIcon() override;

    void AddTrayIcon() override;
    void SetTrayIcon(int n) override;
    void RemoveTrayIcon() override;
    void ShowTrayWindow(const QString &text) override;

    int currentIcon() const { return m_current; }
    bool isShown() const;
    // Messages go here when the desktop has no tray to show them.
    void setFallbackLog(std::function<void(const QString &)> log)
    {
        m_fallbackLog = std::move(log);
    }

signals:
    void leftButtonPressed();

private:
    TrayMenu &m_menu;
    std::unique_ptr<QSystemTrayIcon> m_icon;
    int m_current = 0;
    std::function<void(const QString &)> m_fallbackLog;
};
