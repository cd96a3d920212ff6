#include "common/windowdriver.h"

#include "ui/addressbar.h"
#include "ui/filetreeview.h"
#include "ui/mainwindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QtTest>

#include "common/testenv.h"

namespace windowdriver {

MainWindow* restart(const QString& path)
{
    if (MainWindow::isMainDialogUsed())
        delete MainWindow::getInstance();
    MainWindow* window = MainWindow::getInstance();
    window->show(path);
    return window;
}

QString shown(int panel)
{
    MainWindow* window = MainWindow::getInstance();
    return window->addressBar(panel)->currentAddress() +
           (window->isArchiveShown(panel) ? QStringLiteral(" [archive]") : QString());
}

QModelIndex rowOf(int panel, const QString& name)
{
    MainWindow* window = MainWindow::getInstance();
    QAbstractItemModel* model = window->view(panel)->model();
    const QModelIndex root = window->view(panel)->rootIndex();
    QModelIndex found;
    const auto look = [&] {
        for (int row = 0; row < model->rowCount(root); ++row) {
            const QModelIndex index = model->index(row, 0, root);
            if (index.data().toString() == name)
                found = index;
        }
        return found.isValid();
    };
    [&] { QTRY_VERIFY2(look(), qPrintable(name)); }();
    return found;
}

void select(int panel, const QStringList& names)
{
    FileTreeView* view = MainWindow::getInstance()->view(panel);
    view->clearSelection();
    for (const QString& name : names) {
        const QModelIndex index = rowOf(panel, name);
        view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        view->selectionModel()->select(index,
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
}

void commitEditor(int panel, const QString& text)
{
    FileTreeView* view = MainWindow::getInstance()->view(panel);
    QLineEdit* editor = nullptr;
    const auto open = [&] {
        const QList<QLineEdit*> editors = view->viewport()->findChildren<QLineEdit*>();
        for (QLineEdit* candidate : editors) {
            if (candidate->isVisible())
                editor = candidate;
        }
        return editor != nullptr;
    };
    [&] { QTRY_VERIFY(open()); }();
    if (!editor)
        return;
    editor->setText(text);
    QTest::keyClick(editor, Qt::Key_Return);
    // The delegate commits on its next turn of the event loop.
    const QPointer<QLineEdit> committed(editor);
    [&] { QTRY_VERIFY(!committed || !committed->isVisible()); }();
}

QStringList temporaryLeftovers()
{
    return QDir(QDir::tempPath())
        .entryList({QStringLiteral("Quenvar_*")}, QDir::AllEntries | QDir::NoDotAndDotDot);
}

} // namespace windowdriver
