// The commands the main window runs on the selection: opening an archive
// entry, packing and unpacking, deleting, copying and moving, new folders
// and renames, in file panels and inside archives. Archive work goes to the
// operation driver, copies and moves to the copy progress dialog, deletions
// to the delete progress dialog; each runs modally and the panels are
// refreshed afterwards.
#include "ui/mainwindow.h"

#include "app/settings.h"
#include "engine/ArchiveProgressDlg.h"
#include "engine/guiutils.h"
#include "fileops/FileUtils.h"
#include "fileops/UserActions.h"
#include "fileops/utils.h"
#include "ui/ConflictDialog.h"
#include "ui/CopyDialog.h"
#include "ui/DeleteProgressDialog.h"
#include "ui/FileSystemModel.h"
#include "ui/NewFolderDialog.h"
#include "ui/archivedatamodel.h"
#include "ui/copyprogressdialog.h"
#include "ui/filetreeview.h"
#include "ui/settingsdialog.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QUrl>

namespace {

// A private folder of its own for files the program stages or extracts for
// a moment: nobody else can plant anything in it, and two running programs
// never share it.
std::unique_ptr<QTemporaryDir> privateTemporaryDir()
{
    return std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/Quenvar_XXXXXX"));
}

// The deepest folder that holds every one of the files.
QString commonFolder(const QStringList& files)
{
    QString common = QFileInfo(files.first()).absolutePath();
    for (const QString& file : files) {
        const QString folder = QFileInfo(file).absolutePath();
        while (folder != common && !folder.startsWith(common == QLatin1String("/") ? common : common + QLatin1Char('/')))
            common = QFileInfo(common).path();
    }
    return common;
}

// Clears the answers of an earlier question, keeping the elevated mode.
void clearAnswers()
{
    for (int action = 0; action < UserActions::kActionCount; ++action)
        UserActions::setAction(E_UserAction(action), false, false);
}

void showNameTaken(QWidget* parent, const QString& name)
{
    showWarning(parent, MainWindow::tr("Error"), MainWindow::tr("A file or folder named \"%1\" already exists.").arg(name));
}

} // namespace

QModelIndexList MainWindow::selectedRows(int panel) const
{
    QItemSelectionModel* selection = view(panel)->selectionModel();
    return selection ? selection->selectedRows() : QModelIndexList();
}

void MainWindow::selectArchiveEntry(int panel, const QString& name)
{
    CArchiveDataModel* model = archiveModel(panel);
    if (!isArchiveShown(panel) || !model->itemExists(name))
        return;
    const QModelIndex index = model->index(model->getIndexHavingFileName(name), 0);
    FileTreeView* tree = view(panel);
    tree->setCurrentIndex(index);
    tree->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    tree->scrollTo(index);
}

void MainWindow::runArchiveChange(const CompressOptions& request)
{
    ArchiveProgressDlg progress(this);
    progress.doCompress(request);
    refreshArchiveModels();
}

// --- Opening an entry and archive work ----------------------------------------------

void MainWindow::doOpen(const QString& fileName)
{
    // Called by the model while it opens an archive at a file, before the
    // panel shows it: the current panel's model is the one meant.
    CArchiveDataModel* model = archiveModel(m_currentPanel);
    const int row = fileName.isEmpty() ? view(m_currentPanel)->currentIndex().row()
                                       : model->getIndexHavingFileName(fileName);
    if (model->getArchiveName().isEmpty() || !model->isCurrentArchiveIndexValid(row) ||
        (!fileName.isEmpty() && model->rowInfo(row).name != fileName))
        return;

    // Each opened entry gets a folder of its own, kept until the window
    // goes: the application opened on it may still be reading it.
    m_temporaryDirs.push_back(privateTemporaryDir());
    const QTemporaryDir& folder = *m_temporaryDirs.back();
    if (!folder.isValid()) {
        showWarning(this, tr("Error"), folder.errorString());
        return;
    }
    ExtractOptions request;
    request.archivePath = model->getArchiveName();
    request.itemIndexes = {model->getInArchiveIndex(row)};
    request.targetDirectory = folder.path();
    request.pathMode = EPM_RELATIVE_PATHS;
    request.removeDuplicatesRoot = false;
    m_fileToOpen = model->extractedPath(folder.path(), row);
    if (!QFileInfo::exists(m_fileToOpen)) {
        ArchiveProgressDlg progress(this);
        progress.doExtract(request);
        if (progress.failed())
            return;
    }
    if (!m_fileToOpen.isEmpty() && QFileInfo::exists(m_fileToOpen))
        QDesktopServices::openUrl(QUrl::fromLocalFile(m_fileToOpen));
}

