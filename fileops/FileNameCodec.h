#pragma once

#include <QString>

// File names on Linux are bytes, and not every name is UTF-8: tar and zip
// archives made on other systems carry Latin-1 or DOS code page names. The
// archive engine hands a byte it cannot decode over as the character
// U+EF00 + byte (U+EF80 to U+EFFF). This codec, installed as the locale's,
// speaks the same language for every path Qt and the program turn into bytes
// (QFile::encodeName, the command line, folder listings): UTF-8, except that
// U+EF80..U+EFFF become the single bytes they stand for, and bytes that are no
// UTF-8 become those characters. Every name on the disk thus reads into a
// QString that writes back to the same bytes, and an entry named with foreign
// bytes is extracted under exactly those bytes, as the engine's own tool and
// GNU tar do.
//
// Call once at start-up, after the application object exists.
void installFileNameCodec();

// The name as a person can read it: each byte that was no UTF-8 shows as the
// replacement character. For display only; never use it to reach the file.
QString readableFileName(const QString& name);
