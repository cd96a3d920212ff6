#include "ui/mainwindow.h"

#include "app/globals.h"
#include "app/settings.h"
#include "engine/guiutils.h"
#include "fileops/UserActions.h"
#include "fileops/utils.h"
#include "ui/AboutDialog.h"
#include "ui/FileSystemModel.h"
#include "ui/addressbar.h"
#include "ui/archivedatamodel.h"
#include "ui/filetreeview.h"
#include "ui/icons.h"
#include "ui/settingsdialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QUrl>
#include <QVBoxLayout>

MainWindow* MainWindow::m_instance = nullptr;
bool MainWindow::m_isDropEventHappenning = false;
qint64 MainWindow::m_lastTimeLeftButtonWasPressed = 0;

namespace {

const QString kCurrentPanelKey = QStringLiteral("CurrentPanel");

// The name takes the room the size and the time leave; the type is hidden.
void setupColumns(QTreeView* tree)
{
    tree->hideColumn(2);
    QHeaderView* header = tree->header();
    if (header->count() < 4)
        return;
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    header->resizeSection(1, 80);
    header->resizeSection(3, 150);
}

// The folder that held an archive named on a path that no longer exists: a
// stored panel path may run through an archive deleted since.
QString folderOfVanishedArchive(const QString& path)
{
    QString candidate = path;
    while (!candidate.isEmpty()) {
        const QString parent = QFileInfo(candidate).path();
        if (parent == candidate)
            break;
        ZipFormatInfo unused;
        const QString suffix = getExtensionOfFile(candidate).toLower();
        bool archiveName = false;
        for (const ZipFormatInfo& format : SupportedFormats)
            archiveName = archiveName || (!suffix.isEmpty() && format.extension == suffix);
        if (archiveName && QFileInfo(parent).isDir())
            return parent;
        candidate = parent;
    }
    return QString();
}

} // namespace

// --- Top-level ordering ----------------------------------------------------------

MySortFilterProxyModel::MySortFilterProxyModel(QObject* parent)
    : QSortFilterProxyModel(parent)
{
    setDynamicSortFilter(true);
}

void MySortFilterProxyModel::setFileModel(QFileSystemModel* model)
{
    m_fileModel = model;
    setSourceModel(model);
}

bool MySortFilterProxyModel::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    if (!m_fileModel)
        return QSortFilterProxyModel::lessThan(left, right);
    if (left.column() == 0) {
        const QFileInfo leftInfo = m_fileModel->fileInfo(left);
        // The roots keep the order the model gives them.
        if (leftInfo.filePath() == leftInfo.path())
            return left < right;
        const QFileInfo rightInfo = m_fileModel->fileInfo(right);
        if (leftInfo.isDir() != rightInfo.isDir())
            return leftInfo.isDir();
        return left.data().toString().toLower() < right.data().toString().toLower();
    }
    if (left.column() == 1)
        return m_fileModel->size(left) < m_fileModel->size(right);
    return false;
}

bool MySortFilterProxyModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    if (!m_fileModel)
        return true;
    const QModelIndex index = m_fileModel->index(sourceRow, 0, sourceParent);
    if (!index.isValid())
        return false;
    // The top level shows the root itself, not what lies in it.
    return !sourceParent.isValid() || m_fileModel->filePath(sourceParent) != QLatin1String("/");
}

// --- The window ------------------------------------------------------------------

MainWindow* MainWindow::getInstance()
{
    if (!m_instance)
        m_instance = new MainWindow();
    return m_instance;
}

bool MainWindow::isMainDialogUsed()
{
    return m_instance != nullptr;
}

MainWindow::MainWindow()
{
    setObjectName(QStringLiteral("MainWindow"));
    buildForm();
    setWindowIcon(QIcon(QStringLiteral(":ico/Quenvar.ico")));
    m_periodicTimer = startTimer(100, Qt::CoarseTimer);
    m_panels[0].view->setAcceptDrops(false);
}

MainWindow::~MainWindow()
{
    qApp->removeEventFilter(this);
    if (m_busyDepth > 0)
        qApp->removeEventFilter(&appFilter());
    m_instance = nullptr;
}

