#include "traymenu.h"

TrayMenu::TrayMenu(QWidget *parent)
    : QMenu(QStringLiteral("TRAYMENU"), parent)
{
    setObjectName(QStringLiteral("TRAYMENU"));
    mnuSettings = addAction(QStringLiteral("&Settings"));
    mnuStat = addAction(QStringLiteral("K&orvane"));
    mnuReview = addAction(QStringLiteral("Review messages..."));
    mnuReview->setVisible(false);
    mnuProblems = addAction(QStringLiteral("Problems..."));
    mnuProblems->setVisible(false);
    addSeparator();
    mnuCheckNow = addAction(QStringLiteral("&Check  Now"));
    addSeparator();
    mnuHelp = addAction(QStringLiteral("&Help"));
    addSeparator();
    mnuDisableEnable = addAction(QStringLiteral("Disable Korvane"));
    mnuExit = addAction(QStringLiteral("E&xit Korvane"));
    mnuSettings->setObjectName(QStringLiteral("mnuSettings"));
    mnuStat->setObjectName(QStringLiteral("mnuStat"));
    mnuReview->setObjectName(QStringLiteral("mnuReview"));
    mnuProblems->setObjectName(QStringLiteral("mnuProblems"));
    mnuCheckNow->setObjectName(QStringLiteral("mnuCheckNow"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuDisableEnable->setObjectName(QStringLiteral("mnuDisableEnable"));
    mnuExit->setObjectName(QStringLiteral("mnuExit"));
}
