#include "ui/archivedatamodel.h"

#include "engine/ArchiveProgressDlg.h"
#include "engine/ExtractPathGuard.h"
#include "engine/filearchive.h"
#include "engine/guiutils.h"
#include "fileops/FileNameCodec.h"
#include "fileops/utils.h"
#include "ui/FileSystemModel.h"
#include "ui/MimeData.h"
#include "ui/mainwindow.h"

#include <QCollator>
#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QMimeDatabase>
#include <QRegularExpression>

#include <algorithm>
#include <cstdlib>

qint64 CArchiveDataModel::m_timeDataDroppedIn = 0;
QString CArchiveDataModel::m_archiveFolderDataDroppedIn;
QString CArchiveDataModel::m_archivePathDataDroppedIn;

namespace {

QString cleanFolder(QString dir)
{
    if (dir == QLatin1String("."))
        return QString();
    return ExtractPathGuard::cleanRelativePath(dir);
}

QIcon iconForName(const QString& name, bool isDir)
{
    static QFileIconProvider provider;
    if (isDir)
        return provider.icon(QFileIconProvider::Folder);
    // By the name only: the entry is not on the disk, and a file of the
    // same name in the working folder must not decide.
    static QHash<QString, QIcon> bySuffix;
    const QString suffix = QFileInfo(name).suffix().toLower();
    auto found = bySuffix.find(suffix);
    if (found == bySuffix.end()) {
        static QMimeDatabase database;
        const QMimeType type = database.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
        QIcon icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName()));
        if (icon.isNull())
            icon = provider.icon(QFileIconProvider::File);
        found = bySuffix.insert(suffix, icon);
    }
    return found.value();
}

} // namespace

CompressOptions archiveChangeRequest(const QString& archivePath)
{
    CompressOptions request;
    request.archivePath = archivePath;
    if (isQvExtension(archivePath))
        request.format = ZF_QV;
    return request;
}

bool isValidArchiveEntryName(const QString& name)
{
    static const QRegularExpression forbidden(QStringLiteral("[\\\\/*:?\"<>|]"));
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") && !name.contains(forbidden);
}

CArchiveDataModel::CArchiveDataModel(QObject* parent)
    : QAbstractTableModel(parent)
    , m_archive(new FileArchive())
{
}

CArchiveDataModel::~CArchiveDataModel()
{
    clearTemporaryData();
}

void CArchiveDataModel::setBusy(bool busy) const
{
    if (!MainWindow::isMainDialogUsed())
        return;
    if (busy)
        MainWindow::getInstance()->setStartedLongOperation();
    else
        MainWindow::getInstance()->setEndedLongOperation();
}

const ArchiveItemInfo& CArchiveDataModel::itemOf(const Row& row) const
{
    return m_archive->archiveItems().at(row.position);
}

// --- Opening and navigation ----------------------------------------------------

bool CArchiveDataModel::openArchive(const QString& archivePath, const QString& innerPath)
{
    setBusy(true);
    beginResetModel();
    m_rows.clear();
    m_index.clear();
    m_archive.reset(new FileArchive());
    m_lastError.clear();
    connect(m_archive.get(), &FileArchive::progressError, this, [this](const QString& message) {
        if (m_lastError.isEmpty())
            m_lastError = message;
    });
    const bool opened = m_archive->openArchive(archivePath);
    m_index.build(m_archive->archiveItems());
    endResetModel();
    setBusy(false);

    // A folder of the archive (listed or only implied), or a file in one.
    QString dir = cleanFolder(innerPath);
    QString file;
    if (m_index.findFolder(dir) < 0) {
        const int slash = dir.lastIndexOf(QLatin1Char('/'));
        const QString folder = slash < 0 ? QString() : dir.left(slash);
        const QString name = dir.mid(slash + 1);
        dir.clear();
        const int folderNode = m_index.findFolder(folder);
        const QVector<ArchiveFolderIndex::Row> rows = m_index.rows(folderNode);
        for (const ArchiveFolderIndex::Row& row : rows) {
            if (!row.isDir && row.name.compare(name, Qt::CaseInsensitive) == 0) {
                dir = folder;
                file = row.name;
                break;
            }
        }
    }
    m_archivePath = archivePath;
    m_updateSupported = isArchiveUpdateSupported();
    setCurrentDir(dir);
    if (!file.isEmpty() && MainWindow::isMainDialogUsed())
        MainWindow::getInstance()->doOpen(file);
    QCoreApplication::processEvents();
    return opened;
}

