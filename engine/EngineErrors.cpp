#include "engine/EngineErrors.h"

#include "engine/EngineTypes.h"

#include <QCoreApplication>
#include <QStringList>

namespace {

QString trArchive(const char* text)
{
    return QCoreApplication::translate("filearchive", text);
}

} // namespace

UInt32 archiveErrorFlags(IInArchive* archive)
{
    CPropVariant flags;
    if (!archive || archive->GetArchiveProperty(kpidErrorFlags, &flags) != S_OK || flags.vt != VT_UI4)
        return 0;
    return flags.ulVal;
}

QString archiveErrorText(UInt32 flags)
{
    // In the order of the engine's bits.
    static const char* const texts[] = {
        QT_TRANSLATE_NOOP("filearchive", "not an archive of a known format"),
        QT_TRANSLATE_NOOP("filearchive", "headers error"),
        QT_TRANSLATE_NOOP("filearchive", "headers error in encrypted archive (wrong password?)"),
        QT_TRANSLATE_NOOP("filearchive", "the start of the archive is missing"),
        QT_TRANSLATE_NOOP("filearchive", "the start of the archive is not confirmed"),
        QT_TRANSLATE_NOOP("filearchive", "unexpected end of archive"),
        QT_TRANSLATE_NOOP("filearchive", "data after the end of the archive"),
        QT_TRANSLATE_NOOP("filearchive", "unsupported feature"),
        QT_TRANSLATE_NOOP("filearchive", "unsupported method"),
        QT_TRANSLATE_NOOP("filearchive", "data error"),
        QT_TRANSLATE_NOOP("filearchive", "CRC error"),
    };
    QStringList problems;
    for (UInt32 bit = 0; bit < sizeof(texts) / sizeof(texts[0]); ++bit) {
        if (flags & (1u << bit))
            problems << trArchive(texts[bit]);
    }
    const UInt32 unknown = flags & ~((1u << (sizeof(texts) / sizeof(texts[0]))) - 1);
    if (unknown)
        problems << trArchive(QT_TRANSLATE_NOOP("filearchive", "error flags 0x%1")).arg(unknown, 0, 16);
    return problems.join(QStringLiteral(", "));
}

QString operationResultText(Int32 result)
{
    // By the engine's result numbers, from 1.
    static const char* const texts[] = {
        QT_TRANSLATE_NOOP("filearchive", "unsupported method"),
        QT_TRANSLATE_NOOP("filearchive", "data error"),
        QT_TRANSLATE_NOOP("filearchive", "CRC error"),
        QT_TRANSLATE_NOOP("filearchive", "data not available"),
        QT_TRANSLATE_NOOP("filearchive", "unexpected end of data"),
        QT_TRANSLATE_NOOP("filearchive", "data after the end of the entry"),
        QT_TRANSLATE_NOOP("filearchive", "not an archive"),
        QT_TRANSLATE_NOOP("filearchive", "headers error"),
        QT_TRANSLATE_NOOP("filearchive", "wrong password"),
    };
    if (result >= 1 && result <= Int32(sizeof(texts) / sizeof(texts[0])))
        return trArchive(texts[result - 1]);
    return trArchive(QT_TRANSLATE_NOOP("filearchive", "error %1")).arg(result);
}

QString engineResultText(HRESULT result)
{
    if (result == E_OUTOFMEMORY)
        return trArchive(QT_TRANSLATE_NOOP("filearchive", "not enough memory"));
    if (result == E_NOTIMPL)
        return trArchive(QT_TRANSLATE_NOOP("filearchive", "unsupported feature"));
    return trArchive(QT_TRANSLATE_NOOP("filearchive", "the archive engine failed (0x%1)"))
        .arg(static_cast<uint32_t>(result), 8, 16, QLatin1Char('0'));
}
