#pragma once
// Distance between two points along the WGS 84 ellipsoid, in metres.
//
// Consecutive points of a recorded track are metres apart: for steps up to
// kShortStepM the distance is taken on the plane that touches the ellipsoid
// at the middle latitude (meridional and prime-vertical radii of curvature),
// which agrees with the geodesic to within a few millimetres per kilometre
// and costs one sine and one cosine. Longer steps are solved with Vincenty's
// inverse formula; the few pairs where it does not converge (nearly
// antipodal points) fall back to a sphere of the ellipsoid's mean radius.
// Stateless; safe on any thread.

namespace wy {

// Steps shorter than this (estimated on the sphere) use the local plane.
constexpr double kShortStepM = 10000;

double EllipsoidDistanceM(double lat1, double lng1, double lat2, double lng2);

// The geodesic alone (Vincenty), for any pair of points.
double VincentyDistanceM(double lat1, double lng1, double lat2, double lng2);

}  // namespace wy
