#pragma once

#include "ui/LineInputDialog.h"

#include <memory>

namespace Ui {
class NewFolderDialog;
}

// Asks for the name of a new folder, starting from a proposed one; an empty
// name is refused.
class NewFolderDialog : public LineInputDialog
{
    Q_OBJECT

public:
    explicit NewFolderDialog(const QString& name, QWidget* parent = nullptr);
    ~NewFolderDialog() override;

    QString getNewFolderName() const;

private:
    std::unique_ptr<Ui::NewFolderDialog> ui;
};
