#include "frmtraywindow.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPainter>

namespace {

const QColor GradientStart(192, 192, 192); // silver
const QColor GradientEnd(255, 192, 128); // light orange
const QColor BorderColour(128, 128, 128);

QColor between(const QColor &from, const QColor &to, int step, int steps)
{
    const auto mix = [step, steps](int a, int b) {
        return a + (b - a) * step / (steps - 1);
    };
    return {mix(from.red(), to.red()), mix(from.green(), to.green()), mix(from.blue(), to.blue())};
}

} // namespace

frmTrayWindow::frmTrayWindow(const PopupScreen &screen)
    : QWidget(nullptr,
              Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                  | Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput
                  | Qt::X11BypassWindowManagerHint)
    , m_screen(screen)
{
    setObjectName(QStringLiteral("frmTrayWindow"));
    // The window manager and tests find popups by this title; it is never shown.
    setWindowTitle(QStringLiteral("Korvane popup"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_DeleteOnClose);
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(m_screen.pixels(WidthTwips), m_screen.pixels(HeightTwips));

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(0, 0, m_screen.pixels(LabelWidthTwips), m_screen.pixels(LabelHeightTwips));
    Label1->setWordWrap(true);
    Label1->setAlignment(Qt::AlignLeading | Qt::AlignTop);
    Label1->setTextFormat(Qt::PlainText);
    Label1->setContentsMargins(4, 4, 4, 4);
    Label1->setFocusPolicy(Qt::NoFocus);
    // Dark on the light gradient, whatever colours the desktop's theme gives text.
    QPalette palette = Label1->palette();
    palette.setColor(QPalette::WindowText, Qt::black);
    Label1->setPalette(palette);

    Timer1.setInterval(1);
    Timer2.setInterval(4000);
    Timer3.setInterval(30);
    Timer2.setSingleShot(true);
    connect(&Timer1, &QTimer::timeout, this, &frmTrayWindow::Timer1_Timer);
    connect(&Timer2, &QTimer::timeout, this, &frmTrayWindow::Timer2_Timer);
    connect(&Timer3, &QTimer::timeout, this, &frmTrayWindow::Timer3_Timer);

    m_startTop = m_screen.available.bottom() + 1 - m_screen.pixels(StartTwips);
    place();
}

void frmTrayWindow::setPopupText(const QString &text)
{
    PopupText = text;
    Label1->setText(text);
    // An Arabic message reads from the right, whatever the rest of the program does.
    Label1->setLayoutDirection(text.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
}

void frmTrayWindow::setStartTop(int startTop)
{
    m_startTop = startTop;
    place();
}

int frmTrayWindow::restTop() const
{
    return m_startTop - m_screen.pixels(RiseSteps * RiseStepTwips);
}

int frmTrayWindow::highestTopAhead() const
{
    return Timer3.isActive() ? y() : restTop();
}

void frmTrayWindow::start()
{
    SlideCount = 0;
    show();
    Timer1.start();
}

// Flush with the right edge of the available area; twips are turned into pixels only here, so
// the many small steps add up without rounding errors.
void frmTrayWindow::place()
{
    move(m_screen.available.right() + 1 - width(), m_startTop + m_screen.pixels(m_offsetTwips));
}

void frmTrayWindow::Timer1_Timer()
{
    m_offsetTwips -= RiseStepTwips;
    place();
    if (++SlideCount >= RiseSteps) {
        Timer1.stop();
        Timer2.start();
    }
}

void frmTrayWindow::Timer2_Timer()
{
    SlideCount = 0;
    Timer2.stop();
    Timer3.start();
}

void frmTrayWindow::Timer3_Timer()
{
    m_offsetTwips += SinkStepTwips;
    place();
    if (++SlideCount >= SinkSteps) {
        Timer3.stop();
        close();
    }
}

void frmTrayWindow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const int h = height();
    for (int step = 0; step < GradientSteps; ++step) {
        const int top = h * step / GradientSteps;
        const int bottom = h * (step + 1) / GradientSteps;
        painter.fillRect(0, top, width(), bottom - top,
                         between(GradientStart, GradientEnd, step, GradientSteps));
    }
    painter.setPen(BorderColour);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void frmTrayWindow::closeEvent(QCloseEvent *event)
{
    Timer1.stop();
    Timer2.stop();
    Timer3.stop();
    if (!m_finished) {
        m_finished = true;
        emit finished(this);
    }
    event->accept();
}
