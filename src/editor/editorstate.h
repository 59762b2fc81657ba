#pragma once

#include "fonttable/resourcefile.h"

#include <QString>

#include <array>

// Everything the editor remembers between two events.
struct EditorState {
    qint16 SelectedGlyph = 0; // glyph 1-96 in the pixel editor; 0 = none yet
    qint16 SelectedPixel = 0; // pixel cell 1-128 painted last
    fonttable::FontTable FontTable;
    QString ResourcePath;       // the archive the table was last read from, and is saved to
    fonttable::Archive Archive; // which file that is, and the font table it holds
    fonttable::PackedColor PenColor = 0;
    bool TableLoaded = false; // true from the first successful Read on
    bool PickMode = false;    // the next pixel click picks the pen level instead of painting
    // Levels of the selected glyph's pixels as loaded; pixel k is at index k - 1.
    std::array<qint16, fonttable::PixelsPerGlyph> PixelValues{};
};
