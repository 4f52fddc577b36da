#pragma once
// Service answers as the public servers write them, shared by the service
// and command-line tests.

namespace wy {
namespace test_support {

// A geocoding search: three places, both quote styles, entities, a child
// element and a self-closing place.
inline constexpr char kSearchBody[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
    "<searchresults timestamp='Sat, 07 Nov 09 14:42:35 +0000' querystring='arc paris' "
    "polygon='false'>\n"
    "<place place_id='1' osm_type='node' osm_id='42' place_rank='30' "
    "boundingbox=\"48.81,48.90,2.22,2.46\" lat='48.8566' lon='2.3522' "
    "display_name='L&#039;Arc, Paris' class='tourism' type='attraction' "
    "icon='http://h/a.png'><city>Paris</city><country>France</country></place>\n"
    "<place place_id=\"2\" osm_type=\"way\" osm_id=\"7\" lat=\"48.1\" lon=\"2.1\" "
    "display_name=\"Caf&#233; A &amp; B, Rue &quot;X&quot;\" type=\"cafe\"/>\n"
    "<place place_id='3' lat='' lon='x' display_name='Third'>\n"
    "</place>\n"
    "</searchresults>\n";

// A geocoding search that found nothing.
inline constexpr char kNoPlaceBody[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
    "<searchresults querystring='nowhere'>\n</searchresults>\n";

// A reverse geocoding answer.
inline constexpr char kReverseBody[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<reversegeocode><result place_id=\"9\" lat=\"48.85\" lon=\"2.35\">10 Rue X &amp; Y, "
    "Paris</result><addressparts><road>Rue X</road></addressparts></reversegeocode>\n";

// A reverse geocoding answer for a place without an address.
inline constexpr char kReverseErrorBody[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<reversegeocode><error>Unable to geocode</error></reversegeocode>\n";

// An answer as the Overpass XAPI interface writes it.
inline constexpr char kRestaurantAnswer[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<osm version=\"0.6\" generator=\"Overpass API\">\n"
    "  <node id=\"101\" lat=\"48.8560\" lon=\"2.3500\">\n"
    "    <tag k=\"amenity\" v=\"restaurant\"/>\n"
    "    <tag k=\"name\" v=\"A &amp; B\"/>\n"
    "  </node>\n"
    "</osm>\n";

// An XAPI answer without places.
inline constexpr char kNoNodeAnswer[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<osm version=\"0.6\" generator=\"Overpass API\">\n"
    "</osm>\n";

// The box of radius 1000 m around (48.8566, 2.3522): west, south, east, north.
inline constexpr char kParisBox[] =
    "[bbox=2.33854666859089,48.8476168471588,2.36585333140911,48.8655831528412]";

}  // namespace test_support
}  // namespace wy
