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

// The application's font: kUiFontName at the windows' 15 pixels of the
// 120 dpi design, given in points so that it follows the screen's dpi as the
// windows' bounds do. Qt's own dialogs derive their sizes from the point
// size, which a font set in pixels does not have.
QFont applicationFont();

// Makes a control's caption fit the given width (and, when given, its line
// the given height) by lowering its font's pixel height, never below 8
// pixels; the control is no wider than that.
void shrinkToFit(QWidget* w, int width, int height = -1);
// The width a control's caption needs.
int captionWidth(const QWidget* w);

}  // namespace platform
