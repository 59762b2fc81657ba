#include "png/pngfile.h"
#include "png/pngcolour_p.h"

#include <QBuffer>
#include <QImage>

#include <cerrno>
#include <csetjmp>
#include <cstring>
#include <vector>

#include <png.h>

using namespace fonttable;

namespace pngfile
{

namespace
{

QString at(int x, int y)
{
    return QStringLiteral("the pixel at (%1, %2)").arg(x).arg(y);
}

// libpng reports a damaged file by jumping back out of the read; nothing on this path owns
// anything that must be destroyed.
struct Reading {
    char message[200] = "";
};

void onError(png_structp png, png_const_charp message)
{
    auto *reading = static_cast<Reading *>(png_get_error_ptr(png));
    std::snprintf(reading->message, sizeof reading->message, "%s", message);
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp)
{
}

// The image's rows as stored: one byte a sample below 16 bits, two (big-endian) at 16, each
// sample's value unscaled from depth bits.
QString readRows(png_structp png, png_infop info, std::vector<png_byte> &pixels,
                 std::vector<png_bytep> &rows, int &depth)
{
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    if (width != Width || height != Height)
        return QStringLiteral("the image is %1 x %2 pixels; the font table is %3 x %4: scale or "
                              "crop it to %3 x %4 in your image editor")
            .arg(width)
            .arg(height)
            .arg(Width)
            .arg(Height);
    if (const QString colours = checkColours(png, info); !colours.isEmpty())
        return colours;
    depth = png_get_bit_depth(png, info); // before unpacking makes it 8
    png_set_packing(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const size_t rowBytes = png_get_rowbytes(png, info);
    pixels.resize(rowBytes * Height);
    rows.resize(Height);
    for (int y = 0; y < Height; ++y)
        rows[y] = pixels.data() + rowBytes * y;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    return {};
}

// The levels of every pixel, or why one of them is not an opaque gray.
QString levels(png_structp png, png_infop info, const std::vector<png_bytep> &rows, int depth,
               FontTable &table)
{
    const int type = png_get_color_type(png, info);
    const int channels = png_get_channels(png, info);
    const int bytes = depth == 16 ? 2 : 1;
    const int maximum = (1 << depth) - 1;
    // A palette's entries and its transparency are 8-bit whatever the depth of the indices.
    const int full = type == PNG_COLOR_TYPE_PALETTE ? 255 : maximum;

    png_colorp palette = nullptr;
    int colours = 0;
    png_get_PLTE(png, info, &palette, &colours);
    png_bytep alphas = nullptr;
    int alphaCount = 0;
    png_color_16p key = nullptr;
    const bool keyed = png_get_tRNS(png, info, &alphas, &alphaCount, &key);

    for (int y = 0; y < Height; ++y) {
        for (int x = 0; x < Width; ++x) {
            const png_bytep pixel = rows[y] + x * channels * bytes;
            auto sample = [&](int channel) {
                const png_bytep s = pixel + channel * bytes;
                return bytes == 2 ? s[0] << 8 | s[1] : s[0];
            };
            int red = sample(0), green = red, blue = red, alpha = maximum;
            if (type == PNG_COLOR_TYPE_PALETTE) {
                if (red >= colours)
                    return QStringLiteral("%1 is colour %2 of a palette of %3, so the file is "
                                          "damaged: convert the image to grayscale in your image "
                                          "editor and export it again")
                        .arg(at(x, y))
                        .arg(red)
                        .arg(colours);
                alpha = keyed && red < alphaCount ? alphas[red] : 255;
                const png_color c = palette[red];
                red = c.red, green = c.green, blue = c.blue;
            } else if (type & PNG_COLOR_MASK_COLOR) {
                green = sample(1), blue = sample(2);
            }
            if (type & PNG_COLOR_MASK_ALPHA)
                alpha = sample(channels - 1);
            const bool keyedOut =
                keyed && type != PNG_COLOR_TYPE_PALETTE &&
                (type == PNG_COLOR_TYPE_GRAY
                     ? red == key->gray
                     : red == key->red && green == key->green && blue == key->blue);
            const PixelLevel level = pixelLevel(red, green, blue, keyedOut ? 0 : alpha, full);
            if (level.kind == PixelLevel::Transparent)
                return QStringLiteral("%1 is transparent: flatten the image or remove its alpha "
                                      "channel in your image editor")
                    .arg(at(x, y));
            if (level.kind == PixelLevel::Translucent)
                return QStringLiteral("%1 is not fully opaque: flatten the image or remove its "
                                      "alpha channel in your image editor")
                    .arg(at(x, y));
            if (level.kind == PixelLevel::Coloured)
                return QStringLiteral("%1 is not gray: convert the image to grayscale in your "
                                      "image editor")
                    .arg(at(x, y));
            table.setByte(Width * y + x + 1, level.level);
        }
    }
    return {};
}

} // namespace

QString decode(std::FILE *file, FontTable &table)
{
    png_byte signature[8];
    if (std::fread(signature, 1, 8, file) != 8 || png_sig_cmp(signature, 0, 8) != 0)
        return QStringLiteral("not a PNG image: give a PNG file, such as one export wrote");
    Reading reading;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &reading, &onError, &onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return QStringLiteral("out of memory");
    }
    std::vector<png_byte> pixels;
    std::vector<png_bytep> rows;
    int depth = 0;
    QString problem;
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_set_sig_bytes(png, 8);
        problem = readRows(png, info, pixels, rows, depth);
    } else {
        problem = QStringLiteral("a damaged PNG image (%1): export it again from your image editor")
                      .arg(reading.message);
    }
    if (problem.isEmpty())
        problem = levels(png, info, rows, depth, table);
    png_destroy_read_struct(&png, &info, nullptr);
    return problem;
}

bool isPng(std::FILE *file)
{
    png_byte head[8] = {};
    const bool png = std::fread(head, 1, 8, file) == 8 && png_sig_cmp(head, 0, 8) == 0;
    std::rewind(file);
    return png;
}

QImage image(const FontTable &table)
{
    // The block is the image's rows, one byte a pixel; the copy outlives the table.
    return QImage(table.data(), Width, Height, Width, QImage::Format_Grayscale8).copy();
}

QString write(const QImage &image, const QByteArray &path, const Source &source)
{
    QBuffer encoded;
    if (!encoded.open(QIODevice::WriteOnly) || !image.save(&encoded, "png"))
        return QStringLiteral("cannot encode the image");
    return replaceWith(encoded.data(), path, source);
}

} // namespace pngfile
