#include "ui/ArchiveFolderIndex.h"

#include <algorithm>

namespace {

bool isHiddenName(const QStringRef& name)
{
    return name.startsWith(QLatin1Char('.'));
}

// The path without empty parts, lower-cased: the key of a folder.
QString folderKey(const QString& path)
{
    const QVector<QStringRef> parts = path.splitRef(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString key;
    key.reserve(path.size());
    for (const QStringRef& part : parts) {
        if (!key.isEmpty())
            key += QLatin1Char('/');
        key += part.toString().toLower();
    }
    return key;
}

} // namespace

QString archiveRowPath(const QString& folder, const QString& name)
{
    return folder.isEmpty() ? name : folder + QLatin1Char('/') + name;
}

void ArchiveFolderIndex::clear()
{
    m_items = nullptr;
    m_nodes.clear();
    m_nodeByPath.clear();
}

int ArchiveFolderIndex::childNode(int parent, const QString& lowerPath)
{
    const auto found = m_nodeByPath.constFind(lowerPath);
    if (found != m_nodeByPath.constEnd())
        return found.value();
    const int id = int(m_nodes.size());
    m_nodes.emplace_back();
    m_nodes.back().depth = m_nodes[size_t(parent)].depth + 1;
    m_nodes[size_t(parent)].children.push_back(id);
    m_nodeByPath.insert(lowerPath, id);
    return id;
}

int ArchiveFolderIndex::resolveParent(const QStringRef& parentPath, int position, bool registerImplied)
{
    int node = 0;
    QString lowerPath;
    int start = 0;
    const int size = parentPath.size();
    while (start < size) {
        int end = parentPath.indexOf(QLatin1Char('/'), start);
        if (end < 0)
            end = size;
        if (end > start) {
            const QStringRef part = parentPath.mid(start, end - start);
            if (registerImplied && !isHiddenName(part)) {
                Node& current = m_nodes[size_t(node)];
                const QString name = part.toString();
                if (!current.impliedNames.contains(name)) {
                    current.impliedNames.insert(name);
                    current.implied.push_back(position);
                }
            }
            if (!lowerPath.isEmpty())
                lowerPath += QLatin1Char('/');
            lowerPath += part.toString().toLower();
            node = childNode(node, lowerPath);
        }
        start = end + 1;
    }
    return node;
}

void ArchiveFolderIndex::build(const QList<ArchiveItemInfo>& items)
{
    clear();
    m_items = &items;
    m_nodes.emplace_back();
    m_nodeByPath.insert(QString(), 0);

    // Entries of one folder usually follow each other: the folder of the
    // previous entry is looked up again only when the name's folder part
    // changes.
    QString lastParent;
    int lastNode = -1;
    bool lastRegistered = false;
    for (int position = 0; position < items.size(); ++position) {
        const ArchiveItemInfo& item = items.at(position);
        const QString& name = item.name;
        int end = name.size();
        while (end > 0 && name.at(end - 1) == QLatin1Char('/'))
            --end;
        if (end == 0)
            continue;
        const int slash = name.lastIndexOf(QLatin1Char('/'), end - 1);
        const QStringRef parent = name.leftRef(qMax(slash, 0));
        const bool visible = !item.isHidden;
        if (lastNode < 0 || parent != lastParent || (visible && !lastRegistered)) {
            lastNode = resolveParent(parent, position, visible);
            lastParent = parent.toString();
            lastRegistered = visible;
        }
        m_nodes[size_t(lastNode)].direct.push_back(position);
    }
}

int ArchiveFolderIndex::findFolder(const QString& path) const
{
    return m_nodeByPath.value(folderKey(path), -1);
}

QString ArchiveFolderIndex::partAt(int position, int depth) const
{
    const QString& name = m_items->at(position).name;
    const QVector<QStringRef> parts = name.splitRef(QLatin1Char('/'), Qt::SkipEmptyParts);
    return depth < parts.size() ? parts.at(depth).toString() : QString();
}

QVector<ArchiveFolderIndex::Row> ArchiveFolderIndex::rows(int folder) const
{
    QVector<Row> result;
    if (!m_items || folder < 0 || folder >= int(m_nodes.size()))
        return result;
    const Node& node = m_nodes[size_t(folder)];
    QHash<QString, int> rowByName;
    rowByName.reserve(int(node.direct.size() + node.implied.size()));
    result.reserve(int(node.direct.size() + node.implied.size()));

    const auto add = [&](int position, bool implied) {
        const ArchiveItemInfo& item = m_items->at(position);
        QString name;
        if (implied) {
            name = partAt(position, node.depth);
        } else {
            if (item.isHidden)
                return;
            name = partAt(position, node.depth);
            if (isHiddenName(QStringRef(&name)))
                return;
        }
        const auto found = rowByName.constFind(name);
        if (found != rowByName.constEnd()) {
            if (!implied)
                result[found.value()].sameName.push_back(position);
            return;
        }
        rowByName.insert(name, result.size());
        Row row;
        row.position = position;
        row.isDir = implied || item.isDir;
        row.name = name;
        result.append(std::move(row));
    };

    // Both lists are in list order: merging them visits the entries as a
    // pass over the whole list would.
    size_t d = 0;
    size_t i = 0;
    while (d < node.direct.size() || i < node.implied.size()) {
        if (i == node.implied.size() || (d < node.direct.size() && node.direct[d] < node.implied[i]))
            add(node.direct[d++], false);
        else
            add(node.implied[i++], true);
    }
    return result;
}

std::vector<int> ArchiveFolderIndex::positionsAtOrBelow(const QString& folderPath, const Row& row) const
{
    std::vector<int> candidates;
    if (!m_items)
        return candidates;
    const QString path = archiveRowPath(folderPath, row.name);
    candidates.push_back(row.position);
    candidates.insert(candidates.end(), row.sameName.begin(), row.sameName.end());
    const int folder = findFolder(path);
    if (folder >= 0) {
        std::vector<int> pending{folder};
        while (!pending.empty()) {
            const Node& node = m_nodes[size_t(pending.back())];
            pending.pop_back();
            candidates.insert(candidates.end(), node.direct.begin(), node.direct.end());
            pending.insert(pending.end(), node.children.begin(), node.children.end());
        }
    }
    // The folders are matched loosely; what belongs to the row is decided
    // by the exact name.
    const QString below = path + QLatin1Char('/');
    std::vector<int> result;
    result.reserve(candidates.size());
    for (int position : candidates) {
        const QString& name = m_items->at(position).name;
        if (name == path || name.startsWith(below))
            result.push_back(position);
    }
    std::sort(result.begin(), result.end());
    result.erase(std::unique(result.begin(), result.end()), result.end());
    return result;
}
