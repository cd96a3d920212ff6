#include "app/settings.h"

#include "fileops/utils.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QSettings>
#include <QTranslator>


std::atomic<bool> CSettings::m_isSilent{false};
std::atomic<bool> CSettings::m_isElevated{false};

namespace {

QSettings::Scope scopeOf(bool global)
{
    return global ? QSettings::SystemScope : QSettings::UserScope;
}

QString panelKey(int panel)
{
    return QStringLiteral("Path/") + QString::number(panel);
}

} // namespace

QVariant CSettings::getValue(const QString& key, bool global)
{
    QSettings settings(QSettings::NativeFormat, scopeOf(global), QStringLiteral("Quenvar"), QStringLiteral("Settings"));
    if (global) {
        // A system scope object falls back to nothing else, but make sure a
        // missing system file reads as absent rather than as a user value.
        settings.setFallbacksEnabled(false);
    }
    return settings.value(key);
}

void CSettings::setValue(const QString& key, const QVariant& value, bool global)
{
    QSettings settings(QSettings::NativeFormat, scopeOf(global), QStringLiteral("Quenvar"), QStringLiteral("Settings"));
    settings.setValue(key, value);
    settings.sync();
}

bool CSettings::contains(const QString& key, bool global)
{
    QSettings settings(QSettings::NativeFormat, scopeOf(global), QStringLiteral("Quenvar"), QStringLiteral("Settings"));
    if (global)
        settings.setFallbacksEnabled(false);
    return settings.contains(key);
}

bool CSettings::getBoolValue(const QString& key, bool global)
{
    return getValue(key, global).toBool();
}

void CSettings::setBoolValue(const QString& key, bool value, bool global)
{
    setValue(key, value, global);
}

long long CSettings::getIntValue(const QString& key)
{
    return getValue(key).toLongLong();
}

void CSettings::setIntValue(const QString& key, long long value)
{
    setValue(key, value);
}

QString CSettings::getStringValue(const QString& key)
{
    return getValue(key).toString();
}

void CSettings::setStringValue(const QString& key, const QString& value)
{
    setValue(key, value);
}

QString CSettings::getPanelPath(int panel)
{
    if (!getBoolValue(QStringLiteral("ShouldRememberLastDirectory")))
        return QDir::homePath();

    const QString saved = getStringValue(panelKey(panel));
    if (getBoolValue(QStringLiteral("DoNotOpenSavedArchives"))) {
        QString tail;
        const QString file = getFileFromPath(saved, tail);
        printTime(QStringLiteral("remainingTail: ") + tail + QStringLiteral("  possibleArchivePath: ") + file);
        QFileInfo info(file);
        if (!file.isEmpty() && info.exists() && info.isFile()) {
            qDebug() << "FileExists";
            return info.absolutePath();
        }
    }
    if (saved.isEmpty())
        return QDir::homePath();
    return saved;
}

void CSettings::setPanelPath(int panel, QString path)
{
    setStringValue(panelKey(panel), path);
}

void CSettings::initSettings()
{
    if (getIntValue(QStringLiteral("InitVersion")) > 0)
        return;
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Quenvar"), QStringLiteral("Settings"));
    settings.setValue(QStringLiteral("ViewPath"), true);
    settings.setValue(QStringLiteral("ViewUp"), true);
    settings.setValue(QStringLiteral("ViewToolbar"), true);
    settings.setValue(QStringLiteral("DualPanel"), true);
    settings.setValue(QStringLiteral("ContextMenuEnabled"), true);
    settings.setValue(QStringLiteral("RemoveDuplicatesRoot"), false);
    settings.setValue(QStringLiteral("InitVersion"), 1);
    settings.setValue(QStringLiteral("RecycleBin"), true);
    settings.setValue(QStringLiteral("UseSecondChannel"), true);
    settings.setValue(QStringLiteral("RemoveSourceFiles"), false);
    settings.setValue(QStringLiteral("ListHiddenItems"), false);
    settings.setValue(QStringLiteral("ArchiveHiddenItems"), true);
    settings.setValue(QStringLiteral("ShouldRememberLastDirectory"), true);
    settings.setValue(QStringLiteral("DoNotOpenSavedArchives"), false);
    settings.sync();
}

bool CSettings::isSilent()
{
    return m_isSilent.load();
}

void CSettings::setSilent(bool silent)
{
    m_isSilent.store(silent);
}

bool CSettings::isElevated()
{
    return m_isElevated.load();
}

void CSettings::setElevated(bool elevated)
{
    m_isElevated.store(elevated);
}

void installLanguage(QLocale::Language language)
{
    static QTranslator translator;
    static QTranslator qtTranslator;
    QCoreApplication::removeTranslator(&translator);
    QCoreApplication::removeTranslator(&qtTranslator);
    if (int(language) == kSystemLanguage || language == QLocale::AnyLanguage)
        language = QLocale::system().language();
    if (language != QLocale::Russian)
        return;
    if (translator.load(QStringLiteral(":/lang/Quenvar_ru")))
        QCoreApplication::installTranslator(&translator);
    // Qt's own texts come with the system's Qt translations, when installed.
    if (qtTranslator.load(QStringLiteral("qtbase_ru"), QLibraryInfo::location(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&qtTranslator);
}
