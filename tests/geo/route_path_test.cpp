#include "geo/route_path.h"

#include <gtest/gtest.h>

#include <cmath>

#include "geo/text_convert.h"

namespace wy {
namespace {

TEST(RoutePathPointTest, GpxAndKmlForms) {
  const TWyRoutePathPoint empty(48.85, 2.35, TWyRoutePathPoint::kNoAltitude, 0, "");
  EXPECT_EQ(empty.ToGpx(), "<wpt lat=\"48.85\" lon=\"2.35\"></wpt>");
  EXPECT_EQ(empty.ToKml(),
            "<Placemark><name><![CDATA[]]></name><description><![CDATA[]]></description>"
            "<Point><coordinates>2.35,48.85,0</coordinates></Point></Placemark>");

  const TWyRoutePathPoint turn(-1.5, 2e-6, 0, 250,
                               "<div style=\"font-size:0.9em\">Turn &amp; go</div>");
  EXPECT_EQ(turn.Text(), "Turn & go");
  EXPECT_EQ(turn.ToGpx(),
            "<wpt lat=\"-1.5\" lon=\"2E-6\"><name><![CDATA[Turn & go]]></name><desc><![CDATA["
            "<div style=\"font-size:0.9em\">Turn &amp; go</div>]]></desc></wpt>");
}

TEST(RoutePathPointTest, AClosingBracketPairInTheTextCannotEndTheSection) {
  // "]]>" in a road name would otherwise close the CDATA section and let the
  // rest be read as markup.
  const TWyRoutePathPoint point(1, 2, 0, 0, "A]]><b>B");
  const std::string gpx = point.ToGpx();
  EXPECT_EQ(gpx.find("]]><b>"), std::string::npos) << gpx;
  EXPECT_NE(gpx.find("<desc><![CDATA[A]]]]><![CDATA[><b>B]]></desc>"), std::string::npos) << gpx;
  EXPECT_EQ(CDataSection("x]]>y]]>"), "<![CDATA[x]]]]><![CDATA[>y]]]]><![CDATA[>]]>");
  EXPECT_EQ(point.ToKml().find("]]><b>"), std::string::npos);
}

TEST(RoutePathTest, IndexOfLatLngIsExact) {
  TWyRoutePath path;
  path.add(48.85, 2.35, TWyRoutePathPoint::kNoAltitude, 0, "");
  path.add(48.86, 2.36, TWyRoutePathPoint::kNoAltitude, 10, "x");
  EXPECT_EQ(path.IndexOfLatLng(48.86, 2.36), 1);
  EXPECT_EQ(path.IndexOfLatLng(std::nextafter(48.86, 90.0), 2.36), -1);
  EXPECT_EQ(path.Items(2), nullptr);
  EXPECT_EQ(path.Items(-1), nullptr);
}

}  // namespace
}  // namespace wy
