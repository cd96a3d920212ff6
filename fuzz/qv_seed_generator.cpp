// Writes a few small archives made by the container layer, each behind its
// harness flag byte, as the fuzzer's starting points.
#include "qv_reader_harness.h"

#include "BuiltInZipApi/zip.h"

#include <QDir>
#include <QFile>

#include <string>

namespace {

struct Entry
{
    const wchar_t* name;
    QByteArray data;
};

void seed(const QString& dir, const QString& name, int level, const QString& password, int volumeSteps,
          const QList<Entry>& entries)
{
    const QString archive = dir + "/" + name + ".tmp";
    zip_t* zip = zip_open(archive, level, 'w', -1, password);
    for (const Entry& e : entries) {
        zip_entry_open_last_access(zip, e.name, 1700000000);
        zip_entry_write(zip, e.data.constData(), size_t(e.data.size()));
        zip_entry_close(zip);
    }
    zip_close(zip);
    QFile in(archive);
    in.open(QIODevice::ReadOnly);
    QByteArray bytes = in.readAll();
    in.close();
    QFile::remove(archive);
    bytes.prepend(char(qvHarnessFlags(!password.isEmpty(), volumeSteps)));
    QFile out(dir + "/" + name);
    out.open(QIODevice::WriteOnly);
    out.write(bytes);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    const QString dir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(dir);
    const QByteArray text("Lorem ipsum dolor sit amet, lorem ipsum dolor sit amet. ");
    seed(dir, "empty", 6, {}, 0, {});
    seed(dir, "stored", 0, {}, 0, {{L"a.txt", "hello"}});
    seed(dir, "deflate", 6, {}, 0, {{L"a.txt", text + text}, {L"dir/", {}}, {L"dir/b", "b"}});
    seed(dir, "password", 6, qvHarnessPassword(), 0, {{L"secret.txt", text}, {L"empty", {}}});
    seed(dir, "storedpw", 0, qvHarnessPassword(), 0, {{L"s", "stored"}, {L"\u0416\u4e2d\U0001F600", "x"}});
    seed(dir, "split", 6, {}, 3, {{L"v.txt", text + text + text}});
    seed(dir, "splitpw", 6, qvHarnessPassword(), 5, {{L"v.txt", text}, {L"w", "w"}});
    return 0;
}
