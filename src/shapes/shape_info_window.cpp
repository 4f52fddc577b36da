#include "shapes/shape_info_window.h"

#include <QFontMetrics>
#include <algorithm>
#include <memory>

#include "shapes/shape_list.h"
#include "shapes/shape_marker.h"
#include "shapes/shapes_group.h"

namespace wy {

namespace {

// The body text is 8 points at 96 dpi (11 pixels), whatever the screen.
void SetBodyFont(TWyCanvas& c) {
  SetFontPointSize(c.Font(), 8, 96);
}

bool HasPrefix(const std::string& text, const char* prefix) {
  const std::string lowerPrefix = prefix;
  return text.size() > lowerPrefix.size() &&
         LowerAZ(text.substr(0, lowerPrefix.size())) == lowerPrefix;
}

// The placeholder of `filename` in `markers`, compared byte for byte (web
// paths and Base64 text are case-sensitive); -1 if none.
int32_t PlaceholderIndex(const TWyShapeMarkerList& markers, const std::string& filename,
                         const TWyShape* window) {
  for (int32_t i = 0; i < markers.Count(); ++i) {
    const TWyShapeMarker* m = markers.Items(i);
    if (m->Item() == window && m->Filename() == filename) return i;
  }
  return -1;
}

}  // namespace

TWyShapeInfoWindow::TWyShapeInfoWindow(TWyShapeList* owner) : TWyShape(owner) {
  FRotation = true;
  FW = 180;
  FH = 250;
  FCOlor = 0x00FFFFFF;
  FBorderColor = cl3DLight;
  if (owner) _id = owner->NextId();
  if (TWyShapesGroup* registry = Registry()) {
    FShapes = registry->getShapes("_infowindow_" + std::to_string(_id));
    FShapes->SetZindex(10);
  }
}

// The placeholders point back at the window (their Item), so they may not
// outlive it. Only this window's placeholders go: windows of other groups
// may share the auxiliary group's name.
TWyShapeInfoWindow::~TWyShapeInfoWindow() {
  TWyShapesGroup* registry = Registry();
  if (!FShapes || !registry || registry->Destroying()) return;
  TWyShapeMarkerList* markers = FShapes->Markers();
  FShapes->BeginUpdate();
  for (int32_t i = markers->Count(); i-- > 0;)
    if (markers->Items(i)->Item() == this) markers->Delete(i);
  FShapes->EndUpdate();
}

void TWyShapeInfoWindow::SetVisible(bool value) {
  TWyShapesGroup* registry = Registry();
  if (!value && FVisible && FShapes && registry && !registry->Destroying()) {
    TWyShapeMarkerList* markers = FShapes->Markers();
    FShapes->BeginUpdate();
    for (int32_t i = markers->Count(); i-- > 0;)
      if (markers->Items(i)->Item() == this) markers->Delete(i);
    FShapes->EndUpdate();
  }
  TWyShape::SetVisible(value);
}

void TWyShapeInfoWindow::SetZIndex(int32_t value) {
  if (FShapes) FShapes->SetZindex(value + 10);
  TWyShape::SetZIndex(value);
}

void TWyShapeInfoWindow::SetWidth(int32_t value) {
  FW = value;
  Update();
}

void TWyShapeInfoWindow::SetContent(const std::string& v) {
  FContent = v;
  Update();
}

bool TWyShapeInfoWindow::CloseButton() const {
  return FCloseButton && !(FWorldInfo && FWorldInfo->RotationAngle() != 0 && FRotation);
}

void TWyShapeInfoWindow::SetCloseButton(bool v) {
  if (v == FCloseButton) return;
  FCloseButton = v;
  Update();
}

void TWyShapeInfoWindow::SetStyle(TInfoWindowStyle v) {
  if (v == FInfoWindowStyle) return;
  FInfoWindowStyle = v;
  Update();
}

void TWyShapeInfoWindow::getBounds() {
  if (!FWorldInfo) return;
  ProjectPosition();
  FLeft = FX + FXAnchor - FW / 2;
  FTop = FY + FYAnchor - FH;
}

bool TWyShapeInfoWindow::ShowOnMap() {
  if (!GetVisible() || !FWorldInfo) return false;
  return FLeft <= FWorldInfo->Width() && FLeft + FW >= 0 && FTop <= FWorldInfo->Height() &&
         FTop + FH >= 0;
}

// ---- pointer

bool TWyShapeInfoWindow::InCloseZone(int32_t x, int32_t y) const {
  return CloseButton() && x >= FLeft + FW - 14 && x <= FLeft + FW && y >= FTop && y <= FTop + 14;
}

int32_t TWyShapeInfoWindow::HotSpotAt(int32_t x, int32_t y) const {
  // Last to first: a later piece is drawn over an earlier one.
  for (size_t i = FHotSpots.size(); i-- > 0;)
    if (FHotSpots[i].isHit(x, y)) return static_cast<int32_t>(i);
  return -1;
}

bool TWyShapeInfoWindow::IsHover(int32_t iX, int32_t iY) {
  const bool r = TWyShape::IsHover(iX, iY);
  isHit(iX, iY);
  return r;
}

// A change of the answer, or of whether the pointer is on the close button,
// is notified; the same answer again changes nothing (no repaint).
bool TWyShapeInfoWindow::isHit(int32_t x, int32_t y) {
  const bool wasClose = FHitCloseButton;
  FHitCloseButton = InCloseZone(x, y);
  FHitHotSPot = FHitCloseButton ? -1 : HotSpotAt(x, y);
  const bool r = FHitCloseButton || FHitHotSPot >= 0;
  if (r != FHit || wasClose != FHitCloseButton) {
    FHit = r;
    Update();
  }
  return r;
}

// Handlers run last and on copies: they may free the window.
bool TWyShapeInfoWindow::HandleClick(int32_t x, int32_t y) {
  TWyShapesGroup* registry = Registry();
  if (InCloseZone(x, y)) {
    const std::weak_ptr<char> life = LifeToken();
    SetVisible(false);
    if (!life.expired() && registry && registry->OnCloseInfoWindow) {
      const TNotifyEvent handler = registry->OnCloseInfoWindow;
      handler(this);
    }
    return true;
  }
  const int32_t spot = HotSpotAt(x, y);
  if (spot < 0) return false;
  // The address exactly as written in the content: what it may open is the
  // map's decision.
  const std::string url = FHotSpots[spot].Url();
  if (registry && registry->OnHotSpot) {
    const TOnHotSpot handler = registry->OnHotSpot;
    handler(this, url);
  }
  return true;
}

// ---- content

bool TWyShapeInfoWindow::IsLoadableImage(const std::string& Filename) {
  return HasPrefix(Filename, "http://") || HasPrefix(Filename, "https://") ||
         HasPrefix(Filename, "data:");
}

void TWyShapeInfoWindow::AddHotSpot(int x, int y, int l, int h, const std::string& anchor) {
  FHotSpots.emplace_back(x, y, l, h, anchor);
}

// Called by the layout for each image of the content; x = y = -1 asks for
// the size only, otherwise the image is about to be drawn at (x, y) with
// size (l, h).
//  - Addresses other than http, https and data: get no image and load
//    nothing (the layout leaves an empty place).
//  - The image is there: it is handed to the layout and the window's
//    placeholder for it, if any, goes; a size query gets the missing sides.
//  - It is not there (the pool queued it) and is about to be drawn: a
//    placeholder marker without waiting bar is put at the image's place in
//    the auxiliary group, once per address; it keeps asking the pool.
// Only a placeholder that comes or goes counts as a change of the window.
void TWyShapeInfoWindow::DoGetDrawGraphic(const std::string& Filename, const QImage*& gfx, int x,
                                          int y, int& l, int& h) {
  gfx = nullptr;
  TWyShapesGroup* registry = Registry();
  if (!registry || !IsLoadableImage(Filename)) return;
  const bool sizeQuery = x == -1 && y == -1;
  auto kept = FFrameImages.find(Filename);
  if (kept == FFrameImages.end()) {
    QImage image = registry->GetGraphic(Filename);
    if (!image.isNull()) kept = FFrameImages.emplace(Filename, std::move(image)).first;
  }
  TWyShapeMarkerList* markers = FShapes ? FShapes->Markers() : nullptr;
  if (kept != FFrameImages.end()) {
    gfx = &kept->second;
    if (markers) {
      const int32_t index = PlaceholderIndex(*markers, Filename, this);
      if (index >= 0) {
        markers->Delete(index);
        FPlaceholdersChanged = true;
      }
    }
    if (sizeQuery) {
      if (l <= 0) l = gfx->width();
      if (h <= 0) h = gfx->height();
    }
    return;
  }
  if (sizeQuery || !markers || !FWorldInfo || PlaceholderIndex(*markers, Filename, this) >= 0)
    return;
  double lat = 0, lng = 0;
  FWorldInfo->XYToLatLng(x + (l - 32) / 2 + 16, y + (h - 32) / 2 + 24, lat, lng);
  TWyShapeMarker* marker = markers->Items(markers->Add(lat, lng));
  if (!marker) return;
  marker->SetWaitAnimation(false);
  marker->SetSerialize(false);
  // Hovering the placeholder is hovering the window.
  marker->SetItem(this);
  marker->SetFilename(Filename);
  FPlaceholdersChanged = true;
}

bool TWyShapeInfoWindow::LayoutContent(TRect& rect, uint32_t flags, bool withHotSpots) {
  TWyCanvas& c = *FWyCanvas;
  const TGetDrawGraphic graphic = [this](const std::string& filename, const QImage*& gfx, int x,
                                         int y, int& l,
                                         int& h) { DoGetDrawGraphic(filename, gfx, x, y, l, h); };
  TGetAreaAnchor area;
  if (withHotSpots)
    area = [this](int x, int y, int l, int h, const std::string& anchor) {
      AddHotSpot(x, y, l, h, anchor);
    };
  return c.DrawHTML(FContent, rect, flags, graphic, area);
}

// The height follows the content: the laid-out height + 30, + 20 with a
// close button. The layout is the one drawn (the window's flags), measured
// without drawing.
void TWyShapeInfoWindow::MeasureContent() {
  if (!FWyCanvas) return;
  {
    TCanvasFontScope font(*FWyCanvas);
    SetBodyFont(*FWyCanvas);
    TRect rect{0, 0, FW - 4, FH};
    LayoutContent(rect, FckqFlags | ckqMeasureOnly, false);
    FH = std::max(rect.Bottom, 0) + 30 + (CloseButton() ? 20 : 0);
  }
  getBounds();
}

void TWyShapeInfoWindow::Draw() {
  if (!FWyCanvas || !FWorldInfo) return;
  TWyCanvas& c = *FWyCanvas;
  FPlaceholdersChanged = false;
  FFrameImages.clear();
  {
    TCanvasFontScope font(c);
    SetBodyFont(c);
    getBounds();
    ClearHotSpots();
    MeasureContent();
    const int32_t contentHeight = FH - 30 - (CloseButton() ? 20 : 0);

    c.PenWidth(1);
    c.Pen().setStyle(Qt::SolidLine);
    c.Brush().setStyle(Qt::SolidPattern);
    c.SetBrushColor(FCOlor);
    c.SetPenColor(FBorderColor);
    if (FInfoWindowStyle == iwsRectangle)
      c.Rectangle(FLeft, FTop, FLeft + FW, FTop + FH);
    else
      c.RoundRect(FLeft, FTop, FLeft + FW, FTop + FH, 10, 10);
    // The tip, then a line in the body colour over the border between them.
    const int ax = FX + FXAnchor;
    const int b = FTop + FH - 1;
    c.Polygon({{ax - 12, b}, {ax + 12, b}, {ax, FY + FYAnchor + 6}});
    c.SetPenColor(FCOlor);
    c.moveto(ax - 12, b);
    c.lineto(ax + 12, b);

    c.Brush().setStyle(Qt::NoBrush);
    int header = 0;  // bottom of the close button below Top
    if (CloseButton()) {
      c.Font().setBold(true);
      c.SetFontColor(FHover && FHitCloseButton ? DarkerColor(FBorderColor, 200) : FBorderColor);
      c.TextOut(FLeft + FW - 12, FTop + 3, "X");
      header = 3 + c.TextHeight("X");
      c.Font().setBold(false);
    }
    // The content block sits centred between the close button (or the top
    // edge) and the bottom edge; with a close button that is 20 pixels
    // below the button's text. The layout puts the first baseline on the
    // rectangle's top, so the rectangle starts one ascent lower.
    c.SetFontColor(DarkerColor(FCOlor, 200));
    const int top = FTop + (FH + header - contentHeight) / 2;
    TRect box{FLeft, top + QFontMetrics(c.Font()).ascent(), FLeft + FW - 4, FTop + FH};
    ClearHotSpots();
    LayoutContent(box, FckqFlags, true);
    c.Brush().setStyle(Qt::SolidPattern);
  }
  FFrameImages.clear();
  if (FPlaceholdersChanged) {
    FPlaceholdersChanged = false;
    Update();
  }
  TWyShape::Draw();
}

}  // namespace wy
