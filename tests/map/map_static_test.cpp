// Static map pictures: composed from the map's tiles without a static map
// service, fetched from the service when it has a base.

#include <gtest/gtest.h>

#include <QImage>
#include <string>

#include "geo/settings.h"
#include "geo/stream.h"
#include "map/map_control.h"
#include "map_test_support.h"
#include "services/rate_limit.h"

namespace wy {
namespace {

using maptest::TileColor;
using maptest::TTileFixture;

QImage Decode(TMemoryStream& stream) {
  const std::string bytes = stream.DataString();
  QImage image;
  image.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size()),
                     "PNG");
  return image;
}

TEST(MapStaticTest, WithoutAServiceThePictureComesFromTheMapsTiles) {
  TTileFixture tiles;
  ResetEndpointSlots();
  TWyVuroduDav map;
  map.SetZoom(5);
  map.setCenter(45.5, 3.25);
  TMemoryStream png;
  // Zoom 2 is 4 x 4 tiles: the middle two rows, whole.
  ASSERT_TRUE(map.StaticMap("center=0,0&zoom=2&size=1024,512", png));
  EXPECT_EQ(png.Position(), 0);
  const QImage image = Decode(png);
  ASSERT_EQ(image.size(), QSize(1024, 512));
  EXPECT_EQ(image.pixel(10, 10), TileColor(0, 1));
  EXPECT_EQ(image.pixel(1000, 10), TileColor(3, 1));
  EXPECT_EQ(image.pixel(300, 300), TileColor(1, 2));
  // The map's own view is left alone.
  EXPECT_EQ(map.Zoom(), 5);
  EXPECT_DOUBLE_EQ(map.Latitude(), 45.5);

  // Missing keys: the map's centre and zoom, 400 x 300.
  ASSERT_TRUE(map.StaticMap("", png));
  EXPECT_EQ(Decode(png).size(), QSize(400, 300));

  // Values out of range ask for nothing.
  tiles.Server().ClearRequests();
  for (const char* bad : {"size=0,10", "size=4000,10", "size=10", "center=91,0", "center=a,b",
                          "zoom=2.5", "zoom=1", "zoom=99"}) {
    EXPECT_FALSE(map.StaticMap(bad, png)) << bad;
    EXPECT_EQ(png.Size(), 0);
  }
  EXPECT_EQ(tiles.Server().RequestCount(), 0u);
}

TEST(MapStaticTest, TheServiceAnswersWhenItHasABase) {
  TTileFixture tiles;
  ResetEndpointSlots();
  SetEndpoint("mapquest-open", tiles.Server().BaseUrl());
  tiles.Server().Serve("/staticmap/v4/getmap", "\x89PNG bytes", "image/png");
  TWyVuroduDav map;
  TMemoryStream png;
  ASSERT_TRUE(map.StaticMap("size=400,300", png));
  EXPECT_EQ(png.DataString(), "\x89PNG bytes");
  EXPECT_EQ(tiles.Server().RequestsTo("/staticmap/v4/getmap").at(0).Param("size"), "400,300");
  tiles.Server().ServeStatus("/staticmap/v4/getmap", 500);
  EXPECT_FALSE(map.StaticMap("size=400,300", png));
  EXPECT_EQ(png.Size(), 0);
}

}  // namespace
}  // namespace wy