void CArchiveDataModel::refresh()
{
    if (m_archivePath.isEmpty())
        return;
    const QString kept = m_currentDir;
    openArchive(m_archivePath, QString());
    setCurrentDir(kept);
}

QString CArchiveDataModel::getArchiveName() const
{
    return m_archive->getArchiveFileName();
}

void CArchiveDataModel::setCurrentDir(const QString& dir)
{
    if (!dir.isEmpty() && dir != QLatin1String(".")) {
        for (const Row& row : m_rows) {
            if (!row.isDir && row.name == dir)
                return;
        }
    }
    setBusy(true);
    beginResetModel();
    refreshArchiveItems(dir);
    endResetModel();
    sort(m_sortColumn, m_sortOrder);
    setBusy(false);
}

void CArchiveDataModel::setCurrentDir(const QModelIndex& index)
{
    if (isCurrentArchiveIndexValid(index.row()))
        setCurrentDir(archiveRowPath(m_currentDir, m_rows[size_t(index.row())].name));
}

void CArchiveDataModel::goLevelUp()
{
    const int slash = m_currentDir.lastIndexOf(QLatin1Char('/'));
    setCurrentDir(slash < 0 ? QString() : m_currentDir.left(slash));
}

void CArchiveDataModel::refreshArchiveItems(const QString& dir)
{
    m_currentDir = cleanFolder(dir);
    const QVector<Row> rows = m_index.rows(m_index.findFolder(m_currentDir));
    m_rows.assign(rows.begin(), rows.end());
}

void CArchiveDataModel::clearArchiveItems()
{
    beginResetModel();
    m_rows.clear();
    m_index.clear();
    m_archive->clearArchiveItems();
    endResetModel();
}

// --- Row queries -------------------------------------------------------------

bool CArchiveDataModel::isCurrentArchiveIndexValid(int row) const
{
    return row >= 0 && row < int(m_rows.size());
}

bool CArchiveDataModel::isDir(const QModelIndex& index) const
{
    return index.isValid() && isCurrentArchiveIndexValid(index.row()) && m_rows[size_t(index.row())].isDir;
}

bool CArchiveDataModel::itemExists(const QString& name) const
{
    return std::any_of(m_rows.begin(), m_rows.end(), [&](const Row& row) { return row.name == name; });
}

int CArchiveDataModel::getIndexHavingFileName(const QString& name) const
{
    for (size_t i = 0; i < m_rows.size(); ++i) {
        if (m_rows[i].name == name)
            return int(i);
    }
    return 0;
}

int CArchiveDataModel::getInArchiveIndex(int row) const
{
    return isCurrentArchiveIndexValid(row) ? int(itemOf(m_rows[size_t(row)]).index) : 0;
}

int CArchiveDataModel::getInArchiveIndex(const QModelIndex& index) const
{
    return index.isValid() ? getInArchiveIndex(index.row()) : 0;
}

QString CArchiveDataModel::getInArchiveName(const QModelIndex& index) const
{
    return index.isValid() && isCurrentArchiveIndexValid(index.row()) ? m_rows[size_t(index.row())].name : QString();
}

ArchiveItemInfo CArchiveDataModel::rowInfo(int row) const
{
    ArchiveItemInfo info;
    if (!isCurrentArchiveIndexValid(row))
        return info;
    const Row& entry = m_rows[size_t(row)];
    const ArchiveItemInfo& item = itemOf(entry);
    info.name = entry.name;
    info.filePath = archiveRowPath(m_currentDir, entry.name);
    info.size = item.size;
    info.modified = item.modified;
    info.index = item.index;
    info.isDir = entry.isDir;
    return info;
}

