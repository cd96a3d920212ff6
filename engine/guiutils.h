#pragma once

#include <QString>
#include <QVariant>

class QComboBox;
class QDialog;
class QTextEdit;

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

// Hook for handing a new archive to a mail program; there is none on this
// platform, so it only reports success.
bool SendMail(const QString& archivePath);
