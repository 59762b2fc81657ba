// tessora-png render: a font's characters into the font table, from a font file or an installed
// family. A bitmap font arrives pixel for pixel at one of its own sizes; an outline font is drawn
// by Qt, centred in each cell.

#include "tessorapng/commands.h"

#include "fontrender/fontrender.h"
#include "png/pngfile.h"
#include "tessorapng/bitmapfont.h"

#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QMetaEnum>

#include <cstdio>

using namespace fonttable;

namespace tessorapng
{

namespace
{

// A weight as Qt names it (case aside) or as a number.
std::optional<int> weight(const QByteArray &text)
{
    const QMetaEnum names = QMetaEnum::fromType<QFont::Weight>();
    for (int i = 0; i < names.keyCount(); ++i)
        if (text.compare(names.key(i), Qt::CaseInsensitive) == 0)
            return names.value(i);
    return number(text, 1, 1000);
}

bool isEmpty(const FontTable &table)
{
    for (int i = 1; i <= TableSize; ++i)
        if (table.byte(i) != 0)
            return false;
    return true;
}

struct Request {
    QByteArray font, png;
    int size = 0, weight = 400;
    quint8 level = 255;
    QPoint offset;
    bool antialias = true, quiet = false;
};

QString names(const QList<int> &glyphs)
{
    QStringList list;
    for (const int g : glyphs)
        list += characterName(glyphCharacter(g));
    return list.join(' ');
}

// The table written, then what the font lacked or lost at the cell's edges.
int finish(const Request &r, const FontTable &table, const QString &drawn, const QList<int> &cut,
           const QList<int> &missing)
{
    if (isEmpty(table) && !r.offset.isNull())
        return usage("--offset " + QByteArray::number(r.offset.x()) + "," +
                     QByteArray::number(r.offset.y()) +
                     " moves every character out of its cell: give a smaller one");
    if (const QString problem = pngfile::write(pngfile::image(table), r.png); !problem.isEmpty())
        return fail(r.png, problem);
    if (!missing.isEmpty())
        note(QStringLiteral("%1 lacks %2, so %3 empty")
                 .arg(QString::fromUtf8(shown(r.font)), names(missing),
                      missing.size() == 1 ? "its cell is" : "their cells are"));
    if (!cut.isEmpty())
        note(QStringLiteral("the ink of %1 falls outside the 8 x 16 cell, so it was cut")
                 .arg(names(cut)));
    return wrote(r.quiet, r.png, QStringLiteral("the font table drawn from %1").arg(drawn));
}

// An outline font, by its family, as Qt draws it.
int drawWithQt(const Request &r, const QByteArray &fontData)
{
#ifndef Q_OS_WIN // where Windows' own platform draws without a window
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    // Qt's notes on the desktop session, such as a missing XDG_RUNTIME_DIR, would only hide
    // the one line that says what happened; what stops Qt is said.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            note(text.simplified());
    });
    int argc = 1;
    char program[] = "tessora-png", *argv[] = {program, nullptr};
    const QGuiApplication app(argc, argv);
    QString family = fromArgument(r.font);
    if (!fontData.isNull()) {
        const QStringList families = QFontDatabase::applicationFontFamilies(
            QFontDatabase::addApplicationFontFromData(fontData));
        if (families.isEmpty())
            return fail(r.font, QStringLiteral("Qt cannot draw this font: give another"));
        family = families.front();
    }
    QFont font;
    font.setFamilies({family});
    font.setPixelSize(r.size);
    font.setWeight(QFont::Weight(r.weight));
    font.setStyleStrategy(r.antialias ? QFont::PreferAntialias : QFont::NoAntialias);
    // Qt draws with another font rather than none; that is not the font asked for.
    if (!drawsOwnFamily(font)) {
        const QStringList close = closeFamilies(family);
        const QString instead =
            QStringLiteral("no font family of this name is installed (Qt would draw %1 instead)")
                .arg(drawnFamily(font));
        return fail(r.font, close.isEmpty()
                                ? instead + "; fc-list : family lists those that are, or give the "
                                            "path of a font file"
                                : instead + "; close ones are " + close.join(", "));
    }
    BandLevels levels;
    levels.fill(r.level);
    QList<int> missing;
    for (const char32_t character : missingCharacters(font).toUcs4())
        missing += glyphOf(character);
    if (missing.size() == GlyphCount)
        return fail(r.font, QStringLiteral("has none of the characters from the space to ~: give "
                                           "another font"));
    // What Qt would draw for them is another font's, or a box.
    FontTable table = renderFont(font, levels, r.offset);
    for (const int g : missing)
        table.setGlyph(g, {});
    return finish(r, table, QStringLiteral("%1 at %2 pixels").arg(family).arg(r.size), {}, missing);
}