void MainWindow::buildForm()
{
    resize(908, 624);
    setMinimumSize(400, 400);
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("centralWidget"));
    auto* layout = new QHBoxLayout(central);
    layout->setContentsMargins(4, 4, 4, 4);
    for (int panel = 0; panel < 2; ++panel) {
        Panel& p = m_panels[size_t(panel)];
        p.box = new QWidget(central);
        p.box->setObjectName(panel == 0 ? QStringLiteral("firstPanel") : QStringLiteral("secondPanel"));
        auto* column = new QVBoxLayout(p.box);
        column->setContentsMargins(0, 0, 0, 0);
        auto* row = new QHBoxLayout();
        p.home = new QPushButton(p.box);
        p.home->setObjectName(panel == 0 ? QStringLiteral("pbGoHome") : QStringLiteral("pbGoHome2"));
        p.up = new QPushButton(p.box);
        p.up->setObjectName(panel == 0 ? QStringLiteral("pbGoBack") : QStringLiteral("pbGoBack2"));
        for (QPushButton* button : {p.home, p.up}) {
            button->setMaximumSize(16, 16);
            button->setFlat(true);
            button->setFocusPolicy(Qt::NoFocus);
            button->setIconSize(QSize(16, 16));
        }
        p.up->setEnabled(false);
        p.address = new AddressBar(p.box);
        p.address->setObjectName(panel == 0 ? QStringLiteral("addressBar") : QStringLiteral("addressBar1"));
        p.address->setIndex(panel);
        row->addWidget(p.home);
        row->addWidget(p.up);
        row->addWidget(p.address);
        column->addLayout(row);
        p.view = new FileTreeView(p.box);
        p.view->setObjectName(panel == 0 ? QStringLiteral("fileTreeView") : QStringLiteral("fileTreeView2"));
        p.view->setIndex(panel);
        p.view->setEditTriggers(QAbstractItemView::EditKeyPressed);
        p.view->setDragEnabled(true);
        p.view->setDragDropMode(QAbstractItemView::DragDrop);
        p.view->setDragDropOverwriteMode(true);
        p.view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        p.view->setRootIsDecorated(false);
        p.view->setItemsExpandable(false);
        p.view->setSortingEnabled(true);
        p.view->setAllColumnsShowFocus(true);
        p.view->header()->setDefaultSectionSize(300);
        column->addWidget(p.view);
        layout->addWidget(p.box);
    }
    m_secondPanel = m_panels[1].box;
    setCentralWidget(central);
    buildMenus();
    buildToolBar();
    retranslate();
}

bool MainWindow::show(const QString& path)
{
    m_refreshTimer.setSingleShot(true);
    m_refreshTimer.setInterval(100);
    connect(&m_refreshTimer, &QTimer::timeout, this, &MainWindow::doRefreshFileTrees, Qt::UniqueConnection);
    for (int panel = 0; panel < 2; ++panel)
        buildPanel(panel);
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, this, &MainWindow::archiveFileChanged,
            Qt::UniqueConnection);
    applySettings();
    wireActions();
    m_built = true;
    refreshMenuItems(m_currentPanel);
    for (const Panel& p : m_panels)
        p.view->setAcceptDrops(true);
    qApp->installEventFilter(this);
    UserActions::reset();
    QMainWindow::show();
    QCoreApplication::processEvents();

    if (m_isDualPanel)
        setPanelPath(CSettings::getPanelPath(1), 1, true);
    const QString first = path.isEmpty() ? CSettings::getPanelPath(0) : path;
    qDebug().noquote() << "Setting panel path: " + first;
    setPanelPath(first, 0, true);
    return true;
}

