#pragma once

#include <QMenu>

class QAction;

// The tray menu, in its fixed order: Settings, Korvane, Review messages, Problems, Check Now,
// Help, Disable/Enable and Exit, with separators between the groups. Review messages stays
// hidden until the program has a review window behind it, Problems while no check failed.
class TrayMenu : public QMenu
{
    Q_OBJECT

public:
    explicit TrayMenu(QWidget *parent = nullptr);

    QAction *mnuSettings;
    QAction *mnuStat;
    QAction *mnuReview;
    QAction *mnuProblems; // hidden while every account's last check went well
    QAction *mnuCheckNow;
    QAction *mnuHelp;
    QAction *mnuDisableEnable;
    QAction *mnuExit;
};
