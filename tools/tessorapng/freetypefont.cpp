#include "tessorapng/bitmapfont.h"

#include "fontrender/fontrender.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H
#include FT_WINFONTS_H

#include <algorithm>

using namespace fonttable;

namespace bitmapfont
{

namespace
{

// A font file with more faces than this is a damaged one: a Windows FON holds a few sizes.
constexpr FT_Long MaxFaces = 256;

QString freetypeError(FT_Error error)
{
    const char *text = FT_Error_String(error);
    return text ? QString::fromLatin1(text) : QStringLiteral("FreeType error %1").arg(error);
}

// Where the baseline of the selected strike lies below its top. An OpenType or TrueType font that
// also has outlines gets FreeType's ascent from them, scaled; the strike's own is in its EBLC
// table's line metrics, the byte after 16 of its 48, found by its height in pixels.
int strikeAscent(FT_Face face, int strike)
{
    const int ascent = int((face->size->metrics.ascender + 32) >> 6);
    FT_ULong length = 0;
    if (!FT_IS_SFNT(face) || !FT_IS_SCALABLE(face) ||
        FT_Load_Sfnt_Table(face, TTAG_EBLC, 0, nullptr, &length) != 0 || length < 8)
        return ascent;
    QByteArray eblc(qsizetype(length), Qt::Uninitialized);
    FT_Load_Sfnt_Table(face, TTAG_EBLC, 0, reinterpret_cast<FT_Byte *>(eblc.data()), &length);
    const auto byte = [&](qsizetype at) {
        return uchar(eblc[at]);
    };
    const quint32 sizes = quint32(byte(4)) << 24 | byte(5) << 16 | byte(6) << 8 | byte(7);
    const int ppem = int((face->available_sizes[strike].y_ppem + 32) >> 6);
    for (quint32 i = 0; i < sizes && 8 + 48 * (i + 1) <= length; ++i)
        if (byte(8 + 48 * i + 45) == ppem)
            return int(qint8(byte(8 + 48 * i + 16)));
    return ascent;
}

// The size's glyphs of the table's characters, looked up through the font's Unicode map, or
// through its own encoding (the PC's or Windows', both ASCII from the space to ~, and the PC's
// house sign at 127) when it has none.
QString loadStrike(FT_Face face, int size, Strike &strike)
{
    const bool unicode = face->charmap && face->charmap->encoding == FT_ENCODING_UNICODE;
    // Of the fonts without a Unicode map, only the PC's code page has the house sign at 127.
    FT_WinFNT_HeaderRec windows;
    const bool house = !unicode && (FT_Get_WinFNT_Header(face, &windows) != 0 ||
                                    windows.charset == FT_WinFNT_ID_OEM);
    const int ascent = strikeAscent(face, size);
    for (int g = 1; g <= GlyphCount; ++g) {
        const char32_t character = glyphCharacter(g);
        const FT_UInt index = unicode || g < GlyphCount ? FT_Get_Char_Index(face, character)
                              : house                   ? FT_Get_Char_Index(face, 127)
                                                        : 0;
        if (index == 0)
            continue;
        if (const FT_Error error = FT_Load_Glyph(face, index, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO))
            return QStringLiteral("a damaged font: the glyph of %1 cannot be read (%2)")
                .arg(QString::fromUcs4(&character, 1), freetypeError(error));
        const FT_Bitmap &bitmap = face->glyph->bitmap;
        if (bitmap.pixel_mode != FT_PIXEL_MODE_MONO && bitmap.pixel_mode != FT_PIXEL_MODE_GRAY)
            return QStringLiteral("its glyphs are in colour, and the font table is gray");
        Glyph glyph{face->glyph->bitmap_left,
                    ascent - face->glyph->bitmap_top,
                    int(bitmap.width),
                    int(bitmap.rows),
                    std::vector<quint8>(size_t(bitmap.width * bitmap.rows)),
                    int((face->glyph->advance.x + 32) >> 6)};
        for (int y = 0; y < glyph.height; ++y) {
            const unsigned char *row = bitmap.buffer + y * bitmap.pitch;
            for (int x = 0; x < glyph.width; ++x)
                glyph.coverage[size_t(y * glyph.width + x)] =
                    bitmap.pixel_mode == FT_PIXEL_MODE_MONO
                        ? (row[x / 8] & (0x80 >> x % 8) ? 255 : 0)
                    : bitmap.num_grays > 1 ? quint8(row[x] * 255 / (bitmap.num_grays - 1))
                                           : 0;
        }
        // The widest advance, which a BDF's average width need not be.
        strike.width = std::max(strike.width, glyph.advance);
        strike.glyphs[size_t(g - 1)] = std::move(glyph);
    }
    return {};
}

// Whether the font has outlines to draw at any size: a bitmap font may hold an empty outline
// table, and one cut short may have lost its bitmaps.
bool hasOutlines(FT_Face face)
{
    if (!FT_IS_SCALABLE(face) || FT_Set_Pixel_Sizes(face, 0, 16) != 0)
        return false;
    for (FT_Long index = 0; index < std::min<FT_Long>(face->num_glyphs, 64); ++index)
        if (FT_Load_Glyph(face, FT_UInt(index), FT_LOAD_NO_BITMAP) == 0 &&
            face->glyph->format == FT_GLYPH_FORMAT_OUTLINE && face->glyph->outline.n_points > 0)
            return true;
    return false;
}

// The kind of font the bytes begin as, if any, for a file FreeType cannot read: a damaged one
// rather than none.
const char *kind(const QByteArray &data)
{
    static const std::pair<QByteArray, const char *> kinds[] = {
        {QByteArray("\1fcp", 4), "PCF"},
        {"STARTFONT", "BDF"},
        {QByteArray("\0\1\0\0", 4), "TrueType"},
        {"true", "TrueType"},
        {"OTTO", "OpenType"},
        {"ttcf", "TrueType"},
        {"MZ", "Windows FON"},
        {QByteArray("\0\2", 2), "Windows FNT"},
        {QByteArray("\0\3", 2), "Windows FNT"},
    };
    for (const auto &[magic, name] : kinds)
        if (data.startsWith(magic))
            return name;
    return nullptr;
}

} // namespace

Faces readFaces(const QByteArray &data, const QString &name)
{
    Faces faces = readPsf(data, name);
    if (!faces.strikes.isEmpty() || !faces.problem.isEmpty())
        return faces;
    FT_Library library;
    if (FT_Init_FreeType(&library) != 0) {
        faces.problem = QStringLiteral("FreeType cannot start");
        return faces;
    }
    const auto *bytes = reinterpret_cast<const FT_Byte *>(data.constData());
    for (FT_Long index = 0, count = 1; index < count && faces.problem.isEmpty(); ++index) {
        FT_Face face;
        if (const FT_Error error =
                FT_New_Memory_Face(library, bytes, FT_Long(data.size()), index, &face)) {
            faces.problem =
                // Short files that are no font at all make FreeType fail otherwise.
                index == 0 && !kind(data)
                    ? QStringLiteral("not a font that this reads (a console font, BDF, PCF, "
                                     "OpenType, TrueType, or a Windows FON or FNT)")
                : kind(data)
                    ? QStringLiteral("a damaged %1 font, or one cut short: get it again")
                          .arg(QLatin1StringView(kind(data)))
                    : QStringLiteral("a damaged font (%1): get it again").arg(freetypeError(error));
            break;
        }
        count = std::min(face->num_faces, MaxFaces);
        faces.scalable = faces.scalable || hasOutlines(face);
        if (!face->charmap && face->num_charmaps > 0)
            FT_Set_Charmap(face, face->charmaps[0]);
        for (FT_Int i = 0; i < face->num_fixed_sizes && faces.problem.isEmpty(); ++i) {
            Strike strike;
            strike.name = QStringLiteral("%1 %2").arg(face->family_name && *face->family_name
                                                          ? QString::fromUtf8(face->family_name)
                                                          : name,
                                                      QString::fromUtf8(face->style_name));
            strike.height = face->available_sizes[i].height;
            // OpenType bitmap fonts tell their style in the OS/2 table only.
            const auto *os2 = static_cast<const TT_OS2 *>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
            strike.weight = os2 && os2->usWeightClass                ? os2->usWeightClass
                            : face->style_flags & FT_STYLE_FLAG_BOLD ? 700
                                                                     : 400;
            strike.italic = os2 ? os2->fsSelection & 0x201 // italic, oblique
                                : face->style_flags & FT_STYLE_FLAG_ITALIC;
            if (const FT_Error error = FT_Select_Size(face, i))
                faces.problem = QStringLiteral("a damaged font (%1)").arg(freetypeError(error));
            else
                faces.problem = loadStrike(face, i, strike);
            faces.strikes += std::move(strike);
        }
        FT_Done_Face(face);
    }
    FT_Done_FreeType(library);
    if (!faces.problem.isEmpty())
        faces.strikes.clear();
    std::stable_sort(faces.strikes.begin(), faces.strikes.end(),
                     [](const Strike &a, const Strike &b) { return a.height < b.height; });
    return faces;
}

} // namespace bitmapfont
