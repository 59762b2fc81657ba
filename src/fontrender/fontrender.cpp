#include "fontrender/fontrender.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QImage>
#include <QPainter>
#include <QRawFont>
#include <QRegularExpression>

#include <algorithm>
#include <numeric>
#include <vector>

namespace fonttable
{

namespace
{

int editDistance(const QString &a, const QString &b)
{
    std::vector<int> row(b.size() + 1);
    std::iota(row.begin(), row.end(), 0);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = int(i);
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const int above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row.back();
}

QString withoutFoundry(QString family)
{
    static const QRegularExpression foundry(QStringLiteral(R"( \[[^]]*\]$)"));
    return family.remove(foundry);
}

} // namespace

FontTable renderFont(const QFont &font, const BandLevels &levels, QPoint offset)
{
    FontTable table;
    QImage glyph(GlyphWidth, GlyphHeight, QImage::Format_Grayscale8);
    for (int g = 1; g <= GlyphCount; ++g) {
        const char32_t code = glyphCharacter(g);
        glyph.fill(0);
        QPainter painter(&glyph);
        painter.setFont(font);
        const int level = levels[(g - 1) / GlyphColumns];
        painter.setPen(QColor(level, level, level));
        painter.drawText(glyph.rect().translated(offset), Qt::AlignCenter,
                         QString::fromUcs4(&code, 1));
        painter.end();
        for (int k = 1; k <= PixelsPerGlyph; ++k)
            table.setByte(pixelPosition(g, k), glyph.constScanLine(pixelRow(k))[pixelColumn(k)]);
    }
    return table;
}

QString missingCharacters(const QFont &font)
{
    const QRawFont raw = QRawFont::fromFont(font);
    QString missing;
    for (int g = 1; g <= GlyphCount; ++g) {
        const char32_t code = glyphCharacter(g);
        if (!raw.supportsCharacter(uint(code)))
            missing += QString::fromUcs4(&code, 1);
    }
    return missing;
}

QString drawnFamily(const QFont &font)
{
    return withoutFoundry(QFontInfo(font).family());
}

bool drawsOwnFamily(const QFont &font)
{
    return drawnFamily(font).compare(withoutFoundry(font.families().value(0)),
                                     Qt::CaseInsensitive) == 0;
}

QStringList closeFamilies(const QString &family, int count)
{
    const QString wanted = family.toLower();
    // A name holding the other one comes first, then the fewest edits; a name that needs more
    // edits than a third of its length is not close.
    std::vector<std::pair<int, QString>> close;
    for (const QString &listed : QFontDatabase::families()) {
        QFont font;
        font.setFamilies({listed});
        // Each family once, without its foundry, and not names such as "Monospace" that Qt
        // draws with another family.
        const QString name = drawnFamily(font);
        if ((listed != name && !listed.startsWith(name + " [")) ||
            std::any_of(close.begin(), close.end(),
                        [&](const auto &c) { return c.second == name; }))
            continue;
        const QString lower = name.toLower();
        const int distance =
            lower.contains(wanted) || wanted.contains(lower) ? -1 : editDistance(wanted, lower);
        if (distance <= std::max<qsizetype>(2, lower.size() / 3))
            close.emplace_back(distance, name);
    }
    std::stable_sort(close.begin(), close.end(),
                     [](const auto &a, const auto &b) { return a.first < b.first; });
    QStringList names;
    for (qsizetype i = 0; i < std::min<qsizetype>(count, qsizetype(close.size())); ++i)
        names += close[i].second;
    return names;
}

} // namespace fonttable
