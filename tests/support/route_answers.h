#pragma once
// Route and elevation answers as the services write them, shared by the
// service, component and command-line tests.

namespace wy {
namespace test_support {

// A two-manoeuvre route in the open directions service's JSON form.
inline constexpr char kDirectionsBody[] =
    "{\"route\":{\"distance\":1.234,\"time\":300,\"shape\":{\"maneuverIndexes\":[0,2],"
    "\"shapePoints\":[48.85,2.35,48.852,2.352,48.855,2.355]},\"legs\":[{\"maneuvers\":["
    "{\"narrative\":\"Head north.\",\"distance\":0.25,\"time\":60},"
    "{\"narrative\":\"Arrive.\",\"distance\":0,\"time\":0}]}]},\"info\":{\"statuscode\":0}}";

// An elevation profile with a height of its own, a half and a point
// without data.
inline constexpr char kElevationBody[] =
    "{\"elevationProfile\":[{\"distance\":0,\"height\":12},{\"distance\":0.1,\"height\":13.5},"
    "{\"distance\":0.2,\"height\":-32768}],\"info\":{\"statuscode\":0}}";

// An OSRM route from Rue de Rivoli into Boulevard Saint-Michel: three shape
// points (polyline "o_diHo~iMoKoKwQwQ"), depart, turn and arrive steps
// with the server's usual extra members, and the waypoints after the route.
inline constexpr char kOsrmBody[] =
    "{\"code\":\"Ok\",\"routes\":[{\"geometry\":\"o_diHo~iMoKoKwQwQ\",\"legs\":[{\"steps\":["
    "{\"geometry\":\"o_diHo~iMoKoK\",\"maneuver\":{\"bearing_after\":45,\"bearing_before\":0,"
    "\"location\":[2.35,48.85],\"type\":\"depart\"},\"mode\":\"driving\",\"name\":\"Rue de "
    "Rivoli\",\"distance\":250.4,\"duration\":60.2,\"intersections\":[{\"location\":[2.35,48.85],"
    "\"out\":0,\"bearings\":[45]}]},"
    "{\"maneuver\":{\"location\":[2.352001,48.852],\"modifier\":\"left\",\"type\":\"turn\"},"
    "\"name\":\"Boulevard Saint-Michel\",\"distance\":480.6,\"duration\":80},"
    "{\"maneuver\":{\"location\":[2.355,48.855],\"modifier\":\"right\",\"type\":\"arrive\"},"
    "\"name\":\"\",\"distance\":0,\"duration\":0}],\"summary\":\"\",\"weight\":140,"
    "\"duration\":140.2,\"distance\":731}],\"weight_name\":\"routability\",\"weight\":140,"
    "\"duration\":140.2,\"distance\":731.2}],\"waypoints\":[{\"hint\":\"x\",\"distance\":1.2,"
    "\"name\":\"Rue de Rivoli\",\"location\":[2.35,48.85]},{\"location\":[2.355,48.855],"
    "\"name\":\"\"}]}";

// Three heights from an Open-Elevation server, the last a half.
inline constexpr char kOpenElevationBody[] =
    "{\"results\": [{\"latitude\": 48.85, \"longitude\": 2.35, \"elevation\": 35}, "
    "{\"latitude\": 48.86, \"longitude\": 2.36, \"elevation\": 41.0}, "
    "{\"latitude\": 45.76, \"longitude\": 4.84, \"elevation\": 172.5}]}";

}  // namespace test_support
}  // namespace wy
