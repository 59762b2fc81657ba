#include "tools/testtessorapng.h"

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
    QCOMPARE(std::get<0>(run({"import", in("gray.png")})), 2);
    QCOMPARE(std::get<0>(run({"--help"})), 0);
}

QTEST_MAIN(TestTessoraPng)
