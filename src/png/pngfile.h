#pragma once

#include "fonttable/fonttable.h"

#include <QByteArray>
#include <QImage>
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

// Whether the open file starts as a PNG image does; reads its first 8 bytes, then goes back.
bool isPng(std::FILE *file);

// The table as an 8-bit grayscale image, byte for byte.
QImage image(const fonttable::FontTable &table);

// The file an image was made from, which writing it must never replace.
struct Source {
    quint64 device = 0;
    quint64 file = 0;
    const char *what = nullptr; // as named in a refusal, such as "the archive"
};

// Writes the 8-bit grayscale image as a PNG, whole or not at all, to a new file or over an
// existing PNG image; anything else at that path is refused and left as it is, and so is the
// source.
QString write(const QImage &image, const QByteArray &path, const Source &source = {});

// The system's part, in pngfile_unix.cpp and pngfile_win.cpp. Paths are bytes, on Windows UTF-8.

// A regular file opened for reading, never waiting on a pipe or a device, and which file it is;
// or why it cannot be read, with file null, saying the file is not what was wanted.
struct Opened {
    std::FILE *file = nullptr;
    Source identity;
    QString problem;
};
Opened openForReading(const QByteArray &path, const char *what = "a PNG image");

// The encoded bytes written whole into a file beside the path, which then takes the path's place.
QString replaceWith(const QByteArray &bytes, const QByteArray &path, const Source &source);

} // namespace pngfile
