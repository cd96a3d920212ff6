#include "app/globals.h"

#include <QCoreApplication>
#include <QEvent>

#include <atomic>
#include <cstdio>

namespace {

QString& storedExeName()
{
    static QString m_applicationExeName;
    return m_applicationExeName;
}

// Constructed during static initialisation, with no parent.
AppFilter g_appFilter;

std::atomic<bool> g_unattended{false};

} // namespace

bool AppFilter::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        return true;
    default:
        return QObject::eventFilter(watched, event);
    }
}

AppFilter& appFilter()
{
    return g_appFilter;
}

QString ApplicationExeName()
{
    return storedExeName();
}

void SetApplicationExeName(const QString& name)
{
    storedExeName() = name;
}

QString ThisDllDirPath()
{
    return QCoreApplication::applicationFilePath();
}

void initQuenvarResources()
{
    Q_INIT_RESOURCE(quenvar);
    Q_INIT_RESOURCE(quenvar_icons);
#ifdef QUENVAR_HAS_TRANSLATIONS
    Q_INIT_RESOURCE(quenvar_lang);
#endif
}

bool hasDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

void setUnattended(bool unattended)
{
    g_unattended = unattended;
}

bool isUnattended()
{
    return g_unattended;
}

void printToStandardError(const QString& line)
{
    std::fprintf(stderr, "%s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

QString mainWindowArchive(const QString& command, const QStringList& arguments, const QStringList& positional)
{
    if (command == QLatin1String("o"))
        return positional.value(0);
    if (command == QLatin1String("t"))
        return QString();
    return arguments.size() > 1 ? arguments.last() : QString();
}
