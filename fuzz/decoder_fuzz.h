#pragma once
// Shared by the picture-decoder fuzz targets: a Qt application for the
// parts that draw (metafiles draw through Qt SVG, which wants fonts), and the
// drawn sizes that send a picture down its reduced path.
#include <QGuiApplication>
#include <QSize>

#include <cstdint>
#include <cstdlib>

namespace fuzzsupport {

inline void ensureApplication()
{
    static QGuiApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        static int argc = 1;
        static char name[] = "fuzz";
        static char* argv[] = {name, nullptr};
        return new QGuiApplication(argc, argv);
    }();
    (void)app;
}

// A drawn size of a third of the picture: the reduced path.
inline QSize thirdOf(QSize full) { return QSize(std::max(1, full.width() / 3), std::max(1, full.height() / 3)); }

// Work that only repeats the same code over more pixels (another scale, a
// turn, a second full-size copy) is done for pictures up to this size; the
// decode itself runs for every input, up to the decoders' own limits.
constexpr qint64 kRepeatPixels = 16384;
inline bool small(QSize s) { return s.isValid() && qint64(s.width()) * s.height() <= kRepeatPixels; }

}  // namespace fuzzsupport
