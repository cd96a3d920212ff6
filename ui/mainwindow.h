#pragma once

#include <QFileSystemWatcher>
#include <QMainWindow>
#include <QPointer>
#include <QSortFilterProxyModel>
#include <QStringList>
#include <QTimer>

#include <array>
#include <memory>
#include <vector>

class AddressBar;
class CArchiveDataModel;
class CompressOptions;
class ExtractOptions;
class FileSystemModel;
class FileTreeView;
class QAction;
class QFileSystemModel;
class QMenu;
class QMenuBar;
class QPushButton;
class QTemporaryDir;
class QToolBar;

// Sorts and filters the top level of a panel (the file system's root).
class MySortFilterProxyModel : public QSortFilterProxyModel
{
    Q_OBJECT

public:
    explicit MySortFilterProxyModel(QObject* parent = nullptr);
    void setFileModel(QFileSystemModel* model);

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    QFileSystemModel* m_fileModel = nullptr;
};

class MainWindow;

// Takes the window's keys on their way to a panel's list or address line.
class PanelKeyFilter : public QObject
{
    Q_OBJECT

public:
    explicit PanelKeyFilter(MainWindow* window)
        : m_window(window)
    {
    }
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    MainWindow* m_window;
};

// The program's one main window: two file panels side by side, each showing
// a folder or the inside of an archive, with menus, a tool bar and keys for
// the commands on the selection. Other parts reach it through getInstance();
// isMainDialogUsed() tells whether it exists (it does not while a single
// command-line operation runs).
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    static MainWindow* getInstance();
    static bool isMainDialogUsed();
    ~MainWindow() override;

    // Builds both panels and shows the window; the first panel shows path,
    // or its stored path when path is empty.
    bool show(const QString& path);

    // The panel's parts (panel 0 is the left one).
    FileTreeView* view(int panel) const;
    FileSystemModel* fileModel(int panel) const;
    CArchiveDataModel* archiveModel(int panel) const;
    AddressBar* addressBar(int panel) const;
    QPushButton* upButton(int panel) const;
    QPushButton* homeButton(int panel) const;
    int currentPanel() const { return m_currentPanel; }
    bool isArchiveShown(int panel) const;
    // The folder a file panel shows ("" at the top level).
    QString currentPath(int panel) const;
    QStringList copyList() const { return m_copyList; }
    QStringList moveList() const { return m_moveList; }
    QAction* toolBarAction(const QString& name) const;

    // The context menu for a point of a panel's view (the caller owns it).
    QMenu* createContextMenu(int panel, const QPoint& position);
    QString getSuggestedPath() const;
    // Exactly one selected entry, and it is an archive file.
    bool isArchiveSelected_func() const;
    QString suggestDirectoryToExtract() const;
    QStringList selectedFiles(int panel) const;

    void setStartedLongOperation();
    void setEndedLongOperation();
    bool isBusy() const { return m_busyDepth > 0; }

    static void setDropEventStarted() { m_isDropEventHappenning = true; }
    static void setDropEventEnded() { m_isDropEventHappenning = false; }
    static bool isDropEventHappenning() { return m_isDropEventHappenning; }
    static qint64 lastTimeLeftButtonWasPressed() { return m_lastTimeLeftButtonWasPressed; }
    // The later of both archive models' drag times (0 without a window).
    static qint64 lastDragExtractionTime();
    static qint64 lastDragCancelationTime();
    qint64 getLastDragExtractionTime() const;
    qint64 getLastDragCancelationTime() const;

