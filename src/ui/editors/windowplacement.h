#pragma once

class QWidget;

// Grows a window to the size its layout asks for (never shrinks it), so that every caption
// is whole, also after a language with longer texts was applied.
void growToFit(QWidget &window);

// Centres a window over its owner when it has a visible one, otherwise on its screen's
// free area; the window's top left corner stays on the screen.
void centreWindow(QWidget &window);
