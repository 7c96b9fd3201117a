#pragma once

#include <QRect>

// The part of the screen that popups may use (without panels) and its logical DPI, by which
// the popup's sizes and steps, given in twips, become pixels.
struct PopupScreen
{
    QRect available;
    qreal dpi = 96;

    // 1440 twips make an inch.
    int pixels(int twips) const { return qRound(twips * dpi / 1440.0); }
    // The screen the popups appear on: the primary one.
    static PopupScreen primary();
};