void MainWindow::buildPanel(int panel)
{
    Panel& p = m_panels[size_t(panel)];
    if (!p.archiveModel) {
        p.archiveModel = new CArchiveDataModel(this);
        p.proxy = new MySortFilterProxyModel(this);
        connect(p.view, &FileTreeView::changeCurrentTreeView, this, &MainWindow::setCurrentPanel);
        connect(p.archiveModel, &CArchiveDataModel::addToArchive, this, &MainWindow::addFilesToArchive);
        connect(p.address, &AddressBar::addressChanged, this,
                [this](const QString& address, int index) { setPanelPath(address, index); });
        connect(p.view, &QAbstractItemView::doubleClicked, this, [this, panel] {
            setCurrentPanel(panel);
            fileTreeViewDoubleClick();
        });
        p.view->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(p.view, &QWidget::customContextMenuRequested, this, &MainWindow::onCustomContextMenu);
        connect(p.up, &QPushButton::clicked, this, [this, panel] {
            setCurrentPanel(panel);
            goBack();
        });
        connect(p.home, &QPushButton::clicked, this, [this, panel] { goHome(panel); });
        p.view->installEventFilter(&m_keyFilter);
        p.address->lineEditOverlay()->installEventFilter(&m_keyFilter);
    }
    p.up->setIcon(themedIcon(QStringLiteral("go-up"), QStringLiteral(":ico/GoUp.png")));
    p.home->setIcon(themedIcon(QStringLiteral("go-home"), QStringLiteral(":ico/GoHome.png")));
    p.view->setDefaultDropAction(Qt::MoveAction);
    p.view->setDropIndicatorShown(true);
    p.view->setUniformRowHeights(true);
    resetFileModel(panel);
    p.view->sortByColumn(0, Qt::AscendingOrder);
}

void MainWindow::resetFileModel(int panel)
{
    Panel& p = m_panels[size_t(panel)];
    QString root;
    const bool onView = !p.fileModel || p.view->model() == p.fileModel || p.view->model() == p.proxy;
    const bool viaProxy = p.fileModel && p.view->model() == p.proxy;
    if (p.fileModel) {
        root = p.fileModel->rootPathCustom();
        if (onView)
            p.view->setModel(nullptr);
        p.proxy->setFileModel(nullptr);
        delete p.fileModel;
    }
    p.fileModel = new FileSystemModel(this);
    p.fileModel->setReadOnly(false);
    connect(p.fileModel, &QFileSystemModel::fileRenamed, this, &MainWindow::doFileRenamed);
    connect(p.fileModel, &FileSystemModel::copyFiles, this, &MainWindow::copyFiles);
    connect(p.fileModel, &FileSystemModel::moveFiles, this, &MainWindow::moveFiles);
    connect(p.fileModel, &FileSystemModel::renameItem, this, &MainWindow::renameItem);
    connect(p.fileModel, &FileSystemModel::transferError, this, &MainWindow::transferError);
    p.proxy->setFileModel(p.fileModel);
    p.fileModel->setRootPath(root);
    if (onView) {
        p.view->setModel(viaProxy ? static_cast<QAbstractItemModel*>(p.proxy) : p.fileModel);
        setupColumns(p.view);
        connectSelection(panel);
    }
}

void MainWindow::setViewModel(int panel, QAbstractItemModel* model)
{
    FileTreeView* tree = m_panels[size_t(panel)].view;
    if (tree->model() == model)
        return;
    // The old selection would be shown against the new model's header.
    if (tree->selectionModel())
        tree->selectionModel()->clear();
    // The root belongs to the old model: the view and its header would hand
    // it to the new one while they switch.
    tree->setRootIndex(QModelIndex());
    tree->setModel(model);
    setupColumns(tree);
    connectSelection(panel);
}

void MainWindow::connectSelection(int panel)
{
    QItemSelectionModel* selection = m_panels[size_t(panel)].view->selectionModel();
    if (selection)
        connect(selection, &QItemSelectionModel::selectionChanged, this, &MainWindow::selectionChanged,
                Qt::UniqueConnection);
}

// --- Parts and queries -------------------------------------------------------------

FileTreeView* MainWindow::view(int panel) const
{
    return m_panels[size_t(panel)].view;
}

FileSystemModel* MainWindow::fileModel(int panel) const
{
    return m_panels[size_t(panel)].fileModel;
}

CArchiveDataModel* MainWindow::archiveModel(int panel) const
{
    return m_panels[size_t(panel)].archiveModel;
}

AddressBar* MainWindow::addressBar(int panel) const
{
    return m_panels[size_t(panel)].address;
}

QPushButton* MainWindow::upButton(int panel) const
{
    return m_panels[size_t(panel)].up;
}

QPushButton* MainWindow::homeButton(int panel) const
{
    return m_panels[size_t(panel)].home;
}

bool MainWindow::isArchiveShown(int panel) const
{
    const Panel& p = m_panels[size_t(panel)];
    return p.archiveModel && p.view->model() == p.archiveModel;
}

QString MainWindow::currentPath(int panel) const
{
    const Panel& p = m_panels[size_t(panel)];
    return p.fileModel ? p.fileModel->rootPathCustom() : QString();
}

