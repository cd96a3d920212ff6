#pragma once

#include "engine/OperationWindows.h"

#include <QPointer>
#include <QString>
#include <QVariant>

class QComboBox;
class QDialog;
class QTextEdit;
class QWidget;

// A warning with an OK button; without a display (isUnattended) a line on
// standard error instead, since no one could close the box. The parent may
// go away while the box is open.
void showWarning(QWidget* parent, const QString& title, const QString& text);

// A dialog made for one question, run modally, whose parent may be deleted
// while it is open (a progress dialog closed with its window): it then goes
// with its parent, and nothing of either may be touched afterwards. A dialog
// on the stack would be deleted twice.
template <class Dialog>
class GuardedDialog
{
public:
    explicit GuardedDialog(Dialog* dialog)
        : m_dialog(dialog)
    {
    }
    ~GuardedDialog() { delete m_dialog.data(); }
    GuardedDialog(const GuardedDialog&) = delete;
    GuardedDialog& operator=(const GuardedDialog&) = delete;

    Dialog* operator->() const { return m_dialog.data(); }
    // The dialog's result, or -1 when it went away (with its parent).
    int exec()
    {
        const int result = m_dialog->exec();
        return m_dialog ? result : -1;
    }

private:
    QPointer<Dialog> m_dialog;
};

// The information box for a new name that cannot be used ("Invalid filename").
void showInvalidFileNameMessage(QWidget* parent, const QString& name);

// The question whether to abort a running operation, with the caller's
// translated texts, No by default. True for Yes; false also when the parent
// went away meanwhile (touch nothing of it then).
bool askToAbortOperation(QWidget* parent, const QString& title, const QString& question, const QString& yes,
                         const QString& no);

// Rejects the dialogs open on top of parent (its questions), as when the
// operation they ask about is stopped.
void rejectOpenDialogs(QWidget* parent);

// Program icon and no context-help button: the look every dialog shares.
void applyDialogStyle(QDialog* dialog);

// Selects the first item whose data is valid and equals value; the selection
// stays as it is when there is no such item.
void selectComboBoxItem(QComboBox* combo, const QVariant& value);

// The current item's data, or QVariant(0) when nothing is selected.
QVariant getSelectedComboBoxItem(QComboBox* combo);

// Shows the text as plain text (a file name may contain "<") and fits the
// edit's height to it.
void setTextEditText(QTextEdit* edit, const QString& text);

// The path as the dialogs show it to the user.
QString correctPathToDisplay(const QString& path);

// Whether the left mouse button is held down now (a drag in progress).
bool isLeftButtonPressed();
