#pragma once
// The interface asks for the Japanese Windows fonts by name; on other systems
// those names are mapped onto installed faces. Every stand-in is chosen here.
#include <QFont>
#include <QString>
#include <QStringList>

class QWidget;

namespace platform {

// The font name every window and the printer ask for.
inline const QString kUiFontName = QStringLiteral("ＭＳ Ｐゴシック");

// The installed faces that stand in for kUiFontName, best first: Japanese
// proportional gothic faces, then others that still hold the Japanese
// characters. Names as the font database lists them (which may be the
// localised ones under a Japanese locale); empty when none is installed.
QStringList uiFontStandIns();

// Registers the stand-ins for kUiFontName; call once after QApplication exists.
void installFontSubstitutes();

// kUiFontName at the given pixel height.
QFont uiFont(int pixelHeight);

// The application's font: kUiFontName at the windows' 15 pixels of the
// 120 dpi design, given in points so that it follows the screen's dpi as the
// windows' bounds do. Qt's own dialogs derive their sizes from the point
// size, which a font set in pixels does not have.
QFont applicationFont();

// The face a font dialog should show for font: the installed family that
// stands in for the asked-for one (kUiFontName's first stand-in), with its
// style, at the font's size.
QFont installedFaceFor(const QFont& font);

// The serif face of the splash and version window texts ("Times New Roman"
// and its stand-ins) at the given pixel height.
QFont serifFont(int pixelHeight, bool bold = false);

// Makes a control's caption fit the given width (and, when given, its line
// the given height) by lowering its font's pixel height, never below 8
// pixels; the control is no wider than that.
void shrinkToFit(QWidget* w, int width, int height = -1);
// The width a control's caption needs.
int captionWidth(const QWidget* w);

}  // namespace platform
