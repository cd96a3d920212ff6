#pragma once

#include "app/CCompressOptions.h"
#include "ui/ArchiveFolderIndex.h"

#include <QAbstractTableModel>
#include <QList>
#include <QPointer>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <vector>

class FileArchive;
class MimeData;

// The start of every request that changes an open archive (add, delete,
// rename, new folder): the archive and the back end its name calls for.
CompressOptions archiveChangeRequest(const QString& archivePath);

// Whether a name can be given to an entry inside an archive: no empty name,
// no "." or "..", none of the characters \ / * : ? " < > |.
bool isValidArchiveEntryName(const QString& name);

// Shows one folder of an archive at a time as the rows of a panel. The
// archive is listed once per open (on the GUI thread, under the main
// window's busy state) and indexed by folder; changing folder then costs in
// proportion to the folder's rows. Renames inside the archive, drops onto
// it (through addToArchive) and drags out of it are done here: a drag
// carries URLs of files in a private folder of its own, which are extracted
// only when the drop target asks for the data.
class CArchiveDataModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit CArchiveDataModel(QObject* parent = nullptr);
    ~CArchiveDataModel() override;

    // Opens the archive and shows the folder an inner path names (the
    // folder of a file entry, which is then opened); false when the archive
    // cannot be listed.
    bool openArchive(const QString& archivePath, const QString& innerPath);
    // Lists the archive again and returns to the same folder.
    void refresh();
    // Why the last open failed, as the archive reported it.
    QString lastError() const { return m_lastError; }

    void setCurrentDir(const QString& dir);
    void setCurrentDir(const QModelIndex& index);
    void goLevelUp();
    QString getCurrentDir() const { return m_currentDir; }
    QString getArchiveName() const;

    bool isDir(const QModelIndex& index) const;
    bool itemExists(const QString& name) const;
    int getIndexHavingFileName(const QString& name) const;
    int getInArchiveIndex(int row) const;
    int getInArchiveIndex(const QModelIndex& index) const;
    QString getInArchiveName(const QModelIndex& index) const;
    QList<int> getInArchiveIndexesWithSubdir(const QList<QModelIndex>& indexes) const;
    // The row as a record: name, path inside the archive, size, time, index, folder flag.
    ArchiveItemInfo rowInfo(int row) const;
    // Where extracting the row's entries into folder puts the row itself.
    QString extractedPath(const QString& folder, int row) const;

    bool isArchiveUpdateSupported() const;
    bool isCurrentArchiveIndexValid(int row) const;

    void clearTemporaryData();
    void clearArchiveItems();

    // The folder the last drag extracts into (empty when there is none).
    QString dragFolder() const { return m_dragFolder; }
    qint64 getLastDragExtractionTime() const { return m_lastDragExtractionTime; }
    qint64 getLastDragCancelationTime() const { return m_lastDragCancelationTime; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;
    Qt::DropActions supportedDropActions() const override;

    // When, into which folder and into which archive the last drop onto an
    // archive panel went; shared by both panels' models.
    static qint64 m_timeDataDroppedIn;
    static QString m_archiveFolderDataDroppedIn;
    static QString m_archivePathDataDroppedIn;

public slots:
    void createData(const QString& mimeType);

signals:
    void addToArchive(QString archivePath, QString archiveFolder, QStringList filesToAdd, bool shouldClearTheSoure);
    void renameArchiveItem(QString archivePath, QString oldName, QString newName);

private:
    using Row = ArchiveFolderIndex::Row;

    void refreshArchiveItems(const QString& dir);
    const ArchiveItemInfo& itemOf(const Row& row) const;
    void setBusy(bool busy) const;
    // The in-archive indexes (and, when asked, the names) of every entry at
    // or below the rows.
    QList<int> collectWithSubdir(const QList<QModelIndex>& indexes, QStringList* paths) const;

    std::unique_ptr<FileArchive> m_archive;
    ArchiveFolderIndex m_index;
    std::vector<Row> m_rows;
    QString m_currentDir;
    QString m_archivePath;
    int m_sortColumn = 0;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    bool m_updateSupported = true;
    QString m_lastError;

    // The last drag out of this model.
    mutable QList<QUrl> m_dragUrls;
    mutable QList<int> m_dragIndexes;
    mutable QStringList m_dragPaths;
    mutable QString m_dragFolder;
    mutable QPointer<MimeData> m_currentDragData;
    mutable bool m_ownDrag = false;
    // The drag's data has been asked for (extracted, or found needless).
    mutable bool m_dragServed = false;
    qint64 m_lastDragExtractionTime = 0;
    qint64 m_lastDragCancelationTime = 0;
};
