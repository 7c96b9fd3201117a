#pragma once

#include "popupscreen.h"

#include <QString>
#include <QTimer>
#include <QWidget>

class QLabel;

// The popup that announces one message: it rises from the bottom right of the screen, rests
// four seconds, sinks and closes by itself. It never takes the focus or a click; the program
// goes on while it moves.
class frmTrayWindow : public QWidget
{
    Q_OBJECT

public:
    // Sizes and steps in twips.
    static constexpr int WidthTwips = 2070;
    static constexpr int HeightTwips = 1815;
    static constexpr int LabelWidthTwips = 1965;
    static constexpr int LabelHeightTwips = 1695;
    // The first top, this far above the bottom of the screen.
    static constexpr int StartTwips = 1000;
    static constexpr int RiseStepTwips = 50;
    static constexpr int RiseSteps = 21;
    static constexpr int SinkStepTwips = 10;
    static constexpr int SinkSteps = 131;
    static constexpr int GradientSteps = 65;

    explicit frmTrayWindow(const PopupScreen &screen);

    // Sets the message; the window shows it when shown.
    void setPopupText(const QString &text);
    QString PopupText;
    QLabel *Label1;

    // Where the window starts, before it rises: startTop is its top in pixels. The column of
    // popups moves a window by giving it another start; its motion so far is kept.
    void setStartTop(int startTop);
    int startTop() const { return m_startTop; }
    // The highest top this window reaches, at rest.
    int restTop() const;
    // The highest top this window will still have from now on: its rest while it rises or
    // rests, where it is once it sinks.
    int highestTopAhead() const;
    // Shows the window without activating it and starts the rise.
    void start();

    // The rise (Timer1), the pause (Timer2) and the sinking (Timer3); the steps are public so
    // that tests can take them one by one.
    QTimer Timer1;
    QTimer Timer2;
    QTimer Timer3;
    int SlideCount = 0;
    void Timer1_Timer();
    void Timer2_Timer();
    void Timer3_Timer();

signals:
    // The window has finished its sinking, or was closed early, and is about to go.
    void finished(frmTrayWindow *window);

protected:
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void place();

    PopupScreen m_screen;
    int m_startTop = 0;
    // How far the window has moved from its start, in twips: negative is up.
    int m_offsetTwips = 0;
    bool m_finished = false;
};
