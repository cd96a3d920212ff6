#include "ui/NewFolderDialog.h"
#include "ui_NewFolderDialog.h"

NewFolderDialog::NewFolderDialog(const QString& name, QWidget* parent)
    : LineInputDialog(parent)
    , ui(new Ui::NewFolderDialog)
{
    ui->setupUi(this);
    ui->lineEdit->setText(name);
    // Typing replaces the proposal; the arrow keys keep it.
    ui->lineEdit->selectAll();
    setInput(ui->lineEdit, tr("Enter a name for the new folder"));
}

NewFolderDialog::~NewFolderDialog() = default;

QString NewFolderDialog::getNewFolderName() const
{
    return inputText();
}
