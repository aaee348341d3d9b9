#pragma once

#include <QListWidget>

namespace vq {

// The site list of the preferences: a plain list whose entries are reordered by dragging inside
// it. It only reports where a drag began and where it was dropped; the dialog moves the entry.
class SiteListBox : public QListWidget
{
    Q_OBJECT
public:
    explicit SiteListBox(QWidget *parent = nullptr);

    // Row under a point, or count() when the point lies below the last entry, or -1 when it lies
    // on no entry otherwise (an empty list).
    int dropIndexAt(const QPoint &pos) const;

Q_SIGNALS:
    void mouseDownAt(int index);
    void droppedAt(int target);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
};

} // namespace vq
