#pragma once

#include <QString>
#include <QStringList>

// Writes the text and a line end as the file's whole content. On failure
// *reason (when given) gets the system's words for it.
bool writeStringToFile(const QString& path, const QString& text, QString* reason = nullptr);
// Writes each line followed by a line end as the file's whole content.
bool writeLinesToFile(const QString& path, const QStringList& lines, QString* reason = nullptr);
