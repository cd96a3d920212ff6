#pragma once

#include "app/CCompressOptions.h"

#include <QString>
#include <QStringList>

class QXmlStreamReader;

// Reads an XML operation file into exactly one request: on return either
// *compress or *extract points to a new record that the caller owns, the
// other is null. Always returns true; a file that cannot be read or describes
// no compress operation yields an extract request.
//
// A path that is already absolute is taken as written, a relative one is
// resolved against the XML file's folder.
//
// An extract request whose file names no archive (no non-empty "file"
// element, an unreadable or malformed file) has an empty archivePath; the
// caller reports that as a missing archive instead of running it.
//
// A compress request without a "format" element gets ZIP, the same format an
// unknown format name gives.
//
// A "volume" that is no whole number of MiB (0 or empty for one file) is
// handed back as written in *invalidVolume, which stays empty otherwise; the
// caller refuses the file.
bool parseXml(const QString& xmlPath, CompressOptions** compress, ExtractOptions** extract,
              QString* invalidVolume = nullptr);

// The paths of the "file..." children of the current "files" element,
// resolved against baseDir; other children are skipped with their contents.
QStringList readFiles(QXmlStreamReader& reader, const QString& baseDir);