public slots:
    void setPanelPath(const QString& path, int panel, bool isSilent = false);
    void setPanelPath2(const QString& path, int panel) { setPanelPath(path, panel, false); }
    void goToPath(const QString& path, int panelIndex);
    void goHome(int panel);
    void goBack();
    void fileTreeViewDoubleClick();
    void setCurrentPanel(int panel);
    void refreshMenuItems(int panel);
    void refreshPanelItemsVisibility();
    void applySettings();

    void refreshFileTree(int panel);
    void doRefreshFileTrees();
    void doResetFileTrees();
    void refreshArchiveModels();
    void clearArchiveModels();
    void setFileSystemRefreshEnabled(int panel, bool enabled);
    void archiveFileChanged(const QString& path);

    void transferError(const QString& file);
    void doFileRenamed(const QString& path, const QString& oldName, const QString& newName);
    void setCustomEditIndex(FileTreeView* view, const QModelIndex& index);
    void setCustomIsFolderRenamed(FileTreeView* view, bool renamed);
    void doAbout();
    void doSettings();

    // The commands on the selection.
    void doOpen(const QString& fileName);
    void doAddToArchive();
    void doExtract();
    void doExtractHere();
    void doExtractToDirectory();
    void doAddToCurrentArchive(bool isFolderMode);
    void doAddFilesToCurrentArchive() { doAddToCurrentArchive(false); }
    void doAddFolderToCurrentArchive() { doAddToCurrentArchive(true); }
    void addFilesToArchive(const QString& archivePath, const QString& archiveFolder, const QStringList& filesToAdd,
                           bool shouldClearTheSoure);
    void doDelete(bool isToRecycleBin = true);
    void doRename();
    void doCreateDir();
    void createFolder(const QString& newFolderName);
    void renameItem(const QString& oldPath, const QString& newFileName);
    void doCopy();
    void doMove();
    void CopyTo(bool isMove, bool withDialog, const QStringList& files, const QString& destination);
    void copyFiles(const QStringList& filesToCopy, const QString& destinationPath);
    void moveFiles(const QStringList& files, const QString& destinationPath);
    bool canCopy(const QStringList& files, const QString& destination);

signals:
    void doRenameSignal(QString fileName);

protected:
    void timerEvent(QTimerEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private slots:
    void onCustomContextMenu(const QPoint& position);
    void selectionChanged();

private:
    struct Panel
    {
        FileSystemModel* fileModel = nullptr;
        CArchiveDataModel* archiveModel = nullptr;
        MySortFilterProxyModel* proxy = nullptr;
        FileTreeView* view = nullptr;
        QPushButton* up = nullptr;
        QPushButton* home = nullptr;
        AddressBar* address = nullptr;
        QWidget* box = nullptr;
    };

    MainWindow();
    void buildForm();
    void buildMenus();
    void buildToolBar();
    void buildPanel(int panel);
    void wireActions();
    void retranslate();
    void resetFileModel(int panel);
    void refreshAddressBar(int panel);
    void showArchive(int panel, const QString& archive);
    void connectSelection(int panel);
    void setViewModel(int panel, QAbstractItemModel* model);
    friend class PanelKeyFilter;
    // True when the key was one of the window's own.
    bool handleKey(QKeyEvent* event);
    // True when the event is done with.
    bool filterPanelKey(QObject* watched, QKeyEvent* event);
    void paste();
    int panelOfView(const QObject* object) const;
    // A panel's in-place editor is open.
    bool isEditing() const;
    QAbstractItemModel* shownModel(int panel) const;
    QString filePathOf(int panel, const QModelIndex& index) const;
    bool isRootPath(const QString& path) const;
    int selectedCount(int panel) const;
    QModelIndexList selectedRows(int panel) const;
    // Makes the archive panel's row of that name current, selected and seen.
    void selectArchiveEntry(int panel, const QString& name);
    // Runs a change of an open archive and lists the archives shown anew.
    void runArchiveChange(const CompressOptions& request);
    // The selected entries of an archive panel, below the folder it shows.
    ExtractOptions selectionExtractRequest(int panel) const;
    void deleteFiles(int panel, bool toTrash);
    void createFolderInArchive(int panel);
    QAction* action(const char* name) const;
    // Sets a File-menu action and its tool-bar twin, when it has one.
    void setActionPair(const char* menuName, bool enabled);

    static MainWindow* m_instance;
    static bool m_isDropEventHappenning;
    static qint64 m_lastTimeLeftButtonWasPressed;

    std::array<Panel, 2> m_panels;
    int m_currentPanel = 0;
    bool m_isDualPanel = true;
    bool m_isApplicationActive = true;
    int m_busyDepth = 0;
    bool m_built = false;

    QFileSystemWatcher m_watcher;
    QString m_openedArchive;
    QString m_newFolderPath;
    QTimer m_refreshTimer;
    int m_periodicTimer = 0;
    QStringList m_copyList;
    QStringList m_moveList;
    std::vector<std::unique_ptr<QTemporaryDir>> m_temporaryDirs;
    QString m_fileToOpen;
    // The root of each panel's file model while its refresh is off.
    std::array<QString, 2> m_detachedRoots;
    PanelKeyFilter m_keyFilter{this};

    QMenu* m_fileMenu = nullptr;
    QMenu* m_viewMenu = nullptr;
    QMenu* m_settingsMenu = nullptr;
    QMenu* m_helpMenu = nullptr;
    QToolBar* m_toolBar = nullptr;
    QWidget* m_secondPanel = nullptr;
};
