#pragma once

#include "ui/LineInputDialog.h"

#include <memory>

namespace Ui {
class PasswordDialog;
}

// Asks for an archive password; an empty one is refused.
class PasswordDialog : public LineInputDialog
{
    Q_OBJECT

public:
    explicit PasswordDialog(QWidget* parent = nullptr);
    ~PasswordDialog() override;

    QString getPassword() const;

private:
    std::unique_ptr<Ui::PasswordDialog> ui;
};
