#pragma once

// Archives built byte by byte: RAR 4 and 5 (no tool here writes them), ZIP and tar
// with names exactly as given (7z would normalise hostile ones); 7z's listing read.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QMetaType>
#include <QString>
#include <QStringList>

namespace testarchives {

struct Entry
{
    enum Kind { File, Dir, Symlink, Hardlink };

    Kind kind = File;
    // UTF-8, '/' between parts (RAR 4 stores '\'); "../x" or "/abs" reach the
    // archive as written.
    QString name;
    // File contents; for links, the link's target.
    QByteArray data;
    // Whole seconds in UTC (DOS times of ZIP and RAR 4: even seconds, local time).
    QDateTime mtime = defaultTime();
    // Unix permission bits; 0 means 0644 (file), 0755 (folder), 0777 (link).
    quint32 mode = 0;
    // RAR only: a compressed entry, which the engine (no RAR codecs) cannot extract.
    bool compressed = false;
    // The stored CRC32 of the data is wrong (ZIP, RAR 4, RAR 5).
    bool badCrc = false;

    static QDateTime defaultTime();
    quint32 unixMode() const; // with the file type bits
};

Entry file(const QString& name, const QByteArray& data = QByteArray());
Entry dir(const QString& name);
// A symbolic link (ZIP, tar, RAR 4, RAR 5).
Entry symlink(const QString& name, const QByteArray& target);
// A hard link to an earlier entry (tar, RAR 5).
Entry hardlink(const QString& name, const QByteArray& target);

QByteArray makeRar4(const QList<Entry>& entries);
QByteArray makeRar5(const QList<Entry>& entries);
// Stored entries only; Unix host, UTF-8 flag on non-ASCII names.
QByteArray makeZip(const QList<Entry>& entries);
// ustar; names and link targets up to 100 bytes, written as QFile::encodeName does.
QByteArray makeTar(const QList<Entry>& entries);

// The first keepBytes bytes of the archive, its first half by default.
QByteArray truncated(const QByteArray& archive, int keepBytes = -1);

// Path-traversal attempts followed by entries that a safe extraction must
// still write: "../evil.txt", "a/../../evil2.txt", "/abs/evil3.txt",
// "./ok.txt", a link "link" -> "/some/outside/dir" then "link/evil4.txt",
// and "good/inside.txt", "good.txt". The harmless entries hold "ok\n".
QList<Entry> hostileEntries();

// One entry of `7z l -slt`: property name ("Path", "Size", ...) -> value.
using PeerItem = QMap<QString, QString>;
struct PeerListing
{
    int exitCode = -1;
    PeerItem archive;      // the properties of the archive itself
    QList<PeerItem> items; // in archive order
    QByteArray output;     // stdout and stderr, for failure messages

    const PeerItem* find(const QString& path) const;
};
PeerListing listWith7z(const QString& archivePath);

// The sorted entry paths as the 7z tool lists them, or the program's ".qv" reader.
QStringList entryPaths(const QString& archivePath);

// A time as the 7z tool prints it in local time (compare 19 characters of "Modified").
QString peerTime(const QDateTime& time);

} // namespace testarchives

Q_DECLARE_METATYPE(testarchives::Entry)
