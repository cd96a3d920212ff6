#include "fileops/FileNameCodec.h"

#include <QTextCodec>

namespace {

constexpr ushort kEscapeBase = 0xEF00;
constexpr ushort kEscapeFirst = 0xEF80;
constexpr ushort kEscapeLast = 0xEFFF;

bool isEscape(uint codePoint)
{
    return codePoint >= kEscapeFirst && codePoint <= kEscapeLast;
}

// Length of the UTF-8 sequence a lead byte starts; 0 for no lead byte.
int sequenceLength(uchar lead)
{
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

// The code point of a whole sequence, or 0 when it is no valid UTF-8 or
// stands for a character this codec keeps for single bytes (which therefore
// come back as bytes, so that the name still writes back unchanged).
uint decodeSequence(const uchar* bytes, int length)
{
    static const uint kMinimum[5] = {0, 0, 0x80, 0x800, 0x10000};
    uint codePoint = bytes[0] & (0x7F >> length);
    for (int i = 1; i < length; ++i) {
        if ((bytes[i] & 0xC0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (bytes[i] & 0x3F);
    }
    if (codePoint < kMinimum[length] || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF) ||
        isEscape(codePoint))
        return 0;
    return codePoint;
}

class FileNameCodec : public QTextCodec
{
public:
    QByteArray name() const override { return QByteArrayLiteral("UTF-8 with raw bytes (Quenvar)"); }
    int mibEnum() const override { return -4096; }

protected:
    // Every call converts a whole name: a sequence cut off at the end is
    // taken as bytes, never held back for a next call. (Qt's folder listing
    // drops a name whose conversion leaves anything pending.)
    QString convertToUnicode(const char* in, int length, ConverterState* /*state*/) const override
    {
        const uchar* bytes = reinterpret_cast<const uchar*>(in);
        QString result;
        result.reserve(length);
        int i = 0;
        while (i < length) {
            const uchar byte = bytes[i];
            if (byte < 0x80) {
                result.append(QChar(ushort(byte)));
                ++i;
                continue;
            }
            const int need = sequenceLength(byte);
            const uint codePoint = need > 0 && i + need <= length ? decodeSequence(bytes + i, need) : 0;
            if (codePoint == 0) {
                result.append(QChar(ushort(kEscapeBase + byte)));
                ++i;
                continue;
            }
            if (QChar::requiresSurrogates(codePoint)) {
                result.append(QChar(QChar::highSurrogate(codePoint)));
                result.append(QChar(QChar::lowSurrogate(codePoint)));
            } else {
                result.append(QChar(ushort(codePoint)));
            }
            i += need;
        }
        return result;
    }

    QByteArray convertFromUnicode(const QChar* in, int length, ConverterState* state) const override
    {
        QByteArray result;
        result.reserve(length * 3);
        for (int i = 0; i < length; ++i) {
            uint codePoint = in[i].unicode();
            if (isEscape(codePoint)) {
                result.append(char(codePoint - kEscapeBase));
                continue;
            }
            if (QChar::isHighSurrogate(codePoint) && i + 1 < length && in[i + 1].isLowSurrogate()) {
                codePoint = QChar::surrogateToUcs4(in[i].unicode(), in[i + 1].unicode());
                ++i;
            } else if (QChar::isSurrogate(codePoint)) {
                // Half a pair stands for no character and no byte.
                result.append('?');
                if (state)
                    ++state->invalidChars;
                continue;
            }
            if (codePoint < 0x80) {
                result.append(char(codePoint));
            } else if (codePoint < 0x800) {
                result.append(char(0xC0 | (codePoint >> 6)));
                result.append(char(0x80 | (codePoint & 0x3F)));
            } else if (codePoint < 0x10000) {
                result.append(char(0xE0 | (codePoint >> 12)));
                result.append(char(0x80 | ((codePoint >> 6) & 0x3F)));
                result.append(char(0x80 | (codePoint & 0x3F)));
            } else {
                result.append(char(0xF0 | (codePoint >> 18)));
                result.append(char(0x80 | ((codePoint >> 12) & 0x3F)));
                result.append(char(0x80 | ((codePoint >> 6) & 0x3F)));
                result.append(char(0x80 | (codePoint & 0x3F)));
            }
        }
        return result;
    }
};

} // namespace

void installFileNameCodec()
{
    // Qt owns registered codecs and deletes them at exit.
    static QTextCodec* const codec = new FileNameCodec;
    QTextCodec::setCodecForLocale(codec);
}

QString readableFileName(const QString& name)
{
    QString readable = name;
    for (QChar& c : readable) {
        if (isEscape(c.unicode()))
            c = QChar::ReplacementCharacter;
    }
    return readable;
}
