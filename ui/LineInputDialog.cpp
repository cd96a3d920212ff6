#include "ui/LineInputDialog.h"

#include "engine/guiutils.h"

#include <QLineEdit>
#include <QMessageBox>

LineInputDialog::LineInputDialog(QWidget* parent)
    : QDialog(parent)
{
}

void LineInputDialog::setInput(QLineEdit* input, const QString& emptyWarning)
{
    m_input = input;
    m_emptyWarning = emptyWarning;
    applyDialogStyle(this);
    m_input->setFocus();
}

QString LineInputDialog::inputText() const
{
    return m_input ? m_input->text() : QString();
}

void LineInputDialog::done(int result)
{
    if (result == QDialog::Accepted && inputText().isEmpty()) {
        QMessageBox::warning(this, tr("Error"), m_emptyWarning);
        return;
    }
    if (result != QDialog::Accepted && m_input)
        m_input->clear();
    QDialog::done(result);
}

void LineInputDialog::on_pbOk_clicked()
{
    accept();
}

void LineInputDialog::on_pbCancel_clicked()
{
    reject();
}
