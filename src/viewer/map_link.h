#pragma once
// The web map address of the shown picture's position.
#include <QString>

// True when both texts are decimal positions (an optional sign, digits, a
// point and digits), the only texts a map address can carry: a picture whose
// GPS block holds reference words but no position shows no map button.
bool hasMapPosition(const QString& latitude, const QString& longitude);

// The address that opens the position in the chosen web map: the national
// geospatial map at zoom level 15, or the Google map in Japanese.
QString mapAddress(const QString& latitude, const QString& longitude, bool useGoogleMap);
