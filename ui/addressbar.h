#pragma once

#include <QComboBox>
#include <QStandardPaths>

class QLineEdit;
class QStandardItem;
class QStandardItemModel;
class QTreeView;

// The address of a panel: an editable line over a combo box whose popup is a
// tree of the current path, a few standard folders and the file system's
// root under "Computer". Choosing from the popup emits addressChanged; a
// typed path is taken by the main window on Return.
class AddressBar : public QComboBox
{
    Q_OBJECT

public:
    // The role that holds an item's full path.
    static constexpr int PathRole = Qt::UserRole + 1;

    explicit AddressBar(QWidget* parent = nullptr);

    void setIndex(int index) { m_index = index; }
    int index() const { return m_index; }
    void setCurrentAddress(const QString& address);
    QString currentAddress() const { return m_currentAddress; }
    // What the line shows (typed or set).
    QString currentText() const;
    bool hasFocus() const;
    QLineEdit* lineEditOverlay() const { return m_lineEdit; }

    void refreshAddressBarCombo();
    void addCurrentPathTree();
    void addSpecialFolders(QStandardPaths::StandardLocation location);
    void addDrivesTree();
    void clearModel();
    void expandAll();
    void hideColumn(int column);
    QStandardItemModel* popupModel() const { return m_model; }
    QTreeView* popupView() const { return m_view; }

    void showPopup() override;
    void hidePopup() override;

signals:
    void addressChanged(QString path, int index);

protected:
    void showEvent(QShowEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private slots:
    void itemChosen();

private:
    void placeOverlay();

    QStandardItemModel* m_model = nullptr;
    QTreeView* m_view = nullptr;
    QLineEdit* m_lineEdit = nullptr;
    QString m_currentAddress;
    int m_index = 0;
    bool m_itemChosen = false;
};
