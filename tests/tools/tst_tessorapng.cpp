#include "support/support.h"

#include <QColorSpace>
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTest>

#include <zlib.h>

using namespace testsupport;

namespace
{

QByteArray be32(quint32 value)
{
    return QByteArray::fromHex(QByteArray::number(value, 16).rightJustified(8, '0'));
}

QByteArray chunk(const char *type, const QByteArray &data)
{
    const QByteArray body = type + data;
    return be32(data.size()) + body +
           be32(crc32(0, reinterpret_cast<const Bytef *>(body.data()), uInt(body.size())));
}

// A PNG as other programs write them, chunk by chunk, from its rows of samples.
QByteArray encode(int width, int height, int depth, int type, const QByteArray &chunks,
                  const QByteArray &rows)
{
    const QByteArray header =
        be32(width) + be32(height) + char(depth) + char(type) + QByteArray(3, '\0');
    return "\x89PNG\r\n\x1a\n" + chunk("IHDR", header) + chunks +
           chunk("IDAT", qCompress(rows).mid(4)) + chunk("IEND", {});
}

// The table in a PNG of that depth and colour type, unfiltered: each pixel the level in every
// channel, with opaque alpha; at 16 bits the sample the level is nearest to from below; in a
// palette image the index is the level's remainder by 4. The pixel at (3, 4) may be another.
QByteArray png(const FontTable &table, int depth, int type, const QByteArray &chunks = {},
               const QByteArray &odd = {}, int width = 128, int height = 96)
{
    const int channels[] = {1, 0, 3, 1, 2, 0, 4};
    QByteArray rows;
    for (int i = 0; i < TableSize; ++i) {
        const int v = table.byte(i + 1);
        const int level = depth == 16 ? std::max(0, v * 257 - 128) : type == 3 ? v % 4 : v;
        QByteArray pixel;
        for (int c = 0; c < channels[type]; ++c) {
            const int sample = (type & 4) && c == channels[type] - 1 ? (1 << depth) - 1 : level;
            if (depth == 16)
                pixel += char(sample >> 8);
            pixel += char(sample);
        }
        rows += QByteArray(i % 128 == 0, '\0') + (i == 128 * 4 + 3 && !odd.isEmpty() ? odd : pixel);
    }
    return encode(width, height, depth, type, chunks, rows);
}

// A colour profile as Qt makes it; a gray one from its red curve.
QByteArray profile(QColorSpace::NamedColorSpace space, bool gray = false)
{
    QByteArray icc = QColorSpace(space).iccProfile();
    if (gray)
        icc.replace(16, 4, "GRAY").replace("rTRC", "kTRC");
    return chunk("iCCP", QByteArray("icc\0\0", 5) + qCompress(icc).mid(4));
}

// The output of another program.
QByteArray output(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished();
    return process.readAllStandardOutput();
}

// The table a PSF 1 console font of 8 x 16 glyphs draws: its file unpacked by gzip, the glyph of
// each character as kbd's psfgettable lists it, each glyph 16 bytes after a header of 4, a row a
// byte whose highest bit is the leftmost pixel.
FontTable consoleFont(const QString &path, const QString &scratch)
{
    const QByteArray font = output("gzip", {"-dc", path});
    QFile file(scratch);
    if (!file.open(QIODevice::WriteOnly) || file.write(font) != font.size())
        return {};
    file.close();
    std::map<uint, int> glyphs;
    for (const QByteArray &line : output("psfgettable", {scratch}).split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        for (qsizetype i = 1; i < fields.size() && fields[0].startsWith("0x"); ++i)
            glyphs.emplace(fields[i].mid(2).toUInt(nullptr, 16), fields[0].toInt(nullptr, 16));
    }
    FontTable table;
    for (int g = 0; g < 96; ++g) {
        const auto found = glyphs.find(g < 95 ? uint(' ' + g) : 0x2302u);
        for (int y = 0; y < 16 && found != glyphs.end(); ++y)
            for (int x = 0; x < 8; ++x)
                if (uchar(font[4 + found->second * 16 + y]) & 0x80 >> x)
                    table.setByte(g / 16 * 2048 + y * 128 + g % 16 * 8 + x + 1, 255);
    }
    return table;
}

} // namespace

