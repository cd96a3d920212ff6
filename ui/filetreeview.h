#pragma once

#include <QBasicTimer>
#include <QPersistentModelIndex>
#include <QTreeView>

// The list of a panel (a folder or an archive's folder). A second, slow
// click on a selected name starts its rename, a double click opens it
// instead; a drag moves, with Ctrl held it copies.
class FileTreeView : public QTreeView
{
    Q_OBJECT

public:
    explicit FileTreeView(QWidget* parent = nullptr);

    void setIndex(int index) { m_index = index; }
    int index() const { return m_index; }
    void setEditIndex(const QModelIndex& index) { m_editIndex = index; }
    QModelIndex editIndex() const { return m_editIndex; }
    // Set just before a new folder is created (and put into rename mode).
    void setFolderRenamed(bool renamed) { m_isFolderRenamed = renamed; }
    // A row's in-place editor is open.
    bool isEditing() const { return state() == EditingState; }

signals:
    void changeCurrentTreeView(int index);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void closeEditor(const QModelIndex& index);

    int m_index = 0;
    QPersistentModelIndex m_editIndex;
    QPersistentModelIndex m_pressedIndex;
    QBasicTimer m_timer;
    bool m_pressedOnSelected = false;
    bool m_isFolderRenamed = false;
};
