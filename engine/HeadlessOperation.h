#pragma once

#include "app/CCompressOptions.h"
#include "engine/ArchiveProgress.h"

#include <QObject>
#include <QString>

#include <memory>

class FileArchive;

// Runs one archive operation where nobody can answer (no display: a script,
// a service, a terminal over ssh), without a window or any other widget, so
// that such a run pays for the operation and nothing else. The worker runs
// on a thread of its own, as under the progress dialog, and asks its
// questions on the calling thread, which waits in an event loop of its own.
// Every question is answered as Cancel, with a line on standard error that
// says why the operation stopped; messages go to standard error too.
class HeadlessOperation : public QObject
{
    Q_OBJECT

public:
    HeadlessOperation();
    ~HeadlessOperation() override;

    // Each runs the request and returns when it is done.
    void compress(const CompressOptions& options);
    void extract(const ExtractOptions& options);

    bool failed() const;
    bool sourcesLeftOut() const;

private:
    void run();

    ArchiveProgress m_progress;
    std::unique_ptr<FileArchive> m_worker;
    QString m_archivePath;
};
