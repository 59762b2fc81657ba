#include "tessorapng/bitmapfont.h"

#include "png/pngfile.h"

#include <zlib.h>

using namespace fonttable;

namespace bitmapfont
{

namespace
{

// Unpacked only up to MaxBytes, so that a small file unpacking to gigabytes stops early.
QByteArray gunzip(const QByteArray &packed, QString &problem)
{
    z_stream z = {};
    if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) {
        problem = QStringLiteral("cannot unpack it: out of memory");
        return {};
    }
    z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(packed.data()));
    z.avail_in = uInt(packed.size());
    QByteArray data;
    int status = Z_OK;
    while (status == Z_OK && data.size() <= MaxBytes) {
        const qsizetype done = data.size();
        data.resize(std::min(std::max<qsizetype>(2 * done, 1 << 20), MaxBytes + 1));
        z.next_out = reinterpret_cast<Bytef *>(data.data() + done);
        z.avail_out = uInt(data.size() - done);
        status = inflate(&z, Z_NO_FLUSH);
        data.resize(qsizetype(z.total_out));
        // gzip's members one after another, as zcat reads them.
        if (status == Z_STREAM_END && z.avail_in > 0) {
            const uLong total = z.total_out;
            inflateReset(&z);
            z.total_out = total;
            status = Z_OK;
        }
        if (status == Z_BUF_ERROR && z.avail_in == 0)
            break;
        if (status == Z_BUF_ERROR)
            status = Z_OK;
    }
    inflateEnd(&z);
    if (data.size() > MaxBytes)
        problem = QStringLiteral("unpacks to more than %1 MB, which is no font this reads")
                      .arg(MaxBytes >> 20);
    else if (status != Z_STREAM_END)
        problem = QStringLiteral("its gzip data is %1: get the font again")
                      .arg(status == Z_DATA_ERROR ? "damaged" : "cut short");
    return problem.isEmpty() ? data : QByteArray();
}

} // namespace

Bytes readFile(const QByteArray &path)
{
    Bytes bytes;
    const pngfile::Opened opened = pngfile::openForReading(path, "a font");
    if (!opened.file) {
        bytes.problem = opened.problem.startsWith("is ")
                            ? opened.problem
                            : QStringLiteral("cannot read it (%1): give the path of a font file")
                                  .arg(opened.problem);
        return bytes;
    }
    QByteArray data(MaxBytes + 1, Qt::Uninitialized);
    data.resize(qsizetype(std::fread(data.data(), 1, size_t(data.size()), opened.file)));
    const bool failed = std::ferror(opened.file);
    std::fclose(opened.file);
    if (failed)
        bytes.problem = QStringLiteral("reading it failed: check the disk");
    else if (data.size() > MaxBytes)
        bytes.problem =
            QStringLiteral("larger than %1 MB, which is no font this reads").arg(MaxBytes >> 20);
    else if (data.startsWith("\x1f\x8b"))
        bytes.data = gunzip(data, bytes.problem);
    else
        bytes.data = data;
    return bytes;
}

FontTable place(const Strike &strike, quint8 level, QPoint offset, QList<int> &cut)
{
    FontTable table;
    // The odd pixel of a cell that does not fit evenly goes to the right and below.
    const int y0 = (GlyphHeight - strike.height) / 2 + offset.y();
    for (int g = 1; g <= GlyphCount; ++g) {
        const std::optional<Glyph> &glyph = strike.glyphs[g - 1];
        if (!glyph)
            continue;
        const int x0 = (GlyphWidth - glyph->advance) / 2 + offset.x();
        bool outside = false;
        for (int y = 0; y < glyph->height; ++y) {
            for (int x = 0; x < glyph->width; ++x) {
                const int coverage = glyph->coverage[size_t(y * glyph->width + x)];
                const int column = x0 + glyph->left + x, row = y0 + glyph->top + y;
                if (coverage == 0)
                    continue;
                if (column < 0 || column >= GlyphWidth || row < 0 || row >= GlyphHeight) {
                    outside = true;
                    continue;
                }
                table.setByte(glyphFirstByte(g) + row * RowBytes + column,
                              quint8((coverage * level + 127) / 255));
            }
        }
        if (outside)
            cut += g;
    }
    return table;
}

} // namespace bitmapfont
