// The main window's menus, tool bar, context menu, menu states and keys.
#include "ui/mainwindow.h"

#include "app/settings.h"
#include "fileops/utils.h"
#include "ui/FileSystemModel.h"
#include "ui/addressbar.h"
#include "ui/archivedatamodel.h"
#include "ui/filetreeview.h"
#include "ui/icons.h"

#include <QAction>
#include <QCoreApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QToolBar>

namespace {

struct ActionText
{
    const char* name;
    const char* text;
};

// The File menu, in order; a null name is a separator.
const ActionText kFileMenu[] = {
    {"actAddToArchive", QT_TRANSLATE_NOOP("MainWindow", "Add to archive...")},
    {"actExtract", QT_TRANSLATE_NOOP("MainWindow", "Extract the archive...")},
    {"actExtractHere_2", QT_TRANSLATE_NOOP("MainWindow", "Extract here")},
    {nullptr, nullptr},
    {"actCreateDir", QT_TRANSLATE_NOOP("MainWindow", "Create directory")},
    {"addFilesToCurrentArchive", QT_TRANSLATE_NOOP("MainWindow", "Add file(s)...")},
    {"addFolderToCurrentArchive", QT_TRANSLATE_NOOP("MainWindow", "Add Directory...")},
    {"actCopy", QT_TRANSLATE_NOOP("MainWindow", "Copy...")},
    {"actMove", QT_TRANSLATE_NOOP("MainWindow", "Move...")},
    {"actRename", QT_TRANSLATE_NOOP("MainWindow", "Rename")},
    {"actDelete", QT_TRANSLATE_NOOP("MainWindow", "Delete")},
    {nullptr, nullptr},
    {"actClose", QT_TRANSLATE_NOOP("MainWindow", "Exit")},
};

const ActionText kViewMenu[] = {
    {"actViewPath", QT_TRANSLATE_NOOP("MainWindow", "Path")},
    {"actViewUp", QT_TRANSLATE_NOOP("MainWindow", "Up button")},
    {"actViewToolbar", QT_TRANSLATE_NOOP("MainWindow", "Toolbar")},
    {"actDualPanel", QT_TRANSLATE_NOOP("MainWindow", "Two-panel view")},
};

// The View actions and the settings they are stored under.
const char* const kViewKeys[][2] = {
    {"actViewPath", "ViewPath"},
    {"actViewUp", "ViewUp"},
    {"actViewToolbar", "ViewToolbar"},
    {"actDualPanel", "DualPanel"},
};

struct ToolButton
{
    const char* name;
    // The File-menu action whose text is the tool tip and whose state it follows.
    const char* twin;
    const char* themeIcon;
    const char* resource;
};

// A null name is a separator.
const ToolButton kToolBar[] = {
    {"tbAddToArchive", "actAddToArchive", "archive-insert", ":ico/Add.png"},
    {"tbExtract", "actExtract", "archive-extract", ":ico/Extract.png"},
    {nullptr, nullptr, nullptr, nullptr},
    {"tbCreateDir", "actCreateDir", "folder-new", ":ico/Folder.png"},
    {"tbCopy", "actCopy", "edit-copy", ":ico/Copy.png"},
    {"tbMove", "actMove", "edit-cut", ":ico/Move.png"},
    {"tbRename", "actRename", "edit-rename", ":ico/Rename.png"},
    {"tbDelete", "actDelete", "edit-delete", ":ico/Delete.png"},
};

QString trWindow(const char* text)
{
    return QCoreApplication::translate("MainWindow", text);
}

} // namespace

QAction* MainWindow::action(const char* name) const
{
    return findChild<QAction*>(QLatin1String(name));
}

QAction* MainWindow::toolBarAction(const QString& name) const
{
    return m_toolBar->findChild<QAction*>(name);
}

void MainWindow::buildMenus()
{
    QMenuBar* bar = menuBar();
    m_fileMenu = bar->addMenu(QString());
    m_fileMenu->setObjectName(QStringLiteral("menuFile"));
    for (const ActionText& entry : kFileMenu) {
        if (!entry.name) {
            m_fileMenu->addSeparator();
            continue;
        }
        auto* item = new QAction(this);
        item->setObjectName(QLatin1String(entry.name));
        m_fileMenu->addAction(item);
    }
    m_viewMenu = bar->addMenu(QString());
    m_viewMenu->setObjectName(QStringLiteral("menuView"));
    for (const ActionText& entry : kViewMenu) {
        auto* item = new QAction(this);
        item->setObjectName(QLatin1String(entry.name));
        item->setCheckable(true);
        m_viewMenu->addAction(item);
    }
    m_settingsMenu = bar->addMenu(QString());
    m_settingsMenu->setObjectName(QStringLiteral("menuSettings"));
    auto* settings = new QAction(this);
    settings->setObjectName(QStringLiteral("actSettings"));
    m_settingsMenu->addAction(settings);
    m_helpMenu = bar->addMenu(QString());
    m_helpMenu->setObjectName(QStringLiteral("menuHelp"));
    auto* about = new QAction(this);
    about->setObjectName(QStringLiteral("actAbout"));
    m_helpMenu->addAction(about);
}

