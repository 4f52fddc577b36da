#include "services/traffic_xml.h"

#include <gtest/gtest.h>

#include <string>

namespace wy {
namespace {

const TrafficIcons kIcons{"http://i/menatwork.png", "http://i/accident.png",
                          "http://i/closedroad.png", "http://i/stop.png"};

std::string Wrap(const std::string& incidents) {
  return "<Response><ResourceSets><ResourceSet><Resources>" + incidents +
         "</Resources></ResourceSet></ResourceSets></Response>";
}

std::string Incident(const std::string& lat, const std::string& lng, const std::string& severity,
                     const std::string& closed, const std::string& description) {
  return "<TrafficIncident><Point><Latitude>" + lat + "</Latitude><Longitude>" + lng +
         "</Longitude></Point><Severity>" + severity + "</Severity><RoadClosed>" + closed +
         "</RoadClosed><Description>" + description + "</Description></TrafficIncident>";
}

TEST(TrafficXmlTest, IncidentsBecomeMarkerLinesWithIconsBySeverity) {
  const std::string xml =
      Wrap(Incident("48.85", "2.35", "Serious", "false", "Accident; lane closed") +
           Incident("48.86", "2.36", "Minor", "TRUE", " Works &amp; more ") +
           "<TrafficIncident><Point><Latitude>48.1</Latitude><Longitude>2.1</Longitude></Point>"
           "<ToPoint><Latitude>48.2</Latitude><Longitude>2.2</Longitude></ToPoint>"
           "<Severity>LowImpact</Severity><Severity>Serious</Severity>"
           "<Description>x</Description></TrafficIncident>" +
           Incident("48.3", "2.3", "Unknown", "false", "y"));
  EXPECT_EQ(
      TrafficXmlToMarkers(xml, kIcons),
      "[markers]\r\n"
      "lng=2.35;lat=48.85;clickable=true;icon=http://i/stop.png;title=Accident#59# lane closed\r\n"
      "lng=2.36;lat=48.86;clickable=true;icon=http://i/closedroad.png;title=Works & more\r\n"
      "lng=2.2;lat=48.2;clickable=true;icon=http://i/menatwork.png;title=x\r\n"
      "lng=2.3;lat=48.3;clickable=true;title=y\r\n"
      "\r\n");
}

TEST(TrafficXmlTest, HostileTextsCannotAddKeysOrMarkup) {
  // A position that is not a number is skipped; a decoded tag in the
  // description stays harmless text.
  const std::string xml = Wrap(Incident("48.85;icon=x", "2.35", "Serious", "false", "a") +
                               Incident("", "2.35", "Serious", "false", "a") +
                               Incident("48.5", "2.5", "Serious", "false", "&lt;img src=x&gt;=1"));
  const std::string out = TrafficXmlToMarkers(xml, kIcons);
  EXPECT_EQ(
      out,
      "[markers]\r\nlng=2.5;lat=48.5;clickable=true;icon=http://i/stop.png;title=\xE2\x80\xB9img "
      "src#61#x\xE2\x80\xBA#61#1\r\n\r\n");
}

TEST(TrafficXmlTest, ClosingTagsAnyCaseAndAtMost500) {
  std::string many;
  for (int i = 0; i < 501; ++i) many += Incident("48.5", "2.5", "Serious", "false", "a");
  const std::string out = TrafficXmlToMarkers(Wrap(many), kIcons);
  size_t lines = 0;
  for (size_t p = out.find("lng="); p != std::string::npos; p = out.find("lng=", p + 1)) ++lines;
  EXPECT_EQ(lines, 500u);
  EXPECT_EQ(TrafficXmlToMarkers("<trafficincident><latitude>1</latitude><longitude>2</LONGITUDE>"
                                "<description>d</description></TRAFFICINCIDENT>",
                                kIcons),
            "[markers]\r\nlng=2;lat=1;clickable=true;title=d\r\n\r\n");
  EXPECT_EQ(TrafficXmlToMarkers(Wrap(""), kIcons), "");
  EXPECT_EQ(TrafficXmlToMarkers("", kIcons), "");
}

}  // namespace
}  // namespace wy
