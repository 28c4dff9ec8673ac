#pragma once
// The interface asks for the Japanese Windows gothic font by name; on other
// systems that name is mapped onto an installed Japanese gothic font.
#include <QFont>
#include <QString>

class QWidget;

namespace platform {

// The font name every window and the printer ask for.
inline const QString kUiFontName = QStringLiteral("ＭＳ Ｐゴシック");

// Registers substitutes for kUiFontName; call once after QApplication exists.
void installFontSubstitutes();

// kUiFontName at the given pixel height.
QFont uiFont(int pixelHeight);

// Makes a control's caption fit the given width (and, when given, its line
// the given height) by lowering its font's pixel height, never below 8
// pixels; the control is no wider than that.
void shrinkToFit(QWidget* w, int width, int height = -1);
// The width a control's caption needs.
int captionWidth(const QWidget* w);

}  // namespace platform
