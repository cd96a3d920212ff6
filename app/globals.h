#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

// Swallows mouse clicks and key presses while a long operation runs on the
// GUI thread; installed on the application object for the duration.
class AppFilter : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override;
};

// The single input blocker of the process.
AppFilter& appFilter();

QString ApplicationExeName();
void SetApplicationExeName(const QString& name);
// The full path of the executable (not its directory).
QString ThisDllDirPath();

// Registers the resources compiled into the program's library.
void initQuenvarResources();

// True when a window system is reachable: DISPLAY or WAYLAND_DISPLAY is set,
// or QT_QPA_PLATFORM names a platform explicitly.
bool hasDisplay();

// Set when the program runs without a display: nobody can answer a question,
// so every question of an operation is answered as Cancel, and messages go
// to standard error instead of message boxes.
void setUnattended(bool unattended);
bool isUnattended();

// One line on standard error, for scripts and terminals.
void printToStandardError(const QString& line);

// What the main window opens at start-up: the command "o" opens its first
// path, "t" nothing, any other value (or none) the last argument of the
// whole argument list (program name included) when there is more than one.
QString mainWindowArchive(const QString& command, const QStringList& arguments, const QStringList& positional);
