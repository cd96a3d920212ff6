#pragma once

#include <QLocale>
#include <QString>
#include <atomic>
#include <QVariant>

// Static facade over QSettings: every call opens its own QSettings, so each
// write reaches the file at once and every read sees the file's content.
class CSettings
{
public:
    CSettings() = delete;

    static QVariant getValue(const QString& key, bool global = false);
    static void setValue(const QString& key, const QVariant& value, bool global = false);
    static bool contains(const QString& key, bool global = false);

    static bool getBoolValue(const QString& key, bool global = false);
    static void setBoolValue(const QString& key, bool value, bool global = false);

    static long long getIntValue(const QString& key);
    static void setIntValue(const QString& key, long long value);

    static QString getStringValue(const QString& key);
    static void setStringValue(const QString& key, const QString& value);

    static QString getPanelPath(int panel);
    static void setPanelPath(int panel, QString path);

    // Writes the first-run defaults unless "InitVersion" is already above 0.
    static void initSettings();

    static bool isSilent();
    static void setSilent(bool silent);
    static bool isElevated();
    static void setElevated(bool elevated);

private:
    // Both are read by workers while the GUI thread may set them.
    static std::atomic<bool> m_isSilent;
    static std::atomic<bool> m_isElevated;
};

// The value of "DefaultLanguage" that follows the system; no language of
// QLocale has it.
constexpr int kSystemLanguage = 360;

// The one place where the interface language changes (start-up, the
// language box, system locale changes). kSystemLanguage and
// QLocale::AnyLanguage follow the system; a language without a translation
// leaves the program in English. Qt's own texts (standard buttons, key
// names) follow in the same language.
void installLanguage(QLocale::Language language);
