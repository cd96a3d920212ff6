#pragma once

#include "app/CCompressOptions.h"

#include <QList>
#include <QString>

// The program as the desktop's handler of archive types: one line
// "<mime type>=Quenvar.desktop" under both "[Added Associations]" and
// "[Default Applications]" of the user's mimeapps.list. GUI thread only.
//
// The file holds other programs' choices too, so it is only ever replaced by
// one rename of a complete new file; a file that cannot be read or written
// stays as it was, and the reason goes to the log.

// $XDG_CONFIG_HOME/mimeapps.list (~/.config when the variable is unset).
QString mimeAppsListPath();

// Every format that can be associated, in table order (the tar combinations
// share their compressor's type and are left out).
QList<ZipFormat> getListOfExtensionsToRegister();

// Formats with an association line of their own: the tar combinations and
// the older RAR share another row's type.
bool isAssociableFormat(ZipFormat format);

// Makes the file associate exactly the given formats; every other format's
// lines are removed. On Linux both scopes edit the running user's file.
void SetRegisteredExtensions(const QList<ZipFormat>& formatsToRegister, bool useGlobal);
void SetRegisteredExtensions_local(const QList<ZipFormat>& formatsToRegister);
void SetRegisteredExtensions_global(const QList<ZipFormat>& formatsToRegister);
void UnregisterExtensions_local();
void UnregisterExtensions_global();

// Removes every line whose key is the format's type and, when registered,
// adds the association under both headers. False when the file was left
// untouched because it could not be read or replaced.
bool editDefaultHandlerForExtension(bool useGlobal, const ZipFormatInfo& format, bool registered);
bool editDefaultHandlerForExtension_Linux(const ZipFormatInfo& format, bool registered);

// The formats whose association line is in the file; formats sharing a type
// with an associated one are reported too.
QList<ZipFormat> GetRegisteredExtensions(bool useGlobal);
QList<ZipFormat> GetRegisteredExtensions_local();

// First start after a system-wide "r": associates every format for this user,
// once.
void registerLocalAssociationsIfNeeded();

// Uninstall clean-up of the settings store kept under the other system's name.
void removeSettings();
