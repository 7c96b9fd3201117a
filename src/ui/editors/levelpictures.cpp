#include "levelpictures.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {

// From red for the strictest level to a calm blue for the most lenient one.
QColor levelColour(SecurityLevel level)
{
    switch (level) {
    case SecurityLevel::VeryHigh:
        return QColor(0xb7, 0x1c, 0x1c);
    case SecurityLevel::High:
        return QColor(0xe6, 0x6a, 0x00);
    case SecurityLevel::Normal:
        return QColor(0x2e, 0x7d, 0x32);
    case SecurityLevel::Low:
        return QColor(0x15, 0x65, 0xc0);
    case SecurityLevel::VeryLow:
        return QColor(0x60, 0x7d, 0x8b);
    }
    Q_UNREACHABLE();
}

// The shield's outline in a 100 x 100 box.
QPainterPath shield()
{
    QPainterPath path;
    path.moveTo(50, 4);
    path.lineTo(90, 18);
    path.cubicTo(90, 58, 76, 82, 50, 96);
    path.cubicTo(24, 82, 10, 58, 10, 18);
    path.closeSubpath();
    return path;
}

void paintLevel(QPainter &p, const QRect &rect, SecurityLevel level, bool enabled)
{
    constexpr int bars = 5;
    const int strength = bars + 1 - int(level);
    QColor colour = levelColour(level);
    if (!enabled)
        colour = QColor::fromHsv(colour.hsvHue(), 0, colour.value());

    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    const int side = std::min(rect.width(), rect.height());
    p.translate(rect.center().x() - side / 2.0, rect.center().y() - side / 2.0);
    p.scale(side / 100.0, side / 100.0);

    QLinearGradient fill(0, 0, 0, 100);
    fill.setColorAt(0, colour.lighter(135));
    fill.setColorAt(1, colour.darker(115));
    p.setPen(QPen(colour.darker(160), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(fill);
    p.drawPath(shield());

    // Bars from the bottom up, like a signal meter: the filled ones show the strength.
    for (int i = 0; i < bars; ++i) {
        const double width = 26 + i * 4;
        const QRectF bar(50 - width / 2, 72 - i * 11, width, 7);
        p.setPen(QPen(QColor(255, 255, 255, 200), 1.5));
        p.setBrush(i < strength ? QColor(Qt::white) : QColor(255, 255, 255, 40));
        p.drawRoundedRect(bar, 2, 2);
    }
    p.restore();
}

// Paints afresh at whatever size and state the button asks for, so the picture stays sharp
// on any screen.
class LevelIconEngine final : public QIconEngine
{
public:
    explicit LevelIconEngine(SecurityLevel level)
        : m_level(level)
    {
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        paintLevel(*painter, rect, m_level, mode != QIcon::Disabled);
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap picture(size);
        picture.fill(Qt::transparent);
        QPainter painter(&picture);
        paint(&painter, picture.rect(), mode, state);
        return picture;
    }

    QIconEngine *clone() const override { return new LevelIconEngine(m_level); }

private:
    SecurityLevel m_level;
};

} // namespace

QIcon levelPicture(SecurityLevel level)
{
    return QIcon(new LevelIconEngine(level));
}
