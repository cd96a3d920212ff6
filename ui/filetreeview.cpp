#include "ui/filetreeview.h"

#include "ui/mainwindow.h"

#include <QApplication>
#include <QDragMoveEvent>
#include <QMouseEvent>

FileTreeView::FileTreeView(QWidget* parent)
    : QTreeView(parent)
{
}

void FileTreeView::closeEditor(const QModelIndex& index)
{
    closePersistentEditor(index);
    m_editIndex = QModelIndex();
}

void FileTreeView::mousePressEvent(QMouseEvent* event)
{
    m_pressedOnSelected = false;
    const QModelIndex index = indexAt(event->pos());
    if (event->button() != Qt::LeftButton || index.column() != 0) {
        emit changeCurrentTreeView(m_index);
        QTreeView::mousePressEvent(event);
        return;
    }
    setDragEnabled(true);
    m_pressedIndex = index;
    if (index.isValid() && selectionModel() && selectionModel()->isSelected(index)) {
        if (index == m_editIndex || m_isFolderRenamed)
            closeEditor(index);
        else
            m_pressedOnSelected = true;
    }
    emit changeCurrentTreeView(m_index);
    QTreeView::mousePressEvent(event);
}

void FileTreeView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && m_pressedOnSelected) {
        const QModelIndex index = indexAt(event->pos());
        if (index.isValid() && index.column() == 0 && index == m_pressedIndex && selectionModel() &&
            selectionModel()->isSelected(index)) {
            if (index == m_editIndex) {
                closeEditor(index);
            } else {
                m_editIndex = index;
                m_timer.start(QApplication::doubleClickInterval(), this);
            }
        }
    }
    m_pressedOnSelected = false;
    emit changeCurrentTreeView(m_index);
    m_isFolderRenamed = false;
    QTreeView::mouseReleaseEvent(event);
}

void FileTreeView::mouseDoubleClickEvent(QMouseEvent* event)
{
    // A double click opens: the rename a first click may have armed is off.
    m_timer.stop();
    m_editIndex = QModelIndex();
    QTreeView::mouseDoubleClickEvent(event);
}

void FileTreeView::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_timer.timerId()) {
        QTreeView::timerEvent(event);
        return;
    }
    m_timer.stop();
    if (m_editIndex.isValid())
        edit(m_editIndex);
}

void FileTreeView::dragMoveEvent(QDragMoveEvent* event)
{
    if (!(event->mouseButtons() & Qt::LeftButton)) {
        event->ignore();
        return;
    }
    QTreeView::dragMoveEvent(event);
    if (!event->isAccepted())
        return;
    event->setDropAction(event->keyboardModifiers() & Qt::ControlModifier ? Qt::CopyAction : Qt::MoveAction);
    event->accept();
}

void FileTreeView::dropEvent(QDropEvent* event)
{
    event->setDropAction(event->keyboardModifiers() & Qt::ControlModifier ? Qt::CopyAction : Qt::MoveAction);
    MainWindow::setDropEventStarted();
    QTreeView::dropEvent(event);
    MainWindow::setDropEventEnded();
}
