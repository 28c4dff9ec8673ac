#pragma once
// The interface asks for the Japanese Windows gothic font by name; on other
// systems that name is mapped onto an installed Japanese gothic font.
#include <QFont>
#include <QString>

namespace platform {

// The font name every window and the printer ask for.
inline const QString kUiFontName = QStringLiteral("ＭＳ Ｐゴシック");

// Registers substitutes for kUiFontName; call once after QApplication exists.
void installFontSubstitutes();

// kUiFontName at the given pixel height.
QFont uiFont(int pixelHeight);

}  // namespace platform