class TestTessoraPng : public QObject
{
    Q_OBJECT

private slots:
    void commands();

private:
    // Runs the tool with each argument's \0nnn escapes made bytes, as a shell passes a name
    // that is not UTF-8; returns its exit code and what it wrote to standard error and output.
    std::tuple<int, QString, QString> run(const QStringList &arguments)
    {
        QProcess tool;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("TOOL", m_tool);
        tool.setProcessEnvironment(environment);
        tool.start("/bin/sh", QStringList{"-c",
                                          "for a; do shift; set -- \"$@\" \"$(printf %b \"$a\")\"; "
                                          "done; exec $TOOL \"$@\"",
                                          "sh"} +
                                  arguments);
        tool.waitForFinished();
        return {tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1,
                QString::fromLocal8Bit(tool.readAllStandardError()),
                QString::fromLocal8Bit(tool.readAllStandardOutput())};
    }
    QString in(const char *name) const { return m_dir.filePath(name); }
    // A path as the file system holds it.
    static QByteArray path(const QString &path)
    {
        QByteArray bytes = QFile::encodeName(path);
        for (qsizetype at; (at = bytes.indexOf("\\0")) >= 0;)
            bytes.replace(at, 5, QByteArray(1, char(bytes.mid(at + 2, 3).toInt(nullptr, 8))));
        return bytes;
    }
    void save(const QString &name, const QByteArray &bytes)
    {
        const int fd = ::open(path(name), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        QVERIFY(::write(fd, bytes.data(), bytes.size()) == bytes.size() && ::close(fd) == 0);
    }

    QTemporaryDir m_dir;
    // The Linux build, or tessora-png.exe under the Wine wrapper, as "WRAPPER PROGRAM".
    const QString m_tool = qEnvironmentVariable("TESSORA_PNG", TESSORA_PNG);
    const bool m_windows = m_tool.endsWith(".exe");
};

// Each command on images as other programs save them and on paths of every kind: it does its job
// exactly, or it is refused with one line that names the file and says what to do, leaving the
// archives and every other file as they were. Export, preview and render only read an archive,
// and write a new file or over a PNG image, never over anything else.
void TestTessoraPng::commands()
{
    const FontTable table = makeTable(), other = makeTable(1);
    const QByteArray archive = QFile::encodeName(in(ResourceName));
    const QByteArray copy = QFile::encodeName(in("copy.bin")); // imports go into a copy of it
    createArchive(archive, table);
    createArchive(copy, other);
    createArchive(QFile::encodeName(in("short.bin")), {}, MinimumArchiveSize - 1);
    QVERIFY(QDir().mkpath(in("other")) && QDir().mkpath(in("folder")));
    createArchive(QFile::encodeName(in("other/san11res.bin")), makeTable(1));
    QVERIFY(::mkfifo(path(in("fifo")), 0644) == 0 &&
            ::symlink(archive, path(in("link.png"))) == 0 &&
            ::symlink("nowhere.png", path(in("dangling.png"))) == 0);
    QImage image(128, 96, QImage::Format_Grayscale8);
    for (int i = 0; i < TableSize; ++i)
        image.scanLine(i / 128)[i % 128] = table.byte(i + 1);
    QVERIFY(image.save(in("gray.png")) &&
            image.convertToFormat(QImage::Format_Indexed8).save(in("indexed.png")));
    save(in("old.png"), png({}, 8, 0));
    QString all; // the 96 characters in the table's layout, as printf %b reads them
    for (char c = ' '; c < 127; ++c)
        all += QString(QChar(c)).replace('\\', "\\\\") + ((c - 31) % 16 ? "" : "\\n");
    all += QChar(0x2302);
    auto import = [&](const char *name) {
        return QStringList{"import", in(name), copy};
    };
    auto exportTo = [&](const char *name) {
        return QStringList{"export", in(ResourceName), in(name)};
    };
    const QString vga = "/usr/share/consolefonts/Uni2-VGA16.psf.gz",
                  terminus = "/usr/share/consolefonts/Uni2-Terminus16.psf.gz",
                  terminusPcf = "/usr/share/fonts/X11/misc/ter-u16n_unicode.pcf.gz";
    QFile vgaFile(vga);
    QVERIFY(vgaFile.open(QIODevice::ReadOnly));
    QFile otbFile("/usr/share/fonts/opentype/terminus/terminus-normal.otb");
    QVERIFY(otbFile.open(QIODevice::ReadOnly));
    // Terminus's PCF and the VGA font unpacked, and the VGA font and Terminus's OTB as they are,
    // to cut short.
    const QByteArray pcf = output("gzip", {"-dc", terminusPcf}), packed = vgaFile.readAll(),
                     vgaBytes = output("gzip", {"-dc", vga}), otb = otbFile.readAll();
    // The VGA font's glyphs as a BDF file writes them: 12 rows above the baseline, 4 below.
    const FontTable vgaTable = consoleFont(vga, in("console.psf"));
    QByteArray bdf = "STARTFONT 2.1\nFONT vga\nSIZE 16 75 75\nFONTBOUNDINGBOX 8 16 0 -4\n"
                     "STARTPROPERTIES 4\nFONT_ASCENT 12\nFONT_DESCENT 4\n"
                     "CHARSET_REGISTRY \"ISO10646\"\nCHARSET_ENCODING \"1\"\nENDPROPERTIES\n"
                     "CHARS 95\n";
    for (int g = 0; g < 95; ++g) {
        bdf += "STARTCHAR c\nENCODING " + QByteArray::number(32 + g) +
               "\nSWIDTH 500 0\nDWIDTH 8 0\nBBX 8 16 0 -4\nBITMAP\n";
        for (int y = 0; y < 16; ++y) {
            int row = 0;
            for (int x = 0; x < 8; ++x)
                row |= vgaTable.byte(g / 16 * 2048 + y * 128 + g % 16 * 8 + x + 1) ? 0x80 >> x : 0;
            bdf += QByteArray::number(row, 16).rightJustified(2, '0') + "\n";
        }
        bdf += "ENDCHAR\n";
    }
    bdf += "ENDFONT\n";
    const QByteArray palette = chunk("PLTE", QByteArray::fromHex("000000808080ffffff"));
    const struct {
        QStringList arguments;
        QByteArray image; // written to the file imported first
        const char *file; // the one named in a refusal; empty: the command succeeds
        const char *says;
        const char *onWindows = nullptr; // what it says there instead; "-": not for Windows
        QString like = {};               // a console font whose glyphs the table written must hold
    } cases[] = {
        {import("gray.png"), {}, "", ""},
        {import("indexed.png"), {}, "", ""},
        {import("deep.png"), png(table, 16, 2), "", ""},
        {import("gamma.png"), png(table, 8, 2, chunk("gAMA", be32(45455))), "", ""},
        {import("adobe.png"), png(table, 8, 2, profile(QColorSpace::AdobeRgb)), "", ""},
        {import("srgb.png"), png(table, 8, 6, profile(QColorSpace::SRgb)), "", ""},
        {import("f\\0351nt.png"), png(table, 8, 0), "", ""},
        {import("linear.png"), png(table, 8, 2, chunk("gAMA", be32(100000))), "linear.png",
         "linear light"},
        {import("linearicc.png"), png(table, 8, 0, profile(QColorSpace::SRgbLinear, true)),
         "linearicc.png", "linear light"},
        {import("prophoto.png"), png(table, 8, 2, profile(QColorSpace::ProPhotoRgb)),
         "prophoto.png", "gamma 1.8"},
        {import("past.png"), png(table, 8, 3, palette), "past.png",
         "(2, 0) is colour 3 of a palette of 3"},
        {import("keyed.png"),
         png(table, 8, 0, chunk("tRNS", QByteArray(1, 0) + char(table.byte(2)))), "keyed.png",
         "(1, 0) is transparent: flatten"},
        {import("huge.png"), png(table, 8, 0, {}, {}, 100000, 100000), "huge.png",
         "100000 x 100000 pixels"},
        {import("coloured.png"), png(table, 8, 2, {}, "\1\2\3"), "coloured.png",
         "(3, 4) is not gray: convert"},
        {import("halfclear.png"), png(table, 8, 4, {}, "\1\x80"), "halfclear.png",
         "(3, 4) is not fully opaque"},
        {import("wide.png"), png(table, 8, 0, {}, {}, 130, 96), "wide.png", "130 x 96"},
        {import("low.png"), png(table, 8, 0, {}, {}, 128, 95), "low.png", "128 x 95"},
        {import("clear.png"),
         png(table, 8, 3,
             chunk("PLTE", QByteArray(12, '\x40')) + chunk("tRNS", QByteArray("\xff\xff\0", 3))),
         "clear.png", "transparent"},
        {import("text.png"), "not an image", "text.png", "not a PNG"},
        {import("damaged.png"), png(table, 8, 0).left(300), "damaged.png", "damaged"},
        {import("missing.png"), {}, "missing.png", "No such file", "not found"},
        {exportTo("f\\0351nt.png"), {}, "", "", "-"}, // a name that is not UTF-8
        {exportTo("caf\\0303\\0251 \\0344\\0270\\0211.png"), {}, "", ""},
        {exportTo("old.png"), {}, "", ""},
        {exportTo(ResourceName), {}, ResourceName, "the archive itself"},
        {exportTo("link.png"), {}, "link.png", "the archive itself"},
        {exportTo("other/san11res.bin"), {}, "other/san11res.bin", "not a PNG"},
        {exportTo("folder"), {}, "folder", "is a folder"},
        {exportTo("fifo"), {}, "fifo", "not a regular file", "-"},
        {exportTo("dangling.png"), {}, "dangling.png", "does not exist", "-"},
        {exportTo("nowhere/new.png"), {}, "new.png", "No such file", "not found"},
        {{"export", in("missing.bin"), in("new.png")}, {}, "missing.bin", "no such file"},
        {{"export", in("short.bin"), in("new.png")}, {}, "short.bin", "too short"},
        {{"preview", in(ResourceName), all, in("preview.png")}, {}, "", ""},
        {{"preview", in("check.png"), all, in("preview.png")}, {}, "", ""}, // the one above wrote
        {{"preview", in(ResourceName), "caf\\0303\\0251", in("new.png")}, {}, "\u00e9", "U+00E9"},
        // Windows' command lines are UTF-16, with no bytes that are not UTF-8.
        {{"preview", in(ResourceName), "caf\\0351", in("new.png")}, {}, "\\xe9", "not UTF-8", "-"},
        {{"preview", in(ResourceName), QString(4000, 'x'), in("new.png"), "--scale", "32"},
         {},
         "new.png",
         "at most 1000000"},
        {exportTo("nowhere/a\\nb.png"), {}, "a\\nb.png", "No such file", "cannot look at it"},
        {{"render", "DejaVu Sans Mono", "13", in("font.png")}, {}, "", ""},
        {{"render", vga, "16", in("font.png")}, {}, "", "lacks \u2302", nullptr, vga},
        {{"render", in("vga.bdf"), "16", in("font.png")}, bdf, "", "lacks \u2302", nullptr, vga},
        {{"render", "Terminus", "16", in("font.png")}, {}, "", "", "-", terminus},
        {{"render", terminusPcf, "16", in("font.png")}, {}, "", "", nullptr, terminus},
        {{"render", "Terminus", "13", in("new.png")},
         {},
         "Terminus",
         "its sizes are 12, 14, 16, 18, 20, 22, 24, 28, 32",
         "-"},
        {{"render", in("cut.pcf"), "16", in("new.png")},
         pcf.left(pcf.size() / 2),
         "cut.pcf",
         "damaged PCF font"},
        {{"render", in("cut.otb"), "16", in("new.png")},
         otb.left(otb.size() - 108),
         "cut.otb",
         "cut short"},
        {{"render", in("table.psf"), "16", in("new.png")},
         vgaBytes.left(4 + 512 * 16 + 10),
         "table.psf",
         "table of characters"},
        {{"render", in("cut.psf.gz"), "16", in("new.png")},
         packed.left(packed.size() / 2),
         "cut.psf.gz",
         "cut short"},
        {{"render", in("huge.psf"), "16", in("new.png")},
         QByteArray::fromHex("72b54a86000000002000000000000000000000801000000010000000080000"
                             "00") +
             QByteArray(4096, '\xff'),
         "huge.psf",
         "2147483648 glyphs"},
        {{"render", in("notes.txt"), "16", in("new.png")},
         "notes\n",
         "notes.txt",
         "not a font that this reads"},
        {{"render", "Dejavu Sans Mon", "13", in("new.png")},
         {},
         "Dejavu Sans Mon",
         "DejaVu Sans Mono"},
    };
    int differ = 0;
    for (int i = 1; i <= TableSize; ++i)
        differ += table.byte(i) != other.byte(i);
    for (auto [arguments, bytes, file, says, onWindows, like] : cases) {
        if (m_windows && onWindows && QByteArray(onWindows) == "-")
            continue;
        if (m_windows && onWindows)
            says = onWindows;
        const bool importing = arguments[0] == "import";
        if (!bytes.isEmpty())
            save(arguments[1], bytes);
        // The other table back in, by plain file I/O.
        QVERIFY(writeAt(copy, 525'359'447,
                        QByteArray(reinterpret_cast<const char *>(other.data()), 12'288)));
        const QByteArray target = importing ? copy : path(arguments.last());
        const Snapshot start = Snapshot::of(archive), before = Snapshot::of(target);
        const QStringList files = QDir(m_dir.path()).entryList();
        const auto [code, error, output] = run(arguments);
        const QString row = arguments.join(' ') + ": " + error + output;
        QVERIFY2(Snapshot::of(archive) == start, qPrintable(row));
        if (*file != '\0') {
            QVERIFY2(code == 1 && error.count('\n') == 1 && error.contains(file) &&
                         error.contains(says) && !error.contains("window"),
                     qPrintable(row));
            QVERIFY(Snapshot::of(target) == before && QDir(m_dir.path()).entryList() == files);
            continue;
        }
        // A success says what it wrote, and nothing else unless what the font lacks.
        QVERIFY2(code == 0 &&
                     (*says ? error.count('\n') == 1 && error.contains(says) : error.isEmpty()),
                 qPrintable(row));
        QVERIFY2(output.count('\n') == 1 && output.startsWith("wrote "), qPrintable(row));
        if (importing) {
            QVERIFY2(output.contains(QString("%1 of its 12288 bytes changed").arg(differ)),
                     qPrintable(row));
            QVERIFY2(Snapshot::of(copy) == Snapshot::archive(table), qPrintable(row));
            continue;
        }
        QVERIFY(::rename(target, path(in("check.png"))) == 0);
        const QImage written(in("check.png"));
        QCOMPARE(written.format(), QImage::Format_Grayscale8);
        // A font's ink in columns left to right and rows top to bottom of a character's cell.
        auto ink = [&](char c, int left, int right, int top = 0, int bottom = 15) {
            int sum = 0;
            for (int y = top; y <= bottom; ++y)
                for (int x = left; x <= right; ++x)
                    sum += qGray(written.pixel((c - 32) % 16 * 8 + x, (c - 32) / 16 * 16 + y));
            return sum;
        };
        if (!like.isEmpty()) {
            const FontTable expected = consoleFont(like, in("console.psf"));
            for (int i = 0; i < TableSize; ++i)
                QVERIFY2(written.constScanLine(i / 128)[i % 128] == expected.byte(i + 1),
                         qPrintable(row + QString::number(i)));
            continue;
        }
        if (arguments[0] == "render") {
            QVERIFY(ink(' ', 0, 7) + ink('_', 0, 7, 0, 11) + ink('^', 0, 7, 8) == 0);
            QVERIFY(ink('_', 0, 7, 12) > 255 && ink('^', 0, 7, 0, 7) > 255);
            QVERIFY(ink('|', 3, 4) > 4 * (ink('|', 0, 2) + ink('|', 5, 7)));
            continue;
        }
        for (int i = 0; i < TableSize; ++i)
            QCOMPARE(written.constScanLine(i / 128)[i % 128], table.byte(i + 1));
    }
    // The same table twice: the second time there is nothing to write.
    for (const char *says : {"bytes changed", "nothing was written"}) {
        const auto [code, error, output] = run({"import", in("gray.png"), copy});
        QVERIFY2(code == 0 && output.contains(says), qPrintable(error + output));
    }
    // Below 8 bits, samples packed into bytes become levels spread over the 256.
    for (const int depth : {1, 2, 4}) {
        const int top = (1 << depth) - 1, across = 8 / depth;
        QByteArray rows;
        FontTable expected;
        for (int i = 0; i < TableSize; i += across) {
            rows += QByteArray(i % 128 == 0, '\0') + char(0);
            for (int j = i; j < i + across; ++j) {
                rows.back() = char(rows.back() << depth | (j * 7 / 5) % (top + 1));
                expected.setByte(j + 1, quint8((j * 7 / 5) % (top + 1) * 255 / top));
            }
        }
        save(in("low.png"), encode(128, 96, depth, 0, {}, rows));
        QCOMPARE(std::get<0>(run({"import", in("low.png"), copy})), 0);
        QVERIFY2(Snapshot::of(copy) == Snapshot::archive(expected),
                 qPrintable(QString::number(depth)));
    }
    // --level is the ink and --offset moves each character within its cell, cutting what leaves.
    QCOMPARE(std::get<0>(run({"render", vga, "16", in("moved.png"), "--level", "200", "--offset",
                              "1,-2", "--quiet"})),
             0);
    const QImage moved(in("moved.png"));
    for (int g = 0; g < 96; ++g)
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 8; ++x) {
                const bool inside = x >= 1 && y + 2 < 16;
                const int from = g / 16 * 2048 + (y + 2) * 128 + g % 16 * 8 + x - 1 + 1;
                QCOMPARE(qGray(moved.pixel(g % 16 * 8 + x, g / 16 * 16 + y)),
                         inside && vgaTable.byte(from) ? 200 : 0);
            }
    // Preview: lines of other lengths end in spaces, and --scale 3 makes each pixel 3 x 3.
    QCOMPARE(std::get<0>(run({"preview", in(ResourceName), "AB\\nC", in("lines.png"), "--scale",
                              "3", "--quiet"})),
             0);
    const QImage lines(in("lines.png"));
    QCOMPARE(lines.size(), QSize(48, 96));
    const int glyphs[2][2] = {{'A' - 32, 'B' - 32}, {'C' - 32, 0}};
    for (int y = 0; y < 96; ++y)
        for (int x = 0; x < 48; ++x) {
            const int g = glyphs[y / 48][x / 24];
            QCOMPARE(qGray(lines.pixel(x, y)),
                     table.byte(g / 16 * 2048 + y % 48 / 3 * 128 + g % 16 * 8 + x % 24 / 3 + 1));
        }
    // A palette image's pixels are the grays of their entries, in whatever order they stand.
    const QByteArray grays = QByteArray::fromHex("ffffff404040c0c0c0000000");
    FontTable mapped;
    for (int i = 1; i <= TableSize; ++i)
        mapped.setByte(i, quint8(grays[3 * (table.byte(i) % 4)]));
    save(in("palette.png"), png(table, 8, 3, chunk("PLTE", grays)));
    QCOMPARE(std::get<0>(run({"import", in("palette.png"), copy})), 0);
    QVERIFY(Snapshot::of(copy) == Snapshot::archive(mapped));
    // An import that cannot write fails, saying why, and writes nothing: here another program
    // holds a lock on the block, as the game might.
    if (!m_windows) {
        const int fd = ::open(copy, O_RDWR);
        struct flock lock = {};
        lock.l_type = F_WRLCK;
        lock.l_start = 525'359'447;
        lock.l_len = 12'288;
        // Of the open file, not the process, which closing any descriptor of the file would drop.
        QVERIFY(fd >= 0 && ::fcntl(fd, F_OFD_SETLK, &lock) == 0);
        const Snapshot before = Snapshot::of(copy);
        const auto [code, error, output] = run({"import", in("gray.png"), copy});
        ::close(fd);
        QVERIFY2(code == 1 && error.contains("in use") && output.isEmpty(),
                 qPrintable(error + output));
        QVERIFY(Snapshot::of(copy) == before);
    }
    QCOMPARE(std::get<0>(run({"import", in("gray.png")})), 2);
    QCOMPARE(std::get<0>(run({"--help"})), 0);
}

QTEST_MAIN(TestTessoraPng)
#include "tst_tessorapng.moc"
