#pragma once

#include <QString>
#include <QStringList>

// Writes the text and a line end as the file's whole content.
bool writeStringToFile(const QString& path, const QString& text);
// Writes each line followed by a line end as the file's whole content.
bool writeLinesToFile(const QString& path, const QStringList& lines);
