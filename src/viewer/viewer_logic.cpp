#include "viewer/viewer_logic.h"

#include <QTime>

#include "metadata/number_format.h"

namespace viewer {

QRect pictureRect(QSize area, QSize picture, bool center, bool proportional, bool stretch)
{
    const int cw = area.width(), ch = area.height();
    const int w = picture.width(), h = picture.height();
    int dw = w, dh = h;
    if (stretch || (proportional && (w > cw || h > ch))) {
        if (proportional && w > 0 && h > 0) {
            const double a = double(w) / double(h);
            if (w > h) {
                dw = cw;
                dh = int(cw / a);
                if (dh > ch) {
                    dh = ch;
                    dw = int(ch * a);
                }
            } else {
                dh = ch;
                dw = int(ch * a);
                if (dw > cw) {
                    dw = cw;
                    dh = int(cw / a);
                }
            }
        } else {
            dw = cw;
            dh = ch;
        }
    }
    QRect r(0, 0, dw, dh);
    if (center)
        r.moveTo((cw - dw) / 2, (ch - dh) / 2);
    return r;
}

QSize drawnSize(QSize area, QSize picture, bool proportional, bool stretch)
{
    if (!proportional && !stretch)
        return QSize();
    const QSize s = pictureRect(area, picture, false, proportional, stretch).size();
    if (s.width() <= 0 || s.height() <= 0 || s.width() >= picture.width() || s.height() >= picture.height())
        return QSize();
    return s;
}

QString shortenPath(const QString& path, const std::function<int(const QString&)>& textWidth, int maxWidth,
                    QChar sep)
{
    const QString sepS(sep);
    const int cut = path.lastIndexOf(sep);
    const QString name = cut >= 0 ? path.mid(cut + 1) : path;
    QString dir = cut >= 0 ? path.left(cut + 1) : QString();
    QString drive;
    if (dir.size() >= 2 && dir[1] == QLatin1Char(':')) {
        drive = dir.left(2);
        dir.remove(0, 2);
    }
    const QString ellipsis = QStringLiteral("...") + sepS;
    QString result = path;
    while ((!dir.isEmpty() || !drive.isEmpty()) && textWidth(result) > maxWidth) {
        if (dir == sepS + ellipsis) {
            drive.clear();
            dir = ellipsis;
        } else if (!dir.isEmpty()) {
            if (dir == sepS) {
                dir.clear();
            } else {
                const bool lead = dir.startsWith(sep);
                if (lead)
                    dir.remove(0, 1);
                if (dir.startsWith(QLatin1Char('.')))
                    dir.remove(0, 4);
                const int p = dir.indexOf(sep);
                dir = p >= 0 ? ellipsis + dir.mid(p + 1) : QString();
                if (lead)
                    dir.prepend(sep);
            }
        } else {
            drive.clear();
        }
        result = drive + dir + name;
    }
    return result;
}

QString sizeText(qint64 s)
{
    std::string text;
    if (s < 10000)
        text = metadata::formatNumber(double(s), "#,##0\"バイト\"");
    else if (s <= 10238976)
        text = metadata::formatNumber(double(s) / 1024.0, "#,##0.#\"KB\"");
    else
        text = metadata::formatNumber(double(s) / 1048576.0, "#,##0\"MB\"");
    return QString::fromStdString(text);
}

QString fileDateText(const QDateTime& local)
{
    QTime t = local.time();
    t = QTime(t.hour(), t.minute(), t.second() & ~1);
    const QString date = local.date().toString(QStringLiteral("yyyy/MM/dd"));
    if (t == QTime(0, 0))
        return date;
    return date + QLatin1Char(' ') + t.toString(QStringLiteral("H:mm:ss"));
}

QString timerCaption(int seconds)
{
    // Minutes of the day's fraction: the hours fall away past 60 minutes.
    const int s = seconds % 86400;
    return QString::number((s / 60) % 60) + QLatin1Char(':') + QStringLiteral("%1").arg(s % 60, 2, 10, QLatin1Char('0'));
}

int timerIntervalMs(int seconds) { return seconds == 0 ? 500 : seconds * 1000; }

int dropDownLength(int count)
{
    if (count > 30)
        return 30;
    if (count >= 9)
        return count;
    return 8;
}

int stepBackIndex(int currentIndex, int count)
{
    if (count < 2 || currentIndex == 1)
        return -1;
    return currentIndex == 0 ? count - 2 : currentIndex - 2;
}

int scrollStep(int position, int maxPos, bool forward)
{
    if (forward)
        return position < maxPos - 10 ? position + 10 : maxPos;
    return position > 10 ? position - 10 : 0;
}

}  // namespace viewer