void MainWindow::buildToolBar()
{
    m_toolBar = new QToolBar(this);
    m_toolBar->setObjectName(QStringLiteral("toolBar"));
    m_toolBar->setMovable(false);
    m_toolBar->setFloatable(false);
    m_toolBar->setIconSize(QSize(32, 32));
    addToolBar(Qt::TopToolBarArea, m_toolBar);
    for (const ToolButton& button : kToolBar) {
        if (!button.name) {
            m_toolBar->addSeparator();
            continue;
        }
        auto* item = new QAction(themedIcon(QLatin1String(button.themeIcon), QLatin1String(button.resource)), QString(),
                                 m_toolBar);
        item->setObjectName(QLatin1String(button.name));
        m_toolBar->addAction(item);
    }
}

void MainWindow::retranslate()
{
    setWindowTitle(tr("Quenvar"));
    m_fileMenu->setTitle(tr("F&ile"));
    m_viewMenu->setTitle(tr("View"));
    m_settingsMenu->setTitle(tr("S&ettings"));
    m_helpMenu->setTitle(tr("H&elp"));
    for (const ActionText& entry : kFileMenu) {
        if (entry.name)
            action(entry.name)->setText(trWindow(entry.text));
    }
    for (const ActionText& entry : kViewMenu)
        action(entry.name)->setText(trWindow(entry.text));
    action("actSettings")->setText(tr("Settings"));
    action("actAbout")->setText(tr("About"));
    for (const ToolButton& button : kToolBar) {
        if (button.name)
            toolBarAction(QLatin1String(button.name))->setToolTip(action(button.twin)->text());
    }
}

void MainWindow::wireActions()
{
    const auto wire = [this](const char* menuName, const std::function<void()>& slot) {
        connect(action(menuName), &QAction::triggered, this, slot, Qt::UniqueConnection);
        for (const ToolButton& button : kToolBar) {
            if (button.name && qstrcmp(button.twin, menuName) == 0)
                connect(toolBarAction(QLatin1String(button.name)), &QAction::triggered, this, slot);
        }
    };
    wire("actAddToArchive", [this] { doAddToArchive(); });
    wire("actExtract", [this] { doExtract(); });
    // The triggered argument of these actions is false: they delete for good.
    wire("actDelete", [this] { doDelete(false); });
    wire("actRename", [this] { doRename(); });
    wire("actCreateDir", [this] { doCreateDir(); });
    wire("actCopy", [this] { doCopy(); });
    wire("actMove", [this] { doMove(); });
    wire("actExtractHere_2", [this] { doExtractHere(); });
    wire("addFilesToCurrentArchive", [this] { doAddFilesToCurrentArchive(); });
    wire("addFolderToCurrentArchive", [this] { doAddFolderToCurrentArchive(); });
    wire("actClose", [this] { close(); });
    wire("actSettings", [this] { doSettings(); });
    wire("actAbout", [this] { doAbout(); });
    for (const auto& view : kViewKeys)
        connect(action(view[0]), &QAction::triggered, this, &MainWindow::refreshPanelItemsVisibility);
}

void MainWindow::refreshPanelItemsVisibility()
{
    for (const auto& view : kViewKeys)
        CSettings::setBoolValue(QLatin1String(view[1]), action(view[0])->isChecked());
    m_isDualPanel = action("actDualPanel")->isChecked();
    const bool up = action("actViewUp")->isChecked();
    const bool path = action("actViewPath")->isChecked();
    m_secondPanel->setVisible(m_isDualPanel);
    for (int panel = 0; panel < 2; ++panel) {
        upButton(panel)->setVisible(up);
        addressBar(panel)->setVisible(path && (panel == 0 || m_isDualPanel));
    }
    m_toolBar->setVisible(action("actViewToolbar")->isChecked());
    if (!m_isDualPanel && m_currentPanel == 1)
        setCurrentPanel(0);
}

