// The own ".qv" container against the 7z tool writing and reading deflate ZIP
// on the same data: packing, extracting, and memory while extracting.
#include "support/bench.h"

#include "BuiltInZipApi/zip.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <cstdio>
#include <string>

namespace {

bool packTree(const QString& root, const QString& archive, const QString& password)
{
    zip_t* zip = zip_open(archive, 6, 'w', -1, password);
    if (!zip)
        return false;
    QByteArray chunk;
    QDirIterator it(root, QDir::Files, QDirIterator::Subdirectories);
    bool ok = true;
    while (ok && it.hasNext()) {
        const QString path = it.next();
        const std::wstring name = QDir(root).relativeFilePath(path).toStdWString();
        QFile file(path);
        ok = file.open(QIODevice::ReadOnly) && zip_entry_open_last_access(zip, name.c_str(), 0) == 0;
        while (ok && !(chunk = file.read(1000000)).isEmpty())
            ok = zip_entry_write(zip, chunk.constData(), size_t(chunk.size())) == 0;
        ok = ok && zip_entry_close(zip) == 0;
    }
    return zip_close(zip) == 0 && ok;
}

bool extractAll(const QString& archive, const QString& target, const QString& password)
{
    zip_t* zip = zip_open(archive, 0, 'r', -1, password);
    if (!zip)
        return false;
    bool ok = true;
    for (int i = 0; ok && i < zip_total_entries(zip); ++i) {
        ok = zip_entry_openbyindex(zip, i) == 0;
        const QString path = target + "/" + QString::fromWCharArray(zip_entry_name(zip));
        QDir().mkpath(QFileInfo(path).path());
        ok = ok && zip_entry_fread(zip, path, nullptr, nullptr) == 0;
        zip_entry_close(zip);
    }
    zip_close(zip);
    return ok;
}

} // namespace

int runBenchmark(int, char**)
{
    const QString dir = bench::scratchDir("qv");
    const QString tree = dir + "/tree";
    bench::makeMixedTree(tree, 200, 2000);

    for (const QString& password : {QString(), QStringLiteral("benchmark password")}) {
        const QString label = password.isEmpty() ? QStringLiteral("") : QStringLiteral(" with password");
        const QString ours = dir + "/ours.qv";
        const QString peer = dir + "/peer.zip";
        QFile::remove(ours);
        QFile::remove(peer);
        bool packed = false;
        const double packMs = bench::timeMs([&] { packed = packTree(tree, ours, password); });
        QStringList args = {"a", "-tzip", "-mx=5", "-mm=Deflate", "-mmt=1", "-bd", peer, "."};
        if (!password.isEmpty())
            args.insert(1, "-p" + password);
        const double peerPackMs = bench::timeMs([&] { bench::runPeer("7z", args, tree); });
        bench::report("pack 200 MiB mixed tree, deflate 6" + label + (packed ? "" : " (FAILED)"), packMs, peerPackMs,
                      "ratio <= 1.5");

        const QString outOurs = dir + "/out-ours";
        const QString outPeer = dir + "/out-peer";
        QDir(outOurs).removeRecursively();
        QDir(outPeer).removeRecursively();
        const long before = bench::selfPeakKiB();
        bool extracted = false;
        const double extractMs = bench::timeMs([&] { extracted = extractAll(ours, outOurs, password); });
        const long growth = bench::selfPeakKiB() - before;
        QStringList xargs = {"x", "-bd", "-y", "-o" + outPeer, peer};
        if (!password.isEmpty())
            xargs.insert(1, "-p" + password);
        long peerPeak = 0;
        const double peerExtractMs = bench::timeMs([&] { bench::runPeer("7z", xargs, QString(), &peerPeak); });
        bench::report("extract the same" + label + (extracted ? "" : " (FAILED)"), extractMs, peerExtractMs,
                      "ratio <= 1.5");
        std::printf("this process: peak %ld KiB after packing and extracting 200 MiB, %ld KiB more while "
                    "extracting (7z extracting: peak %ld KiB; goal: flat, chunks only)\n",
                    bench::selfPeakKiB(), growth, peerPeak);
        std::printf("archive sizes: ours %lld bytes, peer %lld bytes\n", QFileInfo(ours).size(),
                    QFileInfo(peer).size());
        std::fflush(stdout);
    }
    return 0;
}
