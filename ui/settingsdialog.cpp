#include "ui/settingsdialog.h"
#include "ui_settingsdialog.h"

#include "app/settings.h"
#include "desktop/RegistryUtils.h"
#include "engine/guiutils.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QKeySequence>
#include <QLineEdit>

namespace {

const char* const kFormatProperty = "format_index";
const QString kLanguageKey = QStringLiteral("DefaultLanguage");

struct OptionBox
{
    QCheckBox* Ui::SettingsDialog::*box;
    const char* key;
};

const OptionBox kOptionBoxes[] = {
    {&Ui::SettingsDialog::cbContextMenu, "ContextMenuEnabled"},
    {&Ui::SettingsDialog::cbRemoveDuplicates, "RemoveDuplicatesRoot"},
    {&Ui::SettingsDialog::cbRecycleBin, "RecycleBin"},
    {&Ui::SettingsDialog::cbUseSecondPanel, "UseSecondChannel"},
    {&Ui::SettingsDialog::cbRemoveSourceFiles, "RemoveSourceFiles"},
    {&Ui::SettingsDialog::cbAppendNumberToDirectory, "AppendNumberToDirectory"},
    {&Ui::SettingsDialog::cbListHiddenItems, "ListHiddenItems"},
    {&Ui::SettingsDialog::cbArchiveHiddenItems, "ArchiveHiddenItems"},
    {&Ui::SettingsDialog::cbRememberLastDir, "ShouldRememberLastDirectory"},
    {&Ui::SettingsDialog::cbDoNotOpenSavedArchives, "DoNotOpenSavedArchives"},
};

struct Hotkey
{
    const char* action;
    QList<QKeySequence> keys;
};

// What the main window's fixed key map does; shown, never changed here.
QList<Hotkey> hotkeys()
{
    return {
        {QT_TRANSLATE_NOOP("SettingsDialog", "Open/Execute Selected Item"), {QKeySequence(Qt::Key_Return)}},
        {QT_TRANSLATE_NOOP("SettingsDialog", "Open Parent Directory"), {QKeySequence(Qt::Key_Backspace)}},
        {QT_TRANSLATE_NOOP("SettingsDialog", "Move Selected Item(s) to Trash"),
         {QKeySequence(Qt::CTRL + Qt::Key_D), QKeySequence(Qt::Key_Delete)}},
        {QT_TRANSLATE_NOOP("SettingsDialog", "Delete Selected Item(s)"), {QKeySequence(Qt::SHIFT + Qt::Key_Delete)}},
        {QT_TRANSLATE_NOOP("SettingsDialog", "Rename Selected Item"), {QKeySequence(Qt::Key_F2)}},
        {QT_TRANSLATE_NOOP("SettingsDialog", "Refresh Panel"),
         {QKeySequence(Qt::CTRL + Qt::Key_R), QKeySequence(Qt::Key_F5)}},
        {QT_TRANSLATE_NOOP("SettingsDialog", "Create Folder"), {QKeySequence(Qt::CTRL + Qt::SHIFT + Qt::Key_N)}},
        {QT_TRANSLATE_NOOP("SettingsDialog", "Put Focus on Address Bar"), {QKeySequence(Qt::ALT + Qt::Key_D)}},
        {QT_TRANSLATE_NOOP("SettingsDialog", "Copy Selected Item(s)"), {QKeySequence(Qt::CTRL + Qt::Key_C)}},
        {QT_TRANSLATE_NOOP("SettingsDialog", "Cut Selected Item(s)"), {QKeySequence(Qt::CTRL + Qt::Key_X)}},
        {QT_TRANSLATE_NOOP("SettingsDialog", "Paste Selected Item(s)"), {QKeySequence(Qt::CTRL + Qt::Key_V)}},
    };
}

} // namespace

SettingsDialog::SettingsDialog(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::SettingsDialog)
{
    ui->setupUi(this);
    for (const OptionBox& option : kOptionBoxes)
        (ui.get()->*option.box)->setChecked(CSettings::getBoolValue(QLatin1String(option.key)));
    setupLanguageSettings();
    setupArchiversSettings();
    setupHotkeys();
    applyDialogStyle(this);
}

SettingsDialog::~SettingsDialog() = default;

void SettingsDialog::setLanguageInCombobox(QLocale::Language language)
{
    const int index = ui->cbChangeLanguage->findData(int(language));
    if (index < 0)
        return;
    const QSignalBlocker blocker(ui->cbChangeLanguage);
    ui->cbChangeLanguage->setCurrentIndex(index);
}

void SettingsDialog::setupLanguageSettings()
{
    const QSignalBlocker blocker(ui->cbChangeLanguage);
    ui->cbChangeLanguage->clear();
    ui->cbChangeLanguage->addItem(tr("Default"), kSystemLanguage);
    // Each language under its own name, whatever the current one.
    ui->cbChangeLanguage->addItem(QStringLiteral("English"), int(QLocale::English));
    ui->cbChangeLanguage->addItem(QStringLiteral("Русский"), int(QLocale::Russian));
    setLanguageInCombobox(QLocale::Language(CSettings::getIntValue(kLanguageKey)));
}

void SettingsDialog::setupArchiversSettings()
{
    const QList<ZipFormat> registered = GetRegisteredExtensions_local();
    for (const ZipFormatInfo& row : SupportedFormats) {
        if (!isAssociableFormat(row.format))
            continue;
        auto* box = new QCheckBox(row.extension, this);
        box->setObjectName(QStringLiteral("cbAssociations"));
        box->setProperty(kFormatProperty, int(row.format));
        box->setChecked(registered.contains(row.format));
        ui->checkboxLayout->addWidget(box);
        m_associationBoxes << box;
    }
    ui->checkboxLayout->addStretch();
}

void SettingsDialog::setupHotkeys()
{
    while (ui->hotkeysLayout->rowCount() > 0)
        ui->hotkeysLayout->removeRow(0);
    for (const Hotkey& hotkey : hotkeys()) {
        QStringList keys;
        for (const QKeySequence& key : hotkey.keys)
            keys << key.toString(QKeySequence::NativeText);
        auto* field = new QLineEdit(keys.join(tr(" or ")), ui->tabHotkeys);
        field->setReadOnly(true);
        ui->hotkeysLayout->addRow(tr(hotkey.action), field);
    }
}

void SettingsDialog::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        ui->cbChangeLanguage->setItemText(0, tr("Default"));
        setupHotkeys();
    }
    QDialog::changeEvent(event);
}

void SettingsDialog::on_pbClose_pressed()
{
    for (const OptionBox& option : kOptionBoxes)
        CSettings::setBoolValue(QLatin1String(option.key), (ui.get()->*option.box)->isChecked());

    QList<ZipFormat> ticked;
    for (QCheckBox* box : qAsConst(m_associationBoxes)) {
        if (box->isChecked())
            ticked << ZipFormat(box->property(kFormatProperty).toInt());
    }
    SetRegisteredExtensions_local(ticked);
    accept();
}

void SettingsDialog::on_cbChangeLanguage_currentIndexChanged(int index)
{
    const int language = ui->cbChangeLanguage->itemData(index).toInt();
    installLanguage(QLocale::Language(language));
    CSettings::setIntValue(kLanguageKey, language);
    ui->cbChangeLanguage->setItemText(0, tr("Default"));
}
