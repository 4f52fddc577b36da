#include "shapes/shape_info_window.h"

#include <algorithm>
#include <vector>

#include "shapes/shape_list.h"
#include "shapes/shapes_group.h"

namespace wy {

namespace {

// The content as lines of plain text: <br> and line feeds break lines,
// other tags are dropped.
std::vector<std::string> PlainLines(const std::string& html) {
  std::vector<std::string> lines(1);
  for (size_t i = 0; i < html.size(); ++i) {
    const char c = html[i];
    if (c == '<') {
      const size_t end = html.find('>', i);
      if (end == std::string::npos) break;
      std::string tag = LowerAZ(html.substr(i + 1, end - i - 1));
      if (tag.rfind("br", 0) == 0) lines.emplace_back();
      i = end;
    } else if (c == '\n') {
      lines.emplace_back();
    } else if (c != '\r') {
      lines.back() += c;
    }
  }
  return lines;
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

void TWyShapeInfoWindow::SetVisible(bool value) {
  TWyShapesGroup* registry = Registry();
  if (FShapes && registry && !registry->Destroying()) FShapes->Clear();
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
  FWorldInfo->LatLngToXY(FLat, FLng, FX, FY);
  FLeft = FX + FXAnchor - FW / 2;
  FTop = FY + FYAnchor - FH;
}

bool TWyShapeInfoWindow::ShowOnMap() {
  if (!GetVisible() || !FWorldInfo) return false;
  return FLeft <= FWorldInfo->Width() && FLeft + FW >= 0 && FTop <= FWorldInfo->Height() &&
         FTop + FH >= 0;
}

bool TWyShapeInfoWindow::IsHover(int32_t iX, int32_t iY) {
  const bool r = TWyShape::IsHover(iX, iY);
  isHit(iX, iY);
  return r;
}

bool TWyShapeInfoWindow::isHit(int32_t, int32_t) {
  FHitCloseButton = false;
  FHitHotSPot = -1;
  if (FHit) {
    FHit = false;
    Update();
  }
  return false;
}

bool TWyShapeInfoWindow::HandleClick(int32_t, int32_t) {
  return false;
}

void TWyShapeInfoWindow::Draw() {
  if (!FWyCanvas || !FWorldInfo) return;
  TWyCanvas& c = *FWyCanvas;
  c.SaveCanvas();
  c.Font().setPointSize(8);
  std::vector<std::string> lines = PlainLines(FContent);
  if (lines.size() == 1 && lines[0].empty()) lines.clear();
  const int lineHeight = c.TextHeight("Hy");
  const bool close = CloseButton();
  FH = static_cast<int32_t>(lines.size()) * lineHeight + 30 + (close ? 20 : 0);
  getBounds();

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
  int y0 = 20;
  if (close) {
    c.Font().setBold(true);
    c.SetFontColor(FBorderColor);
    c.TextOut(FLeft + FW - 12, FTop + 3, "X");
    y0 = c.TextHeight("X") + 20;
    c.Font().setBold(false);
  }
  c.SetFontColor(DarkerColor(FCOlor, 200));
  const TRect box{FLeft, FTop + y0, FLeft + FW - 4, FTop + FH};
  int y = box.Top;
  for (const std::string& line : lines) {
    int x = FLeft + 2;
    if (FckqFlags & ckqAlignRight)
      x = box.Right - c.TextWidth(line);
    else if (FckqFlags & ckqAlignCenter)
      x = FLeft + (FW - 4 - c.TextWidth(line)) / 2;
    c.TextRect(box, x, y, line);
    y += lineHeight;
  }
  c.Brush().setStyle(Qt::SolidPattern);
  c.RestoreCanvas();
  TWyShape::Draw();
}

}  // namespace wy
