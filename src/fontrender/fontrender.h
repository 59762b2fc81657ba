#pragma once

// Drawing an installed font's characters into the font table, light on dark, each in its glyph's
// cell: the demo archive's font and tessora-png render's. Needs a QGuiApplication.

#include "fonttable/textlayout.h"

#include <QFont>
#include <QPoint>
#include <QStringList>

#include <array>

namespace fonttable
{

// The brightness of full ink in each band of glyphs.
using BandLevels = std::array<quint8, GlyphRows>;

// Each glyph's character centred in its cell, then moved by the offset, and cut at the cell's
// edges. Antialiased unless the font's style strategy says NoAntialias.
FontTable renderFont(const QFont &font, const BandLevels &levels, QPoint offset = {});

// The characters of the glyphs that the font itself lacks, which Qt draws from another font.
QString missingCharacters(const QFont &font);

// The family Qt draws the font with, which is another when it has none of the font's name.
// Without the foundry that Qt adds in brackets when several have the family.
QString drawnFamily(const QFont &font);

// Whether Qt draws the font with the family it names, in any case, with or without a foundry.
bool drawsOwnFamily(const QFont &font);

// Installed families whose names come close to the given one, closest first.
QStringList closeFamilies(const QString &family, int count = 3);

} // namespace fonttable
