#include "platform/fonts.h"

#include <QFontDatabase>
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

}  // namespace platform
