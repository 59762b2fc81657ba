#pragma once

// Bitmap fonts from their files, pixel for pixel: Linux console fonts (PSF 1 and 2) through a
// reader of this program's own, since FreeType has none; BDF, PCF, OpenType and TrueType bitmap
// strikes and Windows FNT and FON through FreeType, with no hinting or scaling.

#include "fonttable/fonttable.h"

#include <QByteArray>
#include <QList>
#include <QPoint>
#include <QString>

#include <array>
#include <optional>
#include <vector>

namespace bitmapfont
{

// The most a font file may hold, also once unpacked: several times the largest bitmap fonts
// Debian ships, so that a hostile file costs bounded memory.
inline constexpr qsizetype MaxBytes = 64 << 20;

// A character's ink, row by row, each pixel's coverage from 0 to 255, placed by its top-left
// corner in a cell as wide as the character's advance and as high as the font's.
struct Glyph {
    int left = 0, top = 0, width = 0, height = 0;
    std::vector<quint8> coverage;
    int advance = 0;
};

// One size of a font: its cell, and the glyphs of the table's characters, empty where the font
// has none.
struct Strike {
    QString name; // as a message names it, such as "Terminus Bold"
    int width = 0, height = 0;
    int weight = 400; // 400 regular, 700 bold
    bool italic = false;
    std::array<std::optional<Glyph>, fonttable::GlyphCount> glyphs;
};

// What a font file holds: its strikes, in the order of their heights, and whether it also has
// outlines, which are drawn at other sizes.
struct Faces {
    QList<Strike> strikes;
    bool scalable = false;
    QString problem; // why it is no font this reads, or a damaged one; empty otherwise
};

// The file's bytes, unpacked when gzip-compressed, at most MaxBytes; or why they cannot be read.
struct Bytes {
    QByteArray data;
    QString problem;
};
Bytes readFile(const QByteArray &path);

// Reads the strikes of the font in the bytes.
Faces readFaces(const QByteArray &data, const QString &name);
Faces readPsf(const QByteArray &data, const QString &name); // a console font, or no problem set
                                                            // and no strikes when it is none

// The strike's characters in the table, ink at the level, each character's cell centred in the
// 8 x 16 cell of its glyph, as Qt centres a character's advance, and moved by the offset. Ink
// outside the 8 x 16 cell is cut; the glyphs cut, 1 to 96, are added to the list.
fonttable::FontTable place(const Strike &strike, quint8 level, QPoint offset, QList<int> &cut);

// The installed families' font files, where the system tells them (fontconfig); none elsewhere.
QList<QByteArray> installedFiles(const QString &family);

} // namespace bitmapfont
