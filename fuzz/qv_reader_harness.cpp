#include "qv_reader_harness.h"

#include "BuiltInZipApi/zip.h"

#include <QFile>

#include <algorithm>
#include <string>

namespace {

constexpr int kMaxEntries = 64;

QString volumeName(const QString& path, int number)
{
    return path + QString::asprintf(".%03d", number);
}

void removeArchive(const QString& path)
{
    QFile::remove(path);
    for (int n = 1; n <= ZIP_MAX_VOLUMES && QFile::exists(volumeName(path, n)); ++n)
        QFile::remove(volumeName(path, n));
}

bool writeInput(const QString& path, const uint8_t* data, size_t size, size_t volumeSize)
{
    if (volumeSize == 0 || (size + volumeSize - 1) / volumeSize > size_t(ZIP_MAX_VOLUMES)) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly)
            && file.write(reinterpret_cast<const char*>(data), qint64(size)) == qint64(size);
    }
    int number = 1;
    for (size_t at = 0; at < size; at += volumeSize, ++number) {
        QFile file(volumeName(path, number));
        const size_t count = std::min(volumeSize, size - at);
        if (!file.open(QIODevice::WriteOnly)
            || file.write(reinterpret_cast<const char*>(data + at), qint64(count)) != qint64(count))
            return false;
    }
    return true;
}

QString currentName(zip_t* zip)
{
    const wchar_t* name = zip_entry_name(zip);
    return name ? QString::fromWCharArray(name) : QString();
}

} // namespace

QString qvHarnessPassword()
{
    return QStringLiteral("p\u0416");
}

uint8_t qvHarnessFlags(bool password, int volumeSteps)
{
    return uint8_t((password ? 1 : 0) | ((volumeSteps & 0x3F) << 2));
}

bool qvReaderHarness(const uint8_t* data, size_t size, const QString& workDir, QString* broken)
{
    auto fault = [broken](const char* what) {
        if (broken)
            *broken = QString::fromLatin1(what);
        return false;
    };
    if (size < 1)
        return true;
    const bool password = data[0] & 1;
    const bool rename = data[0] & 2;
    const size_t volumeSize = size_t((data[0] >> 2) & 0x3F) * 8;
    const QString input = workDir + QStringLiteral("/in.qv");
    const QString copy = workDir + QStringLiteral("/copy.qv");
    const QString output = workDir + QStringLiteral("/out");
    removeArchive(input);
    removeArchive(copy);
    QFile::remove(output);
    if (!writeInput(input, data + 1, size - 1, volumeSize))
        return true;
    const bool split = QFile::exists(volumeName(input, 1));
    const QString openPath = split ? volumeName(input, 1) : input;

    zip_t* zip = zip_open(openPath, 0, 'r', -1, password ? qvHarnessPassword() : QString());
    if (!zip)
        return true;
    const int count = std::min(zip_total_entries(zip), kMaxEntries);
    QStringList names;
    for (int i = 0; i < count; ++i) {
        if (zip_entry_openbyindex(zip, i) != 0)
            return fault("an entry of an opened archive did not open"); // records were checked at the open
        names << currentName(zip);
        zip_entry_size(zip);
        zip_entry_time(zip);
        zip_entry_isdir(zip);
        zip_entry_encrypted(zip);
        zip_entry_fread(zip, output, nullptr, nullptr);
        QFile::remove(output);
        zip_entry_close(zip);
    }

    // Raw copies: whatever copies must make an archive that opens again.
    zip_t* target = zip_open(copy, 0, 'w', -1, QString());
    QStringList copied;
    for (int i = 0; target && i < count; ++i) {
        const QString newName = rename && i % 2 ? QStringLiteral("renamed%1").arg(i) : QString();
        if (mz_zip_writer_add_from_zip_reader(target, zip, i, newName, i % 4 == 1))
            copied << (newName.isEmpty() ? names[i] : newName + (i % 4 == 1 ? "/" : ""));
    }
    zip_close(zip);
    if (target && zip_close(target) == 0) {
        zip_t* reread = zip_open(copy, 0, 'r', -1, QString());
        if (!reread)
            return fault("the archive of raw copies does not open");
        QStringList seen;
        for (int i = 0; i < zip_total_entries(reread); ++i) {
            if (zip_entry_openbyindex(reread, i) != 0)
                return fault("an entry of the archive of raw copies does not open");
            seen << currentName(reread);
        }
        zip_close(reread);
        if (seen != copied)
            return fault("the archive of raw copies lists other names");
    }

    // Appending keeps what was there and adds what is new.
    if (split)
        return true;
    const int before = count;
    zip_t* append = zip_open(input, 6, 'a', -1, password ? qvHarnessPassword() : QString());
    if (!append)
        return true;
    const int total = zip_total_entries(append);
    const std::wstring name = L"appended";
    const QByteArray content("appended data");
    const bool added = zip_entry_open_last_access(append, name.c_str(), 1700000000) == 0
        && zip_entry_write(append, content.constData(), size_t(content.size())) == 0
        && zip_entry_close(append) == 0;
    if (zip_close(append) != 0 || !added)
        return true;
    zip_t* reread = zip_open(input, 0, 'r', -1, password ? qvHarnessPassword() : QString());
    if (!reread || zip_total_entries(reread) != total + 1) {
        zip_close(reread);
        return fault("the appended archive does not open with one entry more");
    }
    bool ok = zip_entry_openbyindex(reread, total) == 0 && currentName(reread) == QStringLiteral("appended")
        && zip_entry_fread(reread, output, nullptr, nullptr) == 0;
    QFile file(output);
    ok = ok && file.open(QIODevice::ReadOnly) && file.readAll() == content;
    for (int i = 0; ok && i < before; ++i)
        ok = zip_entry_openbyindex(reread, i) == 0 && currentName(reread) == names[i];
    zip_close(reread);
    return ok || fault("the appended entry or an earlier one reads back wrong");
}
