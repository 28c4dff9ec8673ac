#include "print/page_layout.h"

#include <algorithm>

namespace print {

namespace {

// Products of picture and page sizes pass 2^31 for large pictures on
// high-resolution printers, so they are taken in 64 bits.
using Wide = long long;

int mulDiv(Wide a, Wide b, Wide c) { return static_cast<int>(a * b / c); }

// Next split position after pos, never between the halves of a surrogate pair.
int nextBoundary(const QString& s, int pos)
{
    if (pos < s.size() && s.at(pos).isHighSurrogate() && pos + 1 < s.size()
        && s.at(pos + 1).isLowSurrogate())
        return pos + 2;
    return pos + 1;
}

TextLine unclipped(const QString& text, int x, int y)
{
    TextLine line;
    line.text = text;
    line.x = x;
    line.y = y;
    return line;
}

}  // namespace

PageLayout layoutPage(const LayoutInput& in)
{
    PageLayout out;
    const int P = in.pageWidth;
    const int PH = in.pageHeight;
    const PageSetup& psd = in.setup;
    if (psd.pageWidth <= 0 || in.pictureWidth <= 0 || in.pictureHeight <= 0)
        return out;
    const bool scale = in.scale;
    const bool full = in.full && in.scale;
    const int Gw = in.pictureWidth;
    const int Gh = in.pictureHeight;
    const int fh = in.fontHeight;
    const int code = in.printTextCode;

    out.k = mulDiv(P, 1000, psd.pageWidth);
    const int k = out.k;
    out.left = mulDiv(k, psd.marginLeft, 1000);
    out.top = mulDiv(k, psd.marginTop, 1000);
    out.right = P - mulDiv(k, psd.marginRight, 1000);
    out.pageBottom = PH - mulDiv(k, psd.marginBottom, 1000);
    out.u = k / 10;
    const int left = out.left, top = out.top, right = out.right, pageBottom = out.pageBottom;

    // Split a text too wide for one line once, at the longest prefix that fits.
    const QString& T = in.text;
    QString line1 = T, line2;
    int r = 0;
    if (!T.isEmpty() && in.textWidth) {
        const int limit = right - left - k / 3;
        if (in.textWidth(T) > limit) {
            r = nextBoundary(T, 0);
            for (;;) {
                const int n = nextBoundary(T, r);
                if (n > T.size() || in.textWidth(T.left(n)) > limit)
                    break;
                r = n;
            }
            line1 = T.left(r);
            line2 = T.mid(r, 1000);
            out.titleOverflows = in.textWidth(line2) > right - left - 20;
        }
    }
    const int lines = r > 0 ? 2 : 1;

    int picBottom = code > 16 ? pageBottom + fh * lines - lines - 20 : pageBottom;
    out.availW = right - left;
    out.availH = picBottom - top;
    const int availW = out.availW, availH = out.availH;
    if (availW <= 0 || availH <= 0)
        return out;

    const int scaledH = static_cast<int>(Wide(availW) * 10 * Gh / Gw / 10);
    int drawRight = right;
    Edges source{0, 0, Gw, Gh};
    if (availH > scaledH) {
        if (full) {
            const int srcW = static_cast<int>(Wide(Gh) * availW * 10 / availH / 10);
            const int e = Gw - srcW;
            const int c = e / 2;
            source = {c, 0, Gw - e + c, Gh};
        } else if (scale) {
            picBottom = top + scaledH;
        }
    } else {
        if (full) {
            const int srcH = static_cast<int>(Wide(Gw) * availH * 10 / availW / 10);
            const int e = Gh - srcH;
            source = {0, e / 2, Gw, Gh - (e + 1) / 2};
        } else {
            drawRight = left + static_cast<int>(Wide(Gw) * availH * 10 / Gh / 10);
        }
    }

    if (!scale) {
        out.mode = DrawMode::PixelForPixel;
        out.pictureOverflows = Gw > availW || Gh > availH;
        // The copy covers the whole area; what lies beyond the picture stays blank.
        const int w = std::min(availW, Gw);
        const int h = std::min(availH, Gh);
        out.source = {0, 0, w, h};
        out.dest = {left, top, left + w, top + h};
        if (Gh < availH)
            picBottom = top + Gh;
    } else if (full) {
        out.mode = DrawMode::Crop;
        out.source = source;
        out.dest = {left, top, right, picBottom};
    } else {
        out.mode = DrawMode::Fit;
        out.source = {0, 0, Gw, Gh};
        out.dest = {left, top, drawRight, picBottom};
    }
    out.picBottom = picBottom;
    out.valid = true;

    if (T.isEmpty() || code <= 0)
        return out;
    const int x = left + 2 * out.u;
    if (code > 16) {
        out.opaqueText = true;
        if (lines == 1) {
            out.lines.push_back(unclipped(T, x, picBottom + 1));
        } else {
            out.lines.push_back(unclipped(line1, x, picBottom + 1));
            const int y2 = picBottom + 2 - fh;
            out.lines.push_back({line2, x, y2, true, {x, y2, right, pageBottom}});
        }
    } else {
        const int base = picBottom - out.u;
        if (lines == 1) {
            out.lines.push_back(unclipped(T, x, base + fh));
        } else {
            out.lines.push_back(unclipped(line1, x, base + 2 * fh + 1));
            const int y2 = base + fh;
            out.lines.push_back({line2, x, y2, true, {x, y2, right, pageBottom}});
        }
    }
    return out;
}

QString composePrintText(int printTextCode, const QString& date, bool dateFromMetadata,
                         const QString& title)
{
    // With printing switched off there is nothing to print, and nothing to
    // warn about either.
    if (printTextCode <= 0)
        return QString();
    QString t;
    if (printTextCode % 2 == 1)
        t = dateFromMetadata ? date : QString();
    else
        t = title;
    if (selectIndexFor(printTextCode) == 2)
        t += QStringLiteral("  ") + title;
    return t;
}

int printTextCodeFor(int inOutIndex, int selectIndex)
{
    return 16 * (inOutIndex / 2) + selectIndex + 1;
}

int inOutIndexFor(int printTextCode)
{
    return (printTextCode + 15) / 16;  // ceil(code / 16) for code >= 0
}

int selectIndexFor(int printTextCode)
{
    return (printTextCode & 15) - 1;
}

}  // namespace print
