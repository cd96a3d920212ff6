#include "ui/passworddialog.h"
#include "ui_passworddialog.h"

PasswordDialog::PasswordDialog(QWidget* parent)
    : LineInputDialog(parent)
    , ui(new Ui::PasswordDialog)
{
    ui->setupUi(this);
    setInput(ui->lineEdit, tr("Enter archive password"));
}

PasswordDialog::~PasswordDialog() = default;

QString PasswordDialog::getPassword() const
{
    return inputText();
}