QString CArchiveDataModel::extractedPath(const QString& folder, int row) const
{
    if (!isCurrentArchiveIndexValid(row))
        return QString();
    ExtractOptions layout;
    layout.pathMode = EPM_RELATIVE_PATHS;
    const QString path = archiveRowPath(m_currentDir, m_rows[size_t(row)].name);
    return folder + QLatin1Char('/') +
           ExtractPathGuard::cleanRelativePath(ExtractPathGuard::relativeOutputPath(layout, path));
}

QList<int> CArchiveDataModel::getInArchiveIndexesWithSubdir(const QList<QModelIndex>& indexes) const
{
    return collectWithSubdir(indexes, nullptr);
}

QList<int> CArchiveDataModel::collectWithSubdir(const QList<QModelIndex>& indexes, QStringList* paths) const
{
    QList<int> result;
    const QList<ArchiveItemInfo>& items = m_archive->archiveItems();
    for (const QModelIndex& index : indexes) {
        if (index.column() != 0 || !isCurrentArchiveIndexValid(index.row()))
            continue;
        for (int position : m_index.positionsAtOrBelow(m_currentDir, m_rows[size_t(index.row())])) {
            result << int(items.at(position).index);
            if (paths)
                *paths << items.at(position).name;
        }
    }
    return result;
}

bool CArchiveDataModel::isArchiveUpdateSupported() const
{
    static const char* const readOnly[] = {".xz", ".gz", ".bz2", ".xz.001", ".gz.001", ".bz2.001", ".rar"};
    for (const char* ending : readOnly) {
        if (m_archivePath.endsWith(QLatin1String(ending), Qt::CaseInsensitive))
            return false;
    }
    return true;
}

// --- Model interface -------------------------------------------------------------

int CArchiveDataModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int CArchiveDataModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 4;
}

QVariant CArchiveDataModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !isCurrentArchiveIndexValid(index.row()))
        return QVariant();
    const Row& row = m_rows[size_t(index.row())];
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        const ArchiveItemInfo& item = itemOf(row);
        switch (index.column()) {
        case 1: {
            if (row.isDir)
                return QString();
            QString size = QLocale().formattedDataSize(qint64(item.size), 2, QLocale::DataSizeIecFormat);
            normalizeDataSize(size);
            return size;
        }
        case 3:
            return row.isDir ? QString() : panelTimeText(item.modified);
        default:
            return role == Qt::DisplayRole ? readableFileName(row.name) : row.name;
        }
    }
    if (role == Qt::DecorationRole && index.column() == 0)
        return iconForName(row.name, row.isDir);
    return QVariant();
}

QVariant CArchiveDataModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return QAbstractTableModel::headerData(section, orientation, role);
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

Qt::ItemFlags CArchiveDataModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags result = Qt::ItemIsDragEnabled;
    if (m_updateSupported)
        result |= Qt::ItemIsDropEnabled;
    if (index.isValid()) {
        result |= QAbstractTableModel::flags(index);
        if (m_updateSupported && index.column() == 0)
            result |= Qt::ItemIsEditable;
    }
    return result;
}

