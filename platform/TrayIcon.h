#pragma once

#include <QIcon>
#include <QList>
#include <QObject>
#include <QString>

class QMenu;
class QSystemTrayIcon;

namespace vq::platform {

// The notification-area icon. It keeps its own state (image index, hint, visibility) whether or
// not the desktop has a tray, so the program and its tests behave the same everywhere; the
// real icon is created only where a tray exists.
class TrayIcon : public QObject
{
    Q_OBJECT
public:
    explicit TrayIcon(QObject *parent = nullptr);
    ~TrayIcon() override;

    void setImages(const QList<QIcon> &images);
    void setImageIndex(int index);
    int imageIndex() const { return m_imageIndex; }

    void setHint(const QString &hint);
    QString hint() const { return m_hint; }

    void setMenu(QMenu *menu);

    void setVisible(bool visible);
    bool isVisible() const { return m_visible; }

    // Whether a real icon stands in a tray right now.
    bool isShownInTray() const;

Q_SIGNALS:
    void doubleClicked();

private:
    void sync();

    QList<QIcon> m_images;
    int m_imageIndex = -1;
    QString m_hint;
    bool m_visible = false;
    QMenu *m_menu = nullptr;
    QSystemTrayIcon *m_tray = nullptr;
};

// The two 16 x 16 tray images: 0 a red rounded rectangle, 1 a green one.
QList<QIcon> DefaultTrayImages();

} // namespace vq::platform
