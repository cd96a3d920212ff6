#pragma once

// Shared pieces of the archive operation tests: a sample tree, the 7z tool as the independent
// peer, and FileArchive requests run on a worker thread.

#include "common/archiveanswerer.h"
#include "common/qvbytes.h"
#include "common/testenv.h"
#include "engine/filearchive.h"
#include "engine/streams.h"
#include "fileops/utils.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QMap>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace archivetest {

using testenv::randomBytes;
using testenv::run7z;
using Files = QMap<QString, QByteArray>;

// 2020-05-17 10:20:30.1234567 UTC in 100 ns ticks since 1601.
constexpr uint64_t kBaseTime = 132341724301234567ULL;
constexpr uint64_t kTicksPerSecond = 10000000ULL;

// Root reads every folder: for the duration, this thread and the threads it starts read by the
// permission bits like anyone else.
class PermissionBitsApply
{
public:
    PermissionBitsApply()
    {
        if (geteuid() != 0 || syscall(SYS_capget, &m_header, m_saved) != 0)
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

// Nested folders, an empty file, an empty folder and names beyond ASCII.
inline Files sampleFiles()
{
    return {
        {"docs/a.txt", "alpha alpha alpha\n"},
        {"docs/sub/deeper/b.bin", randomBytes(70000, 1)},
        {"docs/Ünïcödé ☃ " + QString::fromUcs4(U"\U0001F600") + ".txt", "wide name"},
        {"мир/файл.txt", "cyrillic\n"},
        {"top.txt", QByteArray(5000, 'x')},
        {"zero.txt", QByteArray()},
    };
}

inline const QStringList kSampleEmptyFolders = {"docs/empty", "void"};

inline void setTreeTimes(const QString& root)
{
    const QStringList paths = testenv::listTree(root);
    // Deepest first: setting a file's time leaves its folder's alone, creating files does not.
    for (int i = paths.size() - 1; i >= 0; --i) {
        QString path = root + '/' + paths.at(i);
        if (path.endsWith('/'))
            path.chop(1);
        const uint64_t time = kBaseTime + uint64_t(i) * 3 * kTicksPerSecond;
        setFileTimesTicks(path, time, time);
    }
}

// The first difference of the modification times between two trees, compared in units of
// unitTicks; empty when there is none.
inline QString compareTimes(const QString& expected, const QString& actual, uint64_t unitTicks)
{
    for (const QString& relative : testenv::listTree(expected)) {
        uint64_t want = 0;
        uint64_t got = 0;
        getFileTimes(expected + '/' + relative, nullptr, nullptr, &want);
        getFileTimes(actual + '/' + relative, nullptr, nullptr, &got);
        if (want / unitTicks != got / unitTicks)
            return QString("%1: %2 != %3").arg(relative).arg(got / unitTicks).arg(want / unitTicks);
    }
    return QString();
}

inline Files treeContents(const QString& root)
{
    Files files;
    for (const QString& path : testenv::listTree(root)) {
        if (!path.endsWith('/'))
            files.insert(path, testenv::readFile(root + '/' + path));
    }
    return files;
}

inline QStringList topLevelPaths(const QString& root)
{
    QStringList paths;
    const auto filter = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden;
    for (const QString& name : QDir(root).entryList(filter, QDir::Name))
        paths << root + '/' + name;
    return paths;
}

inline bool passes7zTest(const QString& archive, const QStringList& extra = {})
{
    const testenv::ProcessResult result = run7z(QStringList{"t"} + extra + QStringList{archive});
    return result.finished && result.exitCode == 0;
}

inline QString extractWith7z(const QString& archive, const QString& target)
{
    const testenv::ProcessResult result = run7z({"x", "-y", "-o" + target, archive});
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
        if (name.contains("qvpart") || name.startsWith(".quenvar-") || name.contains("_tmp") ||
            name.contains("_backup") || name.endsWith(".qvlock"))
            found << path;
    }
    return found;
}

// The index of the entry of that name; an empty name finds the first file.
inline int indexOfEntry(const QString& archive, const QString& name)
{
    FileArchive reader;
    reader.openArchive(archive);
    for (const ArchiveItemInfo& item : reader.archiveItems()) {
        if (item.name == name || (name.isEmpty() && !item.isDir))
            return int(item.index);
    }
    return -1;
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

inline CompressOptions compressRequest(const QString& archive, const QString& baseDirectory,
                                       const QStringList& files, ZipFormat format)
{
    CompressOptions options;
    options.archivePath = archive;
    options.baseDirectory = baseDirectory;
    options.files = files;
    options.format = format;
    options.useLargePages = false;
    return options;
}

// A ".qv" written by the container layer itself, one password per group of entries; empty when
// it could not be written.
inline QString layerArchive(const QString& path,
                            const QList<QPair<QString, QMap<QString, QByteArray>>>& groups)
{
    for (int i = 0; i < groups.size(); ++i) {
        zip_t* zip = zip_open(path, 6, i == 0 ? 'w' : 'a', -1, groups.at(i).first);
        for (auto it = groups.at(i).second.cbegin(); zip && it != groups.at(i).second.cend(); ++it)
            qvbytes::addEntry(zip, it.key(), it.value());
        if (!zip || zip_close(zip) != 0)
            return QString();
    }
    return path;
}

// One operation on a worker thread; the archive object's state is left for the caller.
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
    bool failed() const { return finished && archive.failed(); }
};

inline QString packTree(const QString& archive, const QString& source, ZipFormat format,
                        const QString& password = QString())
{
    CompressOptions request = compressRequest(archive, source, topLevelPaths(source), format);
    request.password = password;
    Run run;
    run.compress(request);
    return run.ok() ? archive : QString();
}

// The sample tree with a name in CJK and a folder holding only an empty file (made at source
// unless it exists), packed into a ".qv".
inline QString packQvTree(const QString& archive, const QString& source,
                          const QString& password = QString())
{
    Files files = sampleFiles();
    files.insert("漢字/日本語の名前.txt", QByteArray("cjk"));
    files.insert("void2/empty.bin", QByteArray());
    if (!QFileInfo::exists(source)) {
        testenv::makeTree(source, files, kSampleEmptyFolders);
        setTreeTimes(source);
    }
    return packTree(archive, source, ZF_QV, password);
}

} // namespace archivetest
