#pragma once

#include <QFileSystemModel>

class QDateTime;

// A modification time as both kinds of panel show it: the short date and
// time of the user's locale.
QString panelTimeText(const QDateTime& time);

// The folder listing of a file panel. Adds the program's size texts and
// special-folder names, hands renames and drops to the main window through
// signals (which carry out the file work), and applies the hidden-items
// setting.
class FileSystemModel : public QFileSystemModel
{
    Q_OBJECT

public:
    explicit FileSystemModel(QObject* parent = nullptr);

    QModelIndex setRootPath(const QString& path);
    // The last path given to setRootPath.
    QString rootPathCustom() const { return m_rootPath; }
    // Network shares appear as mounted folders on this system: there is no
    // root the model would list itself.
    bool isUnc() const { return false; }
    QFileInfo fileInfo(const QModelIndex& index) const { return QFileSystemModel::fileInfo(index); }
    QString filePath1(const QModelIndex& index) const { return QFileSystemModel::filePath(index); }

    // Shows or hides hidden entries by the setting "ListHiddenItems".
    void reloadFilters();

    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

signals:
    void copyFiles(QStringList files, QString destination);
    void moveFiles(QStringList files, QString destination);
    void transferError(QString file);
    void renameItem(QString oldPath, QString newPath);

private:
    QString m_rootPath;
};