QAbstractItemModel* MainWindow::shownModel(int panel) const
{
    return m_panels[size_t(panel)].view->model();
}

QString MainWindow::filePathOf(int panel, const QModelIndex& index) const
{
    const Panel& p = m_panels[size_t(panel)];
    if (!index.isValid() || isArchiveShown(panel))
        return QString();
    if (index.model() == p.proxy)
        return p.fileModel->filePath(p.proxy->mapToSource(index));
    return p.fileModel->filePath(index);
}

bool MainWindow::isRootPath(const QString& path) const
{
    return !path.isEmpty() && QFileInfo(path).isRoot();
}

int MainWindow::selectedCount(int panel) const
{
    QItemSelectionModel* selection = m_panels[size_t(panel)].view->selectionModel();
    return selection ? selection->selectedRows().size() : 0;
}

QStringList MainWindow::selectedFiles(int panel) const
{
    QStringList files;
    QItemSelectionModel* selection = m_panels[size_t(panel)].view->selectionModel();
    if (!selection || isArchiveShown(panel))
        return files;
    const QModelIndexList rows = selection->selectedRows();
    for (const QModelIndex& index : rows) {
        const QString path = filePathOf(panel, index);
        if (!path.isEmpty())
            files << path;
    }
    return files;
}

bool MainWindow::isArchiveSelected_func() const
{
    const QStringList files = selectedFiles(m_currentPanel);
    if (files.size() != 1)
        return false;
    return std::all_of(files.begin(), files.end(), [](const QString& file) { return isArchive(file); });
}

QString MainWindow::suggestDirectoryToExtract() const
{
    const QStringList files = selectedFiles(m_currentPanel);
    return files.isEmpty() ? QString() : directoryToExtractAccordingToArchive(files.first(), files.size() == 1);
}