void MainWindow::doAddToArchive()
{
    const int panel = m_currentPanel;
    const QStringList files = selectedFiles(panel);
    if (isArchiveShown(panel) || files.isEmpty())
        return;
    CompressOptions request;
    request.files = files;
    request.baseDirectory = currentPath(panel);
    request.archivePath = getSuggestedArchivePath(files, getSuggestedPath());
    bool failed = false;
    if (guiCompress(request, false, true, &failed) && !failed)
        m_refreshTimer.start();
    refreshArchiveModels();
}

ExtractOptions MainWindow::selectionExtractRequest(int panel) const
{
    ExtractOptions request;
    const CArchiveDataModel* model = archiveModel(panel);
    request.archivePath = model->getArchiveName();
    request.itemIndexes = model->getInArchiveIndexesWithSubdir(selectedRows(panel));
    // Entries land relative to the folder the panel shows.
    request.subPath = model->getCurrentDir();
    return request;
}

void MainWindow::doExtract()
{
    const int panel = m_currentPanel;
    ExtractOptions request;
    if (isArchiveShown(panel)) {
        request = selectionExtractRequest(panel);
    } else {
        const QStringList files = selectedFiles(panel);
        if (files.isEmpty())
            return;
        request.archivePath = files.first();
    }
    request.targetDirectory = getSuggestedPath();
    guiExtract(request, true);
}

void MainWindow::doExtractHere()
{
    const int panel = m_currentPanel;
    ExtractOptions request;
    if (isArchiveShown(panel)) {
        // Inside an archive "here" is the folder that holds it.
        request = selectionExtractRequest(panel);
        request.targetDirectory = QFileInfo(request.archivePath).absolutePath();
    } else {
        const QStringList files = selectedFiles(panel);
        if (files.size() != 1)
            return;
        request.archivePath = files.first();
        request.targetDirectory = currentPath(panel);
    }
    guiExtract(request, false);
}

void MainWindow::doExtractToDirectory()
{
    const QStringList files = selectedFiles(m_currentPanel);
    if (isArchiveShown(m_currentPanel) || files.size() != 1)
        return;
    ExtractOptions request;
    request.archivePath = files.first();
    request.targetDirectory = suggestDirectoryToExtract();
    guiExtract(request, false);
}

void MainWindow::doAddToCurrentArchive(bool isFolderMode)
{
    const int panel = m_currentPanel;
    CArchiveDataModel* model = archiveModel(panel);
    if (!isArchiveShown(panel) || !model->isArchiveUpdateSupported())
        return;
    const QString archive = model->getArchiveName();
    QFileDialog dialog(this, isFolderMode ? tr("Add Directory") : tr("Add file(s)"), QFileInfo(archive).path());
    dialog.setFileMode(isFolderMode ? QFileDialog::Directory : QFileDialog::ExistingFiles);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QStringList files = dialog.selectedFiles();
    CompressOptions request = archiveChangeRequest(archive);
    request.files = files;
    request.archiveFolder = model->getCurrentDir();
    request.baseDirectory = commonFolder(files);
    request.addToExisting = true;
    if (isFolderMode)
        request.sourceBaseDirectory = request.baseDirectory;
    runArchiveChange(request);
    selectArchiveEntry(panel, QFileInfo(files.first()).fileName());
}

void MainWindow::addFilesToArchive(const QString& archivePath, const QString& archiveFolder,
                                   const QStringList& filesToAdd, bool shouldClearTheSoure)
{
    if (filesToAdd.isEmpty())
        return;
    CompressOptions request = archiveChangeRequest(archivePath);
    request.archiveFolder = archiveFolder;
    request.files = filesToAdd;
    request.shouldClearTheSoure = shouldClearTheSoure;
    // Dropped files may come from several folders: each keeps its path
    // below the folder they share.
    request.baseDirectory = commonFolder(filesToAdd);
    request.addToExisting = true;
    runArchiveChange(request);
}

// --- Deleting -------------------------------------------------------------------------