bool CArchiveDataModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    Q_UNUSED(role)
    if (!m_updateSupported || !index.isValid() || index.column() != 0 || !isCurrentArchiveIndexValid(index.row()))
        return false;
    const Row& row = m_rows[size_t(index.row())];
    const QString newName = value.toString();
    if (newName == row.name || newName.isEmpty())
        return false;
    if (!isValidArchiveEntryName(newName)) {
        showInvalidFileNameMessage(nullptr, newName);
        refresh();
        return false;
    }
    // A folder is renamed through its own entry, which carries everything
    // below it along. One the archive only implies has none: renaming the
    // first file found inside it instead would be wrong.
    const QString path = archiveRowPath(m_currentDir, row.name);
    int entry = -1;
    const QList<ArchiveItemInfo>& items = m_archive->archiveItems();
    if (!row.isDir || items.at(row.position).name == path) {
        entry = row.position;
    } else {
        for (int position : row.sameName) {
            if (items.at(position).name == path)
                entry = position;
        }
    }
    if (entry < 0) {
        showWarning(nullptr, tr("Error"),
                    tr("The folder \"%1\" has no entry of its own in the archive and cannot be renamed.").arg(path));
        return false;
    }
    CompressOptions options = archiveChangeRequest(m_archivePath);
    options.itemToRename = items.at(entry).index;
    options.newItemName = newName;
    ArchiveProgressDlg progress;
    progress.doCompress(options);
    refresh();
    return false;
}

void CArchiveDataModel::sort(int column, Qt::SortOrder order)
{
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    QVector<int> oldRows;
    for (const QModelIndex& index : before)
        oldRows << index.row();
    m_sortColumn = column;
    m_sortOrder = order;

    std::vector<size_t> order_(m_rows.size());
    for (size_t i = 0; i < order_.size(); ++i)
        order_[i] = i;
    std::vector<QCollatorSortKey> keys;
    if (column == 0) {
        QCollator collator{QLocale()};
        collator.setNumericMode(true);
        keys.reserve(m_rows.size());
        for (const Row& row : m_rows)
            keys.push_back(collator.sortKey(row.name));
    }
    const auto ascending = [&](size_t a, size_t b) {
        const Row& left = m_rows[a];
        const Row& right = m_rows[b];
        switch (column) {
        case 0:
            if (left.isDir != right.isDir)
                return left.isDir;
            if (left.name == right.name)
                return false;
            return keys[a].compare(keys[b]) < 0;
        case 1:
            return itemOf(left).size < itemOf(right).size;
        case 3:
            return itemOf(left).modified < itemOf(right).modified;
        default:
            return false;
        }
    };
    // Descending is the same order turned round; equal rows stay as they are.
    std::stable_sort(order_.begin(), order_.end(), [&](size_t a, size_t b) {
        return order == Qt::AscendingOrder ? ascending(a, b) : ascending(b, a);
    });

    std::vector<Row> sorted;
    sorted.reserve(m_rows.size());
    std::vector<int> newRowOf(m_rows.size());
    for (size_t i = 0; i < order_.size(); ++i) {
        sorted.push_back(std::move(m_rows[order_[i]]));
        newRowOf[order_[i]] = int(i);
    }
    m_rows.swap(sorted);
    QModelIndexList after;
    for (int i = 0; i < before.size(); ++i) {
        const QModelIndex& old = before.at(i);
        after << (old.row() >= 0 && old.row() < int(newRowOf.size()) ? index(newRowOf[size_t(old.row())], old.column())
                                                                      : QModelIndex());
    }
    changePersistentIndexList(before, after);
    emit layoutChanged();
}

// --- Drag and drop -------------------------------------------------------------

QStringList CArchiveDataModel::mimeTypes() const
{
    return {QStringLiteral("text/uri-list")};
}

Qt::DropActions CArchiveDataModel::supportedDropActions() const
{
    return Qt::CopyAction | Qt::MoveAction;
}

