#pragma once

// What the engine found wrong with an archive or one of its entries, in the
// words the user is told.

#include "engine/EngineInterfaces.h"

#include <QString>

// The archive-level problems the handler reports (the engine's error flags:
// not an archive, headers error, unexpected end, ...); 0 when none. Asked
// after Open, also a failed one, and after Extract, before Close.
UInt32 archiveErrorFlags(IInArchive* archive);
// The flag of a file that is no archive of the format it was opened as.
constexpr UInt32 kArchiveErrorIsNotArc = 1;
// The problems of the flags, joined by ", "; empty for 0.
QString archiveErrorText(UInt32 flags);
// What an entry's operation result (kOpResult...) means, e.g. "CRC error".
QString operationResultText(Int32 result);
// The reason of a failed engine call that said nothing more.
QString engineResultText(HRESULT result);
