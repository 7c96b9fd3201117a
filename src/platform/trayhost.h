#pragma once

// The icon in the notification area. Images by index: 0 normal, 1 the blink frame,
// 2 automatic checking disabled.
class TrayHost
{
public:
    virtual ~TrayHost() = default;
    virtual void AddTrayIcon() = 0;
    virtual void SetTrayIcon(int n) = 0;
    virtual void RemoveTrayIcon() = 0;
};
