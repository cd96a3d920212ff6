#pragma once

#include <QDialog>
#include <QList>
#include <QLocale>

#include <memory>

class QCheckBox;

namespace Ui {
class SettingsDialog;
}

// "Settings": the boolean options, the archive types associated with the
// program, the interface language and the fixed key map. Only Close writes
// the options and the associations; the language changes at once.
class SettingsDialog : public QDialog
{
    Q_OBJECT

public:
    explicit SettingsDialog(QWidget* parent = nullptr);
    ~SettingsDialog() override;

    void setLanguageInCombobox(QLocale::Language language);
    void setupLanguageSettings();
    void setupArchiversSettings();
    void setupHotkeys();

protected:
    void changeEvent(QEvent* event) override;

private slots:
    void on_pbClose_pressed();
    void on_cbChangeLanguage_currentIndexChanged(int index);

private:
    std::unique_ptr<Ui::SettingsDialog> ui;
    QList<QCheckBox*> m_associationBoxes;
};
