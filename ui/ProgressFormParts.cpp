#include "ui/ProgressFormParts.h"

#include "engine/guiutils.h"

#include <QCheckBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

ProgressFormParts ProgressFormParts::build(QDialog* dialog, QLayout* top, int width, const QString& dontCloseText,
                                           const QString& cancelText)
{
    ProgressFormParts parts;
    parts.lbCurrentFile = new QLabel(dialog);
    parts.lbCurrentFile->setObjectName(QStringLiteral("lbCurrentFile"));
    // A long path must not widen the dialog.
    parts.lbCurrentFile->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    parts.pgProgress = new QProgressBar(dialog);
    parts.pgProgress->setObjectName(QStringLiteral("pgProgress"));
    parts.cbDontClose = new QCheckBox(dontCloseText, dialog);
    parts.cbDontClose->setObjectName(QStringLiteral("cbDontClose"));
    parts.pbCancel = new QPushButton(cancelText, dialog);
    parts.pbCancel->setObjectName(QStringLiteral("pbCancel"));

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(parts.cbDontClose);
    bottom->addStretch();
    bottom->addWidget(parts.pbCancel);
    auto* layout = new QVBoxLayout(dialog);
    layout->addLayout(top);
    layout->addWidget(parts.lbCurrentFile);
    layout->addWidget(parts.pgProgress);
    layout->addLayout(bottom);
    dialog->resize(width, dialog->sizeHint().height());
    dialog->setFixedSize(dialog->size());
    applyDialogStyle(dialog);
    return parts;
}

void ProgressFormParts::showCurrentFile(const QString& path) const
{
    const QString shown = correctPathToDisplay(path);
    lbCurrentFile->setText(lbCurrentFile->fontMetrics().elidedText(shown, Qt::ElideMiddle, lbCurrentFile->width()));
    lbCurrentFile->setToolTip(shown);
}
