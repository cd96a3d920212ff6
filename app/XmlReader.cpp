#include "app/XmlReader.h"

#include "fileops/utils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QXmlStreamReader>

#include <cstdint>
#include <limits>

namespace {

constexpr int64_t kBytesPerVolumeUnit = 1048576;

QString resolvePath(const QString& baseDir, const QString& text)
{
    if (QDir::isAbsolutePath(text))
        return text;
    return baseDir + QLatin1Char('/') + text;
}

// N MiB per volume; 0 (or nothing) means one file. Anything else (a
// fraction, a negative number, no number, too many bytes to count) goes to
// *invalid as written.
void readVolumeSize(const QString& text, int64_t* size, QString* invalid)
{
    *size = -1;
    if (text.isEmpty())
        return;
    bool ok = false;
    const qlonglong volume = text.toLongLong(&ok);
    if (!ok || volume < 0 || volume > std::numeric_limits<int64_t>::max() / kBytesPerVolumeUnit) {
        if (invalid)
            *invalid = text;
        return;
    }
    if (volume > 0)
        *size = volume * kBytesPerVolumeUnit;
}

} // namespace

QStringList readFiles(QXmlStreamReader& reader, const QString& baseDir)
{
    QStringList files;
    while (reader.readNextStartElement()) {
        if (!reader.name().startsWith(QLatin1String("file"))) {
            reader.skipCurrentElement();
            continue;
        }
        const QString text = reader.readElementText();
        // An empty element names nothing; joined to the folder it would pick
        // up the whole folder of the operation file.
        if (!text.isEmpty())
            files << withoutTrailingSlashes(resolvePath(baseDir, text));
    }
    return files;
}

bool parseXml(const QString& xmlPath, CompressOptions** compress, ExtractOptions** extract, QString* invalidVolume)
{
    *compress = nullptr;
    *extract = nullptr;
    if (invalidVolume)
        invalidVolume->clear();

    const QString xmlDir = QFileInfo(xmlPath).dir().path();
    bool isCompress = false;
    QString password;
    E_PathType pathsMode = PT_RELATIVE;
    int64_t volumeSize = -1;
    QString target;
    QStringList files;
    QString formatName;

    QFile file(xmlPath);
    if (file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QXmlStreamReader reader(&file);
        if (reader.readNextStartElement() && reader.name() == QLatin1String("Main")) {
            // An element of another name is entered, not skipped: what it holds
            // is read as if it stood below the root, and its end tag ends the
            // reading. That is the reading rule of operation files: anything
            // else a file carries belongs after the elements above.
            while (reader.readNextStartElement()) {
                const QStringRef name = reader.name();
                if (name == QLatin1String("operation"))
                    isCompress = reader.readElementText() == QLatin1String("Compress");
                else if (name == QLatin1String("password"))
                    password = reader.readElementText();
                else if (name == QLatin1String("pathsMode"))
                    pathsMode = pathTypeFromString(reader.readElementText());
                else if (name == QLatin1String("format"))
                    formatName = reader.readElementText();
                else if (name == QLatin1String("volume"))
                    readVolumeSize(reader.readElementText(), &volumeSize, invalidVolume);
                else if (name == QLatin1String("target"))
                    target = reader.readElementText();
                else if (name == QLatin1String("files"))
                    files = readFiles(reader, xmlDir);
            }
        }
        file.close();
    }

    if (isCompress) {
        auto* options = new CompressOptions;
        // Without a format element the name is empty and reads like any
        // unknown name.
        options->format = stringToZipFormat(formatName);
        options->files = files;
        if (!files.isEmpty())
            options->baseDirectory =
                CompressOptions::getBaseDirectory(pathsMode, QFileInfo(files.first()).absolutePath());
        options->archivePath = resolvePath(xmlDir, target);
        options->volumeSize = volumeSize;
        options->password = password;
        *compress = options;
        return true;
    }

    auto* options = new ExtractOptions;
    options->targetDirectory = resolvePath(xmlDir, target);
    options->archivePath = files.value(0);
    options->password = password;
    *extract = options;
    return true;
}
