#include "TrayIcon.h"

#include <QMenu>
#include <QPainter>
#include <QSystemTrayIcon>

namespace vq::platform {

TrayIcon::TrayIcon(QObject *parent)
    : QObject(parent)
{
}

TrayIcon::~TrayIcon() = default;

void TrayIcon::setImages(const QList<QIcon> &images)
{
    m_images = images;
    sync();
}

void TrayIcon::setImageIndex(int index)
{
    m_imageIndex = index;
    sync();
}

void TrayIcon::setHint(const QString &hint)
{
    m_hint = hint;
    sync();
}

void TrayIcon::setMenu(QMenu *menu)
{
    m_menu = menu;
    sync();
}

void TrayIcon::setVisible(bool visible)
{
    m_visible = visible;
    sync();
}

bool TrayIcon::isShownInTray() const
{
    return m_tray && m_tray->isVisible();
}

void TrayIcon::sync()
{
    if (!m_tray) {
        // No tray on this desktop (or no desktop at all): keep the state only. Running without
        // the icon is fine; the window stays reachable through a second start.
        if (!m_visible || !QSystemTrayIcon::isSystemTrayAvailable())
            return;
        m_tray = new QSystemTrayIcon(this);
        connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
            if (r == QSystemTrayIcon::DoubleClick || r == QSystemTrayIcon::Trigger)
                Q_EMIT doubleClicked();
        });
    }
    if (m_imageIndex >= 0 && m_imageIndex < m_images.size())
        m_tray->setIcon(m_images.at(m_imageIndex));
    m_tray->setToolTip(m_hint);
    m_tray->setContextMenu(m_menu);
    m_tray->setVisible(m_visible);
}

QList<QIcon> DefaultTrayImages()
{
    QList<QIcon> images;
    for (const QColor colour : {QColor(0xd0, 0x20, 0x20), QColor(0x20, 0xa0, 0x30)}) {
        QIcon icon;
        for (const int size : {16, 32, 48}) {
            QPixmap pixmap(size, size);
            pixmap.fill(Qt::transparent);
            QPainter p(&pixmap);
            p.setRenderHint(QPainter::Antialiasing);
            p.setPen(colour.darker(140));
            p.setBrush(colour);
            const qreal m = size / 16.0;
            p.drawRoundedRect(QRectF(1.5 * m, 3.5 * m, 13 * m, 9 * m), 3 * m, 3 * m);
            icon.addPixmap(pixmap);
        }
        images.append(icon);
    }
    return images;
}

} // namespace vq::platform
