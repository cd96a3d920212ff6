#pragma once

// Shared pieces of the archive operation tests: a sample tree, the 7z tool as
// the independent peer, and running FileArchive requests on a worker thread.

#include "common/archiveanswerer.h"
#include "common/testenv.h"
#include "engine/filearchive.h"
#include "engine/streams.h"
#include "fileops/utils.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QMap>
#include <QRandomGenerator>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace archivetest {

// 2020-05-17 10:20:30.1234567 UTC in 100 ns ticks since 1601.
constexpr uint64_t kBaseTime = 132341724301234567ULL;
constexpr uint64_t kTicksPerSecond = 10000000ULL;

// Root reads every folder. For the duration, this thread and the threads it
// starts read by the permission bits like anyone else.
class PermissionBitsApply
{
public:
    PermissionBitsApply()
    {
        if (geteuid() != 0)
            return;
        if (syscall(SYS_capget, &m_header, m_saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        m_active = syscall(SYS_capset, &m_header, reduced) == 0;
    }
    ~PermissionBitsApply()
    {
        if (m_active)
            syscall(SYS_capset, &m_header, m_saved);
    }
    PermissionBitsApply(const PermissionBitsApply&) = delete;
    PermissionBitsApply& operator=(const PermissionBitsApply&) = delete;

private:
    __user_cap_header_struct m_header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct m_saved[2]{};
    bool m_active = false;
};

inline QByteArray randomBytes(int size, quint32 seed)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator generator(seed);
    for (int i = 0; i < size; ++i)
        data[i] = static_cast<char>(generator.bounded(256));
    return data;
}

// Nested folders, an empty file, an empty folder and names beyond ASCII.
inline QMap<QString, QByteArray> sampleFiles()
{
    return {
        {QStringLiteral("docs/a.txt"), QByteArray("alpha alpha alpha\n")},
        {QStringLiteral("docs/sub/deeper/b.bin"), randomBytes(70000, 1)},
        {QString::fromUtf8("docs/Ünïcödé ☃ ") + QString::fromUcs4(U"\U0001F600") + QStringLiteral(".txt"),
         QByteArray("wide name")},
        {QString::fromUtf8("мир/файл.txt"), QByteArray("cyrillic\n")},
        {QStringLiteral("top.txt"), QByteArray(5000, 'x')},
        {QStringLiteral("zero.txt"), QByteArray()},
    };
}

inline QStringList sampleEmptyFolders()
{
    return {QStringLiteral("docs/empty"), QStringLiteral("void")};
}

// Gives every file and folder below root its own time, exact to 100 ns
// (whole seconds when wholeSeconds).
inline void setTreeTimes(const QString& root, bool wholeSeconds = false)
{
    const QStringList paths = testenv::listTree(root);
    // Deepest first: setting a file's time leaves its folder's alone, but
    // creating files does not.
    for (int i = paths.size() - 1; i >= 0; --i) {
        QString path = root + QLatin1Char('/') + paths.at(i);
        if (path.endsWith(QLatin1Char('/')))
            path.chop(1);
        uint64_t time = kBaseTime + uint64_t(i) * 3 * kTicksPerSecond;
        if (wholeSeconds)
            time -= time % kTicksPerSecond;
        setFileTimesTicks(path, time, time);
    }
}

inline void makeSampleTree(const QString& root, bool wholeSeconds = false)
{
    testenv::makeTree(root, sampleFiles(), sampleEmptyFolders());
    setTreeTimes(root, wholeSeconds);
}

inline uint64_t modificationTicks(const QString& path)
{
    uint64_t modification = 0;
    getFileTimes(path, nullptr, nullptr, &modification);
    return modification;
}

// The first difference of the files' modification times between two trees,
// compared in units of unitTicks; empty when there is none.
inline QString compareTimes(const QString& expected, const QString& actual, uint64_t unitTicks, bool folders = true)
{
    for (const QString& relative : testenv::listTree(expected)) {
        if (!folders && relative.endsWith(QLatin1Char('/')))
            continue;
        const uint64_t want = modificationTicks(expected + QLatin1Char('/') + relative) / unitTicks;
        const uint64_t got = modificationTicks(actual + QLatin1Char('/') + relative) / unitTicks;
        if (want != got)
            return QStringLiteral("%1: %2 != %3").arg(relative).arg(got).arg(want);
    }
    return QString();
}

// The paths of everything below root, for the sources of a request.
inline QStringList topLevelPaths(const QString& root)
{
    QStringList paths;
    const QStringList names = QDir(root).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    for (const QString& name : names)
        paths << root + QLatin1Char('/') + name;
    return paths;
}

inline testenv::ProcessResult peer(const QStringList& arguments, const QString& workDir = QString())
{
    return testenv::run7z(arguments, workDir);
}

inline bool passes7zTest(const QString& archive, const QStringList& extra = {})
{
    const testenv::ProcessResult result = testenv::run7z(QStringList{QStringLiteral("t")} + extra + QStringList{archive});
    return result.finished && result.exitCode == 0;
}

inline QString slt(const QString& archive)
{
    return QString::fromUtf8(testenv::run7z({QStringLiteral("l"), QStringLiteral("-slt"), archive}).out);
}

// Extracts with the peer; empty on success, its output otherwise.
inline QString extractWith7z(const QString& archive, const QString& target)
{
    const testenv::ProcessResult result =
        testenv::run7z({QStringLiteral("x"), QStringLiteral("-y"), QStringLiteral("-o") + target, archive});
    if (!result.finished || result.exitCode != 0)
        return QString::fromUtf8(result.out + result.err);
    return QString();
}

// Files of a folder whose names mark them as the operation's own leftovers.
inline QStringList leftovers(const QString& root)
{
    QStringList found;
    QDirIterator it(root, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QString name = it.fileName();
        if (name.contains(QLatin1String("qvpart")) || name.startsWith(QLatin1String(".quenvar-")) ||
            name.contains(QLatin1String("_tmp")) || name.contains(QLatin1String("_backup")) ||
            name.endsWith(QLatin1String(".qvlock")))
            found << path;
    }
    return found;
}

inline ExtractOptions extractRequest(const QString& archive, const QString& target)
{
    ExtractOptions options;
    options.archivePath = archive;
    options.targetDirectory = target;
    options.pathMode = EPM_FULL_PATHS;
    options.removeDuplicatesRoot = false;
    return options;
}

inline CompressOptions compressRequest(const QString& archive, const QString& baseDirectory, const QStringList& files,
                                       ZipFormat format)
{
    CompressOptions options;
    options.archivePath = archive;
    options.baseDirectory = baseDirectory;
    options.files = files;
    options.format = format;
    options.useLargePages = false;
    return options;
}

// One operation on a worker thread; the archive object's state is left for
// the caller to examine.
struct Run
{
    ArchiveProgress progress;
    FileArchive archive{&progress};
    ArchiveAnswerer answerer;
    bool finished = false;

    void extract(const ExtractOptions& options, const std::function<void()>& whileRunning = {})
    {
        archive.setExtractOptions(options);
        finished = runArchiveOperation(&archive, &answerer, whileRunning);
    }
    void compress(const CompressOptions& options, const std::function<void()>& whileRunning = {})
    {
        archive.setCompressOptions(options);
        finished = runArchiveOperation(&archive, &answerer, whileRunning);
    }
    bool ok() const { return finished && !archive.failed(); }
};

} // namespace archivetest
