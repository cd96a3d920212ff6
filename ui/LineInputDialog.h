#pragma once

#include <QDialog>
#include <QString>

class QLineEdit;

// A dialog around one line of input that must not be accepted empty. Any
// way out other than accepting empties the line, so that no typed text
// reaches a caller that forgets to check the result.
//
// Subclasses build their form and call setInput; the form's OK and Cancel
// buttons (pbOk, pbCancel) connect by name to the slots below.
class LineInputDialog : public QDialog
{
    Q_OBJECT

public:
    void done(int result) override;

protected:
    explicit LineInputDialog(QWidget* parent);
    // The line to check, and the warning shown when it is empty on accept.
    void setInput(QLineEdit* input, const QString& emptyWarning);
    QString inputText() const;

protected slots:
    void on_pbOk_clicked();
    void on_pbCancel_clicked();

private:
    QLineEdit* m_input = nullptr;
    QString m_emptyWarning;
};
