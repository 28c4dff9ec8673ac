#pragma once
// Window layouts are designed at 120 pixels per inch; bounds are scaled by
// the screen's logical dpi over 120.
#include <QRect>
#include <QWidget>
#include <QtMath>

namespace platform {

constexpr double kDesignDpi = 120.0;

inline double dpiFactor(const QWidget* w)
{
    const double dpi = w ? w->logicalDpiY() : 96.0;
    return dpi / kDesignDpi;
}

inline int scaled(int designValue, double factor)
{
    return qRound(designValue * factor);
}

inline QRect scaledRect(int left, int top, int width, int height, double factor)
{
    return QRect(scaled(left, factor), scaled(top, factor), scaled(width, factor), scaled(height, factor));
}

// Places a child at its design bounds.
inline void placeAt(QWidget* child, int left, int top, int width, int height, double factor)
{
    child->setGeometry(scaledRect(left, top, width, height, factor));
}

}  // namespace platform
