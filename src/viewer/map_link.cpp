// The viewer's map button.
#include "viewer/map_link.h"

#include <QUrl>

#include "app/app_state.h"
#include "platform/shell_open.h"
#include "viewer/tfrm_main.h"

namespace {

bool isDecimalPosition(const QString& text)
{
    int i = 0;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    const int wholeStart = i;
    while (i < text.size() && text[i] >= u'0' && text[i] <= u'9')
        ++i;
    if (i == wholeStart || i == text.size() || text[i] != u'.')
        return false;
    const int fractionStart = ++i;
    while (i < text.size() && text[i] >= u'0' && text[i] <= u'9')
        ++i;
    return i > fractionStart && i == text.size();
}

}  // namespace

bool hasMapPosition(const QString& latitude, const QString& longitude)
{
    return isDecimalPosition(latitude) && isDecimalPosition(longitude);
}

QString mapAddress(const QString& latitude, const QString& longitude, bool useGoogleMap)
{
    // A plain "&" before hl=ja: the address goes to the browser, not into a page.
    if (useGoogleMap)
        return QStringLiteral("https://www.google.com/maps?q=") + latitude + u',' + longitude
               + QStringLiteral("&hl=ja");
    return QStringLiteral("https://maps.gsi.go.jp/#15/") + latitude + u'/' + longitude
           + QStringLiteral("/&base=std");
}

void TfrmMain::btMapClick()
{
    if (!hasMapPosition(state_.GpsLatitudeText, state_.GpsLongitudeText))
        return;
    platform::openExternally(
        QUrl(mapAddress(state_.GpsLatitudeText, state_.GpsLongitudeText, state_.UseGoogleMap)));
}
