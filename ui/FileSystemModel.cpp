#include "ui/FileSystemModel.h"

#include "app/settings.h"
#include "fileops/FileNameCodec.h"
#include "fileops/utils.h"
#include "ui/mainwindow.h"

#include <QDir>
#include <QImage>
#include <QLocale>
#include <QMimeData>
#include <QUrl>

QString panelTimeText(const QDateTime& time)
{
    return QLocale::system().toString(time, QLocale::ShortFormat);
}

FileSystemModel::FileSystemModel(QObject* parent)
    : QFileSystemModel(parent)
{
    reloadFilters();
}

QModelIndex FileSystemModel::setRootPath(const QString& path)
{
    m_rootPath = path;
    return QFileSystemModel::setRootPath(path);
}

void FileSystemModel::reloadFilters()
{
    QDir::Filters current = filter();
    enableFileSystemHideFilters(current, CSettings::getBoolValue(QStringLiteral("ListHiddenItems")));
    // Folders are listed either way; "." and ".." never.
    setFilter(current | QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot | QDir::Drives);
}

Qt::ItemFlags FileSystemModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags result = QFileSystemModel::flags(index);
    if (index.isValid() && QFileSystemModel::fileInfo(index).isRoot())
        result &= ~Qt::ItemIsEditable;
    return result;
}

QVariant FileSystemModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return QFileSystemModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole) {
        switch (section) {
        case 0:
            return tr("Name");
        case 1:
            return tr("Size");
        case 3:
            return tr("Date modified");
        default:
            return QString();
        }
    }
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    if (role == Qt::DecorationRole && section == 0) {
        QImage blank(16, 1, QImage::Format_ARGB32);
        blank.fill(Qt::transparent);
        return blank;
    }
    return QVariant();
}

QVariant FileSystemModel::data(const QModelIndex& index, int role) const
{
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    if (!index.isValid())
        return QFileSystemModel::data(index, role);
    if (index.column() == 0 && (role == Qt::DisplayRole || role == Qt::EditRole)) {
        const QFileInfo info = QFileSystemModel::fileInfo(index);
        if (role == Qt::DisplayRole) {
            const QString special = getSpecialFolderName(info.absoluteFilePath());
            if (!special.isEmpty())
                return special;
        }
        const QString name = info.isSymLink() ? info.fileName() : QFileSystemModel::data(index, role).toString();
        // Editing starts from the real name, so that a rename keeps the
        // bytes that are no UTF-8.
        return role == Qt::DisplayRole ? readableFileName(name) : name;
    }
    if (index.column() == 1 && role == Qt::DisplayRole) {
        const QFileInfo info = QFileSystemModel::fileInfo(index);
        if (!info.isFile())
            return QString();
        QString size = QLocale().formattedDataSize(info.size(), 2, QLocale::DataSizeIecFormat);
        normalizeDataSize(size);
        return size;
    }
    if (index.column() == 3 && role == Qt::DisplayRole)
        return panelTimeText(lastModified(index));
    return QFileSystemModel::data(index, role);
}

bool FileSystemModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || index.column() != 0 || role != Qt::EditRole)
        return QFileSystemModel::setData(index, value, role);
    // An empty name is no rename: the view clears the cells of the rows it
    // dragged away with a move, and that must not reach the file.
    if (value.toString().isEmpty())
        return false;
    QString oldPath = filePath(index);
    if (!getSpecialFolderName(oldPath).isEmpty())
        return true;
    QString newPath = QFileInfo(oldPath).path() + QLatin1Char('/') + value.toString();
    oldPath = QDir::cleanPath(oldPath);
    newPath = QDir::cleanPath(newPath);
    emit renameItem(oldPath, newPath);
    return true;
}

bool FileSystemModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                   const QModelIndex& parent)
{
    Q_UNUSED(row)
    Q_UNUSED(column)
    if (!parent.isValid() || isReadOnly() || !data)
        return false;
    const QString target = QDir::cleanPath(filePath(parent));
    const QList<QUrl> urls = data->urls();
    if (urls.isEmpty())
        return false;
    const QString first = urls.first().toLocalFile();
    if (QDir::cleanPath(QFileInfo(first).path()) == target) {
        emit transferError(first);
        return false;
    }
    const qint64 now = unixTimeStamp();
    if (now - MainWindow::lastDragCancelationTime() < 500)
        return false;
    QStringList files;
    for (const QUrl& url : urls) {
        if (url.isLocalFile())
            files << url.toLocalFile();
    }
    const QString destination = target.endsWith(QLatin1Char('/')) ? target : target + QLatin1Char('/');
    switch (action) {
    case Qt::MoveAction:
        emit moveFiles(files, destination);
        return true;
    case Qt::CopyAction:
        // Files extracted from an archive panel for this very drop are
        // temporary: they are moved rather than copied.
        if (now - MainWindow::lastDragExtractionTime() > 499)
            emit copyFiles(files, destination);
        else
            emit moveFiles(files, destination);
        return true;
    case Qt::LinkAction:
        return true;
    default:
        return false;
    }
}
