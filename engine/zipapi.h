#pragma once

// The program's side of the 7-Zip engine boundary: finding and loading the
// engine library, creating its archive handlers, and converting strings.

#include "engine/EngineInterfaces.h"
#include "engine/Guid.h"
#include "engine/MyCom.h"

#include <QString>
#include <QStringList>

#include <string>

// Loads the engine on first use; true when it is usable. A failed load is
// tried again by the next call. An engine whose object layout differs from
// the one this program is built for, or that does not report its layout, is
// not used (a debug line says why).
bool InitGetProc();
struct EngineStatus
{
    bool loaded = false;
    // The library tried last.
    QString path;
    // As the engine reports it ("26.02"), when loaded.
    QString version;
    // Why it is not in use, when not loaded.
    QString failure;
};
// Loads the engine when needed and tells how that went.
EngineStatus engineStatus();

// 0 on success (out holds the engine's in-archive handler for the format
// class), 1 on any failure.
int GetIInArchive(GUID clsid, CMyComPtr<IInArchive>* out);
// The same for the out-archive handler.
int GetIOutArchive(GUID clsid, CMyComPtr<IOutArchive>* out);
// Asks the engine to use large memory pages, when it can.
void SetUseLargePages();

// The library the loader uses: the first of the candidates that exists,
// otherwise the fallback (which is not checked).
QString chooseEngineLibrary(const QStringList& candidates, const QString& fallback);
// The real search: /usr/lib/p7zip/7z.so, /usr/lib64/p7zip/7z.so, then 7z.so
// in the application's folder.
QString engineLibraryPath();

// For tests only: load the engine from path instead of searching (an empty
// path restores the search). Forgets the loaded state, so the next loader
// call loads again; a library loaded earlier stays mapped, so engine objects
// that still exist keep working.
void setEngineLibraryPathForTests(const QString& path);

// Engine strings are made of 32-bit characters. The installed engine keeps
// UTF-16 code units in them: a character beyond the BMP is a surrogate pair
// of two characters, both ways. Characters above 0xFFFF that some part of the
// engine may still hand over as whole code points are split into pairs; lone
// surrogates pass through unchanged; values that are no code point become
// U+FFFD.
std::wstring toWideString(const QString& text);
QString fromWideString(const wchar_t* text);
QString fromWideString(const wchar_t* text, size_t length);
// A new engine string (SysAllocString layout); null when out of memory.
BSTR allocEngineString(const QString& text);
// The text of an engine string, by its stored length; empty for null.
QString fromEngineString(BSTR text);
// Sets value to an engine-string copy of text (PropVarEm_Set_Str rules).
HRESULT propSetString(PROPVARIANT* value, const QString& text);
