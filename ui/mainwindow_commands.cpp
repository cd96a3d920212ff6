// The commands the main window runs on the selection. Their work (archive
// operations, copies, moves, deletions, renames, new folders) is wired here
// and carried out by the command layer.
#include "ui/mainwindow.h"

#include "app/settings.h"
#include "ui/FileSystemModel.h"
#include "ui/settingsdialog.h"

#include <QDebug>

namespace {

void notYetAvailable(const char* command)
{
    qDebug() << "command not yet available:" << command;
}

} // namespace

void MainWindow::doOpen(const QString& fileName)
{
    Q_UNUSED(fileName)
    notYetAvailable("open an archive entry");
}

void MainWindow::doAddToArchive()
{
    notYetAvailable("add to archive");
}

void MainWindow::doExtract()
{
    notYetAvailable("extract");
}

void MainWindow::doExtractHere()
{
    notYetAvailable("extract here");
}

void MainWindow::doExtractToDirectory()
{
    notYetAvailable("extract to a folder");
}

void MainWindow::doAddToCurrentArchive(bool isFolderMode)
{
    Q_UNUSED(isFolderMode)
    notYetAvailable("add to the archive shown");
}

void MainWindow::addFilesToArchive(const QString& archivePath, const QString& archiveFolder,
                                   const QStringList& filesToAdd, bool shouldClearTheSoure)
{
    Q_UNUSED(archivePath)
    Q_UNUSED(archiveFolder)
    Q_UNUSED(filesToAdd)
    Q_UNUSED(shouldClearTheSoure)
    notYetAvailable("add dropped files to an archive");
}

void MainWindow::doDelete(bool isToRecycleBin)
{
    Q_UNUSED(isToRecycleBin)
    notYetAvailable("delete");
}

void MainWindow::doRename()
{
    notYetAvailable("rename");
}

void MainWindow::doCreateDir()
{
    notYetAvailable("create a folder");
}

void MainWindow::createFolder(const QString& newFolderName)
{
    Q_UNUSED(newFolderName)
    notYetAvailable("create a folder");
}

void MainWindow::renameItem(const QString& oldPath, const QString& newFileName)
{
    Q_UNUSED(oldPath)
    Q_UNUSED(newFileName)
    notYetAvailable("rename a file");
}

void MainWindow::doCopy()
{
    notYetAvailable("copy");
}

void MainWindow::doMove()
{
    notYetAvailable("move");
}

void MainWindow::CopyTo(bool isMove, bool withDialog, const QStringList& files, const QString& destination)
{
    Q_UNUSED(isMove)
    Q_UNUSED(withDialog)
    Q_UNUSED(files)
    Q_UNUSED(destination)
    notYetAvailable("copy or move");
}

void MainWindow::copyFiles(const QStringList& filesToCopy, const QString& destinationPath)
{
    Q_UNUSED(filesToCopy)
    Q_UNUSED(destinationPath)
    notYetAvailable("copy dropped files");
}

void MainWindow::moveFiles(const QStringList& files, const QString& destinationPath)
{
    Q_UNUSED(files)
    Q_UNUSED(destinationPath)
    notYetAvailable("move dropped files");
}

bool MainWindow::canCopy(const QStringList& files, const QString& destination)
{
    Q_UNUSED(files)
    Q_UNUSED(destination)
    notYetAvailable("check a copy");
    return false;
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
