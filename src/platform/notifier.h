#pragma once

#include <QString>

// The popup near the tray that announces what the engine does.
class Notifier
{
public:
    virtual ~Notifier() = default;
    virtual void ShowTrayWindow(const QString &text) = 0;
};
