#pragma once

// Archives built byte by byte for the tests: RAR 4 and RAR 5 (which no tool on
// the machine writes), and ZIP and tar with names exactly as given, hostile
// ones included (the 7z tool would normalise them). Plus a reader of the
// 7z tool's technical listing, to check any archive against the peer.

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
    // Written as UTF-8, '/' between parts (RAR 4 stores '\'). ZIP and tar
    // add the trailing '/' of a folder when it is missing; nothing else is
    // changed, so "../x" or "/abs" reach the archive as written.
    QString name;
    // File contents; for links, the link's target.
    QByteArray data;
    // Whole seconds in UTC; DOS-time formats (ZIP, RAR 4) keep even seconds in
    // local time, and ZIP also records the exact second in UTC.
    QDateTime mtime = defaultTime();
    // Unix permission bits; 0 means 0644 (file), 0755 (folder), 0777 (link).
    quint32 mode = 0;
    // RAR only: the entry claims a compression method and holds a few bytes
    // of would-be compressed data. The engine has no RAR codecs, so extracting
    // it fails with "unsupported method".
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
// ustar; names and link targets up to 100 bytes. Names are written as file
// names are (QFile::encodeName): a character that stands for a byte that is
// no UTF-8 becomes that byte.
QByteArray makeTar(const QList<Entry>& entries);

// The first keepBytes bytes of the archive; its first half by default (which
// cuts through the data of any archive with more than a few bytes stored).
QByteArray truncated(const QByteArray& archive, int keepBytes = -1);

// Path-traversal attempts followed by entries that a safe extraction must
// still write: "../evil.txt", "a/../../evil2.txt", "/abs/evil3.txt",
// "./ok.txt", a link "link" -> "/some/outside/dir" then "link/evil4.txt",
// and "good/inside.txt", "good.txt". The harmless entries hold "ok\n".
QList<Entry> hostileEntries();

// One entry of `7z l -slt`: property name -> value ("Path", "Size",
// "Folder", "Modified", "Attributes", "Method", "CRC", "Symbolic Link", ...).
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

// The paths of an archive's entries, sorted: as the 7z tool lists them, or
// as the program's own reader does for its ".qv" container.
QStringList entryPaths(const QString& archivePath);

// "2021-03-04 05:06:08": a time as the 7z tool prints it, in local time. Some
// handlers add ".0000000"; compare the first 19 characters of "Modified".
QString peerTime(const QDateTime& time);

} // namespace testarchives

Q_DECLARE_METATYPE(testarchives::Entry)
