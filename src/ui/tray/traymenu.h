#pragma once

#include <QMenu>

class QAction;

// The tray menu, in its fixed order: Settings, Korvane, Check Now, Help, Disable/Enable and
// Exit, with separators between the groups.
class TrayMenu : public QMenu
{
    Q_OBJECT

public:
    explicit TrayMenu(QWidget *parent = nullptr);

    QAction *mnuSettings;
    QAction *mnuStat;
    QAction *mnuCheckNow;
    QAction *mnuHelp;
    QAction *mnuDisableEnable;
    QAction *mnuExit;
};
