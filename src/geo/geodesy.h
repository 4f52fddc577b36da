#pragma once
// Spherical-earth helpers: distance, initial bearing, destination point and
// the latitude/longitude box around a circle. Angles in and out are decimal
// degrees, latitude before longitude. Two earth radii are in use and callers
// rely on both: 6372.795 km for distances, 6378.137 km for the destination
// point and the box. Stateless; safe on any thread.

#include <cstdint>

namespace wy {

// Great-circle distance in kilometres (haversine, radius 6372.795 km).
// Antipodal points give half the circumference, 20020.726 km.
double DistanceFrom(double dLatitudeStart, double dLongitudeStart, double dLatitudeEnd,
                    double dLongitudeEnd);

// Initial bearing from point 1 to point 2 in whole degrees, rounded half to
// even. Not normalised: the result runs from -90 to 270 (north-west is -45,
// south-west 225; due west is -90 north of the equator and about 270 south
// of it). A point to itself gives 90.
int32_t bearing(double lat1, double lng1, double lat2, double lng2);

// The point reached from (lat1, lon1) after `meters` at bearing `brng`
// degrees on a sphere of radius 6378.137 km. lon2 is not folded back into
// -180 .. 180.
void LatLonFromDistanceBearing(double lat1, double lon1, double brng, double meters, double& lat2,
                               double& lon2);

// Smallest latitude/longitude box that holds the circle of `radius`
// kilometres around (lat, lng) (radius 6378.137 km). A circle that reaches a
// pole spans all longitudes and is clipped at +-90; one that crosses the
// 180th meridian gives lngSW > lngNE.
void boundingCoordinates(double lat, double lng, double radius, double& latSW, double& lngSW,
                         double& latNE, double& lngNE);

}  // namespace wy