void MainWindow::doDelete(bool isToRecycleBin)
{
    if (isToRecycleBin)
        isToRecycleBin = CSettings::getBoolValue(QStringLiteral("RecycleBin"));
    const int panel = m_currentPanel;
    const QModelIndexList rows = selectedRows(panel);
    if (!rows.isEmpty()) {
        if (!isArchiveShown(panel)) {
            deleteFiles(panel, isToRecycleBin);
        } else if (archiveModel(panel)->isArchiveUpdateSupported()) {
            // Entries go without a question: the archive is written anew
            // beside itself, and a failure leaves it as it was.
            CompressOptions request = archiveChangeRequest(archiveModel(panel)->getArchiveName());
            request.itemsToDelete = archiveModel(panel)->getInArchiveIndexesWithSubdir(rows);
            runArchiveChange(request);
        }
    }
    refreshMenuItems(panel);
}

void MainWindow::deleteFiles(int panel, bool toTrash)
{
    const QStringList paths = selectedFiles(panel);
    // The top level lists the file system's root, which no key may reach.
    if (paths.isEmpty() || !view(panel)->rootIndex().isValid() ||
        std::any_of(paths.begin(), paths.end(), [this](const QString& path) { return isRootPath(path); }))
        return;
    const QString what = paths.size() == 1 ? QFileInfo(paths.first()).fileName() : tr("%n item(s)", nullptr, int(paths.size()));
    if (QMessageBox::question(this, tr("Delete"), tr("Are you sure you want to delete ") + what + QStringLiteral(" ?"),
                              QMessageBox::Yes | QMessageBox::No) != QMessageBox::Yes)
        return;
    view(panel)->clearSelection();
    // The panel lets go of the folder while its entries disappear.
    setFileSystemRefreshEnabled(panel, false);
    DeleteProgressDialog dialog(paths, toTrash, this);
    dialog.exec();
    setFileSystemRefreshEnabled(panel, true);
    dialog.showFailures(this);
}

// --- Copying and moving ------------------------------------------------------------------

void MainWindow::doCopy()
{
    if (!isArchiveShown(m_currentPanel))
        CopyTo(false, true, {}, QString());
}

void MainWindow::doMove()
{
    if (!isArchiveShown(m_currentPanel))
        CopyTo(true, true, {}, QString());
}

void MainWindow::CopyTo(bool isMove, bool withDialog, const QStringList& files, const QString& destination)
{
    QStringList sources = files;
    QString target = destination;
    if (sources.isEmpty()) {
        sources = selectedFiles(m_currentPanel);
        target = getSuggestedPath();
        if (target.isEmpty())
            target = currentPath(m_currentPanel);
    }
    if (sources.isEmpty())
        return;
    if (withDialog) {
        CopyDialog dialog(target, isMove ? FM_MOVE : FM_COPY, this);
        if (dialog.exec() != QDialog::Accepted)
            return;
        target = dialog.getDestinationPath();
    }
    if (!canCopy(sources, target))
        return;
    // The dialog deletes itself when it closes.
    auto* progress = new CopyProgressDialog(sources, target, this, isMove);
    progress->exec();
}

void MainWindow::copyFiles(const QStringList& filesToCopy, const QString& destinationPath)
{
    CopyTo(false, false, filesToCopy, destinationPath);
    clearArchiveModels();
}

void MainWindow::moveFiles(const QStringList& files, const QString& destinationPath)
{
    CopyTo(true, false, files, destinationPath);
    clearArchiveModels();
}

bool MainWindow::canCopy(const QStringList& files, const QString& destination)
{
    const QString refusal = copyRefusal(files, destination);
    if (!refusal.isEmpty())
        showWarning(this, tr("Error"), refusal);
    return refusal.isEmpty();
}

// --- New folders and renames ----------------------------------------------------------------

void MainWindow::doCreateDir()
{
    const int panel = m_currentPanel;
    setCustomIsFolderRenamed(view(panel), true);
    if (isArchiveShown(panel)) {
        createFolderInArchive(panel);
        return;
    }
    const QString folder = currentPath(panel);
    if (folder.isEmpty() || isRootPath(folder))
        return;
    createFolder(getRenameFileName(folder + QLatin1Char('/') + tr("New folder"), QStringLiteral(" (%1)"), true));
}

