#include "toolbarpictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cmath>

namespace {

// Every picture is drawn on a 24 x 24 grid and scaled to each size the icon offers.
constexpr double grid = 24.0;

const QColor ink(40, 48, 64);
const QColor blue(40, 100, 180);
const QColor green(30, 140, 60);
const QColor red(200, 30, 30);

QPen line(const QColor &color, double width)
{
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void drawSave(QPainter &p)
{
    p.setPen(line(ink, 1));
    p.setBrush(blue);
    p.drawRoundedRect(QRectF(3.5, 3.5, 17, 17), 2, 2);
    p.setBrush(QColor(210, 215, 225)); // the shutter
    p.drawRect(QRectF(7.5, 3.5, 9, 6));
    p.setBrush(Qt::white); // the label
    p.drawRect(QRectF(6.5, 12.5, 11, 8));
    p.setPen(line(QColor(150, 160, 180), 1));
    p.drawLine(QPointF(8.5, 15.5), QPointF(15.5, 15.5));
    p.drawLine(QPointF(8.5, 18), QPointF(15.5, 18));
}

void drawPerson(QPainter &p, const QColor &color)
{
    p.setPen(line(ink, 1));
    p.setBrush(color);
    p.drawEllipse(QPointF(10, 7.5), 4, 4);
    QPainterPath body;
    body.moveTo(2.5, 21.5);
    body.cubicTo(2.5, 13, 17.5, 13, 17.5, 21.5);
    body.closeSubpath();
    p.drawPath(body);
}

void drawAccountEditor(QPainter &p)
{
    drawPerson(p, blue);
    // A pencil across the lower right corner.
    p.setPen(line(ink, 1));
    p.setBrush(QColor(240, 190, 40));
    QPainterPath pencil;
    pencil.moveTo(21, 11);
    pencil.lineTo(23, 13);
    pencil.lineTo(15, 21);
    pencil.lineTo(12, 22);
    pencil.lineTo(13, 19);
    pencil.closeSubpath();
    p.drawPath(pencil);
}

void drawSheet(QPainter &p)
{
    QPainterPath sheet;
    sheet.moveTo(5.5, 2.5);
    sheet.lineTo(14.5, 2.5);
    sheet.lineTo(19.5, 7.5);
    sheet.lineTo(19.5, 21.5);
    sheet.lineTo(5.5, 21.5);
    sheet.closeSubpath();
    p.setPen(line(ink, 1));
    p.setBrush(Qt::white);
    p.drawPath(sheet);
    p.setBrush(QColor(215, 220, 230)); // the folded corner
    p.drawPolygon(QPolygonF({QPointF(14.5, 2.5), QPointF(14.5, 7.5), QPointF(19.5, 7.5)}));
}

void drawViewLog(QPainter &p)
{
    drawSheet(p);
    p.setPen(line(QColor(110, 120, 140), 1.2));
    for (const double y : {10.5, 13.5, 16.5, 19.0})
        p.drawLine(QPointF(8, y), QPointF(y < 11 ? 13 : 17, y));
}

void drawEnvelope(QPainter &p, const QRectF &r)
{
    p.setPen(line(ink, 1));
    p.setBrush(QColor(250, 245, 225));
    p.drawRect(r);
    p.drawPolyline(
        QPolygonF({r.topLeft(), QPointF(r.center().x(), r.center().y() + 1), r.topRight()}));
}

void drawViewMessage(QPainter &p)
{
    drawEnvelope(p, QRectF(2.5, 4.5, 17, 12));
    // A magnifying glass over the corner.
    p.setPen(line(ink, 2.5));
    p.drawLine(QPointF(18.5, 18.5), QPointF(22, 22));
    p.setPen(line(ink, 1.5));
    p.setBrush(QColor(200, 225, 250, 220));
    p.drawEllipse(QPointF(15.5, 15.5), 4, 4);
}

void drawSpamWords(QPainter &p)
{
    // A speech bubble whose words are struck out.
    QPainterPath bubble;
    bubble.addRoundedRect(QRectF(2.5, 3.5, 19, 13), 3, 3);
    QPainterPath tail;
    tail.moveTo(7, 16);
    tail.lineTo(6, 21.5);
    tail.lineTo(12, 16);
    tail.closeSubpath();
    p.setPen(line(ink, 1));
    p.setBrush(QColor(255, 235, 150));
    p.drawPath(bubble.united(tail));
    p.setPen(line(ink, 1.5));
    p.drawLine(QPointF(6, 8), QPointF(18, 8));
    p.drawLine(QPointF(6, 12), QPointF(15, 12));
    p.setPen(line(red, 2));
    p.drawLine(QPointF(4.5, 14), QPointF(19.5, 5.5));
}

void drawFriendList(QPainter &p)
{
    drawPerson(p, green);
    p.setPen(line(green.darker(130), 2.5));
    p.drawPolyline(QPolygonF({QPointF(14.5, 17), QPointF(17.5, 20.5), QPointF(22.5, 12.5)}));
}

void drawBlockedList(QPainter &p)
{
    drawPerson(p, QColor(150, 155, 165));
    p.setPen(line(red, 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(17.5, 17), 4.5, 4.5);
    p.drawLine(QPointF(14.3, 20.2), QPointF(20.7, 13.8));
}

void drawSettings(QPainter &p)
{
    // A gear: eight teeth around a wheel with a hole.
    const QPointF centre(12, 12);
    QPainterPath gear;
    constexpr int teeth = 8;
    for (int i = 0; i < teeth * 2; ++i) {
        const double radius = i % 2 == 0 ? 10 : 7.5;
        for (const double step : {-0.3, 0.3}) {
            const double angle = (i + step) * M_PI / teeth;
            const QPointF point
                = centre + QPointF(radius * std::cos(angle), radius * std::sin(angle));
            if (gear.elementCount() == 0)
                gear.moveTo(point);
            else
                gear.lineTo(point);
        }
    }
    gear.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(centre, 3, 3);
    p.setPen(line(ink, 1));
    p.setBrush(QColor(130, 140, 155));
    p.drawPath(gear.subtracted(hole));
}

void drawDelete(QPainter &p)
{
    p.setPen(line(red, 3.5));
    p.drawLine(QPointF(5, 5), QPointF(19, 19));
    p.drawLine(QPointF(19, 5), QPointF(5, 19));
}

void drawRefresh(QPainter &p)
{
    const QRectF circle(4, 4, 16, 16);
    p.setPen(line(green, 2.5));
    p.setBrush(Qt::NoBrush);
    p.drawArc(circle, 60 * 16, 280 * 16);
    // The arrow head at the end of the arc, pointing on round.
    const double end = 60 * M_PI / 180;
    const QPointF tip(12 + 8 * std::cos(end), 12 - 8 * std::sin(end));
    p.setPen(line(green, 1));
    p.setBrush(green);
    p.drawPolygon(
        QPolygonF({tip + QPointF(-4.5, -2.5), tip + QPointF(2.5, -3.5), tip + QPointF(0.5, 3.5)}));
}

void drawHelp(QPainter &p)
{
    p.setPen(line(blue.darker(130), 1));
    p.setBrush(blue);
    p.drawEllipse(QPointF(12, 12), 10, 10);
    // The question mark: a hook and a dot.
    QPainterPath hook;
    hook.moveTo(8.5, 9.5);
    hook.cubicTo(8.5, 5, 15.5, 5, 15.5, 9);
    hook.cubicTo(15.5, 12, 12, 11.5, 12, 14.5);
    p.setPen(line(Qt::white, 2.5));
    p.setBrush(Qt::NoBrush);
    p.drawPath(hook);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(12, 18), 1.6, 1.6);
}

void draw(QPainter &p, ToolPicture picture)
{
    switch (picture) {
    case ToolPicture::Save:
        return drawSave(p);
    case ToolPicture::AccountEditor:
        return drawAccountEditor(p);
    case ToolPicture::ViewLog:
        return drawViewLog(p);
    case ToolPicture::ViewMessage:
        return drawViewMessage(p);
    case ToolPicture::SpamWords:
        return drawSpamWords(p);
    case ToolPicture::FriendList:
        return drawFriendList(p);
    case ToolPicture::BlockedList:
        return drawBlockedList(p);
    case ToolPicture::Settings:
        return drawSettings(p);
    case ToolPicture::Delete:
        return drawDelete(p);
    case ToolPicture::Refresh:
        return drawRefresh(p);
    case ToolPicture::Help:
        return drawHelp(p);
    }
}

} // namespace

QIcon toolbarPicture(ToolPicture picture)
{
    QIcon icon;
    for (const int side : {16, 24, 32, 48}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(side / grid, side / grid);
        draw(p, picture);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}
