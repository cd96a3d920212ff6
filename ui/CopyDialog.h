#pragma once

#include <QDialog>
#include <QString>

class QComboBox;
class QDialogButtonBox;
class QLabel;
class QPushButton;

// The mode of the destination dialog and of the main window's copy commands.
enum E_FileMode : int
{
    FM_COPY = 0,
    FM_MOVE = 1,
    FM_DELETE = 2,
};

// Asks where a copy or move goes: an editable folder path with a "..."
// button that picks a folder.
class CopyDialog : public QDialog
{
    Q_OBJECT

public:
    CopyDialog(const QString& destination, E_FileMode mode, QWidget* parent = nullptr);

    // The folder as typed or picked.
    QString getDestinationPath() const;

private slots:
    void on_pbSelectDir_clicked();

private:
    QLabel* m_lblOperation;
    QComboBox* m_cbDstDirName;
    QPushButton* m_pbSelectDir;
    QDialogButtonBox* m_buttonBox;
};