QString MainWindow::getSuggestedPath() const
{
    int panel = m_currentPanel;
    const int other = 1 - m_currentPanel;
    if (CSettings::getBoolValue(QStringLiteral("UseSecondChannel")) && m_isDualPanel && !isArchiveShown(other))
        panel = other;
    QString path;
    if (isArchiveShown(panel))
        path = QFileInfo(m_panels[size_t(panel)].archiveModel->getArchiveName()).path();
    else
        path = currentPath(panel);
    if (path.isEmpty())
        path = currentPath(m_currentPanel);
    if (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

// --- Navigation --------------------------------------------------------------------

void MainWindow::setCurrentPanel(int panel)
{
    const int other = 1 - panel;
    if (m_panels[size_t(other)].view->selectionModel())
        m_panels[size_t(other)].view->clearSelection();
    m_currentPanel = panel;
    CSettings::setIntValue(kCurrentPanelKey, panel);
    refreshMenuItems(panel);
}

void MainWindow::setPanelPath(const QString& path, int panel, bool isSilent)
{
    setCurrentPanel(panel);
    Panel& p = m_panels[size_t(panel)];
    p.view->setFocus();
    QString target = path;
    if (target == QLatin1String("~") || target.startsWith(QLatin1String("~/")))
        target = QDir::homePath() + target.mid(1);
    qDebug().noquote() << "going to: " + target;

    // The top level, which lists the file system's root.
    if (target.isEmpty()) {
        goToPath(QString(), panel);
        return;
    }
    const QFileInfo info(target);
    if (info.isDir()) {
        goToPath(QDir::cleanPath(target + QLatin1Char('/')), panel);
        return;
    }
    QString rest;
    const QString file = getFileFromPath(target, rest);
    const QFileInfo fileInfo(file);
    if (!file.isEmpty() && fileInfo.isFile()) {
        const QString folder = fileInfo.absolutePath();
        if (isArchive(file)) {
            if (p.archiveModel->openArchive(file, rest)) {
                showArchive(panel, file);
            } else {
                goToPath(folder, panel);
                if (!isSilent)
                    showWarning(this, tr("Error"), p.archiveModel->lastError().isEmpty()
                                                       ? tr("Cannot open the archive %1").arg(file)
                                                       : p.archiveModel->lastError());
            }
        } else if (rest.isEmpty()) {
            QDesktopServices::openUrl(QUrl::fromLocalFile(file));
        } else {
            // A path into a file that is no archive (one replaced since the
            // path was stored): its folder is the nearest thing that exists.
            goToPath(folder, panel);
        }
        return;
    }
    if (!isSilent)
        showWarning(this, tr("Error"), tr("The specified path does not exist"));
    const QString fallback = folderOfVanishedArchive(target);
    goToPath(fallback.isEmpty() ? QDir::homePath() : fallback, panel);
}

void MainWindow::showArchive(int panel, const QString& archive)
{
    Panel& p = m_panels[size_t(panel)];
    if (!m_watcher.files().contains(archive))
        m_watcher.addPath(archive);
    m_openedArchive = archive;
    setViewModel(panel, p.archiveModel);
    refreshAddressBar(panel);
    refreshMenuItems(panel);
}

void MainWindow::goToPath(const QString& path, int panelIndex)
{
    Panel& p = m_panels[size_t(panelIndex)];
    const bool topLevel = path.isEmpty() || isIncludingSpecialFolders(path);
    QString target = path.isEmpty() ? QString() : QDir::cleanPath(path);
    CSettings::setPanelPath(panelIndex, target);
    if (!topLevel) {
        setViewModel(panelIndex, p.fileModel);
        const QFileInfo info(target);
        if (info.isSymLink())
            target = info.canonicalFilePath();
        p.view->setRootIndex(p.fileModel->setRootPath(target));
    } else {
        p.proxy->setFileModel(p.fileModel);
        setViewModel(panelIndex, p.proxy);
        p.fileModel->setRootPath(target);
        p.view->setRootIndex(p.proxy->mapFromSource(p.fileModel->index(target)));
    }
    p.view->clearSelection();
    refreshAddressBar(panelIndex);
    refreshMenuItems(panelIndex);
}

void MainWindow::refreshAddressBar(int panel)
{
    Panel& p = m_panels[size_t(panel)];
    QString display;
    if (isArchiveShown(panel)) {
        display = p.archiveModel->getArchiveName() + QLatin1Char('/') + p.archiveModel->getCurrentDir();
    } else {
        display = p.fileModel->rootPathCustom();
    }
    display = QDir::toNativeSeparators(QFileInfo(display).filePath());
    p.up->setEnabled(!display.isEmpty());
    p.home->setEnabled(display.compare(QDir::toNativeSeparators(QDir::homePath()), Qt::CaseInsensitive) != 0);
    p.address->setCurrentAddress(display);
    CSettings::setPanelPath(panel, display);
}

void MainWindow::goHome(int panel)
{
    setCurrentPanel(panel);
    goToPath(QDir::homePath(), panel);
}

void MainWindow::goBack()
{
    const int panel = m_currentPanel;
    Panel& p = m_panels[size_t(panel)];
    if (isArchiveShown(panel)) {
        if (!p.archiveModel->getCurrentDir().isEmpty()) {
            p.archiveModel->goLevelUp();
            p.view->clearSelection();
            refreshAddressBar(panel);
            refreshMenuItems(panel);
            return;
        }
        const QString archive = p.archiveModel->getArchiveName();
        goToPath(QFileInfo(archive).absolutePath(), panel);
        const QModelIndex index = p.fileModel->index(archive);
        if (index.isValid()) {
            p.view->setCurrentIndex(index);
            p.view->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            p.view->scrollTo(index);
        }
        refreshMenuItems(panel);
        return;
    }
    const QString current = currentPath(panel);
    const QString parent = QFileInfo(current).path();
    // Above the file system's root comes the top level, which lists it.
    if (current.isEmpty() || parent == current || !QFileInfo(parent).isDir())
        goToPath(QString(), panel);
    else
        goToPath(parent, panel);
    p.view->clearSelection();
}

void MainWindow::fileTreeViewDoubleClick()
{
    const int panel = m_currentPanel;
    Panel& p = m_panels[size_t(panel)];
    const QModelIndex index = p.view->currentIndex();
    if (!index.isValid())
        return;
    if (isArchiveShown(panel)) {
        if (p.archiveModel->isDir(index)) {
            p.archiveModel->setCurrentDir(index);
            refreshAddressBar(panel);
            refreshMenuItems(panel);
        } else {
            doOpen(QString());
        }
        return;
    }
    const QString path = filePathOf(panel, index);
    const QFileInfo info(path);
    if (info.isSymLink() && info.isDir()) {
        const QString target = info.symLinkTarget();
        if (target.startsWith(QLatin1String("//"))) {
            qDebug().noquote() << "Opening target: " + target;
            QDesktopServices::openUrl(QUrl::fromLocalFile(target + QLatin1Char('/')));
        } else {
            goToPath(target, panel);
        }
    } else if (info.isDir()) {
        goToPath(path, panel);
    } else if (isArchive(path)) {
        setPanelPath(path, panel);
    } else {
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    }
}

// --- Refresh -------------------------------------------------------------------------

void MainWindow::refreshFileTree(int panel)
{
    Panel& p = m_panels[size_t(panel)];
    p.fileModel->reloadFilters();
    if (!isArchiveShown(panel)) {
        const QString root = p.fileModel->rootPathCustom();
        p.fileModel->setRootPath(QString());
        QCoreApplication::processEvents();
        const QModelIndex rootIndex = p.fileModel->setRootPath(root);
        if (p.view->model() == p.fileModel)
            p.view->setRootIndex(rootIndex);
        p.fileModel->reloadFilters();
        if (!m_newFolderPath.isEmpty() && p.view->model() == p.fileModel) {
            const QModelIndex created = p.fileModel->index(m_newFolderPath);
            if (created.isValid()) {
                p.view->setCurrentIndex(created);
                p.view->edit(created);
            }
        }
    }
    p.view->scrollTo(p.view->currentIndex());
}

void MainWindow::doRefreshFileTrees()
{
    refreshFileTree(1 - m_currentPanel);
    refreshFileTree(m_currentPanel);
    m_newFolderPath.clear();
}

void MainWindow::doResetFileTrees()
{
    if (m_isApplicationActive)
        return;
    std::array<int, 4> positions{};
    for (int panel = 0; panel < 2; ++panel) {
        positions[size_t(2 * panel)] = view(panel)->horizontalScrollBar()->value();
        positions[size_t(2 * panel + 1)] = view(panel)->verticalScrollBar()->value();
    }
    for (int panel = 0; panel < 2; ++panel) {
        const bool inArchive = isArchiveShown(panel);
        const QString path = currentPath(panel);
        resetFileModel(panel);
        if (!inArchive)
            goToPath(path, panel);
    }
    for (int panel = 0; panel < 2; ++panel) {
        view(panel)->horizontalScrollBar()->setValue(positions[size_t(2 * panel)]);
        view(panel)->verticalScrollBar()->setValue(positions[size_t(2 * panel + 1)]);
    }
    m_newFolderPath.clear();
}

void MainWindow::refreshArchiveModels()
{
    for (int panel = 0; panel < 2; ++panel) {
        if (isArchiveShown(panel)) {
            archiveModel(panel)->refresh();
            refreshAddressBar(panel);
        }
    }
    refreshMenuItems(m_currentPanel);
}

void MainWindow::clearArchiveModels()
{
    for (const Panel& p : m_panels)
        p.archiveModel->clearTemporaryData();
}

void MainWindow::setFileSystemRefreshEnabled(int panel, bool enabled)
{
    Panel& p = m_panels[size_t(panel)];
    const bool onView = p.view->model() == p.fileModel;
    QCoreApplication::processEvents();
    if (!enabled) {
        m_detachedRoots[size_t(panel)] = p.fileModel->rootPathCustom();
        p.view->setUpdatesEnabled(false);
        const QModelIndex root = p.fileModel->setRootPath(QString());
        if (onView)
            p.view->setRootIndex(root);
    } else {
        const QModelIndex root = p.fileModel->setRootPath(m_detachedRoots[size_t(panel)]);
        if (onView)
            p.view->setRootIndex(root);
        p.view->setUpdatesEnabled(true);
    }
    QCoreApplication::processEvents();
}

void MainWindow::archiveFileChanged(const QString& path)
{
    // A replaced file reports a change before the new one is in place.
    QTimer::singleShot(200, this, [this, path] {
        if (!QFileInfo::exists(path)) {
            for (int panel = 0; panel < 2; ++panel) {
                if (isArchiveShown(panel) && archiveModel(panel)->getArchiveName() == path)
                    goToPath(QFileInfo(path).absolutePath(), panel);
            }
        } else if (!m_watcher.files().contains(path)) {
            m_watcher.addPath(path);
        }
    });
}

// --- Busy state, events ---------------------------------------------------------------

void MainWindow::setStartedLongOperation()
{
    if (m_busyDepth++ > 0)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    qApp->installEventFilter(&appFilter());
}

void MainWindow::setEndedLongOperation()
{
    if (m_busyDepth == 0 || --m_busyDepth > 0)
        return;
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    qApp->removeEventFilter(&appFilter());
}

qint64 MainWindow::getLastDragExtractionTime() const
{
    return qMax(archiveModel(0) ? archiveModel(0)->getLastDragExtractionTime() : 0,
                archiveModel(1) ? archiveModel(1)->getLastDragExtractionTime() : 0);
}

qint64 MainWindow::getLastDragCancelationTime() const
{
    return qMax(archiveModel(0) ? archiveModel(0)->getLastDragCancelationTime() : 0,
                archiveModel(1) ? archiveModel(1)->getLastDragCancelationTime() : 0);
}

qint64 MainWindow::lastDragExtractionTime()
{
    return m_instance ? m_instance->getLastDragExtractionTime() : 0;
}

qint64 MainWindow::lastDragCancelationTime()
{
    return m_instance ? m_instance->getLastDragCancelationTime() : 0;
}

void MainWindow::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_periodicTimer) {
        QMainWindow::timerEvent(event);
        return;
    }
    // Network shares are mounted folders here and report their own changes.
    if (isLeftButtonPressed())
        m_lastTimeLeftButtonWasPressed = unixTimeStamp();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ApplicationStateChange)
        m_isApplicationActive = QGuiApplication::applicationState() == Qt::ApplicationActive;
    return QMainWindow::eventFilter(watched, event);
}

