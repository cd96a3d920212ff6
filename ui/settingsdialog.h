#pragma once

#include <QDialog>
#include <QList>
#include <QLocale>
#include <QTranslator>

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
    // The language box's value for following the system's language; no
    // language of QLocale has it.
    static constexpr int kSystemLanguage = 360;

    explicit SettingsDialog(QWidget* parent = nullptr);
    ~SettingsDialog() override;

    // The one place where the interface language changes (start-up, the
    // language box, system locale changes). kSystemLanguage and
    // QLocale::AnyLanguage follow the system; a language without a
    // translation leaves the program in English.
    static void setLanguage(QLocale::Language language);

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

    // The program's own translation and Qt's texts (standard buttons, key
    // names) in the same language.
    static QTranslator m_translator;
    static QTranslator m_qtTranslator;
};
