#include "engine/guiutils.h"

#include "app/globals.h"
#include "engine/ArchiveProgressDlg.h"
#include "fileops/FileUtils.h"
#include "ui/compressdialog.h"
#include "ui/extractdialog.h"
#include "ui/passworddialog.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDebug>
#include <QDialog>
#include <QGuiApplication>
#include <QIcon>
#include <QMessageBox>
#include <QPushButton>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextEdit>

#include <cmath>

namespace {

bool compressInWindows(CompressOptions& options, bool showDialog, bool* operationFailed, bool* sourcesLeftOut)
{
    if (showDialog) {
        CompressDialog dialog;
        dialog.setCompressOptions(options);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        options = dialog.getCompressOptions();
    }
    ArchiveProgressDlg progress;
    progress.setBlocking(true);
    progress.doCompress(options);
    if (operationFailed)
        *operationFailed = progress.failed();
    if (sourcesLeftOut)
        *sourcesLeftOut = progress.sourcesLeftOut();
    return true;
}

bool extractInWindows(ExtractOptions& options, bool showDialog, bool* dialogRejected)
{
    if (showDialog) {
        ExtractDialog dialog;
        dialog.setExtractOptions(options);
        if (dialog.exec() != QDialog::Accepted) {
            if (dialogRejected)
                *dialogRejected = true;
            return false;
        }
        options = dialog.getExtractOptions();
    }
    ArchiveProgressDlg progress;
    progress.setBlocking(true);
    progress.doExtract(options);
    return !progress.failed();
}

bool askPasswordInWindow(QString& password)
{
    PasswordDialog dialog;
    const bool accepted = dialog.exec() == QDialog::Accepted;
    password = dialog.getPassword();
    return accepted;
}

const OperationWindows kOperationWindows = {&compressInWindows, &extractInWindows, &askPasswordInWindow};

} // namespace

// Every program linked with the windows refers to this (see CMakeLists.txt),
// so the windows are in place before main() and before any test.
extern "C" const bool quenvarOperationWindowsInstalled = [] {
    setOperationWindows(&kOperationWindows);
    return true;
}();

void showWarning(QWidget* parent, const QString& title, const QString& text)
{
    qDebug().noquote() << title + QStringLiteral(": ") + text;
    if (isUnattended()) {
        printToStandardError(QStringLiteral("quenvar: ") + text);
        return;
    }
    GuardedDialog<QMessageBox> box(new QMessageBox(QMessageBox::Warning, title, text, QMessageBox::Ok, parent));
    box.exec();
}

void showInvalidFileNameMessage(QWidget* parent, const QString& name)
{
    const auto text = [](const char* source) { return QCoreApplication::translate("MainWindow", source); };
    const QString message = QStringLiteral("<b>") + text("The name ") + QLatin1Char('"') + name.toHtmlEscaped() +
                            QLatin1Char('"') + text("can not be used.") + QStringLiteral("</b><p>") +
                            text("Try using another name, with fewer characters or no punctuations marks.");
    qDebug().noquote() << "Invalid filename:" << name;
    if (isUnattended()) {
        printToStandardError(QStringLiteral("quenvar: ") + QTextDocumentFragment::fromHtml(message).toPlainText());
        return;
    }
    QMessageBox box(QMessageBox::Information, text("Invalid filename"), message, QMessageBox::Ok, parent);
    box.setTextFormat(Qt::RichText);
    box.exec();
}

bool askToAbortOperation(QWidget* parent, const QString& title, const QString& question, const QString& yes,
                         const QString& no)
{
    GuardedDialog<QMessageBox> box(
        new QMessageBox(QMessageBox::Question, title, question, QMessageBox::Yes | QMessageBox::No, parent));
    box->button(QMessageBox::Yes)->setText(yes);
    box->button(QMessageBox::No)->setText(no);
    box->setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

void rejectOpenDialogs(QWidget* parent)
{
    for (QDialog* question : parent->findChildren<QDialog*>()) {
        if (question->isVisible())
            question->reject();
    }
}

void applyDialogStyle(QDialog* dialog)
{
    dialog->setWindowIcon(QIcon(QStringLiteral(":ico/Quenvar.ico")));
    dialog->setWindowFlags(dialog->windowFlags() & ~Qt::WindowContextHelpButtonHint);
}

void selectComboBoxItem(QComboBox* combo, const QVariant& value)
{
    for (int i = 0; i < combo->count(); ++i) {
        const QVariant data = combo->itemData(i);
        if (data.isValid() && data == value) {
            combo->setCurrentIndex(i);
            return;
        }
    }
}

QVariant getSelectedComboBoxItem(QComboBox* combo)
{
    const int index = combo->currentIndex();
    if (index < 0)
        return QVariant(0);
    return combo->itemData(index);
}

void setTextEditText(QTextEdit* edit, const QString& text)
{
    edit->setPlainText(text);
    // Before the edit is first shown it has given its document no width, and
    // the document would measure nothing.
    QTextDocument* document = edit->document();
    if (document->pageSize().width() <= 0)
        document->setTextWidth(edit->viewport()->width());
    edit->setFixedHeight(int(std::lround(document->size().height())) + 3);
}

QString correctPathToDisplay(const QString& path)
{
    QString result = path;
    normalizeFilePath(result);
    return result;
}

bool isLeftButtonPressed()
{
    return QGuiApplication::mouseButtons() & Qt::LeftButton;
}