void MainWindow::applySettings()
{
    for (const auto& view : kViewKeys)
        action(view[0])->setChecked(CSettings::getBoolValue(QLatin1String(view[1])));
    refreshPanelItemsVisibility();
}

void MainWindow::setActionPair(const char* menuName, bool enabled)
{
    action(menuName)->setEnabled(enabled);
    for (const ToolButton& button : kToolBar) {
        if (button.name && qstrcmp(button.twin, menuName) == 0)
            toolBarAction(QLatin1String(button.name))->setEnabled(enabled);
    }
}

void MainWindow::refreshMenuItems(int panel)
{
    if (!m_built)
        return;
    const FileTreeView* tree = view(panel);
    const int selected = selectedCount(panel);
    const bool archiveShown = isArchiveShown(panel);
    const bool hasFolder = tree->rootIndex().isValid();
    const bool updatable = archiveModel(panel)->isArchiveUpdateSupported();
    const char* const all[] = {"actAddToArchive", "actExtract",  "actExtractHere_2", "actCreateDir",
                               "actCopy",         "actMove",     "actRename",        "actDelete",
                               "addFilesToCurrentArchive", "addFolderToCurrentArchive"};

    // A root of the file system can be packed or copied, nothing more.
    if (selected == 1 && !archiveShown && isRootPath(filePathOf(panel, tree->currentIndex()))) {
        for (const char* name : all)
            setActionPair(name, false);
        setActionPair("actAddToArchive", true);
        setActionPair("actCopy", true);
        return;
    }
    setActionPair("actAddToArchive", hasFolder && selected > 0 && !archiveShown);
    const bool extract = (archiveShown && selected > 0) || (!archiveShown && isArchiveSelected_func());
    setActionPair("actExtract", extract);
    setActionPair("actExtractHere_2", extract);
    if (archiveShown) {
        setActionPair("actDelete", selected > 0 && updatable);
        setActionPair("actRename", selected == 1 && updatable);
        setActionPair("actCreateDir", updatable);
    } else if (hasFolder) {
        setActionPair("actDelete", selected >= 1);
        setActionPair("actRename", selected == 1);
        setActionPair("actCreateDir", !isRootPath(currentPath(panel)));
    } else {
        setActionPair("actDelete", false);
        setActionPair("actRename", false);
        setActionPair("actCreateDir", false);
    }
    setActionPair("addFilesToCurrentArchive", archiveShown && updatable);
    setActionPair("addFolderToCurrentArchive", archiveShown && updatable);
    setActionPair("actCopy", hasFolder && !archiveShown && selected > 0);
    setActionPair("actMove", hasFolder && !archiveShown && selected > 0);
}

void MainWindow::selectionChanged()
{
    refreshMenuItems(m_currentPanel);
}

