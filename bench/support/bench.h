#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <functional>

namespace bench {

// Wall time of one run of fn, in milliseconds.
double timeMs(const std::function<void()>& fn);
// Runs an outside program to completion; returns its exit code (-1 when it
// could not run). *peakKiB receives its peak resident memory when asked.
int runPeer(const QString& program, const QStringList& args, const QString& workDir = QString(),
            long* peakKiB = nullptr);
// Peak resident memory of this process so far, in KiB.
long selfPeakKiB();
// A scratch folder removed at exit (under $QUENVAR_BENCH_DIR or the temp folder).
QString scratchDir(const QString& name);
// Mixed test data: compressible text, random bytes and many small files,
// about totalMiB in all; deterministic for a given seed.
void makeMixedTree(const QString& root, int totalMiB, int smallFiles, unsigned seed = 1);
// Prints one result line: what, ours, peer and the ratio ours/peer.
void report(const QString& what, double oursMs, double peerMs, const QString& goal);

} // namespace bench
