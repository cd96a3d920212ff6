#include "ui/NewFolderDialog.h"
#include "ui_NewFolderDialog.h"

#include "engine/guiutils.h"

#include <QMessageBox>

NewFolderDialog::NewFolderDialog(const QString& name, QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::NewFolderDialog)
{
    ui->setupUi(this);
    applyDialogStyle(this);
    ui->lineEdit->setText(name);
    ui->lineEdit->selectAll();
    ui->lineEdit->setFocus();
}

NewFolderDialog::~NewFolderDialog() = default;

QString NewFolderDialog::getNewFolderName() const
{
    return ui->lineEdit->text();
}

void NewFolderDialog::done(int result)
{
    if (result == QDialog::Accepted && ui->lineEdit->text().isEmpty()) {
        QMessageBox::warning(this, tr("Error"), tr("Enter a name for the new folder"));
        return;
    }
    QDialog::done(result);
}

void NewFolderDialog::on_pbOk_clicked()
{
    accept();
}

void NewFolderDialog::on_pbCancel_clicked()
{
    ui->lineEdit->clear();
    reject();
}
