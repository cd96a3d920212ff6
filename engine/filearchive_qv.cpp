// The own ".qv" container's side of FileArchive. Its operations are routed
// here by name (isQvExtension) or by format (ZF_QV); until the container's
// archive operations are joined to them, such requests end with the
// "format is not supported" message.
#include "engine/filearchive.h"

bool FileArchive::openArchive_qv(const QString& /*path*/)
{
    ReportError(LS_FORMAT_NOT_SUPPORTED, {});
    m_result = E_NOTIMPL;
    return false;
}

void FileArchive::extractArchive_custom(const ExtractOptions& /*options*/)
{
    ReportError(LS_FORMAT_NOT_SUPPORTED, {});
    m_result = E_NOTIMPL;
}

void FileArchive::updateArchive_custom(CompressOptions& /*options*/)
{
    ReportError(LS_FORMAT_NOT_SUPPORTED, {});
    m_result = E_NOTIMPL;
}
