#pragma once

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class NewFolderDialog;
}

// Asks for the name of a new folder, starting from a proposed one. An empty
// name is not accepted; Cancel leaves the field empty.
class NewFolderDialog : public QDialog
{
    Q_OBJECT

public:
    explicit NewFolderDialog(const QString& name, QWidget* parent = nullptr);
    ~NewFolderDialog() override;

    QString getNewFolderName() const;

public slots:
    void done(int result) override;

private slots:
    void on_pbOk_clicked();
    void on_pbCancel_clicked();

private:
    std::unique_ptr<Ui::NewFolderDialog> ui;
};
