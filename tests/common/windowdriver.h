#pragma once

// Drives the main window in the tests: restarts it on a path, finds and
// selects the rows of a panel, reads what a panel shows and types into the
// in-place editor, as a user would.

#include <QModelIndex>
#include <QString>
#include <QStringList>

class MainWindow;

namespace windowdriver {

// A new main window showing path in the first panel (its stored path when
// path is empty); the old one is deleted.
MainWindow* restart(const QString& path = QString());
// The panel's row of that name, waiting for the folder to be listed; an
// invalid index (and a failed test) when it does not come.
QModelIndex rowOf(int panel, const QString& name);
// Exactly these rows selected, the last one current.
void select(int panel, const QStringList& names);
// What a panel shows: its address, and " [archive]" when it shows an archive.
QString shown(int panel);
// Puts text into the panel's open in-place editor and commits it.
void commitEditor(int panel, const QString& text);
// The names in the system temporary folder that the program makes for
// itself ("Quenvar_..."): none may be left behind.
QStringList temporaryLeftovers();

} // namespace windowdriver
