#include "ui/compressdialog.h"
#include "ui_compressdialog.h"

#include "engine/guiutils.h"
#include "fileops/utils.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QRegularExpression>
#include <QSignalBlocker>

#include <limits>

namespace {

// The archive name suffix of a format. The format names of bzip2 and gzip
// differ from their extensions; the rest of the program knows such archives
// by the extension, so the extension is what a name must end with.
QString archiveSuffix(const ZipFormatInfo& format)
{
    return format.extension;
}

} // namespace

CompressDialog::CompressDialog(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::CompressDialog)
{
    ui->setupUi(this);
    applyDialogStyle(this);

    const char* const volumeSizes[] = {
        QT_TR_NOOP("10M"),         QT_TR_NOOP("100M"),        QT_TR_NOOP("1000M"),
        QT_TR_NOOP("650M - CD"),   QT_TR_NOOP("700M - CD"),   QT_TR_NOOP("4092M - FAT"),
        QT_TR_NOOP("4480M - DVD"), QT_TR_NOOP("8128M - DVD DL"), QT_TR_NOOP("23040M - BD"),
    };
    for (const char* text : volumeSizes)
        ui->cbVolumeSize->addItem(tr(text));
    ui->cbVolumeSize->setCurrentIndex(-1);
    ui->cbVolumeSize->clearEditText();

    adjustSize();
    setFixedSize(size());
}

CompressDialog::~CompressDialog() = default;

void CompressDialog::setCompressOptions(CompressOptions& options)
{
    m_options = options;
    ui->cbArchiveName->clear();
    if (m_options.archivePath.isEmpty() && !m_options.files.isEmpty()) {
        const QString first = m_options.files.first();
        if (m_options.files.size() == 1) {
            m_options.archivePath = first;
        } else {
            const QString folder = QFileInfo(first).path();
            const QString folderName = QFileInfo(folder).fileName();
            m_options.archivePath = folderName.isEmpty() ? first : folder + QLatin1Char('/') + folderName;
        }
    }
    if (!m_options.archivePath.isEmpty()) {
        QString name = m_options.archivePath;
        addSpecialNameAwarenessIfNeeded(name);
        ui->cbArchiveName->addItem(correctPathToDisplay(name));
    }

    {
        const QSignalBlocker blocker(ui->cbFormat);
        ui->cbFormat->clear();
        for (const ZipFormatInfo& format : SupportedFormats) {
            if (isFormatOffered(format))
                ui->cbFormat->addItem(ZipFormatNames[format.format], int(format.format));
        }
        ui->cbFormat->setCurrentIndex(0);
    }
    applyFormatSelection();
}

CompressOptions CompressDialog::getCompressOptions() const
{
    return m_options;
}

bool CompressDialog::isFormatOffered(const ZipFormatInfo& format) const
{
    if (format.format == ZF_RAR || format.format == ZF_RAR5)
        return false;
    if (!format.singleFile)
        return true;
    // A single-stream compressor holds exactly one regular file.
    return m_options.files.size() == 1 && QFileInfo(m_options.files.first()).isFile();
}

const ZipFormatInfo& CompressDialog::currentFormat() const
{
    const int format = getSelectedComboBoxItem(ui->cbFormat).toInt();
    return SupportedFormats[format >= 0 && format < ZipFormatCount ? format : 0];
}

void CompressDialog::on_cbFormat_currentIndexChanged(int index)
{
    if (index >= 0)
        applyFormatSelection();
}

void CompressDialog::fillChoices(QComboBox* combo, std::initializer_list<Choice> choices)
{
    combo->clear();
    for (const Choice& choice : choices) {
        if (choice.offered)
            combo->addItem(tr(choice.text), choice.data);
    }
}

void CompressDialog::applyFormatSelection()
{
    const ZipFormatInfo& format = currentFormat();

    ui->cbChangeType->clear();
    ui->cbPathType->clear();
    ui->cbChangeType->addItem(tr("Add and replace"), int(UM_ADD_AND_REPLACE));
    ui->cbPathType->addItem(tr("Relative paths"));
    if (format.format == ZF_QV) {
        ui->cbVolumeSize->setCurrentIndex(-1);
        ui->cbVolumeSize->clearEditText();
    } else {
        ui->cbChangeType->addItem(tr("Update and add"), int(UM_UPDATE_AND_ADD));
        ui->cbChangeType->addItem(tr("Refresh"), int(UM_REFRESH));
        ui->cbChangeType->addItem(tr("Synchronize"), int(UM_SYNCHRONIZE));
        ui->cbPathType->addItem(tr("Full paths"));
        ui->cbPathType->addItem(tr("Absolute paths"));
        ui->cbVolumeSize->setEnabled(true);
    }

    // "Fastest" carries the same engine level as "Fast".
    fillChoices(ui->cbCompressLevel, {
                                         {format.Store, QT_TR_NOOP("Store"), 0},
                                         {format.Fastest, QT_TR_NOOP("Fastest"), 3},
                                         {format.Fast, QT_TR_NOOP("Fast"), 3},
                                         {format.Normal, QT_TR_NOOP("Normal"), 5},
                                         {format.Maximum, QT_TR_NOOP("Maximum"), 7},
                                         {format.Ultra, QT_TR_NOOP("Ultra"), 9},
                                     });
    if (ui->cbCompressLevel->count() > 0)
        ui->cbCompressLevel->setCurrentIndex(ui->cbCompressLevel->count() / 2);

    // The data is the index into the engine's method names.
    fillChoices(ui->cbCompressMethod, {
                                          {format.Deflate, QT_TR_NOOP("Deflate"), 4},
                                          {format.Deflate64, QT_TR_NOOP("Deflate64"), 5},
                                          {format.LZMA2, QT_TR_NOOP("LZMA2"), 0},
                                          {format.LZMA, QT_TR_NOOP("LZMA"), 1},
                                          {format.PPMd, QT_TR_NOOP("PPMd"), 2},
                                          {format.BZip2, QT_TR_NOOP("BZip2"), 3},
                                      });
    // What a request that comes without the dialog packs with.
    selectComboBoxItem(ui->cbCompressMethod, defaultMethodOf(format));

    ui->cbPassword->setEnabled(format.supportsEncryption);
    ui->lePassword->setEnabled(format.supportsEncryption && ui->cbPassword->isChecked());
    // The own format's password is a scrambling, not a cipher: say so where
    // the password is typed.
    const QString passwordTip = format.format == ZF_QV
        ? tr("The qv format scrambles the data with the password against casual reading. "
             "For strong protection choose 7z, which encrypts with AES-256.")
        : QString();
    ui->cbPassword->setToolTip(passwordTip);
    ui->lePassword->setToolTip(passwordTip);

    setArchiveName(format);
}

