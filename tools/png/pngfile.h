#pragma once

#include "fonttable/fonttable.h"

#include <QByteArray>
#include <QString>

#include <cstdio>

// The font table as a PNG file: 128 x 96 pixels, pixel (x, y) the byte 128 * y + x + 1. Files
// are named by paths taken as bytes, so that a name in any encoding is the file meant.
namespace pngfile
{

inline constexpr int Width = fonttable::RowBytes;
inline constexpr int Height = fonttable::GlyphRows * fonttable::GlyphHeight;

// Reads the image's stored samples into the table, exactly, never through a colour conversion.
// Returns why the image cannot be the font table, with what to do about it in an image editor,
// or an empty string.
QString decode(std::FILE *file, fonttable::FontTable &table);

// Writes the table as an 8-bit grayscale PNG, whole or not at all, to a new file or over an
// existing PNG image; anything else at that path is refused and left as it is, and so is the
// file with the given device and inode (the archive the table came from).
QString write(const fonttable::FontTable &table, const QByteArray &path, dev_t keepDevice,
              ino_t keepInode);

} // namespace pngfile
