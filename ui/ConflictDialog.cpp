#include "ui/ConflictDialog.h"
#include "ui_ConflictDialog.h"

#include "engine/guiutils.h"
#include "fileops/utils.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QLocale>
#include <QPushButton>

namespace {

QString timeText(const QDateTime& time, QLocale::FormatType format)
{
    return time.isValid() ? QLocale::system().toString(time, format) : QString();
}

} // namespace

ConflictDialog::ConflictDialog(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::ConflictDialog)
{
    // The name under which the dialog's own rejected() reaches its slot.
    setObjectName(QStringLiteral("ExtractOverwriteDialog"));
    ui->setupUi(this);
    applyDialogStyle(this);
}

ConflictDialog::~ConflictDialog() = default;

void ConflictDialog::clearButtons()
{
    while (QLayoutItem* item = ui->glButtons->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    m_asAdminForAll = nullptr;
}

QPushButton* ConflictDialog::addButton(const char* objectName, const QString& text, int row, int column,
                                       Handler handler)
{
    auto* button = new QPushButton(text, this);
    button->setObjectName(QLatin1String(objectName));
    button->setMinimumSize(130, 30);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    button->setStyleSheet(QStringLiteral("padding-left: 15px; padding-right: 15px;"));
    connect(button, &QPushButton::released, this, handler);
    ui->glButtons->addWidget(button, row, column);
    return button;
}

void ConflictDialog::fixSize()
{
    // Undo an earlier fixed size, so that the dialog fits the new buttons.
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    adjustSize();
    setFixedSize(size());
}

void ConflictDialog::showFileExistsButtons()
{
    clearButtons();
    setWindowTitle(tr("File exists"));
    ui->lblTopTitle->setText(tr("File:"));
    ui->lblMiddleInfo->show();
    addButton("pbReplace", tr("Replace"), 0, 0, &ConflictDialog::on_pbReplace_pressed);
    addButton("pbRename", tr("Rename"), 0, 1, &ConflictDialog::on_pbRename_pressed);
    addButton("pbSkip", tr("Skip"), 0, 2, &ConflictDialog::on_pbSkip_pressed);
    addButton("pbReplaceAll", tr("Replace All"), 1, 0, &ConflictDialog::on_pbReplaceAll_pressed);
    addButton("pbRenameAll", tr("Rename All"), 1, 1, &ConflictDialog::on_pbRenameAll_pressed);
    addButton("pbSkipAll", tr("Skip All"), 1, 2, &ConflictDialog::on_pbSkipAll_pressed);
    fixSize();
}

void ConflictDialog::setDestinationExistsInfo(const QString& existing, const QDateTime& newTime)
{
    const QString path = correctPathToDisplay(existing);
    const QFileInfo info(existing);
    setExistingFileInfo(path + QLatin1Char('\n') + tr("Size: ") + getFormattedFileSize(existing) +
                        QLatin1Char('\n') + tr("Modified: ") + timeText(info.lastModified(), QLocale::ShortFormat));
    setReplaceFileInfo(tr("Modified: ") + timeText(newTime, QLocale::ShortFormat));
    showFileExistsButtons();
}

void ConflictDialog::setDestinationExistsInfo(const QString& existing, const QString& newFile)
{
    // Among many files copied at once, the question must say which one.
    setExistingFileInfo(correctPathToDisplay(existing) + QLatin1Char('\n') + tr("Size: ") + getFormattedFileSize(existing) + QLatin1Char('\n') + tr("Changed: ") +
                        timeText(QFileInfo(existing).lastModified(), QLocale::NarrowFormat));
    setReplaceFileInfo(tr("Size: ") + getFormattedFileSize(newFile) + QLatin1Char('\n') + tr("Changed: ") +
                       timeText(QFileInfo(newFile).lastModified(), QLocale::NarrowFormat));
    showFileExistsButtons();
}

void ConflictDialog::setAccessDeniedException(const QString& path, bool single, bool deletion)
{
    clearButtons();
    const QString shown = correctPathToDisplay(path);
    const QFileInfo info(path);
    const bool folder = info.isDir();
    QString title;
    if (deletion)
        title = folder ? tr("Error happened during attempt to delete directory:")
                       : tr("Error happened during attempt to delete file:");
    else
        title = folder ? tr("Error happened during attempt to open directory:")
                       : tr("Error happened during attempt to open file:");
    ui->lblTopTitle->setText(title);
    QString upper = shown;
    if (info.exists())
        upper += QLatin1Char('\n') + tr("Modified: ") + timeText(info.lastModified(), QLocale::ShortFormat);
    setExistingFileInfo(upper);
    setReplaceFileInfo(QString());
    ui->lblMiddleInfo->hide();
    setWindowTitle(tr("Access denied"));

    addButton("pbRetry", tr("Retry"), 0, 0, &ConflictDialog::on_pbRetry_pressed);
    addButton("pbSkip", tr("Skip"), 0, 1, &ConflictDialog::on_pbSkip_pressed);
    if (single) {
        addButton("pbAsAdmin", tr("Retry as administrator"), 0, 2, &ConflictDialog::on_pbAsAdmin_pressed);
    } else {
        addButton("pbSkipAll", tr("Skip All"), 0, 2, &ConflictDialog::on_pbSkipAll_pressed);
        addButton("pbAsAdmin", tr("Retry as administrator"), 1, 0, &ConflictDialog::on_pbAsAdmin_pressed);
        m_asAdminForAll = new QCheckBox(tr("Use acquired administrator privileges for all further operations"), this);
        m_asAdminForAll->setObjectName(QStringLiteral("cbAsAdminForAll"));
        ui->glButtons->addWidget(m_asAdminForAll, 1, 1, 1, 2);
    }
    fixSize();
}

void ConflictDialog::setExistingFileInfo(const QString& text)
{
    ui->lblUpperInfo->setText(text);
}

void ConflictDialog::setReplaceFileInfo(const QString& text)
{
    ui->lblLowerInfo->setText(text);
    ui->lblLowerInfo->setVisible(!text.isEmpty());
}

void ConflictDialog::setSelecteAction(E_UserAction action, bool forAll)
{
    UserActions::select(action, forAll);
    accept();
}

void ConflictDialog::on_pbReplace_pressed()
{
    setSelecteAction(UA_REPLACE, false);
}

void ConflictDialog::on_pbReplaceAll_pressed()
{
    setSelecteAction(UA_REPLACE, true);
}

void ConflictDialog::on_pbSkip_pressed()
{
    setSelecteAction(UA_SKIP, false);
}

void ConflictDialog::on_pbSkipAll_pressed()
{
    setSelecteAction(UA_SKIP, true);
}

void ConflictDialog::on_pbRename_pressed()
{
    setSelecteAction(UA_RENAME, false);
}

void ConflictDialog::on_pbRenameAll_pressed()
{
    setSelecteAction(UA_RENAME, true);
}

void ConflictDialog::on_pbRetry_pressed()
{
    setSelecteAction(UA_RETRY, false);
}

void ConflictDialog::on_pbAsAdmin_pressed()
{
    setSelecteAction(UA_AS_ADMIN, m_asAdminForAll && m_asAdminForAll->isChecked());
}

void ConflictDialog::on_pbAllAsAdmin_pressed()
{
    setSelecteAction(UA_AS_ADMIN, true);
}

void ConflictDialog::on_ExtractOverwriteDialog_rejected()
{
    UserActions::select(UA_CANCEL, true);
}
