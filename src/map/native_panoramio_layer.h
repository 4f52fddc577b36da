#pragma once
// The photo layer: geotagged photos of the visible area as markers in the
// map's group "_panoramio_" (not saved with the map, below the other groups,
// clickable, hidden at start), each with the photo's small square picture as
// icon and its title as hint. After every end of a move (at most one search
// per kThrottleMs) the first page of the visible area is asked for; photos
// found earlier stay on the map and a photo already shown is not added
// again.
//
// A click on a photo opens the layer's info window on it (title, picture,
// owner and the credit link; in a group of its own over the other groups,
// named after the layer's + "_info") and raises OnPanoramioClick with the
// details.
//
// Window thread only. The layer may outlive the map (see TWyNativeLayer).

#include <functional>
#include <memory>
#include <string>

#include "map/native_layer.h"
#include "services/native_panoramio.h"

namespace wy {

class TWyShapeInfoWindow;

// The details of one photo, attached to (and owned by) its marker.
class TWyPanoramioItem : public TObject {
 public:
  std::string OwnerId;
  std::string OwnerName;
  std::string PhotoDate;
  std::string PhotoId;
  double Longitude = 0;
  double Latitude = 0;
  std::string PhotoTitle;
  std::string PhotoUrl;
  std::string HtmlCopyright;
};

class TWyNativePanoramioLayer : public TWyNativeLayer {
 public:
  static constexpr uint32_t kThrottleMs = 250;
  static constexpr const char* kGroupName = "_panoramio_";
  // Marker colour (0x00BBGGRR).
  static constexpr uint32_t kMarkerColor = 0xFF9F40;

  using TOnPanoramioClick = std::function<void(
      TObject* Sender, TWyShape* Item, const std::string& ownerId, const std::string& ownerName,
      const std::string& PhotoId, const std::string& PhotoDate, const std::string& PhotoTitle,
      const std::string& PhotoUrl, const std::string& copyright)>;

  TWyNativePanoramioLayer(TVuroduDavControl* _FMap, const std::string& Name = kGroupName);
  ~TWyNativePanoramioLayer() override;

  // Shows or hides the photos; showing searches the visible area.
  void SetVisible(bool value) override;
  TWyNativePanoramio& Panoramio() { return *FPanoramio; }
  // The info window a click opens; null before the first click.
  TWyShapeInfoWindow* InfoWindow() const;

  // A page of photos arrived while the layer is visible; sender: the layer.
  TNotifyEvent OnPanoramio;
  TOnPanoramioClick OnPanoramioClick;

 protected:
  void MapEndMove(void* Sender) override;
  void ShapeClick(void* Sender) override;

 private:
  // The group of the info window (the layer's name + "_info"), made on
  // first use; null without a map.
  TWyShapes* InfoGroup() const;
  void PageArrived();
  void ShowInfo(const TWyPanoramioItem& item, TWyShape* marker);

  std::unique_ptr<TWyNativePanoramio> FPanoramio;
  uint32_t FLastPanoramioSearch = 0;
  bool FSearched = false;
};

}  // namespace wy
