#pragma once
// Links an elevation profile to the map that shows its track: the
// profile's cursor is shown as a dot on the map at the same point, its
// selected range as a wide line over the track, and clicking one of the
// track's lines on the map puts the profile's cursor at the point of that
// line nearest to the pointer.
//
// The dot and the highlight live in a group of their own (kLinkGroupName,
// never saved), made again when something cleared it. The link follows the
// map through an observer and takes the profile's OnCursor and OnSelection
// events (OnChange passes them on). A line of the track freed meanwhile is
// simply no longer clickable.
//
// Window thread only.

#include <functional>
#include <memory>
#include <vector>

#include "map/map_observer.h"
#include "shapes/shape_track.h"

namespace wy {

class TVuroduDavControl;
class TTrackProfileWidget;
class TWyShapes;
class TWyShapePOI;
class TWyShapeLine;

class TTrackProfileLink {
 public:
  static constexpr const char* kLinkGroupName = "_track_profile";

  TTrackProfileLink(TVuroduDavControl* map, TTrackProfileWidget* profile);
  ~TTrackProfileLink();
  TTrackProfileLink(const TTrackProfileLink&) = delete;
  TTrackProfileLink& operator=(const TTrackProfileLink&) = delete;

  // Shows `track` in the profile, in the colour of its first line.
  void SetTrack(const TLineTrack& track);
  // Empties the profile and takes the dot and the highlight off the map.
  void Clear();
  const TLineTrack& Track() const { return FTrack; }

  // The map shapes that show the profile's cursor and selection, null
  // before the first use or once freed (tests).
  TWyShapePOI* CursorDot() const;
  TWyShapeLine* Highlight() const;

  // After the cursor or the selection of the profile changed (and the map
  // followed).
  std::function<void()> OnChange;

 private:
  void ShowCursor();
  void ShowSelection();
  void ShapeClicked(void* shape);
  TWyShapes* Group();

  TVuroduDavControl* FMap;
  TTrackProfileWidget* FProfile;
  std::unique_ptr<TVuroduDavObserver> FObserver;
  TLineTrack FTrack;
  std::vector<std::weak_ptr<char>> FLineLives;  // of FTrack.Lines
  TWyShapePOI* FDot = nullptr;
  std::weak_ptr<char> FDotLife;
  TWyShapeLine* FHighlight = nullptr;
  std::weak_ptr<char> FHighlightLife;
};

}  // namespace wy
