#include "ui/passworddialog.h"
#include "ui_passworddialog.h"

#include "engine/guiutils.h"

#include <QMessageBox>

PasswordDialog::PasswordDialog(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::PasswordDialog)
{
    ui->setupUi(this);
    applyDialogStyle(this);
    ui->lineEdit->setFocus();
}

PasswordDialog::~PasswordDialog() = default;

QString PasswordDialog::getPassword() const
{
    return ui->lineEdit->text();
}

void PasswordDialog::done(int result)
{
    if (result == QDialog::Accepted && ui->lineEdit->text().isEmpty()) {
        QMessageBox::warning(this, tr("Error"), tr("Enter archive password"));
        return;
    }
    // Whatever was typed must not reach a caller that forgets to check the
    // result (Escape and the close box end here too).
    if (result != QDialog::Accepted)
        ui->lineEdit->clear();
    QDialog::done(result);
}

void PasswordDialog::on_pbOk_clicked()
{
    accept();
}

void PasswordDialog::on_pbCancel_clicked()
{
    ui->lineEdit->clear();
    reject();
}
