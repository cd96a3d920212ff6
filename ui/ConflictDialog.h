#pragma once

#include "fileops/UserActions.h"

#include <QDateTime>
#include <QDialog>
#include <QString>

#include <memory>

class QCheckBox;
class QPushButton;

namespace Ui {
class ConflictDialog;
}

// Asks what to do when a target already exists or a file cannot be opened or
// deleted, and records the answer in UserActions. Any close other than one of
// its buttons (Escape, the window's close box) cancels the whole operation.
//
// Show it in one form: set*Info / setDestinationExistsInfo for "file exists",
// setAccessDeniedException for "access denied"; then exec() and read the
// answer from UserActions.
class ConflictDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ConflictDialog(QWidget* parent = nullptr);
    ~ConflictDialog() override;

    // Extraction: the existing file on disk and the time of the entry that
    // would replace it.
    void setDestinationExistsInfo(const QString& existing, const QDateTime& newTime);
    // Copying: the existing target and the source that would replace it.
    void setDestinationExistsInfo(const QString& existing, const QString& newFile);
    // A file or folder that could not be opened (or deleted); single is true
    // when the operation concerns this one item only.
    void setAccessDeniedException(const QString& path, bool single, bool deletion);
    void setExistingFileInfo(const QString& text);
    void setReplaceFileInfo(const QString& text);

    // Records the answer for this item, for all further items when forAll,
    // and closes the dialog as accepted.
    void setSelecteAction(E_UserAction action, bool forAll);

    // The buttons are made here and answer on release, so these are connected
    // explicitly rather than by name.
    void on_pbReplace_pressed();
    void on_pbReplaceAll_pressed();
    void on_pbSkip_pressed();
    void on_pbSkipAll_pressed();
    void on_pbRename_pressed();
    void on_pbRenameAll_pressed();
    void on_pbRetry_pressed();
    void on_pbAsAdmin_pressed();
    void on_pbAllAsAdmin_pressed();

private slots:
    void on_ExtractOverwriteDialog_rejected();

private:
    using Handler = void (ConflictDialog::*)();
    void clearButtons();
    QPushButton* addButton(const char* objectName, const QString& text, int row, int column, Handler handler);
    void showFileExistsButtons();
    void fixSize();

    std::unique_ptr<Ui::ConflictDialog> ui;
    QCheckBox* m_asAdminForAll = nullptr;
};
