#pragma once

#include "app/CCompressOptions.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QVector>

#include <vector>

// The folders of an archive's flat entry list, built once per open, so that
// a panel lists a folder in time proportional to what the folder holds and
// collects a selection in time proportional to what lies below it, however
// large the archive.
//
// Folders are matched without regard to case and with empty path parts
// ignored; a row appears once per exact name, taking the size, time and
// index of the first entry (in list order) that has it as its part. A
// folder the archive only implies ("a" for the lone entry "a/b/c") still
// gets a row. Entries flagged hidden, and rows whose name begins with ".",
// are left out of the rows; collecting below a folder includes them.
class ArchiveFolderIndex
{
public:
    struct Row
    {
        // The entry (position in the list) whose size, time and index the row shows.
        int position = -1;
        bool isDir = false;
        QString name;
        // Later entries in the same folder with exactly this name.
        std::vector<int> sameName;
    };

    void build(const QList<ArchiveItemInfo>& items);
    void clear();

    // The folder for a path inside the archive ("" is the top); -1 when the
    // archive holds nothing below such a folder.
    int findFolder(const QString& path) const;
    // The rows of a folder, in the order their names first appear in the list.
    QVector<Row> rows(int folder) const;
    // Positions, ascending, of every entry whose name equals the row's path
    // or begins with it and "/" (exact case), for a row of the folder at
    // path folderPath.
    std::vector<int> positionsAtOrBelow(const QString& folderPath, const Row& row) const;

private:
    struct Node
    {
        // Entries whose parent is this folder, in list order.
        std::vector<int> direct;
        // The first entry below each implied child folder, in list order.
        std::vector<int> implied;
        QSet<QString> impliedNames;
        std::vector<int> children;
        int depth = 0;
    };

    int childNode(int parent, const QString& lowerPath);
    // The node of the folder part of an entry's name; registers the implied
    // child folders on the way when register is set.
    int resolveParent(const QStringRef& parentPath, int position, bool registerImplied);
    QString partAt(int position, int depth) const;

    const QList<ArchiveItemInfo>* m_items = nullptr;
    std::vector<Node> m_nodes;
    QHash<QString, int> m_nodeByPath;
};

// The path of a row below a folder of the archive ("" at the top).
QString archiveRowPath(const QString& folder, const QString& name);
