#pragma once

#include "support/support.h"

#include <QColorSpace>
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTest>

#include <zlib.h>

using namespace testsupport;

namespace testsupport
{

inline QByteArray be32(quint32 value)
{
    return QByteArray::fromHex(QByteArray::number(value, 16).rightJustified(8, '0'));
}

inline QByteArray chunk(const char *type, const QByteArray &data)
{
    const QByteArray body = type + data;
    return be32(data.size()) + body +
           be32(crc32(0, reinterpret_cast<const Bytef *>(body.data()), uInt(body.size())));
}

// A PNG as other programs write them, chunk by chunk, from its rows of samples.
inline QByteArray encode(int width, int height, int depth, int type, const QByteArray &chunks,
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
inline QByteArray png(const FontTable &table, int depth, int type, const QByteArray &chunks = {},
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
inline QByteArray profile(QColorSpace::NamedColorSpace space, bool gray = false)
{
    QByteArray icc = QColorSpace(space).iccProfile();
    if (gray)
        icc.replace(16, 4, "GRAY").replace("rTRC", "kTRC");
    return chunk("iCCP", QByteArray("icc\0\0", 5) + qCompress(icc).mid(4));
}

// The output of another program.
inline QByteArray output(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished();
    return process.readAllStandardOutput();
}

// The table a PSF 1 console font of 8 x 16 glyphs draws: its file unpacked by gzip, the glyph of
// each character as kbd's psfgettable lists it, each glyph 16 bytes after a header of 4, a row a
// byte whose highest bit is the leftmost pixel.
inline FontTable consoleFont(const QString &path, const QString &scratch)
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

} // namespace testsupport

class TestTessoraPng : public QObject
{
    Q_OBJECT

private slots:
    void commands();
    void details();

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
