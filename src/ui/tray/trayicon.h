#pragma once

#include "platform/trayhost.h"

#include <QObject>

#include <memory>

class QSystemTrayIcon;
class TrayMenu;

// Korvane's presence in the notification area: the icon with its three pictures, the tip
// "Korvane", the tray menu on the right button and the history viewer on the left one.
class TrayIcon : public QObject, public TrayHost
{
    Q_OBJECT

public:
    explicit TrayIcon(TrayMenu &menu, QObject *parent = nullptr);
    ~TrayIcon() override;

    void AddTrayIcon() override;
    void SetTrayIcon(int n) override;
    void RemoveTrayIcon() override;

    int currentIcon() const { return m_current; }
    // A red mark on every picture while an account's last check failed.
    void setProblemMark(bool isMarked);
    bool hasProblemMark() const { return m_isMarked; }
    bool isShown() const;

signals:
    void leftButtonPressed();

private:
    TrayMenu &m_menu;
    std::unique_ptr<QSystemTrayIcon> m_icon;
    int m_current = 0;
    bool m_isMarked = false;
};
