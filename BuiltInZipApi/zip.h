#pragma once

// The program's own ".qv" container: a ZIP-like layout with its own record
// signatures, 64-bit size and offset fields, UTF-32LE entry names, password
// scrambling of entry data and plain byte-split volumes.
//
// The scrambling is a repeating XOR keyed by the archive offset: it keeps the
// data from casual reading, not from an attacker.
//
// A small C-style layer on an opaque archive object. Every function takes the
// archive first and tolerates a null archive (it then fails). Failures are
// -1, 0, false or null; this layer shows no messages. zip_last_error() tells
// the caller which kind of failure happened, so it can choose the message
// (or whether asking for the password again makes sense).

#include <QtGlobal>
#include <QString>

#include <cstddef>
#include <cstdint>

class FileArchive;
class QDateTime;
struct ArchiveProgress;

struct zip_t;

// Answers of the extraction conflict check (see zip_set_conflict_check).
constexpr int ZIP_ANSWER_PROCEED = 0xFFF;
constexpr int ZIP_ANSWER_SKIP = 0xFF0;
constexpr int ZIP_ANSWER_ABORT = static_cast<int>(0x80004004u);

// Limits of the format.
constexpr int ZIP_MAX_NAME_CHARS = 1000;  // code points, without the terminating zero
constexpr int ZIP_MAX_ENTRIES = 65535;
constexpr int ZIP_MAX_VOLUMES = 999;
constexpr qint64 ZIP_MAX_VOLUME_SIZE = 0x7FFFFFFF;

// What the last failing call on an archive ran into.
enum ZipError : int
{
    ZIP_ENOERROR = 0,
    ZIP_EARGS,     // wrong mode, no entry open, index out of range, bad argument
    ZIP_EFORMAT,   // a record is damaged or uses something this format never writes
    ZIP_ELIMIT,    // too many entries, name too long, sizes past the format's fields
    ZIP_EREAD,     // the archive could not be read (truncated, missing volume)
    ZIP_EWRITE,    // a write failed: the archive or the extracted file (full disk, no access)
    ZIP_EDATA,     // extracted data failed its check: wrong password or damaged data
    ZIP_EPASSWORD, // scrambled data has to move and the source archive has no password
    ZIP_ECANCELED, // the progress record's cancel flag was set
};

// The conflict check asked before an extracted file is created. It may change
// path (to write under a new name) and answers ZIP_ANSWER_PROCEED,
// ZIP_ANSWER_SKIP or ZIP_ANSWER_ABORT. Set once by the archive operations;
// without one, an existing file is replaced.
using ZipConflictCheck = int (*)(FileArchive* operation, QString& path, const QDateTime& entryTime);
void zip_set_conflict_check(ZipConflictCheck check);
ZipConflictCheck zip_conflict_check();

// True for -1 (one file) and for 1 .. ZIP_MAX_VOLUME_SIZE. zip_open refuses
// anything else; callers use this to explain the refusal beforehand.
bool zip_is_valid_volume_size(qint64 volumeSize);

// mode: 'r' read, 'w' write (create or truncate), 'a' append to an existing
// archive. A negative level means 6; low 4 bits: 0 stored, 1..10 deflate.
// Reading "x.qv.001" reads the volumes x.qv.001, x.qv.002, ... with the size of
// the first as volume size. Returns null on any failure; when the system
// reported it, the file and its reason go to failedFile and reason if given.
zip_t* zip_open(const QString& path, int level, char mode, qint64 volumeSize, const QString& password,
                QString* failedFile = nullptr, QString* reason = nullptr);
// Finalises a written archive (central directory and end record), closes every
// file and frees the object. 0, or -1 when finalising or closing failed (the
// written archive is then unusable and the caller should remove it); the
// file and the system's reason then go to failedFile and reason when given.
int zip_close(zip_t* zip, QString* failedFile = nullptr, QString* reason = nullptr);
int zip_total_entries(zip_t* zip);
ZipError zip_last_error(zip_t* zip);
// The file and the system's words for the last failure of a call that the
// system reported (a read or write of the archive or of an extracted file);
// empty when the last failure had another cause.
QString zip_last_failed_file(zip_t* zip);
QString zip_last_failure_reason(zip_t* zip);

int zip_entry_openbyindex(zip_t* zip, int index);
// Starts a new entry; name is zero-terminated UTF-32 ("dir/" for a folder).
// modificationTime: Unix seconds, 0 for now.
int zip_entry_open_last_access(zip_t* zip, const wchar_t* name, qint64 modificationTime);
// Once a write failed the entry stays failed: later writes and the close
// answer -1 and the entry is left out of the archive.
int zip_entry_write(zip_t* zip, const void* data, size_t size);
int zip_entry_close(zip_t* zip);

const wchar_t* zip_entry_name(zip_t* zip);
int zip_entry_isdir(zip_t* zip);
uint64_t zip_entry_size(zip_t* zip);
qint64 zip_entry_time(zip_t* zip);
bool zip_entry_encrypted(zip_t* zip);

// Extracts the open entry to path. The path is the caller's: this layer never
// builds paths from entry names. The file is written beside its destination
// and moved into place only when the data checked out, so a failed or
// canceled extraction leaves an existing file as it was. Returns 0,
// -1, or the conflict check's ZIP_ANSWER_SKIP / ZIP_ANSWER_ABORT.
// An entry marked encrypted is read as scrambled under the mended rule, then
// under the original one; a stored one also as it stands: whichever checks
// out (inflate, size, CRC-32).
int zip_entry_fread(zip_t* zip, const QString& path, FileArchive* operation, ArchiveProgress* progress);

void zip_set_password(zip_t* zip, const QString& password);
// Bytes passed to the archive files so far (progress while writing).
qint64 zip_getArchiveSize(zip_t* zip);
// Size on disk of the file at path plus path.001, path.002, ...
uint64_t getArchiveSize(const QString& path);

// Copies entry srcIndex of src (reading) into dest (writing) without
// decompressing it. newName (without a trailing "/" for folders) replaces the
// stored name in the central directory; empty keeps it. Scrambled data that
// lands at another offset is unscrambled under the rule it checks out with,
// using the source's password (given to zip_open or zip_set_password on src),
// and scrambled anew under the mended rule; without that password the copy
// fails with ZIP_EPASSWORD, with a wrong one ZIP_EDATA. A failed copy leaves
// dest as it was, so it can be retried.
bool mz_zip_writer_add_from_zip_reader(zip_t* dest, zip_t* src, int srcIndex, const QString& newName,
                                       bool isDirectory);

// How key bytes come from the password: each is a character's code unit plus
// the password's length. Where that sum passes 255 the original rule gives 0,
// which leaves the bytes as they stand (every character of a Cyrillic or CJK
// password); the mended rule, which this layer writes, gives the sum's low
// byte, or 1 when that is 0. Archives written under the original rule are
// still read.
enum ZipKeyRule : int
{
    ZIP_KEY_MENDED,
    ZIP_KEY_ORIGINAL,
};

// XORs count bytes with the password's keystream, the first byte sitting at
// logical archive offset offset. Its own inverse.
void xor_crypt(const QString& key, int keyLength, uint8_t* buffer, size_t count, uint64_t offset,
               ZipKeyRule rule = ZIP_KEY_MENDED);
