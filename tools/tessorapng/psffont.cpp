// Linux console fonts, PSF 1 and PSF 2, as the kernel's and kbd's documentation describe them:
// a header, the glyphs one after the other, each row in whole bytes with its leftmost pixel in
// the highest bit, then, when the header says so, a table of the characters each glyph shows.

#include "tessorapng/bitmapfont.h"

#include "fontrender/fontrender.h"

#include <QtEndian>

#include <map>

using namespace fonttable;

namespace bitmapfont
{

namespace
{

// More glyphs than any console font has, and than a table of 16-bit characters can name.
constexpr quint64 MaxGlyphs = 65536;
constexpr quint64 MaxSide = 256;

quint32 at32(const QByteArray &data, qsizetype at)
{
    return qFromLittleEndian<quint32>(data.constData() + at);
}

// Each character's first glyph, from a PSF 1 table of 16-bit characters, each glyph's list ended
// by 0xffff, sequences of several characters after 0xfffe.
bool psf1Table(const QByteArray &data, qsizetype at, quint64 count, std::map<char32_t, int> &map)
{
    bool sequence = false;
    quint64 glyph = 0;
    for (; glyph < count && at + 2 <= data.size(); at += 2) {
        const char32_t code = qFromLittleEndian<quint16>(data.constData() + at);
        if (code == 0xffff) {
            ++glyph;
            sequence = false;
        } else if (code == 0xfffe) {
            sequence = true;
        } else if (!sequence) {
            map.emplace(code, int(glyph));
        }
    }
    return glyph == count;
}

// The same from a PSF 2 table in UTF-8, each glyph's list ended by 0xff, sequences after 0xfe.
// False when the table ends early or holds a character that is not UTF-8.
bool psf2Table(const QByteArray &data, qsizetype at, quint64 count, std::map<char32_t, int> &map)
{
    bool sequence = false;
    quint64 glyph = 0;
    for (; glyph < count && at < data.size();) {
        const uchar lead = uchar(data[at]);
        if (lead == 0xff || lead == 0xfe) {
            glyph += lead == 0xff;
            sequence = lead == 0xfe;
            ++at;
            continue;
        }
        const int length = lead < 0x80       ? 1
                           : lead >> 5 == 6  ? 2
                           : lead >> 4 == 14 ? 3
                           : lead >> 3 == 30 ? 4
                                             : 0;
        if (length == 0 || at + length > data.size())
            return false;
        char32_t code = length == 1 ? lead : lead & (0x7f >> length);
        for (int k = 1; k < length; ++k) {
            if ((uchar(data[at + k]) & 0xc0) != 0x80)
                return false;
            code = code << 6 | (uchar(data[at + k]) & 0x3f);
        }
        if (!sequence)
            map.emplace(code, int(glyph));
        at += length;
    }
    return glyph == count;
}

} // namespace

Faces readPsf(const QByteArray &data, const QString &name)
{
    Faces faces;
    const bool psf1 = data.startsWith("\x36\x04");
    if (!psf1 && !data.startsWith("\x72\xb5\x4a\x86"))
        return faces;
    if (data.size() < (psf1 ? 4 : 32)) {
        faces.problem = QStringLiteral("a console font cut short in its header: get it again");
        return faces;
    }
    const quint64 header = psf1 ? 4 : at32(data, 8);
    const bool table = psf1 ? data[2] & 0x06 : at32(data, 12) & 1;
    const quint64 count = psf1 ? (data[2] & 1 ? 512 : 256) : at32(data, 16);
    const quint64 height = psf1 ? uchar(data[3]) : at32(data, 24);
    const quint64 width = psf1 ? 8 : at32(data, 28);
    const quint64 rowBytes = (width + 7) / 8;
    const quint64 glyphBytes = psf1 ? height : at32(data, 20);
    if (count == 0 || count > MaxGlyphs)
        faces.problem = QStringLiteral("a damaged console font: it claims %1 glyphs, and a console "
                                       "font has from 1 to %2")
                            .arg(count)
                            .arg(MaxGlyphs);
    else if (width == 0 || height == 0 || width > MaxSide || height > MaxSide ||
             glyphBytes != rowBytes * height || header < 32 * !psf1)
        faces.problem = QStringLiteral("a damaged console font: its header gives glyphs of %1 x %2 "
                                       "pixels in %3 bytes")
                            .arg(width)
                            .arg(height)
                            .arg(glyphBytes);
    else if (header + count * glyphBytes > quint64(data.size()))
        faces.problem = QStringLiteral("a console font cut short: it claims %1 glyphs of %2 bytes "
                                       "but holds %3 bytes: get it again")
                            .arg(count)
                            .arg(glyphBytes)
                            .arg(data.size());
    if (!faces.problem.isEmpty())
        return faces;

    // Without a table, glyphs are in the order of the PC's code page 437, which the printable
    // ASCII characters share, and whose character 127 is the house sign.
    std::map<char32_t, int> map;
    const qsizetype after = qsizetype(header + count * glyphBytes);
    if (table &&
        !(psf1 ? psf1Table(data, after, count, map) : psf2Table(data, after, count, map))) {
        faces.problem = QStringLiteral("a console font cut short or damaged in its table of "
                                       "characters: get it again");
        return faces;
    }
    Strike strike;
    strike.name = name;
    strike.width = int(width);
    strike.height = int(height);
    for (int g = 1; g <= GlyphCount; ++g) {
        const char32_t code = glyphCharacter(g);
        const auto found = map.find(code);
        const quint64 index = table ? (found == map.end() ? count : quint64(found->second))
                                    : (g < GlyphCount ? code : 127);
        if (index >= count)
            continue;
        Glyph glyph{0, 0, int(width), int(height), std::vector<quint8>(width * height), int(width)};
        const char *bits = data.constData() + header + index * glyphBytes;
        for (quint64 y = 0; y < height; ++y)
            for (quint64 x = 0; x < width; ++x)
                glyph.coverage[y * width + x] =
                    bits[y * rowBytes + x / 8] & (0x80 >> x % 8) ? 255 : 0;
        strike.glyphs[size_t(g - 1)] = std::move(glyph);
    }
    faces.strikes += std::move(strike);
    return faces;
}

} // namespace bitmapfont
