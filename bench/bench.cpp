// Tessora's figures, as medians with the 10th and 90th percentiles of repeated runs: start-up
// and peak memory against an empty Qt window, Read against a bare read of the same bytes,
// drawing the table, one paint with and without the preview open, the context menu, a paste, and
// the calls one Save makes.

#include "fonttable/resourcefile.h"
#include "mainwindow/mainwindow.h"
#include "views/glyphtableview.h"
#include "views/pixeleditor.h"

#include "support/support.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

using namespace fonttable;

namespace
{

struct Figures {
    double median, low, high;
};

Figures figures(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    auto at = [&](double q) {
        return values[size_t(q * double(values.size() - 1) + 0.5)];
    };
    return {at(0.5), at(0.1), at(0.9)};
}

void row(const char *what, const Figures &f, const char *unit)
{
    std::printf("| %-36s | %9.3f %-3s | %9.3f – %-9.3f |\n", what, f.median, unit, f.low, f.high);
}

void verdict(const char *what, double value, double target, bool below)
{
    std::printf("| %-36s | %9.2f     | target %s %-13.2f | %s\n", what, value, below ? "<" : "≤",
                target, value <= target ? "met" : "missed");
}

double monotonicNs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) * 1e9 + double(now.tv_nsec);
}

// Starts a start-up program, returns milliseconds to its first painted frame and its peak
// memory in megabytes.
std::pair<double, double> launch(const QString &program, const QStringList &arguments = {})
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(environment);
    const double start = monotonicNs();
    process.start(program, arguments);
    if (!process.waitForFinished(30'000))
        qFatal("%s did not finish", qPrintable(program));
    const QList<QByteArray> report = process.readAllStandardOutput().trimmed().split(' ');
    if (report.size() != 2)
        qFatal("%s reported nothing", qPrintable(program));
    return {(report[0].toDouble() - start) / 1e6, report[1].toDouble() / 1024};
}

template <typename Work> std::vector<double> timeEach(int runs, Work work)
{
    std::vector<double> ms;
    QElapsedTimer timer;
    for (int i = 0; i < runs; ++i) {
        timer.start();
        work(i);
        ms.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    return ms;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("| %-36s | %-13s | %-22s |\n", "measure", "median", "10th – 90th percentile");
    std::printf("|%s|%s|%s|\n", QByteArray(38, '-').constData(), QByteArray(15, '-').constData(),
                QByteArray(24, '-').constData());

    // Start-up and peak memory, the programs taking turns. Each ratio is the median of the
    // ratios of launches taken side by side, which the shared machine's changing speed moves far
    // less than a ratio of medians.
    std::vector<double> tessoraMs, minimalMs, menuMs, tessoraMb, minimalMb, menuMb;
    std::vector<double> startRatio, startMenuRatio, peakRatio, peakMenuRatio;
    for (int i = 0; i < 41; ++i) {
        const auto [ms, mb] = launch(QStringLiteral(STARTUP_TESSORA));
        const auto [floorMs, floorMb] = launch(QStringLiteral(STARTUP_MINIMAL));
        const auto [textMs, textMb] =
            launch(QStringLiteral(STARTUP_MINIMAL), {QStringLiteral("--menu")});
        tessoraMs.push_back(ms);
        tessoraMb.push_back(mb);
        minimalMs.push_back(floorMs);
        minimalMb.push_back(floorMb);
        menuMs.push_back(textMs);
        menuMb.push_back(textMb);
        startRatio.push_back(ms / floorMs);
        startMenuRatio.push_back(ms / textMs);
        peakRatio.push_back(mb / floorMb);
        peakMenuRatio.push_back(mb / textMb);
    }
    row("start-up to painted, Tessora", figures(tessoraMs), "ms");
    row("start-up to painted, empty window", figures(minimalMs), "ms");
    verdict("start-up ratio", figures(startRatio).median, 1.25, false);
    row("start-up, empty window + menu bar", figures(menuMs), "ms");
    verdict("start-up ratio to that", figures(startMenuRatio).median, 1.10, false);
    row("peak memory, Tessora", figures(tessoraMb), "MB");
    row("peak memory, empty window", figures(minimalMb), "MB");
    verdict("peak memory ratio", figures(peakRatio).median, 1.2, false);
    row("peak memory, empty window + menu bar", figures(menuMb), "MB");
    verdict("peak memory ratio to that", figures(peakMenuRatio).median, 1.05, false);

    // Read against open, pread and close of the same bytes.
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath(QLatin1String(ResourceName)));
    testsupport::createArchive(path, testsupport::makeTable());
    const Folder folder(QFile::encodeName(dir.path()));
    std::vector<double> readMs, bareMs;
    quint8 buffer[TableSize];
    for (int i = 0; i < 2000; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (!readBlock(folder).ok())
            qFatal("the read failed");
        readMs.push_back(double(timer.nsecsElapsed()) / 1e6);
        timer.start();
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0 || ::pread(fd, buffer, TableSize, TableOffset) != TableSize)
            qFatal("the bare read failed");
        ::close(fd);
        bareMs.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    const Figures read = figures(readMs), bare = figures(bareMs);
    auto micro = [](Figures f) {
        return Figures{f.median * 1e3, f.low * 1e3, f.high * 1e3};
    };
    row("Read (check, open, read, close)", micro(read), "us");
    row("bare open, pread, close", micro(bare), "us");
    verdict("Read ratio", read.median / bare.median, 1.5, false);

    // Drawing the whole table and the repaint that follows, then one paint.
    MainWindow window{Folder(QFile::encodeName(dir.path()))};
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        qFatal("the window was not shown");
    window.findChild<QAction *>(QStringLiteral("Read"))->trigger();
    auto *table = window.findChild<GlyphTableView *>();
    const Figures draw = figures(timeEach(300, [&](int) {
        table->drawTable();
        table->repaint();
    }));
    row("draw table and repaint", draw, "ms");
    verdict("draw table median (ms)", draw.median, 2.0, true);

    QTest::mouseClick(table, Qt::LeftButton, {}, table->cellRect(17).center());
    auto *editor = window.findChild<PixelEditor *>();
    const Figures paint = figures(timeEach(2000, [&](int) {
        QTest::mouseClick(editor, Qt::LeftButton, {}, editor->cellRect(9).center());
        QCoreApplication::processEvents(); // the editor cell and the table square repainted
    }));
    row("one paint (click and repaint)", paint, "ms");
    verdict("one paint median (ms)", paint.median, 0.2, true);

    // The same with the preview open on its sample text, where glyph 17 ("0") stands once.
    window.findChild<QAction *>(QStringLiteral("ShowPreview"))->trigger();
    const Figures previewed = figures(timeEach(2000, [&](int) {
        QTest::mouseClick(editor, Qt::LeftButton, {}, editor->cellRect(9).center());
        QCoreApplication::processEvents(); // the preview's block repainted too
    }));
    row("one paint, preview open", previewed, "ms");
    verdict("one paint with the preview median (ms)", previewed.median, 0.2, true);

    // A right click's context menu, from the event to the menu shown, and a paste of a glyph
    // image from the clipboard, neither waiting on the clipboard's owner.
    const Figures menu = figures(timeEach(300, [&](int) {
        QTimer::singleShot(0, [] {
            if (QWidget *popup = QApplication::activePopupWidget())
                popup->close();
        });
        const QPoint at = editor->cellRect(9).center();
        QContextMenuEvent event(QContextMenuEvent::Mouse, at, editor->mapToGlobal(at));
        QApplication::sendEvent(editor, &event);
    }));
    row("context menu opened and closed", menu, "ms");
    QImage glyph(8, 16, QImage::Format_Grayscale8);
    glyph.fill(90);
    QGuiApplication::clipboard()->setImage(glyph);
    const Figures paste = figures(timeEach(300, [&](int) {
        window.findChild<QAction *>(QStringLiteral("PasteGlyph"))->trigger();
        QCoreApplication::processEvents();
    }));
    row("paste of a glyph image", paste, "ms");

    // The calls one Save makes.
    std::map<std::string, std::pair<int, qint64>> calls; // name -> count, bytes
    FileCalls counting;
    const FileCalls real;
    counting.openat = [&](int at, const char *p, int flags) {
        ++calls["openat"].first;
        return real.openat(at, p, flags);
    };
    counting.fallocate = [&](int fd, int mode, off_t at, off_t n) {
        ++calls["fallocate"].first;
        return real.fallocate(fd, mode, at, n);
    };
    counting.fstat = [&](int fd, struct stat *info) {
        ++calls["fstat"].first;
        return real.fstat(fd, info);
    };
    counting.pwrite = [&](int fd, const void *b, size_t n, off_t at) {
        const ssize_t done = real.pwrite(fd, b, n, at);
        ++calls["pwrite"].first;
        calls["pwrite"].second += done;
        return done;
    };
    counting.fdatasync = [&](int fd) {
        ++calls["fdatasync"].first;
        return real.fdatasync(fd);
    };
    counting.pread = [&](int fd, void *b, size_t n, off_t at) {
        const ssize_t done = real.pread(fd, b, n, at);
        ++calls["pread"].first;
        calls["pread"].second += done;
        return done;
    };
    counting.close = [&](int fd) {
        ++calls["close"].first;
        return real.close(fd);
    };
    ReadResult before = readBlock(folder);
    FontTable edited = testsupport::makeTable();
    edited.setByte(1, ~edited.byte(1));
    if (!writeBlock(folder, before.archive, edited, counting).ok())
        qFatal("the Save failed");
    std::printf("\nThe calls of one Save, besides fstatat 1 and fcntl 1 (the lock):");
    for (const char *name :
         {"openat", "fstat", "pread", "fallocate", "pwrite", "fdatasync", "close"}) {
        std::printf("  %s %d", name, calls[name].first);
        if (calls[name].second)
            std::printf(" (%lld bytes)", static_cast<long long>(calls[name].second));
    }
    std::printf("\n");
    return 0;
}
