#include "map/track_profile_link.h"

#include <QColor>
#include <cmath>
#include <limits>
#include <vector>

#include "geo/ellipsoid_distance.h"
#include "graphics/track_profile_widget.h"
#include "map/map_control.h"
#include "shapes/shape_line.h"
#include "shapes/shape_list.h"
#include "shapes/shape_poi.h"
#include "shapes/shapes_group.h"

namespace wy {

namespace {

constexpr int32_t kDotSize = 14;
constexpr uint8_t kHighlightWeight = 8;
constexpr TColor kDotColor = 0x00202020;        // BGR, as the shapes take colours
constexpr TColor kHighlightColor = 0x00FF781E;  // a blue
constexpr int32_t kLinkZIndex = 1000;

QColor QColorOf(TColor c) {
  return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

}  // namespace

TTrackProfileLink::TTrackProfileLink(TVuroduDavControl* map, TTrackProfileWidget* profile)
    : FMap(map), FProfile(profile), FObserver(std::make_unique<TVuroduDavObserver>()) {
  FObserver->OnMapShapeClick = [this](void* shape) { ShapeClicked(shape); };
  FObserver->OnMapFree = [this](void*) { FMap = nullptr; };
  FMap->Attach(FObserver.get());
  FProfile->OnCursor = [this](TTrackProfileWidget*) {
    ShowCursor();
    if (OnChange) OnChange();
  };
  FProfile->OnSelection = [this](TTrackProfileWidget*) {
    ShowSelection();
    if (OnChange) OnChange();
  };
}

TTrackProfileLink::~TTrackProfileLink() {
  FProfile->OnCursor = nullptr;
  FProfile->OnSelection = nullptr;
  if (!FMap) return;
  FMap->Detach(FObserver.get());
  Group()->Clear();
}

TWyShapes* TTrackProfileLink::Group() {
  TWyShapes* group = FMap->ShapesGroup().getShapes(kLinkGroupName);
  if (group->Serialize()) {  // new: above every other group, never saved
    group->SetSerialize(false);
    group->SetZindex(kLinkZIndex);
  }
  return group;
}

TWyShapePOI* TTrackProfileLink::CursorDot() const {
  return FDotLife.expired() ? nullptr : FDot;
}

TWyShapeLine* TTrackProfileLink::Highlight() const {
  return FHighlightLife.expired() ? nullptr : FHighlight;
}

void TTrackProfileLink::SetTrack(const TLineTrack& track) {
  FTrack = track;
  FLineLives.clear();
  for (TWyShapeLine* line : FTrack.Lines) FLineLives.push_back(line->LifeToken());
  if (!FTrack.Lines.empty()) FProfile->SetColor(QColorOf(FTrack.Lines.front()->Color()));
  FProfile->SetTrack(FTrack.Track);
  if (TWyShapePOI* dot = CursorDot()) dot->SetVisible(false);
  if (TWyShapeLine* highlight = Highlight()) highlight->SetVisible(false);
}

void TTrackProfileLink::Clear() {
  FTrack = TLineTrack();
  FLineLives.clear();
  FProfile->SetTrack(TTrack());
  if (FMap) Group()->Clear();
}

void TTrackProfileLink::ShowCursor() {
  if (!FMap) return;
  const long index = FProfile->CursorIndex();
  if (index < 0 || static_cast<size_t>(index) >= FTrack.Track.Points.size()) {
    if (TWyShapePOI* dot = CursorDot()) dot->SetVisible(false);
    return;
  }
  const TTrackPoint& p = FTrack.Track.Points[static_cast<size_t>(index)];
  if (!CursorDot()) {
    TWyShapePOIList* pois = Group()->Pois();
    FDot = pois->Items(pois->Add(p.Lat, p.Lng));
    FDotLife = FDot->LifeToken();
    FDot->SetPOIShape(poiEllipse);
    FDot->SetWidth(kDotSize);
    FDot->SetHeight(kDotSize);
    FDot->SetColor(kDotColor);
    FDot->SetClickable(false);
    FDot->SetZIndex(kLinkZIndex + 1);
  }
  FDot->SetVisible(true);
  FDot->SetPosition(p.Lat, p.Lng);
}

void TTrackProfileLink::ShowSelection() {
  if (!FMap) return;
  const TTrackProfilePainter& profile = FProfile->Profile();
  if (!profile.HasSelection() || profile.Count() != FTrack.Track.Points.size()) {
    if (TWyShapeLine* highlight = Highlight()) highlight->SetVisible(false);
    return;
  }
  // The range as one path; across a gap between segments it is drawn
  // joined, which a highlight may be.
  std::vector<double> path;
  const std::vector<TTrackPoint>& points = FTrack.Track.Points;
  path.reserve((profile.SelectionLast() - profile.SelectionFirst() + 1) * 2);
  for (size_t i = profile.SelectionFirst(); i <= profile.SelectionLast(); ++i) {
    path.push_back(points[i].Lat);
    path.push_back(points[i].Lng);
  }
  if (path.size() == 2) {  // one point: a dot-sized stroke
    path.push_back(path[0]);
    path.push_back(path[1]);
  }
  if (Highlight()) {
    FHighlight->Clear();
  } else {
    TWyShapeLineList* lines = Group()->Lines();
    FHighlight = lines->Items(lines->Add(path[0], path[1]));
    FHighlightLife = FHighlight->LifeToken();
    FHighlight->Clear();
    FHighlight->SetWeight(kHighlightWeight);
    FHighlight->SetColor(kHighlightColor);
    FHighlight->SetOpacity(70);
    FHighlight->SetClickable(false);
    FHighlight->SetZIndex(kLinkZIndex);
  }
  FHighlight->SetPath(path);
  FHighlight->SetVisible(true);
}

void TTrackProfileLink::ShapeClicked(void* sender) {
  auto* shape = static_cast<TWyShape*>(sender);
  if (!shape || !FMap || FTrack.Lines.empty()) return;
  // One of the track's lines, still alive; a label or handle of a line
  // stands for the line.
  auto ours = [this](TWyShapeLine* line) {
    for (size_t i = 0; i < FTrack.Lines.size(); ++i)
      if (line && FTrack.Lines[i] == line && !FLineLives[i].expired()) return true;
    return false;
  };
  auto* line = dynamic_cast<TWyShapeLine*>(shape);
  if (!ours(line)) line = dynamic_cast<TWyShapeLine*>(shape->Item());
  if (!ours(line)) return;
  // The point of that line nearest to the pointer.
  const TLatLng at = FMap->MouseLatLng();
  int32_t best = 0;
  double bestDistance = std::numeric_limits<double>::infinity();
  for (int32_t i = 0; i < line->Count(); ++i) {
    const TWyPointLine& p = *line->getPoints(i);
    const double d = EllipsoidDistanceM(at.Lat, at.Lng, p.Lat(), p.Lng());
    if (d < bestDistance) {
      bestDistance = d;
      best = i;
    }
  }
  size_t index = 0;
  if (!FTrack.PointOfLine(line, best, index)) return;
  FProfile->SetCursorIndex(static_cast<long>(index));
  ShowCursor();
  if (OnChange) OnChange();
}

}  // namespace wy
