#pragma once

#include <QString>

#include <png.h>

namespace pngfile
{

// Whether an image's colour chunks (iCCP, sRGB, gAMA) say that its numbers are the grays shown on
// a screen, as sRGB's or gamma 2.2's are; otherwise why not, with what to do.
QString checkColours(png_structp png, png_infop info);

} // namespace pngfile
