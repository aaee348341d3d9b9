#include "SiteListBox.h"

#include <QDropEvent>
#include <QMouseEvent>

namespace vq {

SiteListBox::SiteListBox(QWidget *parent)
    : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::MoveAction);
}

int SiteListBox::dropIndexAt(const QPoint &pos) const
{
    if (const QListWidgetItem *hit = itemAt(pos))
        return row(hit);
    if (count() > 0 && pos.y() > visualItemRect(item(count() - 1)).bottom())
        return count();
    return -1;
}

void SiteListBox::mousePressEvent(QMouseEvent *event)
{
    const QListWidgetItem *hit = itemAt(event->position().toPoint());
    Q_EMIT mouseDownAt(hit ? row(hit) : -1);
    QListWidget::mousePressEvent(event);
}

void SiteListBox::dragEnterEvent(QDragEnterEvent *event)
{
    // Only drags that started in this list are accepted.
    if (event->source() == this)
        event->acceptProposedAction();
    else
        event->ignore();
}

void SiteListBox::dragMoveEvent(QDragMoveEvent *event)
{
    if (event->source() == this)
        event->acceptProposedAction();
    else
        event->ignore();
}

void SiteListBox::dropEvent(QDropEvent *event)
{
    if (event->source() != this) {
        event->ignore();
        return;
    }
    const int target = dropIndexAt(event->position().toPoint());
    // The dialog moves the entry itself; tell the view not to move or delete anything.
    event->setDropAction(Qt::IgnoreAction);
    event->accept();
    if (target >= 0)
        Q_EMIT droppedAt(target);
}

} // namespace vq
