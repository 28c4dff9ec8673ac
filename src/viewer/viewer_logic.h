#pragma once
// The viewer's rules that need no window: fitting, texts, list positions.
#include <QChar>
#include <QDateTime>
#include <QDir>
#include <QRect>
#include <QSize>
#include <QString>

#include <functional>

namespace viewer {

// Where a picture of size `picture` is drawn in an area of size `area`:
// "中央に表示" centres, "画像の全体を表示" shrinks large pictures keeping their
// proportions, "画面一杯に拡大" fills the area (proportionally when both are on).
QRect pictureRect(QSize area, QSize picture, bool center, bool proportional, bool stretch);

// The size the picture is drawn at, or an invalid size when it is drawn
// pixel for pixel (no reduced copy is worth making).
QSize drawnSize(QSize area, QSize picture, bool proportional, bool stretch);

// Shortens a path for a label: folders are replaced by "..." from the front
// until textWidth(result) fits maxWidth, then the drive goes, then the
// folder part. The last form may still be too wide.
QString shortenPath(const QString& path, const std::function<int(const QString&)>& textWidth, int maxWidth,
                    QChar separator = QDir::separator());

// A file size as "9,999バイト", "120.6KB" or "19MB".
QString sizeText(qint64 bytes);

// The file date shown when a picture carries none: "yyyy/MM/dd H:mm:ss",
// without the time at midnight. Seconds are rounded down to even, as the
// file system's packed date form stores them.
QString fileDateText(const QDateTime& local);

// The slide interval label ("m:ss") and the timer interval in ms.
QString timerCaption(int seconds);
int timerIntervalMs(int seconds);

// Visible rows of the condition list for a list of `count` items.
int dropDownLength(int count);

// CurrentIndex after a step back, or -1 when there is no step.
int stepBackIndex(int currentIndex, int count);

// A scroll bar position moved by 10 pixels (maxPos = range - page).
int scrollStep(int position, int maxPos, bool forward);

}  // namespace viewer
