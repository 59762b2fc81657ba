#include "tools/testtessorapng.h"

// Imports in turn, the options that move and colour what render and preview draw, and an import
// that cannot write.
void TestTessoraPng::details()
{
    const FontTable table = makeTable();
    const QByteArray copy = QFile::encodeName(in("details.bin"));
    createArchive(copy, makeTable(1));
    createArchive(QFile::encodeName(in("table.bin")), table);
    save(in("gray.png"), png(table, 8, 0));
    const QString vga = "/usr/share/consolefonts/Uni2-VGA16.psf.gz";
    const FontTable vgaTable = consoleFont(vga, in("console.psf"));
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
    QCOMPARE(std::get<0>(run({"preview", in("table.bin"), "AB\\nC", in("lines.png"), "--scale", "3",
                              "--quiet"})),
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
    // A PNG written over keeps its owner and its permissions, also when root writes it.
    if (!m_windows && ::geteuid() == 0) {
        save(in("owned.png"), png({}, 8, 0));
        QVERIFY(::chown(path(in("owned.png")), 65'534, 65'534) == 0 &&
                ::chmod(path(in("owned.png")), 0640) == 0);
        QCOMPARE(std::get<0>(run({"export", in("table.bin"), in("owned.png"), "--quiet"})), 0);
        struct stat owned;
        QVERIFY(::stat(path(in("owned.png")), &owned) == 0);
        QVERIFY(owned.st_uid == 65'534 && owned.st_gid == 65'534 && (owned.st_mode & 0777) == 0640);
        QCOMPARE(QImage(in("owned.png")).pixelColor(5, 7).red(), table.byte(128 * 7 + 5 + 1));
    }
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
}
