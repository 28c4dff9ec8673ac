#pragma once
// Where the picture and its date/title line go on the printed page. Plain
// integer arithmetic in printer dots, kept apart from the dialog so it can
// be checked on its own; the dialog only gathers the inputs and draws.
#include <QString>

#include <functional>
#include <vector>

namespace print {

// Page setup in the page-setup dialog's units (hundredths of a millimetre);
// only ratios are used, so any unit works when all five share it.
struct PageSetup {
    int pageWidth = 21000;
    int marginLeft = 2500;
    int marginTop = 2500;
    int marginRight = 2500;
    int marginBottom = 2500;
};

// Edges as printed: right and bottom are exclusive.
struct Edges {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    bool operator==(const Edges&) const = default;
};

struct LayoutInput {
    int pageWidth = 0;   // printer page in dots
    int pageHeight = 0;
    PageSetup setup;
    int fontHeight = 0;  // negative: minus the character height in dots
    int printTextCode = 19;
    bool scale = true;   // fit to the printable area
    bool full = false;   // and fill it, cropping the picture
    int pictureWidth = 0;
    int pictureHeight = 0;
    QString text;        // the date and/or title to print
    std::function<int(const QString&)> textWidth;  // in dots, printer font
};

struct TextLine {
    QString text;
    int x = 0;
    int y = 0;            // top of the text cell
    bool clipped = false; // the second line is kept inside clip
    Edges clip;
};

enum class DrawMode { PixelForPixel, Crop, Fit };

struct PageLayout {
    bool valid = false;   // false: nothing sensible fits (no picture, no area)
    int k = 0;            // dots per 1000 page-setup units
    int u = 0;            // one millimetre with the default units
    int left = 0, top = 0, right = 0, pageBottom = 0;
    int availW = 0, availH = 0;
    DrawMode mode = DrawMode::Fit;
    Edges source;         // part of the picture drawn
    Edges dest;           // where it goes on the page
    int picBottom = 0;    // bottom of the picture for the text
    bool titleOverflows = false;    // the second line is wider than the area
    bool pictureOverflows = false;  // pixel for pixel, bigger than the area
    bool opaqueText = false;        // text below the picture on a white box
    std::vector<TextLine> lines;    // empty: no text printed
};

PageLayout layoutPage(const LayoutInput& in);

// The text printed for a code (0 none; 1-3 over the picture; 17-19 below it;
// odd codes hold the date). A date that is only the file's date is never
// printed.
QString composePrintText(int printTextCode, const QString& date, bool dateFromMetadata,
                         const QString& title);

// The remembered code from the two radio groups (-1: no selection) and back.
int printTextCodeFor(int inOutIndex, int selectIndex);
int inOutIndexFor(int printTextCode);
int selectIndexFor(int printTextCode);

}  // namespace print