bool PanelKeyFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && m_window->m_built)
        return m_window->filterPanelKey(watched, static_cast<QKeyEvent*>(event));
    return false;
}

bool MainWindow::filterPanelKey(QObject* watched, QKeyEvent* event)
{
    for (int panel = 0; panel < 2; ++panel) {
        if (watched == addressBar(panel)->lineEditOverlay() && event->key() == Qt::Key_Return) {
            setPanelPath(addressBar(panel)->currentText(), panel);
            return true;
        }
    }
    // A key the in-place editor let pass (Return after a new name) is the
    // editor's, not a command on the row being renamed.
    if (panelOfView(watched) < 0 || isEditing() || !handleKey(event))
        return false;
    // The list's own handling of these follows (search by letter, copying
    // the name); every other key of the window's is done. F2 is too: the
    // window's rename has started the editor, and a second start fails.
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const int key = event->key();
    return !((key == Qt::Key_C || key == Qt::Key_X) && !ctrl) && !(key == Qt::Key_C && ctrl);
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    // Keys of the panels' lists and address lines were taken on their way in.
    if (m_built && panelOfView(focusWidget()) < 0 && !isEditing())
        handleKey(event);
    QMainWindow::keyPressEvent(event);
}

bool MainWindow::isEditing() const
{
    return std::any_of(m_panels.begin(), m_panels.end(),
                       [](const Panel& p) { return p.view->isEditing(); });
}

