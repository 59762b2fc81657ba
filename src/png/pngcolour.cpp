#include "png/pngcolour_p.h"

#include <QByteArray>
#include <QList>

#include <array>
#include <cmath>
#include <optional>

namespace pngfile
{

namespace
{

const char Redo[] = "export it again as 8-bit grayscale, or as sRGB";

// What the image's colour information says its numbers mean.

double srgb(double x)
{
    return x <= 0.04045 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4);
}

// Big-endian numbers in a profile; 0 past its end.
quint32 be(const QByteArray &bytes, qsizetype at, int size = 4)
{
    quint32 value = 0;
    for (int i = 0; i < size; ++i)
        value = value << 8 | (at + i < bytes.size() ? quint8(bytes[at + i]) : 0);
    return value;
}

// A tone curve of an ICC profile ('curv' or 'para'), evaluated at x in [0, 1].
std::optional<double> evaluateCurve(const QByteArray &profile, quint32 offset, quint32 size,
                                    double x)
{
    const QByteArray tag = profile.mid(offset, size);
    if (tag.size() < 12 || qsizetype(offset) + qsizetype(size) > profile.size())
        return {};
    if (tag.startsWith("curv")) {
        const quint32 count = be(tag, 8);
        if (count == 0)
            return x;
        if (12 + 2 * qsizetype(count) > tag.size())
            return {};
        if (count == 1)
            return std::pow(x, be(tag, 12, 2) / 256.0);
        auto entry = [&](quint32 i) {
            return be(tag, 12 + 2 * i, 2) / 65535.0;
        };
        const double place = x * (count - 1);
        const quint32 i = std::min(quint32(place), count - 2);
        return entry(i) + (entry(i + 1) - entry(i)) * (place - i);
    }
    if (tag.startsWith("para")) {
        static constexpr int Parameters[] = {1, 3, 4, 5, 7};
        const int type = int(be(tag, 8) >> 16);
        if (type > 4 || 12 + 4 * Parameters[type] > tag.size())
            return {};
        double p[7] = {0, 1, 0, 0, 0, 0, 0}; // g a b c d e f
        for (int i = 0; i < Parameters[type]; ++i)
            p[i] = qint32(be(tag, 12 + 4 * i)) / 65536.0;
        const auto [g, a, b, c, d, e, f] = p;
        const double power = a * x + b > 0 ? std::pow(a * x + b, g) : 0;
        switch (type) {
        case 0:
            return std::pow(x, g);
        case 1:
            return x >= -b / a ? power : 0;
        case 2:
            return x >= -b / a ? power + c : c;
        case 3:
            return x >= d ? power : c * x;
        default:
            return x >= d ? power + e : c * x + f;
        }
    }
    return {};
}

// Whether a profile's tone curves are sRGB's or gamma 2.2, under which a gray's number means
// what it shows; otherwise why not.
QString checkProfile(const QByteArray &profile)
{
    const bool gray = profile.mid(16, 4) == "GRAY";
    const quint32 tags = be(profile, 128);
    for (const char *name : gray ? QList{"kTRC"} : QList{"rTRC", "gTRC", "bTRC"}) {
        quint32 i = 0;
        while (i < tags && i < 100 && profile.mid(132 + 12 * i, 4) != name)
            ++i;
        // How far the curve strays from sRGB's, from gamma 2.2 and from a straight line.
        double away[3] = {}, middle = 0;
        for (int step = 0; step <= 16 && i < tags; ++step) {
            const double x = step / 16.0;
            const std::optional<double> y =
                evaluateCurve(profile, be(profile, 136 + 12 * i), be(profile, 140 + 12 * i), x);
            if (!y) {
                i = tags;
                break;
            }
            const double wanted[3] = {srgb(x), std::pow(x, 2.2), x};
            for (int c = 0; c < 3; ++c)
                away[c] = std::max(away[c], std::abs(*y - wanted[c]));
            middle = step == 8 ? *y : middle;
        }
        if (i >= tags || i >= 100)
            return QStringLiteral("its colour profile has no tone curve tessora-png can read: %1")
                .arg(Redo);
        if (away[2] < 0.02)
            return QStringLiteral("its colour profile says its values are linear light, not the "
                                  "grays shown on a screen: %1")
                .arg(Redo);
        if (std::min(away[0], away[1]) > 0.02 && middle > 0 && middle < 1)
            return QStringLiteral("its colour profile has a tone curve of about gamma %1, not "
                                  "sRGB's or gamma 2.2: %2")
                .arg(std::log(middle) / std::log(0.5), 0, 'f', 1)
                .arg(Redo);
        if (std::min(away[0], away[1]) > 0.02)
            return QStringLiteral("its colour profile has a tone curve other than sRGB's or gamma "
                                  "2.2: %1")
                .arg(Redo);
    }
    return {};
}

} // namespace

QString checkColours(png_structp png, png_infop info)
{
    png_charp name;
    int compression;
    png_bytep profile;
    png_uint_32 length;
    int intent;
    png_fixed_point gamma;
    if (png_get_iCCP(png, info, &name, &compression, &profile, &length))
        return checkProfile(QByteArray(reinterpret_cast<const char *>(profile), int(length)));
    if (png_get_sRGB(png, info, &intent) || !png_get_gAMA_fixed(png, info, &gamma))
        return {};
    if (gamma >= 44'000 && gamma <= 47'000) // 1 / 2.2, as sRGB images are marked too
        return {};
    if (gamma == PNG_GAMMA_LINEAR)
        return QStringLiteral("its gAMA chunk says its values are linear light, not the grays "
                              "shown on a screen: %1")
            .arg(Redo);
    return QStringLiteral("its gAMA chunk says its values follow gamma %1, not sRGB's or 2.2: %2")
        .arg(100'000.0 / gamma, 0, 'f', 2)
        .arg(Redo);
}

} // namespace pngfile
