#include "trayicon.h"

#include "trayicons.h"
#include "traymenu.h"

#include <QPainter>
#include <QSystemTrayIcon>

namespace {

// The picture with a red dot in its lower right corner, at every size the icon has.
QIcon marked(const QIcon &icon)
{
    QIcon result;
    QList<QSize> sizes = icon.availableSizes();
    if (sizes.isEmpty())
        sizes = {QSize(16, 16), QSize(22, 22), QSize(32, 32), QSize(48, 48)};
    for (const QSize &size : std::as_const(sizes)) {
        QPixmap picture = icon.pixmap(size);
        QPainter painter(&picture);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal side = size.width() * 0.45;
        const QRectF dot(size.width() - side, size.height() - side, side, side);
        painter.setPen(QPen(Qt::white, qMax(1.0, side / 8)));
        painter.setBrush(QColor(0xd0, 0x20, 0x20));
        painter.drawEllipse(dot.adjusted(0.5, 0.5, -0.5, -0.5));
        result.addPixmap(picture);
    }
    return result;
}

} // namespace

TrayIcon::TrayIcon(TrayMenu &menu, QObject *parent)
    : QObject(parent)
    , m_menu(menu)
{
}

TrayIcon::~TrayIcon() = default;

void TrayIcon::AddTrayIcon()
{
    if (!m_icon) {
        m_icon = std::make_unique<QSystemTrayIcon>();
        m_icon->setContextMenu(&m_menu);
        connect(m_icon.get(), &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason reason) {
                    // A double click arrives as its own reason after the first press and
                    // does nothing more; the right button opens the menu by itself.
                    if (reason == QSystemTrayIcon::Trigger)
                        emit leftButtonPressed();
                });
    }
    m_current = 0;
    m_icon->setIcon(m_isMarked ? marked(trayIcon(0)) : trayIcon(0));
    m_icon->setToolTip(QStringLiteral("Korvane"));
    m_icon->show();
}

void TrayIcon::SetTrayIcon(int n)
{
    m_current = n;
    if (m_icon)
        m_icon->setIcon(m_isMarked ? marked(trayIcon(n)) : trayIcon(n));
}

void TrayIcon::setProblemMark(bool isMarked)
{
    m_isMarked = isMarked;
    SetTrayIcon(m_current);
}

void TrayIcon::RemoveTrayIcon()
{
    if (m_icon)
        m_icon->hide();
}

bool TrayIcon::isShown() const
{
    return m_icon && m_icon->isVisible();
}
