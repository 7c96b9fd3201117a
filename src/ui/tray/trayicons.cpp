#include "trayicons.h"

#include <QDir>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

constexpr int side = 32;

void drawBrow(QPainter &p)
{
    p.setPen(QPen(QColor(200, 0, 0), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(5, 5, 22, 14), 30 * 16, 120 * 16);
}

void drawEye(QPainter &p, bool halfClosed)
{
    QPainterPath outline;
    outline.moveTo(3, 19);
    outline.quadTo(16, halfClosed ? 14 : 8, 29, 19);
    outline.quadTo(16, 30, 3, 19);
    p.setPen(QPen(Qt::black, 1.5));
    p.setBrush(Qt::white);
    p.drawPath(outline);

    p.save();
    p.setClipPath(outline);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 90, 170));
    p.drawEllipse(QPointF(16, 20), 5.5, 5.5);
    p.setBrush(Qt::black);
    p.drawEllipse(QPointF(16, 20), 2.5, 2.5);
    if (halfClosed) {
        // The upper lid comes down over half of the eye.
        p.setBrush(QColor(225, 190, 150));
        p.drawRect(QRectF(0, 0, side, 19));
    }
    p.restore();
}

void drawCross(QPainter &p)
{
    p.setPen(QPen(QColor(220, 0, 0), 3.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(5, 5), QPointF(27, 27));
    p.drawLine(QPointF(27, 5), QPointF(5, 27));
}

} // namespace

QIcon trayIcon(int n)
{
    QPixmap pixmap(side, side);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    drawBrow(p);
    drawEye(p, n == 1);
    if (n == 2)
        drawCross(p);
    p.end();
    return QIcon(pixmap);
}

QIcon applicationIcon()
{
    QIcon icon;
    const QDir pictures(QStringLiteral(":/icons"));
    for (const QString &name : pictures.entryList(QDir::Files))
        icon.addFile(pictures.filePath(name));
    return icon;
}
