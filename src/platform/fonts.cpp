#include "platform/fonts.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <algorithm>
#include <QStringList>

namespace platform {

void installFontSubstitutes()
{
    const QStringList candidates = {
        QStringLiteral("IPAPGothic"),        QStringLiteral("IPAGothic"),
        QStringLiteral("Noto Sans CJK JP"),  QStringLiteral("VL PGothic"),
        QStringLiteral("TakaoPGothic"),      QStringLiteral("Droid Sans Fallback"),
    };
    const QStringList families = QFontDatabase::families();
    QStringList present;
    for (const QString& c : candidates)
        if (families.contains(c, Qt::CaseInsensitive))
            present << c;
    if (!present.isEmpty())
        QFont::insertSubstitutions(kUiFontName, present);
}

QFont uiFont(int pixelHeight)
{
    QFont f(kUiFontName);
    f.setPixelSize(pixelHeight);
    return f;
}

QFont applicationFont()
{
    QFont f(kUiFontName);
    f.setPointSizeF(15 * 72.0 / 120.0);
    return f;
}

int captionWidth(const QWidget* w)
{
    // A push button's size hint has a style minimum; what must fit is its text.
    if (auto* b = qobject_cast<const QPushButton*>(w))
        return b->fontMetrics().horizontalAdvance(b->text()) + 8;
    return w->sizeHint().width();
}

void shrinkToFit(QWidget* w, int width, int height)
{
    QFont font = w->font();
    int px = font.pixelSize() > 0 ? font.pixelSize() : QFontInfo(font).pixelSize();
    // A label's text may take glyphs from a fallback font taller than its own.
    auto* label = qobject_cast<QLabel*>(w);
    auto textHeight = [&] {
        const QFontMetrics fm(font);
        return label ? fm.boundingRect(QRect(0, 0, 100000, 100000), 0, label->text()).height() : fm.height();
    };
    auto tooBig = [&] { return captionWidth(w) > width || (height > 0 && textHeight() > height); };
    while (tooBig() && px > 8) {
        font.setPixelSize(--px);
        w->setFont(font);
    }
    w->resize(std::min(w->width(), std::max(width, 0)), height > 0 ? std::min(w->height(), height) : w->height());
}

}  // namespace platform
