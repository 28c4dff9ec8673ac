#include "platform/fonts.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <algorithm>

namespace platform {

QStringList uiFontStandIns()
{
    // Proportional gothic faces first (as the asked-for face is); the last
    // ones only keep Japanese text readable.
    static const char* const candidates[] = {
        "IPAPGothic", "Noto Sans CJK JP", "VL PGothic", "TakaoPGothic", "IPAGothic", "Droid Sans Fallback",
    };
    QStringList present;
    for (const char* c : candidates) {
        const QString name = QString::fromLatin1(c);
        // The database lists a face by one name, localised under a Japanese
        // locale ("IPA Pゴシック"); it knows the other names only once a font
        // has been resolved by one of them. The resolved family is the one
        // font dialogs list.
        const QString listed = QFontInfo(QFont(name)).family();
        if (!QFontDatabase::hasFamily(name))
            continue;
        const QString use = QFontDatabase::families().contains(listed) ? listed : name;
        if (!present.contains(use))
            present << use;
    }
    return present;
}

void installFontSubstitutes()
{
    const QStringList present = uiFontStandIns();
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

QFont installedFaceFor(const QFont& font)
{
    QFont face = font;
    QString family = QFontInfo(font).family();
    if (font.family() == kUiFontName) {
        const QStringList standIns = uiFontStandIns();
        if (!standIns.isEmpty())
            family = standIns.first();
    }
    face.setFamilies({family});
    const QFontInfo real(face);
    face.setStyleName(real.styleName());
    if (font.pointSizeF() <= 0)
        face.setPointSizeF(real.pointSizeF());
    return face;
}

QFont serifFont(int pixelHeight, bool bold)
{
    QFont font;
    font.setFamilies({QStringLiteral("Times New Roman"), QStringLiteral("Nimbus Roman"), QStringLiteral("Liberation Serif")});
    font.setStyleHint(QFont::Serif);
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    return font;
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
