#pragma once

#include "app/CCompressOptions.h"

#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QTime>

#include <atomic>
#include <cstdint>

// Shared between the progress dialog (which owns it and sets the flags) and
// the archive worker (which writes the numbers). The engine may report
// progress from its own threads, so every field is safe to touch from any.
struct ArchiveProgress
{
    QTime timer;
    int elapsedMs = 0;
    std::atomic<uint64_t> completed{0};
    std::atomic<uint64_t> total{0};
    std::atomic<uint64_t> compressedSize{0};
    std::atomic<uint64_t> expectedSize{0};
    std::atomic<bool> canceled{false};
    std::atomic<bool> paused{false};
    std::atomic<E_ArchiveOperation> operation{AO_IDLE};

    void setCurrentFile(const QString& path)
    {
        QMutexLocker lock(&m_fileMutex);
        m_currentFile = path;
    }
    QString currentFile() const
    {
        QMutexLocker lock(&m_fileMutex);
        return m_currentFile;
    }

private:
    mutable QMutex m_fileMutex;
    QString m_currentFile;
};

// One per-entry progress report of the built-in container.
struct CProgressInfo
{
    uint64_t total = 0;
    uint64_t completed = 0;
    uint64_t reserved = 0;
    int32_t index = 0;
    QString fileName;
};
