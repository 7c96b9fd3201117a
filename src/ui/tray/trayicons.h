#pragma once

#include <QIcon>

// The three tray pictures, drawn at run time: 0 an open eye under a red brow, 1 the same
// eye half closed (the blink frame), 2 the open eye crossed out with a red X.
QIcon trayIcon(int n);

// The program's own icon for its windows, the same picture as the installed menu icon: the
// open eye drawn in packaging/korvane.svg, in every size rendered from it at build time.
QIcon applicationIcon();
