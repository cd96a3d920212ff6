#pragma once

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class PasswordDialog;
}

// Asks for an archive password. An empty password is not accepted; any other
// way out leaves the field empty.
class PasswordDialog : public QDialog
{
    Q_OBJECT

public:
    explicit PasswordDialog(QWidget* parent = nullptr);
    ~PasswordDialog() override;

    QString getPassword() const;

public slots:
    void done(int result) override;

private slots:
    void on_pbOk_clicked();
    void on_pbCancel_clicked();

private:
    std::unique_ptr<Ui::PasswordDialog> ui;
};
