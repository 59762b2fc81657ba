// Creates a demo archive for trying Tessora without the game: a sparse file just long enough to
// hold the font table, whose table shows the printable characters from the space on, light on
// dark. It goes into the given folder unless Tessora would find an archive there already; an
// existing file is never touched.

#include "fonttable/fonttable.h"
#include "fonttable/resourcefile.h"

#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

using namespace fonttable;

namespace
{

FontTable demoFont()
{
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPixelSize(13);
    font.setStyleStrategy(QFont::PreferAntialias);
    // Each glyph row its own brightness, so the table shows several gray levels besides the
    // antialiased edges.
    const int levels[GlyphRows] = {255, 224, 192, 255, 224, 192};

    FontTable table;
    for (int g = 1; g <= GlyphCount; ++g) {
        const char32_t code = g < GlyphCount ? char32_t(' ' + g - 1) : U'\u2302';
        QImage glyph(GlyphWidth, GlyphHeight, QImage::Format_Grayscale8);
        glyph.fill(0);
        QPainter painter(&glyph);
        painter.setFont(font);
        const int level = levels[(g - 1) / GlyphColumns];
        painter.setPen(QColor(level, level, level));
        painter.drawText(glyph.rect(), Qt::AlignCenter, QString::fromUcs4(&code, 1));
        painter.end();
        for (int k = 1; k <= PixelsPerGlyph; ++k)
            table.setByte(pixelPosition(g, k), glyph.pixelColor(pixelColumn(k), pixelRow(k)).red());
    }
    return table;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: makedemo FOLDER\n");
        return 2;
    }
    const QString archive = resourcePath(QString::fromLocal8Bit(argv[1]));
    const QByteArray path = QFile::encodeName(archive);
    if (QFileInfo::exists(archive)) {
        std::printf("%s is there already; left as it is.\n", path.constData());
        return 0;
    }

    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::fprintf(stderr, "makedemo: cannot create %s: %s\n", path.constData(),
                     std::strerror(errno));
        return 1;
    }
    const bool sized = ::ftruncate(fd, MinimumArchiveSize) == 0;
    const int sizeError = errno;
    ::close(fd);
    const WriteResult written =
        sized ? writeBlock(QString::fromLocal8Bit(path), demoFont(), MinimumArchiveSize)
              : WriteResult{QString::fromLocal8Bit(std::strerror(sizeError))};
    if (!written.ok()) {
        ::unlink(path);
        std::fprintf(stderr, "makedemo: %s\n", qPrintable(written.error));
        return 1;
    }
    std::printf("Created the demo archive %s.\n", path.constData());
    return 0;
}
