#include "ui/extractdialog.h"
#include "ui_extractdialog.h"

#include "engine/guiutils.h"
#include "fileops/UserActions.h"

#include <QFileDialog>

namespace {

// The same rule by which the extraction picks the own container's reader, so
// that the first volume of a split archive gets the same offers as a whole one.
bool isOwnFormatArchive(const QString& path)
{
    return path.endsWith(QLatin1String(".qv")) || path.endsWith(QLatin1String(".qv.001"));
}

} // namespace

ExtractDialog::ExtractDialog(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::ExtractDialog)
{
    // The name under which the dialog's own rejected() reaches its slot.
    setObjectName(QStringLiteral("extractdialog"));
    ui->setupUi(this);
    ui->cbNoDuplicates->hide();
    applyDialogStyle(this);
}

ExtractDialog::~ExtractDialog() = default;

void ExtractDialog::setGui()
{
    ui->cbNoDuplicates->hide();
    const bool ownFormat = isOwnFormatArchive(m_options.archivePath);

    // The own container always restores the stored paths.
    ui->cbPathType->clear();
    if (!ownFormat) {
        ui->cbPathType->addItem(tr("Relative paths"), int(EPM_RELATIVE_PATHS));
        ui->cbPathType->addItem(tr("Without paths"), int(EPM_NO_PATHS));
    }
    ui->cbPathType->addItem(tr("Full paths"), int(EPM_FULL_PATHS));

    ui->cbRewrite->clear();
    ui->cbRewrite->addItem(tr("With confirmation"), int(EOM_ASK));
    ui->cbRewrite->addItem(tr("Without confirmation"), int(EOM_OVERWRITE));
    if (!ownFormat) {
        ui->cbRewrite->addItem(tr("Skip"), int(EOM_SKIP));
        ui->cbRewrite->addItem(tr("Rename automatically"), int(EOM_RENAME_NEW));
        ui->cbRewrite->addItem(tr("Rename existing"), int(EOM_RENAME_EXISTING));
    }
    ui->cbRewrite->setCurrentIndex(0);

    applyDialogStyle(this);
    setFixedSize(sizeHint());
    adjustSize();
}

void ExtractDialog::setExtractOptions(const ExtractOptions& options)
{
    m_options = options;
    setGui();

    const QString target = correctPathToDisplay(m_options.targetDirectory);
    int index = -1;
    for (int i = 0; i < ui->cbDstDirName->count() && index < 0; ++i) {
        if (ui->cbDstDirName->itemText(i).compare(target, Qt::CaseInsensitive) == 0)
            index = i;
    }
    if (index < 0) {
        ui->cbDstDirName->addItem(target);
        index = ui->cbDstDirName->count() - 1;
    }
    ui->cbDstDirName->setCurrentIndex(index);

    selectComboBoxItem(ui->cbPathType, m_options.pathMode);
    selectComboBoxItem(ui->cbRewrite, m_options.overwriteMode);
    ui->cbNoDuplicates->setChecked(m_options.removeDuplicatesRoot);
}

ExtractOptions ExtractDialog::getExtractOptions() const
{
    return m_options;
}

void ExtractDialog::applyGuiToOptions()
{
    m_options.targetDirectory = ui->cbDstDirName->currentText();
    m_options.sourceFolder.clear();
    m_options.overwriteMode = getSelectedComboBoxItem(ui->cbRewrite).toInt();
    m_options.removeDuplicatesRoot = ui->cbNoDuplicates->isChecked();
    m_options.pathMode = getSelectedComboBoxItem(ui->cbPathType).toInt();

    // The overwrite modes share their numbers with the conflict answers: the
    // chosen mode becomes the answer for this and every further conflict.
    const int mode = m_options.overwriteMode;
    if (mode >= 0 && mode < UserActions::kActionCount)
        UserActions::select(E_UserAction(mode), true);
}

void ExtractDialog::on_buttonBox_accepted()
{
    applyGuiToOptions();
    accept();
}

void ExtractDialog::on_pbOk_pressed()
{
    on_buttonBox_accepted();
}

void ExtractDialog::on_pbCancel_pressed()
{
    reject();
}

void ExtractDialog::on_extractdialog_rejected()
{
    m_options.targetDirectory.clear();
}

void ExtractDialog::on_pbSelectDir_pressed()
{
    const QString folder =
        QFileDialog::getExistingDirectory(this, tr("Open Directory"), ui->cbDstDirName->currentText(),
                                          QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (!folder.isEmpty())
        ui->cbDstDirName->setEditText(correctPathToDisplay(folder));
}
