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

// EllipsoidDistanceM for many steps along a path: the cosine of the middle
// latitude and the two radii of curvature come from Taylor expansions
// around the last latitude where they were computed (again once the path
// is kReach radian, about 32 km, away from it), which keeps the result
// within 3e-7 of EllipsoidDistanceM and spares every step its trigonometry
// and all but one square root. One object per thread.
class TPathDistance {
 public:
  static constexpr double kReach = 0.005;
  double operator()(double lat1, double lng1, double lat2, double lng2);

 private:
  double FAnchor = 1e9;  // radians; far away: the first call computes
  double FSin = 0, FCos = 1;
  double FN = 0, FM = 0;    // prime vertical and meridional radius at the anchor
  double FDN = 0, FDM = 0;  // their derivatives by latitude
};

}  // namespace wy