void MainWindow::createFolderInArchive(int panel)
{
    CArchiveDataModel* model = archiveModel(panel);
    if (!model->isArchiveUpdateSupported())
        return;
    const QString proposal = tr("New folder");
    QString name = proposal;
    for (int i = 1; i <= 999 && model->itemExists(name); ++i)
        name = proposal + QStringLiteral(" (%1)").arg(i);
    NewFolderDialog dialog(name, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    name = dialog.getNewFolderName();
    if (!isValidArchiveEntryName(name)) {
        showInvalidFileNameMessage(this, name);
        return;
    }
    if (model->itemExists(name)) {
        showNameTaken(this, name);
        return;
    }

    // The folder is added from a private staging folder, removed again
    // when this returns.
    const std::unique_ptr<QTemporaryDir> staging = privateTemporaryDir();
    const QString entry = archiveRowPath(model->getCurrentDir(), name);
    const QString created = staging->path() + QLatin1Char('/') + entry;
    if (!staging->isValid() || !QDir().mkpath(created)) {
        showWarning(this, tr("Error"),
                    staging->isValid() ? tr("Cannot create folder %1").arg(created) : staging->errorString());
        return;
    }
    CompressOptions request = archiveChangeRequest(model->getArchiveName());
    request.files = QStringList{created};
    request.baseDirectory = staging->path();
    request.addToExisting = true;
    runArchiveChange(request);
    selectArchiveEntry(panel, name);
}

void MainWindow::createFolder(const QString& newFolderName)
{
    const int panel = m_currentPanel;
    QString path = newFolderName;
    normalizeFilePath(path);
    clearAnswers();
    for (;;) {
        m_newFolderPath = path;
        if (createFolderGeneric(path)) {
            refreshFileTree(panel);
            break;
        }
        m_newFolderPath.clear();
        clearAnswers();
        ConflictDialog dialog(this);
        dialog.setAccessDeniedException(path, true, false);
        if (dialog.exec() != QDialog::Accepted)
            break;
        if (UserActions::isChosen(UA_AS_ADMIN)) {
            CSettings::setElevated(true);
            if (UserActions::isChosen(UA_SKIP))
                break;
        } else if (UserActions::isChosen(UA_SKIP)) {
            break;
        }
    }
    m_newFolderPath.clear();
    UserActions::reset();
}

void MainWindow::doRename()
{
    const int panel = m_currentPanel;
    if (isArchiveShown(panel) && !archiveModel(panel)->isArchiveUpdateSupported())
        return;
    const QModelIndexList rows = selectedRows(panel);
    if (rows.size() != 1)
        return;
    FileTreeView* tree = view(panel);
    tree->scrollTo(rows.first());
    tree->edit(rows.first());
    setCustomEditIndex(tree, rows.first());
}

void MainWindow::renameItem(const QString& oldPath, const QString& newFileName)
{
    if (oldPath == newFileName)
        return;
    const QString folder = QFileInfo(oldPath).path();
    QString name = newFileName.startsWith(folder) ? newFileName.mid(folder.size()) : newFileName;
    chopFirstCharIfSlash(name);
    const bool sameEntry = QFileInfo(oldPath).canonicalFilePath() == QFileInfo(newFileName).canonicalFilePath();
    // A name with a "/" would move the entry to another folder.
    if (QFileInfo(newFileName).path() != folder)
        showInvalidFileNameMessage(this, name);
    // Renaming onto another entry would replace it without a word.
    else if (isPathTaken(newFileName) && !sameEntry)
        showNameTaken(this, name);
    else if (!renameFileGeneric(oldPath, newFileName))
        showInvalidFileNameMessage(this, name);
    UserActions::reset();
}

void MainWindow::doSettings()
{
    // What the archive panels show depends on these.
    const QStringList keys = {QStringLiteral("ListHiddenItems"), QStringLiteral("ArchiveHiddenItems"),
                              QStringLiteral("DefaultLanguage")};
    QVariantList before;
    for (const QString& key : keys)
        before << CSettings::getValue(key);

    SettingsDialog dialog(this);
    dialog.exec();

    for (int panel = 0; panel < 2; ++panel)
        fileModel(panel)->reloadFilters();
    for (int i = 0; i < keys.size(); ++i) {
        if (CSettings::getValue(keys.at(i)) != before.at(i)) {
            refreshArchiveModels();
            break;
        }
    }
}