bool CArchiveDataModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                     const QModelIndex& parent)
{
    Q_UNUSED(row)
    Q_UNUSED(column)
    const bool ontoFolder = isDir(parent);
    if (m_ownDrag && !ontoFolder) {
        m_ownDrag = false;
        return false;
    }
    if (!m_updateSupported)
        return false;
    QString folder = m_currentDir;
    if (ontoFolder)
        folder = archiveRowPath(m_currentDir, m_rows[size_t(parent.row())].name);

    m_archivePathDataDroppedIn = getArchiveName();
    m_archiveFolderDataDroppedIn = folder;
    m_timeDataDroppedIn = unixTimeStamp();

    if (!data || !data->hasUrls())
        return false;
    if (action == Qt::LinkAction)
        return true;
    if (action != Qt::MoveAction && action != Qt::CopyAction)
        return false;
    QStringList files;
    const QList<QUrl> urls = data->urls();
    for (const QUrl& url : urls) {
        const QString file = url.toLocalFile();
        if (!file.isEmpty() && QFileInfo::exists(file))
            files << file;
    }
    emit addToArchive(getArchiveName(), folder, files, action == Qt::MoveAction);
    return true;
}

QMimeData* CArchiveDataModel::mimeData(const QModelIndexList& indexes) const
{
    m_dragPaths.clear();
    m_dragIndexes = collectWithSubdir(indexes, &m_dragPaths);

    // A fresh private folder per drag: a name another user could guess and
    // plant first, or that a second drag in the same second would share,
    // must not receive the entries.
    const_cast<CArchiveDataModel*>(this)->clearTemporaryData();
    QByteArray pattern = QFile::encodeName(QDir::tempPath() + QStringLiteral("/Quenvar_XXXXXX"));
    if (!mkdtemp(pattern.data())) {
        qWarning().noquote() << "cannot create a folder for the drag:" << QString::fromLocal8Bit(strerror(errno));
        return nullptr;
    }
    m_dragFolder = QFile::decodeName(pattern);
    m_dragServed = false;
    m_ownDrag = true;

    m_dragUrls.clear();
    for (const QModelIndex& index : indexes) {
        if (index.column() == 0 && isCurrentArchiveIndexValid(index.row()))
            m_dragUrls << QUrl::fromLocalFile(extractedPath(m_dragFolder, index.row()));
    }

    auto* data = new MimeData();
    data->setUrls(m_dragUrls);
    connect(data, &MimeData::dataRequested, const_cast<CArchiveDataModel*>(this), &CArchiveDataModel::createData,
            Qt::DirectConnection);
    m_currentDragData = data;
    return data;
}

void CArchiveDataModel::createData(const QString& mimeType)
{
    m_ownDrag = false;
    if (mimeType != QLatin1String("text/uri-list"))
        return;
    const qint64 now = unixTimeStamp();
    if (m_dragServed || m_dragFolder.isEmpty() || now - m_lastDragCancelationTime <= 499)
        return;

    // Dropped back into the folder the entries came from, or below one of
    // them: there is nothing to extract.
    const QString archive = QString(getArchiveName()).replace(QLatin1Char('\\'), QLatin1Char('/'));
    const QString dropArchive = QString(m_archivePathDataDroppedIn).replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (archive == dropArchive && now - m_timeDataDroppedIn <= 499) {
        for (const QString& path : qAsConst(m_dragPaths)) {
            const int slash = path.lastIndexOf(QLatin1Char('/'));
            const QString folder = slash < 0 ? QString() : path.left(slash);
            if (folder == m_archiveFolderDataDroppedIn || m_archiveFolderDataDroppedIn == path ||
                m_archiveFolderDataDroppedIn.startsWith(path + QLatin1Char('/'))) {
                m_dragServed = true;
                return;
            }
        }
    }

    m_dragServed = true;
    ExtractOptions request;
    request.archivePath = getArchiveName();
    request.itemIndexes = m_dragIndexes;
    request.targetDirectory = m_dragFolder;
    request.pathMode = EPM_RELATIVE_PATHS;
    request.removeDuplicatesRoot = false;
    if (!guiExtract(request, false)) {
        m_lastDragCancelationTime = unixTimeStamp();
        QDir(m_dragFolder).removeRecursively();
    }
    m_lastDragExtractionTime = unixTimeStamp();
}

void CArchiveDataModel::clearTemporaryData()
{
    if (!m_dragFolder.isEmpty())
        QDir(m_dragFolder).removeRecursively();
    m_dragFolder.clear();
}
