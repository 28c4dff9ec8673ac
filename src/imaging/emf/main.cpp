// daredazi-emf2svg: the SVG of the EMF file on standard input, on standard
// output; exit status 1 when the data is no EMF or cannot be converted.
// Run by the viewer for each EMF picture it shows.
#include <QByteArray>
#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "imaging/emf/emf_converter.h"

int main(int argc, char** argv)
{
    // The viewer limits what it hands over; this limit is for a stray run.
    constexpr size_t kMaxInput = 512u * 1024 * 1024;
    QByteArray input;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) {
        if (static_cast<size_t>(input.size()) + n > kMaxInput)
            return 1;
        input.append(buffer, static_cast<qsizetype>(n));
    }
    // Texts given as glyph indices need the installed fonts: the GUI
    // application (off screen) is made only for a file that has them.
    std::unique_ptr<QGuiApplication> app;
    auto glyphs = [&](const QString& face, const std::vector<uint16_t>& ids) {
        if (!app) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            app = std::make_unique<QGuiApplication>(argc, argv);
        }
        return imaging::installedGlyphText(face, ids);
    };
    const QByteArray svg =
        imaging::emfToSvg(reinterpret_cast<const unsigned char*>(input.constData()), static_cast<size_t>(input.size()), glyphs);
    if (svg.isEmpty())
        return 1;
    return std::fwrite(svg.constData(), 1, static_cast<size_t>(svg.size()), stdout) == static_cast<size_t>(svg.size())
               ? 0
               : 1;
}