// Whether the argument names a font file rather than an installed family.
bool isPath(const QByteArray &font)
{
    static const QList<QByteArray> types = {".psf", ".psfu", ".gz",  ".bdf", ".pcf", ".otb",
                                            ".ttf", ".otf",  ".ttc", ".fon", ".fnt"};
    const QString path = fromArgument(font);
    return font.contains('/') || (font.contains('\\') && QDir::separator() == '\\') ||
           QFileInfo::exists(path) ||
           std::any_of(types.begin(), types.end(),
                       [&](const QByteArray &type) { return font.toLower().endsWith(type); });
}

} // namespace

int render(const Arguments &arguments)
{
    if (const int status = arguments.expect({"FONT", "SIZE", "FILE.png"}))
        return status;
    Request r;
    r.font = arguments.operands[0];
    r.png = arguments.operands[2];
    r.quiet = arguments.quiet();
    r.antialias = !arguments.options.contains("--no-antialias");
    const std::optional<int> size = number(arguments.operands[1], 1, 64);
    const std::optional<int> level = number(arguments.options.value("--level", "255"), 1, 255);
    const std::optional<int> bold = weight(arguments.options.value("--weight", "normal"));
    const QList<QByteArray> offset = arguments.options.value("--offset", "0,0").split(',');
    const std::optional<int> dx = number(offset.value(0), -16, 16);
    const std::optional<int> dy = number(offset.value(1), -16, 16);
    if (r.font.isEmpty())
        return usage("FONT is empty: give an installed family or the path of a font file");
    if (r.png.isEmpty())
        return usage("FILE.png is empty: give the name of the PNG file to write");
    if (!size)
        return usage("SIZE must be a whole number of pixels from 1 to 64");
    if (!level)
        return usage("--level must be a whole number from 1 to 255");
    if (!bold)
        return usage("--weight must be a number from 1 to 1000, or one of thin, extralight, "
                     "light, normal, medium, demibold, bold, extrabold, black");
    if (offset.size() != 2 || !dx || !dy)
        return usage("--offset must be two whole numbers from -16 to 16, such as 1,-2");
    r.size = *size;
    r.level = quint8(*level);
    r.weight = *bold;
    r.offset = {*dx, *dy};

    const bool file = isPath(r.font);
    const QList<QByteArray> files =
        file ? QList<QByteArray>{r.font} : bitmapfont::installedFiles(fromArgument(r.font));
    QList<bitmapfont::Strike> strikes;
    QByteArray outline; // a font file's bytes, for Qt, when it has outlines
    bool scalable = false;
    for (const QByteArray &path : files) {
        const bitmapfont::Bytes bytes = bitmapfont::readFile(path);
        bitmapfont::Faces faces =
            bytes.problem.isEmpty()
                ? bitmapfont::readFaces(bytes.data, QFileInfo(fromArgument(path)).fileName())
                : bitmapfont::Faces{{}, false, bytes.problem};
        // A damaged file of an installed family is left out, as Qt leaves it out.
        if (file && !faces.problem.isEmpty())
            return fail(r.font, faces.problem);
        scalable = scalable || faces.scalable;
        if (file && faces.scalable)
            outline = bytes.data;
        strikes += faces.strikes;
    }
    // Of the strikes of that height, upright before italic, then the weight nearest the one asked.
    const bitmapfont::Strike *best = nullptr;
    auto distance = [&](const bitmapfont::Strike &s) {
        return s.italic * 10000 + std::abs(s.weight - r.weight);
    };
    for (const bitmapfont::Strike &strike : strikes)
        if (strike.height == r.size && (!best || distance(strike) < distance(*best)))
            best = &strike;
    if (best) {
        QList<int> cut, missing;
        for (int g = 1; g <= GlyphCount; ++g)
            if (!best->glyphs[size_t(g - 1)])
                missing += g;
        const FontTable table = bitmapfont::place(*best, r.level, r.offset, cut);
        return finish(
            r, table,
            QStringLiteral("%1, %2 x %3 pixels").arg(best->name).arg(best->width).arg(best->height),
            cut, missing);
    }
    if (!scalable && !strikes.isEmpty()) {
        QStringList heights;
        for (const bitmapfont::Strike &strike : strikes)
            if (!heights.contains(QString::number(strike.height)))
                heights += QString::number(strike.height);
        return fail(r.font, QStringLiteral("a bitmap font without a size of %1 pixels: its sizes "
                                           "are %2; give one of them")
                                .arg(r.size)
                                .arg(heights.join(", ")));
    }
    if (file && outline.isNull())
        return fail(r.font, QStringLiteral("holds no glyphs that can be drawn: it may be damaged "
                                           "or cut short; get it again, or give another font"));
    return drawWithQt(r, outline);
}

} // namespace tessorapng
