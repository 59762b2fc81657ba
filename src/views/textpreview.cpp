#include "views/textpreview.h"

#include "editor/fonteditor.h"

#include <QPaintEvent>
#include <QPainter>

#include <cmath>

using namespace fonttable;

namespace
{

// Wider or higher than this in device pixels the preview would be no use on any screen, and its
// image could take more memory than there is.
constexpr qint64 MaxSide = 32'768;

} // namespace

QString TextPreview::tooLong() const
{
    return tr("The text is too long to show here: shorten it, or choose a smaller zoom.");
}

TextPreview::TextPreview(const FontEditor &editor, QWidget *parent)
    : QWidget(parent), m_editor(editor)
{
    setObjectName(QStringLiteral("TextPreview"));
    setAccessibleName(tr("Preview of the text in the font"));
    setColors(m_ink, m_background);
    connect(&editor, &FontEditor::tableChanged, this, &TextPreview::tableChanged);
}

void TextPreview::setText(const QString &text)
{
    m_text = text;
    QList<char32_t> characters;
    for (const char32_t c : text.toUcs4())
        characters << c;
    m_layout = TextLayout(characters);
    rebuild();
}

void TextPreview::setZoom(int zoom)
{
    m_zoom = zoom;
    rebuild();
}

void TextPreview::setColors(QColor ink, QColor background)
{
    m_ink = ink;
    m_background = background;
    // The level is the ink's cover of the background, 255 all ink.
    auto mix = [](int paper, int ink, int level) {
        return (paper * (255 - level) + ink * level + 127) / 255;
    };
    for (int v = 0; v < 256; ++v)
        m_colors[v] =
            qRgb(mix(background.red(), ink.red(), v), mix(background.green(), ink.green(), v),
                 mix(background.blue(), ink.blue(), v));
    rebuild();
}

int TextPreview::blockSize() const
{
    return std::max(1, int(std::lround(m_zoom * devicePixelRatioF())));
}

void TextPreview::rebuild()
{
    const bool loaded = m_editor.state().TableLoaded;
    setAccessibleDescription(loaded ? m_text : tr("Please read san11res.bin first."));
    if (!loaded) {
        m_levels = m_shown = QImage();
        const QSize message = fontMetrics().size(0, tr("Please read san11res.bin first."));
        setFixedSize(message + QSize(16, 16));
        update();
        return;
    }
    const int n = blockSize();
    const qint64 width = m_layout.columns * GlyphWidth * n,
                 height = m_layout.lines.size() * GlyphHeight * n;
    m_tooLong = width > MaxSide || height > MaxSide;
    if (m_tooLong) {
        m_levels = m_shown = QImage();
        setFixedSize(fontMetrics().size(0, tooLong()) + QSize(16, 16));
        update();
        return;
    }
    m_levels = QImage(int(width), int(height), QImage::Format_Grayscale8);
    m_levels.fill(0);
    drawText({m_levels.bits(), m_levels.bytesPerLine(), n}, m_editor.state().FontTable, m_layout);
    m_shown = QImage(m_levels.size(), QImage::Format_RGB32);
    showLevels(m_levels.rect());
    setFixedSize(logicalRect(m_levels.rect()).size());
    update();
}

void TextPreview::tableChanged(int glyph, int pixel)
{
    if (glyph == FontEditor::WholeTable || m_levels.isNull()) {
        rebuild();
        return;
    }
    const int n = blockSize();
    drawTextPixel({m_levels.bits(), m_levels.bytesPerLine(), n}, m_editor.state().FontTable,
                  m_layout, glyph, pixel);
    for (const QPoint cell : m_layout.cellsOf(glyph)) {
        QRect block(cell.x() * GlyphWidth * n, cell.y() * GlyphHeight * n, GlyphWidth * n,
                    GlyphHeight * n);
        if (pixel != 0)
            block =
                QRect(block.x() + pixelColumn(pixel) * n, block.y() + pixelRow(pixel) * n, n, n);
        showLevels(block);
        update(logicalRect(block));
    }
}

void TextPreview::showLevels(const QRect &device)
{
    for (int y = device.top(); y <= device.bottom(); ++y) {
        const uchar *from = m_levels.constScanLine(y);
        auto *to = reinterpret_cast<QRgb *>(m_shown.scanLine(y));
        for (int x = device.left(); x <= device.right(); ++x)
            to[x] = m_colors[from[x]];
    }
}

QRect TextPreview::logicalRect(const QRect &device) const
{
    const qreal s = devicePixelRatioF();
    return QRectF(device.x() / s, device.y() / s, device.width() / s, device.height() / s)
        .toAlignedRect();
}

void TextPreview::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), m_background);
    if (!m_editor.state().TableLoaded || m_tooLong) {
        painter.setPen(m_ink);
        painter.drawText(rect(), Qt::AlignCenter,
                         m_tooLong ? tooLong() : tr("Please read san11res.bin first."));
        return;
    }
    if (blockSize() * GlyphWidth * m_layout.columns != m_shown.width()) {
        rebuild(); // moved to a screen of another scale
        return;
    }
    // In device pixels, so that each block covers whole ones.
    const qreal s = devicePixelRatioF();
    painter.scale(1 / s, 1 / s);
    painter.drawImage(QPoint(0, 0), m_shown);
    // Characters without a glyph: a frame in the middle gray between ink and background.
    const int n = blockSize();
    painter.setPen(QPen(QColor(m_colors[128]), 0));
    for (qsizetype line = 0; line < m_layout.lines.size(); ++line)
        for (qsizetype column = 0; column < m_layout.lines[line].size(); ++column)
            if (m_layout.lines[line][column] == 0)
                painter.drawRect(int(column) * GlyphWidth * n, int(line) * GlyphHeight * n,
                                 GlyphWidth * n - 1, GlyphHeight * n - 1);
}
