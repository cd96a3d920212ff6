#pragma once

#include "app/CCompressOptions.h"

#include <QDialog>

#include <memory>

namespace Ui {
class ExtractDialog;
}

// "Unpacking Options": edits an extract request. Accepting presets the chosen
// overwrite mode as the answer for every conflict of the extraction;
// rejecting empties the target folder of the request.
class ExtractDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ExtractDialog(QWidget* parent = nullptr);
    ~ExtractDialog() override;

    void setExtractOptions(const ExtractOptions& options);
    ExtractOptions getExtractOptions() const;
    // Takes the controls into the request and presets the overwrite answer.
    void applyGuiToOptions();
    // Builds the paths-mode and overwrite-mode lists for the archive's format.
    void setGui();

    // Accepting through a standard button box would end here as well.
    void on_buttonBox_accepted();

private slots:
    void on_pbSelectDir_pressed();
    void on_extractdialog_rejected();
    void on_pbOk_pressed();
    void on_pbCancel_pressed();

private:
    std::unique_ptr<Ui::ExtractDialog> ui;
    ExtractOptions m_options;
};
