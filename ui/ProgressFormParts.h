#pragma once

#include <QString>

// How often a progress window shows the worker's state, and how long
// closing it waits for the worker to stop.
constexpr int kRefreshIntervalMs = 300;
constexpr int kStopWaitMs = 3000;

class QCheckBox;
class QDialog;
class QLabel;
class QLayout;
class QProgressBar;
class QPushButton;

// The lower part the copy and delete progress dialogs share: the current
// file, the progress bar, "Do not close this window after the operation"
// and the Cancel button.
struct ProgressFormParts
{
    QLabel* lbCurrentFile = nullptr;
    QProgressBar* pgProgress = nullptr;
    QCheckBox* cbDontClose = nullptr;
    QPushButton* pbCancel = nullptr;

    // Lays dialog out: top, then the parts; fixed at the given width. The
    // texts come translated in the dialog's own context.
    static ProgressFormParts build(QDialog* dialog, QLayout* top, int width, const QString& dontCloseText,
                                   const QString& cancelText);
    // Shows the path cut in the middle when it is too long for the label,
    // and whole in its tool tip.
    void showCurrentFile(const QString& path) const;
};
