#include "ui/addressbar.h"

#include "fileops/FileUtils.h"

#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHeaderView>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QTimer>
#include <QTreeView>

namespace {

QIcon pathIcon(const QString& path)
{
    static QFileIconProvider provider;
    const QFileInfo info(path);
    return info.exists() ? provider.icon(info) : provider.icon(QFileIconProvider::Folder);
}

} // namespace

AddressBar::AddressBar(QWidget* parent)
    : QComboBox(parent)
{
    m_view = new QTreeView(this);
    m_view->setFrameShape(QFrame::NoFrame);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setRootIsDecorated(false);
    m_view->setWordWrap(true);
    m_view->setAllColumnsShowFocus(true);
    m_view->setItemsExpandable(false);
    m_view->setIndentation(10);
    m_view->header()->hide();
    m_view->setStyleSheet(QStringLiteral("QTreeView::branch {  border-image: url(none.png); }"));
    setView(m_view);
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setSizePolicy(QSizePolicy::Expanding, sizePolicy().verticalPolicy());

    // The combo's own line follows its model; the address lives in a line
    // of its own laid over it.
    m_lineEdit = new QLineEdit(this);
    m_lineEdit->setObjectName(QStringLiteral("addressLine"));
    m_lineEdit->setStyleSheet(QStringLiteral("border:0px solid rgb(0, 255, 0); "));
    setFocusProxy(m_lineEdit);
    connect(this, QOverload<int>::of(&QComboBox::activated), this, &AddressBar::itemChosen);
}

void AddressBar::setCurrentAddress(const QString& address)
{
    m_currentAddress = address;
    setEditText(address);
    m_lineEdit->setText(address);
}

QString AddressBar::currentText() const
{
    return m_lineEdit->text();
}

bool AddressBar::hasFocus() const
{
    return m_lineEdit->hasFocus();
}

void AddressBar::placeOverlay()
{
    const QRect area = lineEdit() ? lineEdit()->geometry() : rect();
    m_lineEdit->setGeometry(area);
    m_lineEdit->raise();
}

void AddressBar::showEvent(QShowEvent* event)
{
    QComboBox::showEvent(event);
    placeOverlay();
}

void AddressBar::resizeEvent(QResizeEvent* event)
{
    QComboBox::resizeEvent(event);
    placeOverlay();
}

void AddressBar::focusInEvent(QFocusEvent* event)
{
    QComboBox::focusInEvent(event);
    QTimer::singleShot(0, m_lineEdit, &QLineEdit::selectAll);
}

void AddressBar::showPopup()
{
    refreshAddressBarCombo();
    QComboBox::showPopup();
}

void AddressBar::hidePopup()
{
    QComboBox::hidePopup();
    setEditText(m_currentAddress);
}

void AddressBar::clearModel()
{
    if (!m_model)
        return;
    m_model->clear();
    setCurrentIndex(-1);
    QStandardItemModel* old = m_model;
    m_model = nullptr;
    // A combo box needs some model; an empty one detaches the popup.
    setModel(new QStandardItemModel(this));
    delete old;
}

void AddressBar::refreshAddressBarCombo()
{
    clearModel();
    m_model = new QStandardItemModel(this);
    addCurrentPathTree();
    for (auto location : {QStandardPaths::DesktopLocation, QStandardPaths::DownloadLocation,
                          QStandardPaths::DocumentsLocation, QStandardPaths::PicturesLocation})
        addSpecialFolders(location);
    addDrivesTree();
    QAbstractItemModel* placeholder = model();
    setModel(m_model);
    if (placeholder != m_model)
        delete placeholder;
    m_view->setModel(m_model);
    expandAll();
    setEditText(m_currentAddress);
}

void AddressBar::addCurrentPathTree()
{
    const QStringList parts = QDir::fromNativeSeparators(m_currentAddress).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QStandardItem* parent = nullptr;
    QString path;
    for (const QString& part : parts) {
        path += QLatin1Char('/') + part;
        auto* item = new QStandardItem(pathIcon(path), part);
        item->setData(path, PathRole);
        if (parent)
            parent->appendRow(item);
        else
            m_model->appendRow(item);
        parent = item;
    }
}

void AddressBar::addSpecialFolders(QStandardPaths::StandardLocation location)
{
    const QStringList paths = QStandardPaths::standardLocations(location);
    if (paths.isEmpty())
        return;
    QString name = QStandardPaths::displayName(location);
    if (name == QLatin1String("Download"))
        name = tr("Downloads");
    auto* item = new QStandardItem(pathIcon(paths.first()), name);
    item->setData(paths.first(), PathRole);
    m_model->appendRow(item);
}

void AddressBar::addDrivesTree()
{
    static QFileIconProvider provider;
    auto* computer = new QStandardItem(provider.icon(QFileIconProvider::Computer), tr("Computer"));
    computer->setData(QString(), PathRole);
    computer->setSelectable(false);
    const QFileInfoList drives = QDir::drives();
    for (const QFileInfo& drive : drives) {
        QString text = drive.filePath();
        text.remove(QLatin1Char('/'));
        // The file system's root has no name of its own here.
        if (text.isEmpty())
            text = drive.filePath();
        auto* item = new QStandardItem(pathIcon(drive.filePath()), text);
        item->setData(drive.filePath(), PathRole);
        computer->appendRow(item);
    }
    m_model->appendRow(computer);
}

void AddressBar::expandAll()
{
    m_view->expandAll();
}

void AddressBar::hideColumn(int column)
{
    m_view->hideColumn(column);
}

void AddressBar::itemChosen()
{
    m_itemChosen = true;
    if (!m_model)
        return;
    const QModelIndexList selected = m_view->selectionModel() ? m_view->selectionModel()->selectedIndexes()
                                                              : QModelIndexList();
    const QModelIndex chosen = selected.isEmpty() ? m_view->currentIndex() : selected.first();
    QString path = chosen.data(PathRole).toString();
    if (path.isEmpty())
        return;
    path = QDir::cleanPath(path);
    clearModel();
    setCurrentAddress(path);
    emit addressChanged(path, m_index);
}
