// The map button's address and when the button is offered.
#include <gtest/gtest.h>

#include "viewer/map_link.h"

namespace {

TEST(MapLink, PositionTextsThatGiveAMap)
{
    struct Case {
        const char* lat;
        const char* lon;
        bool map;
    };
    const Case cases[] = {
        {"35.500000", "139.750000", true},
        {"+35.500000", "+139.750000", true},
        {"-33.866667", "-070.500000", true},
        {"00.000000", "000.000000", true},
        // Reference words alone (no position tags), or one side missing.
        {"北緯", "東経", false},
        {"35.500000", "", false},
        {"", "139.750000", false},
        {"", "", false},
        {"35.", "139.750000", false},
        {"+-35.5", "139.75", false},
        {"35.5x", "139.75", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(hasMapPosition(QString::fromUtf8(c.lat), QString::fromUtf8(c.lon)), c.map) << c.lat << " " << c.lon;
}

TEST(MapLink, AddressOfEachService)
{
    EXPECT_EQ(mapAddress("35.500000", "139.750000", false),
              "https://maps.gsi.go.jp/#15/35.500000/139.750000/&base=std");
    EXPECT_EQ(mapAddress("+35.500000", "+139.750000", true),
              "https://www.google.com/maps?q=+35.500000,+139.750000&hl=ja");
    EXPECT_EQ(mapAddress("-33.866667", "-070.500000", true),
              "https://www.google.com/maps?q=-33.866667,-070.500000&hl=ja");
}

}  // namespace