int MainWindow::panelOfView(const QObject* object) const
{
    for (int panel = 0; panel < 2; ++panel) {
        if (object && object == m_panels[size_t(panel)].view)
            return panel;
    }
    return -1;
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    terminateFileServer();
    event->accept();
}

void MainWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
}

void MainWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LocaleChange)
        installLanguage(static_cast<QLocale::Language>(CSettings::getIntValue(QStringLiteral("DefaultLanguage"))));
    else if (event->type() == QEvent::LanguageChange)
        retranslate();
    QMainWindow::changeEvent(event);
}

// --- Messages and small slots ----------------------------------------------------------

void MainWindow::transferError(const QString& file)
{
    showWarning(this, tr("Error"), tr("Source and destination files are the same. %1").arg(file));
}

void MainWindow::doFileRenamed(const QString& path, const QString& oldName, const QString& newName)
{
    Q_UNUSED(path)
    Q_UNUSED(oldName)
    Q_UNUSED(newName)
}

void MainWindow::setCustomEditIndex(FileTreeView* view, const QModelIndex& index)
{
    view->setEditIndex(index);
}

void MainWindow::setCustomIsFolderRenamed(FileTreeView* view, bool renamed)
{
    view->setFolderRenamed(renamed);
}

void MainWindow::doAbout()
{
    AboutDialog dialog(this);
    dialog.exec();
}