QMenu* MainWindow::createContextMenu(int panel, const QPoint& position)
{
    auto* menu = new QMenu(this);
    const auto add = [this, menu](const char* text, const std::function<void()>& slot) {
        connect(menu->addAction(trWindow(text)), &QAction::triggered, this, slot);
    };
    const FileTreeView* tree = view(panel);
    const QModelIndex index = tree->indexAt(position);
    const bool archiveShown = isArchiveShown(panel);
    const bool updatable = archiveModel(panel)->isArchiveUpdateSupported();
    const QString itemPath = archiveShown ? archiveModel(panel)->getInArchiveName(index) : filePathOf(panel, index);
    const bool onItem = index.isValid() && !itemPath.isEmpty();
    const bool atRoot = !archiveShown && isRootPath(currentPath(panel));
    const int selected = selectedCount(panel);

    if (!onItem) {
        if (updatable) {
            if (!atRoot)
                add(QT_TRANSLATE_NOOP("MainWindow", "Create directory"), [this] { doCreateDir(); });
            if (archiveShown) {
                add(QT_TRANSLATE_NOOP("MainWindow", "Add file(s)..."), [this] { doAddFilesToCurrentArchive(); });
                add(QT_TRANSLATE_NOOP("MainWindow", "Add Directory..."), [this] { doAddFolderToCurrentArchive(); });
            }
        }
    } else if (archiveShown) {
        add(QT_TRANSLATE_NOOP("MainWindow", "Extract the archive..."), [this] { doExtract(); });
        if (updatable) {
            add(QT_TRANSLATE_NOOP("MainWindow", "Create directory"), [this] { doCreateDir(); });
            add(QT_TRANSLATE_NOOP("MainWindow", "Add file(s)..."), [this] { doAddFilesToCurrentArchive(); });
            add(QT_TRANSLATE_NOOP("MainWindow", "Add directory..."), [this] { doAddFolderToCurrentArchive(); });
            add(QT_TRANSLATE_NOOP("MainWindow", "Delete"), [this] { doDelete(); });
            if (selected == 1)
                add(QT_TRANSLATE_NOOP("MainWindow", "Rename"), [this] { doRename(); });
        }
    } else if (isRootPath(itemPath)) {
        add(QT_TRANSLATE_NOOP("MainWindow", "Add to archive..."), [this] { doAddToArchive(); });
        add(QT_TRANSLATE_NOOP("MainWindow", "Copy..."), [this] { doCopy(); });
    } else {
        add(QT_TRANSLATE_NOOP("MainWindow", "Add to archive..."), [this] { doAddToArchive(); });
        if (isArchiveSelected_func()) {
            add(QT_TRANSLATE_NOOP("MainWindow", "Extract the archive..."), [this] { doExtract(); });
            add(QT_TRANSLATE_NOOP("MainWindow", "Extract here"), [this] { doExtractHere(); });
            connect(menu->addAction(tr("Extract to ") + QFileInfo(suggestDirectoryToExtract()).fileName()),
                    &QAction::triggered, this, [this] { doExtractToDirectory(); });
        }
        menu->addSeparator();
        if (!atRoot)
            add(QT_TRANSLATE_NOOP("MainWindow", "Create directory"), [this] { doCreateDir(); });
        if (selected >= 1) {
            add(QT_TRANSLATE_NOOP("MainWindow", "Copy..."), [this] { doCopy(); });
            add(QT_TRANSLATE_NOOP("MainWindow", "Move..."), [this] { doMove(); });
        }
        if (selected == 1)
            add(QT_TRANSLATE_NOOP("MainWindow", "Rename"), [this] { doRename(); });
        add(QT_TRANSLATE_NOOP("MainWindow", "Delete"), [this] { doDelete(); });
    }
    return menu;
}

void MainWindow::onCustomContextMenu(const QPoint& position)
{
    auto* tree = qobject_cast<FileTreeView*>(sender());
    if (!tree)
        return;
    QMenu* menu = createContextMenu(tree->index(), position);
    if (!menu->isEmpty())
        menu->exec(tree->viewport()->mapToGlobal(position));
    menu->deleteLater();
}

bool MainWindow::handleKey(QKeyEvent* event)
{
    const int panel = m_currentPanel;
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    const bool ctrl = modifiers & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_C:
        if (ctrl)
            m_moveList.clear();
        m_copyList = selectedFiles(panel);
        return true;
    case Qt::Key_X:
        if (ctrl)
            m_moveList = selectedFiles(panel);
        m_copyList.clear();
        return true;
    case Qt::Key_V:
        if (!ctrl)
            return false;
        paste();
        return true;
    case Qt::Key_D:
        if (ctrl) {
            doDelete(true);
            return true;
        }
        if (modifiers & Qt::AltModifier) {
            addressBar(panel)->lineEditOverlay()->setFocus();
            return true;
        }
        return false;
    case Qt::Key_N:
        if (ctrl && (modifiers & Qt::ShiftModifier)) {
            doCreateDir();
            return true;
        }
        return false;
    case Qt::Key_R:
        if (!ctrl)
            return false;
        doRefreshFileTrees();
        return true;
    case Qt::Key_F5:
        doRefreshFileTrees();
        return true;
    case Qt::Key_Backspace:
        goBack();
        return true;
    case Qt::Key_Return:
        for (int p = 0; p < 2; ++p) {
            if (addressBar(p)->hasFocus()) {
                setPanelPath(addressBar(p)->currentText(), p);
                return true;
            }
        }
        if (view(panel)->currentIndex().isValid())
            fileTreeViewDoubleClick();
        return true;
    case Qt::Key_Delete:
        doDelete(!(modifiers & Qt::ShiftModifier));
        return true;
    case Qt::Key_F2:
        doRename();
        return true;
    default:
        return false;
    }
}

void MainWindow::paste()
{
    if ((m_copyList.isEmpty() && m_moveList.isEmpty()) || isArchiveShown(m_currentPanel))
        return;
    const FileTreeView* tree = view(m_currentPanel);
    QString destination = filePathOf(m_currentPanel, tree->rootIndex());
    if (destination.isEmpty())
        destination = currentPath(m_currentPanel);
    if (!m_copyList.isEmpty())
        CopyTo(false, false, m_copyList, destination);
    if (!m_moveList.isEmpty())
        CopyTo(true, false, m_moveList, destination);
}
