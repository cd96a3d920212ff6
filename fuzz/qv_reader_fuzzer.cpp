// libFuzzer entry for the own container's reader.
#include "qv_reader_harness.h"

#include <QDir>

#include <cstdlib>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QString workDir = [] {
        const QString base = QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
        const QString dir = base + QStringLiteral("/qv-fuzz-%1").arg(getpid());
        QDir().mkpath(dir);
        return dir;
    }();
    if (!qvReaderHarness(data, size, workDir))
        abort();
    return 0;
}
