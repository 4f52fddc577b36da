#include "shapes/shape_line.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstring>

#include "geo/geodesy.h"
#include "geo/settings.h"
#include "shapes/screen_projection.h"
#include "shapes/shape_list.h"
#include "shapes/shape_marker.h"
#include "shapes/shape_poi.h"
#include "shapes/shapes_group.h"

namespace wy {

namespace {

// Labels and handles sit this far above their line.
constexpr int32_t kHandleZ = 10;
// Size in pixels of the round label of a route's first and last point.
constexpr int32_t kEndLabelSize = 16;
// Points per altitude request step (each request also repeats the last
// point of the previous one).
constexpr int32_t kAltitudeStep = 20;
// Segments per polyline call when a long line is drawn.
constexpr size_t kDrawPiece = 1024;

}  // namespace

TWyShapeLine::TWyShapeLine(TWyShapeList* owner)
    : TWyShape(owner), FGuard(std::make_unique<TReceiverGuard>()) {
  if (owner) _id = owner->NextId();
  TWyShapes* group = Group();
  TWyShapesGroup* registry = Registry();
  if (group && registry) {
    FNameShapes = group->Name() + "_line_" + std::to_string(_id);
    FLineShapes = registry->getShapes(FNameShapes);
    FLineShapes->SetSerialize(false);
  }
}

TWyShapeLine::~TWyShapeLine() {
  FReady = false;
  FPoints.clear();
  TWyShapesGroup* registry = Registry();
  if (FLineShapes && registry && !registry->Destroying()) FLineShapes->Clear();
}

// ---------------------------------------------------------------------------
// Changes

void TWyShapeLine::Update() {
  TWyShapes* group = Group();
  // A line that is (or was just) drawn must be painted over once more, even
  // when this change takes it off the map.
  if (FOnMapAtUpdate && group) group->SetModified(true);
  FProjectionDirty = true;
  FBoundsValid = false;
  ComputeLineBounds();
  const std::weak_ptr<char> life = LifeToken();
  TWyShape::Update();  // may run the path event, whose handler may free us
  if (life.expired()) return;
  // The group's rebuild has projected the points unless it could not run.
  if (FProjectionDirty && (!group || group->UpdateCount() == 0)) ProjectPoints();
  FOnMapAtUpdate = ShowOnMap();
}

void TWyShapeLine::PathEdited() {
  FBoundsValid = false;
  FDistance = 0;
  FArea = 0;
  FRouteDistance = false;
  FPathModified = true;
  if (LabelsShown()) BuildLineShapes();
  Update();
}

int32_t TWyShapeLine::Add(double Lat, double Lng, double Alt) {
  FPoints.push_back(std::make_unique<TWyPointLine>(Lat, Lng, Alt));
  const int32_t index = Count() - 1;
  PathEdited();
  return index;
}

void TWyShapeLine::Insert(int32_t index, double Lat, double Lng, double Alt) {
  index = std::max(0, std::min(index, Count()));
  FPoints.insert(FPoints.begin() + index, std::make_unique<TWyPointLine>(Lat, Lng, Alt));
  PathEdited();
}

void TWyShapeLine::Delete(int32_t index) {
  if (index < 0 || index >= Count()) return;
  FPoints.erase(FPoints.begin() + index);
  PathEdited();
}

void TWyShapeLine::Clear() {
  FPoints.clear();
  if (FLineShapes) FLineShapes->Clear();
  FHandlesStale = false;
  PathEdited();
}

void TWyShapeLine::SetPath(const std::vector<double>& values) {
  const size_t n = values.size() / 2;
  if (n == 0) return;
  FPoints.reserve(n);
  while (FPoints.size() < n) FPoints.push_back(std::make_unique<TWyPointLine>(0, 0, kNoAltitude));
  for (size_t i = 0; i < n; ++i) {
    FPoints[i]->SetLat(values[2 * i]);
    FPoints[i]->SetLng(values[2 * i + 1]);
  }
  PathEdited();
}

TWyPointLine* TWyShapeLine::getPoints(int32_t index) const {
  if (index < 0 || index >= Count()) throw EShapeAssertion("TWyShapeLine.getPoints");
  return FPoints[index].get();
}

void TWyShapeLine::SetWeight(uint8_t v) {
  FWeight = v;
  Update();
}

void TWyShapeLine::SetLineType(TWyLineType v) {
  if (v == FLineType) return;
  FLineType = v;
  Update();
}

void TWyShapeLine::SetPenStyle(TPenStyle v) {
  if (v == FPenStyle) return;
  FPenStyle = v;
  Update();
}

void TWyShapeLine::SetColor(TColor value) {
  TWyShape::SetColor(value);
  if (LabelsShown()) BuildLineShapes();
}

void TWyShapeLine::SetHoverColor(TColor value) {
  TWyShape::SetHoverColor(value);
  if (LabelsShown()) BuildLineShapes();
}

void TWyShapeLine::SetVisible(bool value) {
  TWyShape::SetVisible(value);
  if (FLineShapes) FLineShapes->SetVisible(value && LabelsShown());
}

void TWyShapeLine::SetShowText(bool value) {
  FShowText = value;
  BuildLineShapes();
}

void TWyShapeLine::SetEditable(bool value) {
  FEditable = value;
  BuildLineShapes();
  Update();
}

// The path event. The cached length is dropped, except the length a route
// brought with it, which stays until the path really changes.
void TWyShapeLine::PathChanged() {
  if (!FRouteDistance) FDistance = 0;
  FArea = 0;
  getBounds();
  FPathModified = false;
  if (OnShapePathChange) {
    const TNotifyEvent handler = OnShapePathChange;
    handler(this);
  } else if (TWyShapesGroup* registry = Registry()) {
    if (registry->OnShapePathChange) {
      const TNotifyEvent handler = registry->OnShapePathChange;
      handler(this);
    }
  }
}

void TWyShapeLine::SetPosition(double dLat, double dLng) {
  if (!FReady) return;
  const bool editable = FEditable;
  const std::weak_ptr<char> life = LifeToken();
  SetEditable(false);
  if (life.expired()) return;
  ComputeLineBounds();
  const double dy = dLat - FLat;
  const double dx = dLng - FLng;
  for (auto& p : FPoints) {
    p->SetLat(p->Lat() + dy);
    p->SetLng(p->Lng() + dx);
    p->SetAlt(kNoAltitude);
  }
  FBoundsValid = false;
  FDistance = 0;
  FArea = 0;
  FRouteDistance = false;
  SetEditable(editable);
  if (life.expired()) return;
  Update();
}

// ---------------------------------------------------------------------------
// Bounds and projection

void TWyShapeLine::ComputeLineBounds() {
  FBoundsValid = true;
  if (FPoints.empty()) return;
  FLatSW = FLatNE = FPoints[0]->Lat();
  FLngSW = FLngNE = FPoints[0]->Lng();
  for (const auto& p : FPoints) {
    FLatSW = std::min(FLatSW, p->Lat());
    FLatNE = std::max(FLatNE, p->Lat());
    FLngSW = std::min(FLngSW, p->Lng());
    FLngNE = std::max(FLngNE, p->Lng());
  }
  FLat = (FLatSW + FLatNE) / 2;
  FLng = (FLngSW + FLngNE) / 2;
}

// The bounds are kept from the last change of the path (every change goes
// through Update): a draw-list rebuild after a move of the view does not
// walk the points for them again.
void TWyShapeLine::getBounds() {
  if (!FBoundsValid) ComputeLineBounds();
  ProjectPoints();
}

// Screen pixels come from each point's world pixel at zoom 0, kept until the
// path changes: scaled by the exact power of two of the zoom, it is the
// world pixel LatLngToXY computes, bit for bit, without a logarithm per
// point on every move of the view.
bool TWyShapeLine::ProjectXY() {
  if (!FReady || !FWorldInfo) return false;
  const TViewKey key{FWorldInfo->Left(),   FWorldInfo->Top(),  FWorldInfo->Width(),
                     FWorldInfo->Height(), FWorldInfo->Zoom(), FWeight};
  if (!FProjectionDirty && key == FProjectedFor) return false;
  const size_t n = FPoints.size();
  if (FProjectionDirty || FWorld0.size() != 2 * n) {
    FWorld0.resize(2 * n);
    double* w = FWorld0.data();
    for (size_t i = 0; i < n; ++i)
      LatLngToWorldPixel(0, FPoints[i]->Lat(), FPoints[i]->Lng(), w[2 * i], w[2 * i + 1]);
    FWorld0Box = {0, 0, 0, 0};
    if (n > 0) {
      FWorld0Box = {w[0], w[1], w[0], w[1]};
      bool finite = true;
      for (size_t i = 0; i < n; ++i) {
        const double x = w[2 * i], y = w[2 * i + 1];
        finite = finite && std::isfinite(x) && std::isfinite(y);
        FWorld0Box.MinX = std::min(FWorld0Box.MinX, x);
        FWorld0Box.MaxX = std::max(FWorld0Box.MaxX, x);
        FWorld0Box.MinY = std::min(FWorld0Box.MinY, y);
        FWorld0Box.MaxY = std::max(FWorld0Box.MaxY, y);
      }
      // A point without a world pixel (a pole, NaN) fails the range test
      // below: every point then takes the careful way.
      if (!finite) FWorld0Box.MinX = NAN;
    }
  }
  FProjectionDirty = false;
  FProjectedFor = key;
  if (FXYPoints.size() != n) FXYPoints.resize(n);
  const double scale = ZoomScale(FWorldInfo->Zoom());
  const double left = FWorldInfo->Left();
  const double top = FWorldInfo->Top();
  const double* world0 = FWorld0.data();
  QPoint* xy = FXYPoints.data();
  int32_t minX = 0, minY = 0, maxX = 0, maxY = 0;
  // Pixels far inside the int32 range (within 2^30 of the view's corner):
  // every point rounds without a test of its own (adding and removing
  // 1.5 * 2^52 rounds halves to even, as RoundToInt32 does), a loop the
  // compiler turns into vector instructions.
  constexpr double kSafe = 1 << 30;
  const double boxLeft = FWorld0Box.MinX * scale - left, boxRight = FWorld0Box.MaxX * scale - left;
  const double boxTop = FWorld0Box.MinY * scale - top, boxBottom = FWorld0Box.MaxY * scale - top;
  if (n > 0 && boxLeft > -kSafe && boxRight < kSafe && boxTop > -kSafe && boxBottom < kSafe) {
    constexpr double kMagic = 6755399441055744.0;
    for (size_t i = 0; i < n; ++i) {
      xy[i].rx() = static_cast<int>((world0[2 * i] * scale - left + kMagic) - kMagic);
      xy[i].ry() = static_cast<int>((world0[2 * i + 1] * scale - top + kMagic) - kMagic);
    }
    // Rounding keeps the order: the extremes are those of the box.
    minX = std::min(0, RoundPixel(boxLeft));
    maxX = std::max(0, RoundPixel(boxRight));
    minY = std::min(0, RoundPixel(boxTop));
    maxY = std::max(0, RoundPixel(boxBottom));
  } else {
    for (size_t i = 0; i < n; ++i) {
      const int32_t x = RoundPixel(world0[2 * i] * scale - left);
      const int32_t y = RoundPixel(world0[2 * i + 1] * scale - top);
      xy[i] = QPoint(x, y);
      minX = std::min(minX, x);
      minY = std::min(minY, y);
      maxX = std::max(maxX, x);
      maxY = std::max(maxY, y);
    }
  }
  FX = minX;
  FY = minY;
  // Points far outside the view saturate at the int32 limits: the box is
  // computed wide enough not to overflow.
  FW = SaturateToInt32(static_cast<double>(maxX) - minX);
  FH = SaturateToInt32(static_cast<double>(maxY) - minY);
  return true;
}

void TWyShapeLine::ProjectPoints() {
  if (!ProjectXY()) return;
  // A Bezier chain needs every control point; a straight line is cut to
  // what comes near the view.
  if (FLineType == ltBezier) {
    FRuns.clear();
    FDrawRuns.clear();
  } else {
    BuildRuns(FWorldInfo->Width() > 0 && FWorldInfo->Height() > 0);
  }
}

// A run is a stretch of consecutive segments; a vertex on the same pixel as
// the one before it adds nothing to the picture and is skipped (the point
// index kept for the next vertex is the last point of the segment, which is
// what the hover test reports). With `cull`, a segment whose box misses the
// view grown by the pen's width (and a pixel) ends the run.
void TWyShapeLine::BuildRuns(bool cull) {
  FRuns.clear();
  FRunsCulled = cull;
  const size_t n = FXYPoints.size();
  if (n < 2) return;
  const int32_t margin = FWeight + 2;
  FCullLeft = -margin;
  FCullTop = -margin;
  FCullRight = FWorldInfo->Width() + margin;
  FCullBottom = FWorldInfo->Height() + margin;
  TRun run;
  size_t prev = 0;
  // Most points of a long track share the pixel of the one before: that
  // test is one comparison of the pixel's 8 bytes.
  const QPoint* xy = FXYPoints.data();
  auto bits = [xy](size_t i) {
    uint64_t v;
    std::memcpy(&v, &xy[i], sizeof v);
    return v;
  };
  uint64_t prevBits = bits(0);
  for (size_t i = 1; i < n; ++i) {
    const uint64_t here = bits(i);
    if (here == prevBits) continue;
    prevBits = here;
    const QPoint& a = xy[prev];
    const QPoint& b = xy[i];
    const bool near =
        !cull || (std::max(a.x(), b.x()) >= FCullLeft && std::min(a.x(), b.x()) <= FCullRight &&
                  std::max(a.y(), b.y()) >= FCullTop && std::min(a.y(), b.y()) <= FCullBottom);
    if (near) {
      if (run.Points.empty()) {
        run.Points.push_back(a);
        run.Index.push_back(static_cast<int32_t>(prev));
      }
      run.Points.push_back(b);
      run.Index.push_back(static_cast<int32_t>(i));
    } else if (!run.Points.empty()) {
      FRuns.push_back(std::move(run));
      run = TRun();
    }
    prev = i;
  }
  if (!run.Points.empty()) FRuns.push_back(std::move(run));

  // What is drawn also leaves out a vertex that lies on the straight way
  // between its neighbours (exactly, in whole pixels, and going on in the
  // same direction): the picture is the same with fewer vertices. The hover
  // test keeps them, since it reports the point where a segment ends.
  FDrawRuns.clear();
  FDrawRuns.reserve(FRuns.size());
  for (const TRun& source : FRuns) {
    std::vector<QPoint> out;
    out.reserve(source.Points.size());
    for (const QPoint& c : source.Points) {
      while (out.size() >= 2) {
        const QPoint& a = out[out.size() - 2];
        const QPoint& b = out.back();
        const int64_t abx = b.x() - a.x(), aby = b.y() - a.y();
        const int64_t bcx = c.x() - b.x(), bcy = c.y() - b.y();
        if (abx * bcy - aby * bcx != 0 || abx * bcx + aby * bcy <= 0) break;
        out.pop_back();
      }
      out.push_back(c);
    }
    FDrawRuns.push_back(std::move(out));
  }
}

int32_t TWyShapeLine::DrawVertexCount() const {
  size_t n = 0;
  for (const auto& run : FDrawRuns) n += run.size();
  return static_cast<int32_t>(n);
}

bool TWyShapeLine::ShowOnMap() {
  if (!GetVisible() || !FWorldInfo || FPoints.empty()) return false;
  return FLatNE >= FWorldInfo->SouthWestLatitude() && FLatSW <= FWorldInfo->NorthEastLatitude() &&
         FLngNE >= FWorldInfo->SouthWestLongitude() && FLngSW <= FWorldInfo->NorthEastLongitude();
}

// ---------------------------------------------------------------------------
// Drawing and hover

void TWyShapeLine::Draw() {
  if (!FWyCanvas) return;
  ProjectPoints();  // nothing unless the view or the path changed
  FOnMapAtUpdate = true;
  const TColor color = FHover ? FHoverColor : FCOlor;
  if (FLineType == ltBezier) {
    FWyCanvas->Poly(true, FXYPoints, static_cast<int>(FXYPoints.size()), FWeight, color, FPenStyle);
  } else {
    // A very long run is drawn in pieces that share their end vertices: the
    // stroking cost of one huge self-crossing outline grows faster than its
    // length. Where two pieces meet, their caps cover the join.
    std::vector<QPoint>& piece = FDrawPiece;
    for (const auto& run : FDrawRuns) {
      if (run.size() <= kDrawPiece + 1) {
        FWyCanvas->Poly(false, run, static_cast<int>(run.size()), FWeight, color, FPenStyle);
        continue;
      }
      for (size_t i = 0; i + 1 < run.size(); i += kDrawPiece) {
        piece.assign(
            run.begin() + static_cast<std::ptrdiff_t>(i),
            run.begin() + static_cast<std::ptrdiff_t>(std::min(run.size(), i + kDrawPiece + 1)));
        FWyCanvas->Poly(false, piece, static_cast<int>(piece.size()), FWeight, color, FPenStyle);
      }
    }
  }
  TWyShape::Draw();
}

bool TWyShapeLine::SegmentHover(int32_t iX, int32_t iY) {
  const bool inCull = FCullLeft <= iX && iX <= FCullRight && FCullTop <= iY && iY <= FCullBottom;
  if (FLineType != ltBezier && FRunsCulled && inCull) {
    // A segment within Weight of a pointer inside the view reaches the
    // culling box, so the runs hold every candidate, in path order.
    for (const TRun& run : FRuns) {
      for (size_t k = 1; k < run.Points.size(); ++k) {
        const QPoint& a = run.Points[k - 1];
        const QPoint& b = run.Points[k];
        const double d = PointToSegmentDistance(a.x(), a.y(), b.x(), b.y(), iX, iY);
        if (d >= 0 && d <= FWeight) {
          FHOverSeg = run.Index[k];
          return true;
        }
      }
    }
    return false;
  }
  for (size_t i = 0; i + 1 < FXYPoints.size(); ++i) {
    const QPoint& a = FXYPoints[i];
    const QPoint& b = FXYPoints[i + 1];
    const double d = PointToSegmentDistance(a.x(), a.y(), b.x(), b.y(), iX, iY);
    if (d >= 0 && d <= FWeight) {
      FHOverSeg = static_cast<int32_t>(i + 1);
      return true;
    }
  }
  return false;
}

// The box holds the projected points; the pen's width around them counts
// as well, or a pointer just below or right of the line's extreme points
// would miss it.
bool TWyShapeLine::IsHover(int32_t iX, int32_t iY) {
  FHOverSeg = -1;
  ProjectPoints();
  TWyShape::IsHover(iX, iY);  // the pointer relative to the box
  if (iX < FLeft - FWeight || iX > FLeft + FW + FWeight || iY < FTop - FWeight ||
      iY > FTop + FH + FWeight)
    return false;
  return SegmentHover(iX, iY);
}

// ---------------------------------------------------------------------------
// Measures

double TWyShapeLine::Distance() {
  if (FDistance > 0) return FDistance;
  double sum = 0;
  for (size_t i = 1; i < FPoints.size(); ++i)
    sum += DistanceFrom(FPoints[i - 1]->Lat(), FPoints[i - 1]->Lng(), FPoints[i]->Lat(),
                        FPoints[i]->Lng());
  FDistance = sum;
  return sum;
}

// The cached length is in kilometres whatever filled it (a route's metres
// are converted when it is stored), so the end test compares metres with
// metres.
bool TWyShapeLine::getLatLngFromMeter(bool SensStartEnd, int32_t lMeter, double& dLatitude,
                                      double& dLongitude, int32_t& idPoint, int32_t& Heading,
                                      bool& bEnd) {
  if (lMeter < 0) {
    bEnd = true;
    idPoint = 0;
    return false;
  }
  if (lMeter > Distance() * 1000) {
    bEnd = true;
    idPoint = Count() - 1;
    return false;
  }
  bEnd = false;
  if (idPoint < 1) idPoint = 1;
  const int32_t n = Count();
  double before = 0;
  double after = 0;
  int32_t b = 1;
  bool walked = false;
  for (; b < n; ++b) {
    walked = true;
    before = after;
    after += DistanceFrom(FPoints[b - 1]->Lat(), FPoints[b - 1]->Lng(), FPoints[b]->Lat(),
                          FPoints[b]->Lng()) *
             1000;
    if (lMeter < after) {
      idPoint = b - 1;
      break;
    }
  }
  if (SensStartEnd && lMeter > after) {
    after = lMeter;
    bEnd = true;
    idPoint = n - 1;
  } else if (!SensStartEnd && !walked) {
    bEnd = true;
    idPoint = 0;
  }
  const double t = after - before > 0 ? (lMeter - before) / (after - before) : 1;
  if (b <= 0 || b >= n) return true;
  const TWyPointLine& p0 = *FPoints[b - 1];
  const TWyPointLine& p1 = *FPoints[b];
  dLatitude = p0.Lat() + (p1.Lat() - p0.Lat()) * t;
  dLongitude = p0.Lng() + (p1.Lng() - p0.Lng()) * t;
  Heading = SensStartEnd ? bearing(p0.Lat(), p0.Lng(), dLatitude, dLongitude)
                         : bearing(dLatitude, dLongitude, p0.Lat(), p0.Lng());
  return true;
}

// The services' answer is untrusted: it may hold more or fewer values than
// asked for, or values that are not numbers. Only the chunk's own points
// take values, never a point beyond the end of the path.
void TWyShapeLine::getAltitudes(const TOnGetAltitude& Event) {
  TWyShapesGroup* registry = Registry();
  if (!registry || !registry->GeoLocalise()) return;
  const std::weak_ptr<char> life = LifeToken();
  const uint32_t pause = GetTimeoutMs("elevation-pause", 100);
  int32_t p = 0;
  while (p < Count() - 1) {
    const int32_t n = std::min(kAltitudeStep, Count() - 1 - p);
    std::vector<TLatLng> chunk;
    chunk.reserve(static_cast<size_t>(n) + 1);
    for (int32_t i = p; i <= p + n; ++i)
      chunk.push_back(TLatLng{FPoints[i]->Lng(), FPoints[i]->Lat()});
    registry = Registry();
    TWyShapeGeoServices* geo = registry ? registry->GeoLocalise() : nullptr;
    if (!geo) return;
    std::vector<double> altitudes;
    const bool ok = geo->Elevations(chunk, altitudes);
    if (life.expired()) return;
    if (ok) {
      const size_t m = std::min(altitudes.size(), chunk.size());
      for (size_t k = 0; k < m; ++k) {
        const int32_t index = p + static_cast<int32_t>(k);
        if (index >= Count()) break;
        if (!std::isfinite(altitudes[k])) continue;
        FPoints[index]->SetAlt(std::nearbyint(altitudes[k]));  // halves to even
      }
    }
    p += n;
    if (Event) {
      bool cancel = false;
      Event(this, p, cancel);
      if (life.expired() || cancel) return;
    }
    if (pause > 0) {
      WaitProcessing(pause);
      if (life.expired()) return;
    }
  }
}

// ---------------------------------------------------------------------------
// Labels and edit handles

TWyShape* TWyShapeLine::AddLabel(int32_t index, bool active) {
  TWyShapes* aux = FLineShapes;
  const TWyPointLine& point = *FPoints[index];
  const bool end = index == 0 || index == Count() - 1;
  TWyShape* label = nullptr;
  if (point.Text().empty() || !end) {
    TWyShapeMarkerList* markers = aux->Markers();
    label = markers->Items(markers->Add(point.Lat(), point.Lng()));
  } else {
    TWyShapePOIList* pois = aux->Pois();
    TWyShapePOI* poi = pois->Items(pois->Add(point.Lat(), point.Lng()));
    poi->SetPOIShape(poiEllipse);
    poi->SetWidth(kEndLabelSize);
    poi->SetHeight(kEndLabelSize);
    label = poi;
  }
  label->SetClickable(active);
  label->SetDraggable(active);
  label->OnShapeDrag = [this](TObject* sender, TWyShape* item, bool& cancel) {
    DoHandleDrag(sender, item, cancel);
  };
  label->OnShapeDragEnd = [this](TObject* sender) { DoHandleDragEnd(sender); };
  label->OnShapeDblClick = [this](TObject* sender, TWyShape* item) {
    DoHandleDblClick(sender, item);
  };
  label->SetColor(FCOlor);
  label->SetHoverColor(FHoverColor);
  label->SetZIndex(FZindex + kHandleZ);
  label->SetHint(point.Text());
  label->SetTag(index);
  return label;
}

void TWyShapeLine::BuildLineShapes() {
  FHandlesStale = false;
  TWyShapes* aux = FLineShapes;
  if (!aux) return;
  aux->SetSerialize(false);
  aux->BeginUpdate();
  aux->Clear();
  for (int32_t i = 0; i < Count(); ++i)
    if (FEditable || !FPoints[i]->Text().empty()) AddLabel(i, FEditable);
  if (TWyShapes* group = Group()) aux->SetZindex(group->Zindex() + 1);
  aux->SetVisible(LabelsShown() && FVisible);
  aux->SetClickable(FEditable);
  aux->EndUpdate();
}

TWyShape* TWyShapeLine::OwnHandle(TWyShape* Item) const {
  if (!Item || !FLineShapes || Item->Group() != FLineShapes) return nullptr;
  if (Item->Tag() < 0 || Item->Tag() >= Count()) return nullptr;
  return Item;
}

// The map raises the drag event before it moves the handle, so a step
// copies the handle's previous position; the drag end copies the final one.
void TWyShapeLine::DoHandleDrag(TObject*, TWyShape* Item, bool&) {
  TWyShape* handle = OwnHandle(Item);
  if (!handle) return;
  TWyPointLine& point = *FPoints[handle->Tag()];
  point.SetLat(handle->Latitude());
  point.SetLng(handle->Longitude());
  FBoundsValid = false;
  FDistance = 0;
  FArea = 0;
  FRouteDistance = false;
  FPathModified = true;
  Update();
}

void TWyShapeLine::DoHandleDragEnd(TObject* Sender) {
  TWyShape* handle = OwnHandle(dynamic_cast<TWyShape*>(Sender));
  if (!handle) return;
  const TWyPointLine& point = *FPoints[handle->Tag()];
  if (point.Lat() == handle->Latitude() && point.Lng() == handle->Longitude()) return;
  bool cancel = false;
  DoHandleDrag(Sender, handle, cancel);
}

// Deletes the handle's point. The map still holds the handle after this
// event (it goes on to tell its observers about it), so the handle is not
// freed here: it is hidden and disarmed, the other handles are renumbered
// at once, and the rebuild that frees it runs later from the window's
// message queue (or with the next change of the labels, if sooner).
void TWyShapeLine::DoHandleDblClick(TObject*, TWyShape* Item) {
  TWyShape* handle = OwnHandle(Item);
  if (!handle) return;
  const int32_t index = handle->Tag();
  if (TWyShapesGroup* registry = Registry()) {
    if (registry->ShapeHover() == handle) registry->SetShapeHover(nullptr);
    if (registry->ShapeDrag() == handle) registry->SetShapeDrag(nullptr);
  }
  FPoints.erase(FPoints.begin() + index);
  FBoundsValid = false;
  TWyShapes* aux = FLineShapes;
  aux->BeginUpdate();
  handle->SetTag(-1);
  handle->SetClickable(false);
  handle->SetDraggable(false);
  handle->SetVisible(false);
  for (TWyShapeList* list :
       {static_cast<TWyShapeList*>(aux->Markers()), static_cast<TWyShapeList*>(aux->Pois())})
    for (int32_t i = 0; i < list->Count(); ++i) {
      TWyShape* other = list->Items(i);
      if (other->Tag() > index) other->SetTag(other->Tag() - 1);
    }
  aux->EndUpdate();
  FHandlesStale = true;
  FGuard->Post([this] {
    if (FHandlesStale) BuildLineShapes();
  });
  FDistance = 0;
  FArea = 0;
  FRouteDistance = false;
  FPathModified = true;
  Update();
}

void TWyShapeLine::SetRoutePath(const TWyRoutePath* path) {
  if (!path) {
    Clear();
    return;
  }
  FPoints.clear();
  FBoundsValid = false;
  FPoints.reserve(static_cast<size_t>(std::max(path->count(), 0)));
  for (int32_t i = 0; i < path->count(); ++i) {
    const TWyRoutePathPoint* rp = path->Items(i);
    auto point = std::make_unique<TWyPointLine>(rp->Latitude(), rp->Longitude(), rp->Altitude());
    point->SetText(rp->Instructions());
    point->SetDistance(rp->Distance());
    FPoints.push_back(std::move(point));
  }
  // Labels for the points with an instruction (handles in edit mode).
  BuildLineShapes();
  FDuration = path->Duration();
  // The route gives metres; the cache holds kilometres.
  FDistance = path->Distance() / 1000.0;
  FRouteDistance = true;
  FArea = 0;
  FPathModified = true;
  Update();
}

// ===========================================================================
// Polygons

TWyShapePolygone::TWyShapePolygone(TWyShapeList* owner) : TWyShapeLine(owner) {
  FOpacity = 50;
  FCOlor = 0x000000FF;
  FHoverColor = 0x00008000;
  FBorderColor = DarkerColor(FCOlor, 32);
  FHoverBorder = DarkerColor(FHoverColor, 32);
  if (owner) _id = owner->NextId();
}

// The walls and roof carry the polygon as their Item: they go with it,
// whichever way it is freed (Delete, Remove, a list's or group's Clear).
TWyShapePolygone::~TWyShapePolygone() {
  FReady = false;
  TWyShapesGroup* registry = Registry();
  if (FLevelShapes && registry && !registry->Destroying()) FLevelShapes->Clear();
}

// Level groups are named after the polygon's own group as well as its Id,
// since Ids are only unique within one list: two raised polygons of
// different groups must not share (and wipe) one block. The default group
// keeps the plain "level_<Id>" that files saved before this change carry
// (a level group that is still empty is written with the registry's text),
// so those files read back to the same group names; a named group's polygon
// uses "<group>_level_<Id>". The trailing digits are the Id, so no two
// (group, Id) pairs give the same name.
std::string TWyShapePolygone::LevelGroupName(const std::string& group, int32_t id) {
  const std::string suffix = "level_" + std::to_string(id);
  return group.empty() ? suffix : group + "_" + suffix;
}

void TWyShapePolygone::SetFillColor(TColor v) {
  FFillColor = v;
  Update();
}

void TWyShapePolygone::SetStyle(TBrushStyle v) {
  FPolygoneStyle = v;
  Update();
}

void TWyShapePolygone::SetVisible(bool value) {
  TWyShapeLine::SetVisible(value);
  if (FLevelShapes && FLevel > 0) FLevelShapes->SetVisible(value && !FEditable);
}

bool TWyShapePolygone::ShowOnMap() {
  if (!TWyShapeLine::ShowOnMap()) return false;
  return !(FLevel > 0 && FLevelShapes && FLevelShapes->Visible());
}

void TWyShapePolygone::ProjectPoints() {
  if (!ProjectXY()) return;
  FRuns.clear();
  FDrawRuns.clear();
  // The whole outline is needed for the fill; repeated pixels are dropped.
  FOutline.clear();
  FOutline.reserve(FXYPoints.size());
  for (const QPoint& p : FXYPoints)
    if (FOutline.empty() || FOutline.back() != p) FOutline.push_back(p);
}

// Opaque: outline and fill in one go. Translucent: the fill is blended
// first, then the outline (and a hatch) is drawn over it.
void TWyShapePolygone::Draw() {
  if (!FWyCanvas) return;
  ProjectPoints();
  FOnMapAtUpdate = true;
  if (!FOutline.empty()) {
    TWyCanvas& c = *FWyCanvas;
    const TColor brush = FHover ? FHoverColor : FFillColor;
    const Qt::BrushStyle savedStyle = c.Brush().style();
    c.PenWidth(FWeight);
    c.Pen().setStyle(Qt::SolidLine);
    c.SetPenColor(FCOlor);
    c.SetBrushColor(brush);
    if (FOpacity >= 100) {
      c.SetBrushStyle(FPolygoneStyle);
      c.Polygon(FOutline);
    } else {
      c.AlphaBlendPolygon(FOutline, brush, FOpacity);
      c.SetBrushStyle(FPolygoneStyle == bsSolid ? bsClear : FPolygoneStyle);
      c.Polygon(FOutline);
    }
    c.Brush().setStyle(savedStyle);
  }
  TWyShape::Draw();
}

bool TWyShapePolygone::IsHover(int32_t iX, int32_t iY) {
  FHOverSeg = -1;
  ProjectPoints();
  FXHover = iX - FLeft;
  FYHover = iY - FTop;
  const size_t n = FXYPoints.size();
  if (n < 3) return false;
  bool inside = false;
  for (size_t i = 0, j = n - 1; i < n; j = i++) {
    const QPoint& pi = FXYPoints[i];
    const QPoint& pj = FXYPoints[j];
    if ((pi.y() <= iY && iY < pj.y()) || (pj.y() <= iY && iY < pi.y())) {
      const double x =
          pi.x() + static_cast<double>(pj.x() - pi.x()) * (iY - pi.y()) / (pj.y() - pi.y());
      if (iX < x) inside = !inside;
    }
  }
  if (inside) SegmentHover(iX, iY);
  return inside;
}

double TWyShapePolygone::Area() {
  if (Count() < 3) return 0;
  if (FArea != 0) return FArea;
  ComputeLineBounds();
  const size_t n = FPoints.size();
  std::vector<double> x(n), y(n);
  for (size_t i = 0; i < n; ++i) {
    const double lat = FPoints[i]->Lat();
    const double lng = FPoints[i]->Lng();
    x[i] = DistanceFrom(lat, FLngSW, lat, lng);
    y[i] = DistanceFrom(FLatSW, lng, lat, lng);
  }
  double sum = 0;
  for (size_t i = 0; i < n; ++i) {
    const size_t k = (i + 1) % n;
    sum += x[i] * y[k] - x[k] * y[i];
  }
  FArea = std::abs(sum) / 2;
  return FArea;
}

void TWyShapePolygone::SetEditable(bool value) {
  FEditable = value;
  if (FLevelShapes) {
    BuildLevel();
    FLevelShapes->SetVisible(!value && FVisible);
  }
  BuildLineShapes();
  Update();
}

void TWyShapePolygone::SetLevel(int32_t value) {
  if (!FLevelShapes) {
    TWyShapes* group = Group();
    TWyShapesGroup* registry = Registry();
    if (group && registry) FLevelShapes = registry->getShapes(LevelGroupName(group->Name(), _id));
  }
  FLevel = value;
  if (FEditable) {
    FEditable = false;
    BuildLineShapes();
  }
  BuildLevel();
  Update();
}

// Walls from the edges, sorted so that the northernmost (the ones behind,
// seen from the south) are drawn first, then the roof over them.
void TWyShapePolygone::BuildLevel() {
  TWyShapes* level = FLevelShapes;
  if (!level) return;
  level->BeginUpdate();
  level->Clear();
  const size_t n = FPoints.size();
  if (FLevel > 0 && n > 0) {
    level->SetVisible(FVisible);
    level->SetSerialize(false);
    std::vector<TPaireLatLng> edges(n);
    for (size_t i = 0; i < n; ++i) {
      const TWyPointLine& a = *FPoints[i];
      const TWyPointLine& b = *FPoints[(i + 1) % n];
      edges[i].Point1 = TLatLng{a.Lng(), a.Lat()};
      edges[i].Point2 = TLatLng{b.Lng(), b.Lat()};
    }
    std::stable_sort(edges.begin(), edges.end(), [](const TPaireLatLng& e, const TPaireLatLng& f) {
      return std::min(e.Point1.Lat, e.Point2.Lat) > std::min(f.Point1.Lat, f.Point2.Lat);
    });
    const auto raised = [this](const TLatLng& p) {
      double lat = 0, lng = 0;
      LatLonFromDistanceBearing(p.Lat, p.Lng, 0, FLevel, lat, lng);
      return TLatLng{p.Lng, lat};  // due north: the longitude stays
    };
    TWyShapePolygoneList* list = level->Polygones();
    int32_t k = 0;
    for (const TPaireLatLng& e : edges) {
      const TLatLng a2 = raised(e.Point1);
      const TLatLng b2 = raised(e.Point2);
      TWyShapePolygone* wall = list->Items(list->Add(e.Point1.Lat, e.Point1.Lng));
      wall->SetPath(
          {e.Point1.Lat, e.Point1.Lng, a2.Lat, a2.Lng, b2.Lat, b2.Lng, e.Point2.Lat, e.Point2.Lng});
      wall->SetWeight(FWeight);
      wall->SetZIndex(FZindex * 100 + k + 1);
      wall->SetOpacity(static_cast<uint8_t>(FOpacity / 2));
      wall->SetFillColor(FCOlor);
      wall->SetColor(FCOlor);
      wall->SetItem(this);
      ++k;
    }
    std::vector<double> roofPath;
    roofPath.reserve(2 * n);
    for (const auto& p : FPoints) {
      const TLatLng r = raised(TLatLng{p->Lng(), p->Lat()});
      roofPath.push_back(r.Lat);
      roofPath.push_back(r.Lng);
    }
    TWyShapePolygone* roof = list->Items(list->Add(roofPath[0], roofPath[1]));
    roof->SetPath(roofPath);
    roof->SetWeight(FWeight);
    roof->SetZIndex(FZindex * 100 + k + 1);
    roof->SetOpacity(FOpacity);
    roof->SetFillColor(FFillColor);
    roof->SetColor(FCOlor);
    roof->SetStyle(FPolygoneStyle);
    roof->SetItem(this);
  }
  level->EndUpdate();
}

std::string NewTrackKey() {
  static std::atomic<uint64_t> last{0};
  return "t" + std::to_string(++last);
}

std::string TrackKeyOf(const TWyShape& shape) {
  const auto* line = dynamic_cast<const TWyShapeLine*>(&shape);
  return line ? line->TrackKey() : std::string();
}

}  // namespace wy