void CompressDialog::setArchiveName(const ZipFormatInfo& format)
{
    if (m_options.archivePath.isEmpty()) {
        ui->cbArchiveName->setEditText(QString());
        return;
    }
    QString name = m_options.archivePath;
    addSpecialNameAwarenessIfNeeded(name);
    const QString extension = QLatin1Char('.') + format.extension;
    const bool firstIsFolder = !m_options.files.isEmpty() && QFileInfo(m_options.files.first()).isDir();
    // A single-stream archive keeps the whole name of its one file, so that
    // unpacking it gives that file back under its own name.
    if (firstIsFolder || format.singleFile)
        name += extension;
    else
        name = getFileNameWithoutExtension(name, true) + extension;
    name = getRenameFileName(name, QStringLiteral("_%1"), true);
    ui->cbArchiveName->setEditText(correctPathToDisplay(name));
}

void CompressDialog::addSpecialNameAwarenessIfNeeded(QString& name) const
{
    const QString displayName = getSpecialFolderName(m_options.archivePath);
    if (displayName.isEmpty())
        return;
    const QString fileName = QFileInfo(m_options.archivePath).fileName();
    const int position = fileName.isEmpty() ? -1 : name.lastIndexOf(fileName);
    if (position >= 0)
        name.replace(position, fileName.size(), displayName);
}

bool CompressDialog::parseVolumeSize(const QString& text, int64_t* size)
{
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) {
        *size = -1;
        return true;
    }
    // The number must lead: searching anywhere would read "1.5g" as 5 GiB.
    static const QRegularExpression pattern(QStringLiteral("^([0-9]*)[\\s]*([kmg])"));
    const QRegularExpressionMatch match = pattern.match(trimmed.toLower());
    if (!match.hasMatch())
        return false;
    bool ok = false;
    const qulonglong number = match.captured(1).toULongLong(&ok);
    if (!ok)
        return false;
    const QChar unit = match.captured(2).at(0);
    const int shift = unit == QLatin1Char('k') ? 10 : unit == QLatin1Char('m') ? 20 : 30;
    if (number > (qulonglong(std::numeric_limits<int64_t>::max()) >> shift))
        return false;
    const int64_t bytes = int64_t(number << shift);
    if (bytes <= 999)
        return false;
    *size = bytes;
    return true;
}

void CompressDialog::on_pbOk_pressed()
{
    // Work on a copy: a refused volume size keeps the dialog open, and the
    // next attempt must start from the request as it was.
    CompressOptions result = m_options;
    const ZipFormatInfo& format = currentFormat();
    result.archivePath = ui->cbArchiveName->currentText();
    result.level = getSelectedComboBoxItem(ui->cbCompressLevel).toUInt();
    result.format = format.format;
    result.method = getSelectedComboBoxItem(ui->cbCompressMethod).toInt();
    result.updateMethod = ZipUpdateMethod(getSelectedComboBoxItem(ui->cbChangeType).toInt());

    // An empty name stays empty so that the operation reports the missing
    // name instead of writing a hidden ".7z" into the working folder.
    const QString suffix = archiveSuffix(format);
    if (!result.archivePath.isEmpty() && !result.archivePath.endsWith(suffix)) {
        if (!result.archivePath.endsWith(QLatin1Char('.')))
            result.archivePath += QLatin1Char('.');
        result.archivePath += suffix;
    }

    const bool withPassword = ui->cbPassword->isEnabled() && ui->cbPassword->isChecked();
    result.password = withPassword ? ui->lePassword->text() : QString();

    result.baseDirectory =
        CompressOptions::getBaseDirectory(E_PathType(ui->cbPathType->currentIndex()), m_options.baseDirectory);

    if (!parseVolumeSize(ui->cbVolumeSize->currentText(), &result.volumeSize)) {
        QMessageBox::warning(this, tr("Error"), tr("Invalid volume size"));
        return;
    }
    m_options = result;
    accept();
}

void CompressDialog::on_pbCancel_pressed()
{
    reject();
}

void CompressDialog::on_pbOpenDialog_pressed()
{
    const QFileInfo current(ui->cbArchiveName->currentText());
    QFileDialog dialog(this, tr("Add to archive"), current.absolutePath());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // Choosing an existing archive means adding to it, not replacing it.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.selectFile(current.fileName());
    if (dialog.exec() != QDialog::Accepted)
        return;
    const QStringList chosen = dialog.selectedFiles();
    if (!chosen.isEmpty())
        ui->cbArchiveName->setEditText(correctPathToDisplay(chosen.first()));
}

void CompressDialog::on_cbPassword_toggled(bool checked)
{
    ui->lePassword->setEnabled(checked && ui->cbPassword->isEnabled());
    if (checked)
        ui->lePassword->setFocus();
}
