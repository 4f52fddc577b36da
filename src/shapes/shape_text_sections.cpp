// The sections of the shape text format: the lists' records, a group's
// sections and the registry's text.
//
// Registry text, every line ended by CR LF:
//   (an empty line)
//   [groupes]
//   name=;minzoom=2;maxzoom=18;clickable=true;zindex=0      one per group
//   ...
//   the text of each group, in the same order, each followed by CR LF
// A group's text is its non-empty sections "[pois]", "[markers]",
// "[polylines]", "[polygones]", "[infowindows]" (with the group's name and
// "." in front of the section name when the registry writes or reads, as in
// "[roads.markers]"), the records of each trimmed, the "[pois]" section
// starting the text and every other section added after a line break; so a
// group text has no final line break.
//
// The text is indexed once per read (TWyMapDataFile): every group takes its
// sections from the same index, so reading is linear in the size of the
// text however many groups it names.

#include <algorithm>
#include <map>

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "formats/map_data_file.h"
#include "formats/param_parser.h"
#include "geo/flag_scope.h"
#include "geo/text_convert.h"
#include "shapes/shape.h"
#include "shapes/shape_info_window.h"
#include "shapes/shape_line.h"
#include "shapes/shape_list.h"
#include "shapes/shape_marker.h"
#include "shapes/shape_poi.h"
#include "shapes/shapes_group.h"

namespace wy {

namespace {

constexpr const char* kCrLf = "\r\n";

bool IsBlankChar(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsBlankLine(std::string_view line) {
  for (char c : line)
    if (!IsBlankChar(c)) return false;
  return true;
}

// The non-blank lines of a text (line breaks CR LF, LF or CR).
std::vector<std::string_view> RecordLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const size_t end = text.find_first_of("\r\n");
    const std::string_view line = text.substr(0, end);
    if (!IsBlankLine(line)) lines.push_back(line);
    if (end == std::string_view::npos) break;
    size_t next = end + 1;
    if (text[end] == '\r' && next < text.size() && text[next] == '\n') ++next;
    text.remove_prefix(next);
  }
  return lines;
}

// The class name a shape's kind is reported with while it is read.
const char* ShapeClassName(const TWyShape* shape) {
  if (dynamic_cast<const TWyShapePolygone*>(shape)) return "TWyShapePolygone";
  if (dynamic_cast<const TWyShapeLine*>(shape)) return "TWyShapeLine";
  if (dynamic_cast<const TWyShapeMarker*>(shape)) return "TWyShapeMarker";
  if (dynamic_cast<const TWyShapePOI*>(shape)) return "TWyShapePOI";
  return "TWyShapeInfoWindow";
}

}  // namespace

// ---------------------------------------------------------------------------
// Lists

std::string TWyShapeList::GetToTxt() {
  std::string out;
  AppendTxt(out);
  return out;
}

void TWyShapeList::AppendTxt(std::string& out) {
  for (const auto& shape : FList) {
    if (!shape->Serialize()) continue;
    shape->AppendTxt(out);
    out += kCrLf;
  }
}

// One shape per non-blank line, in order. Points, markers, lines and
// polygons read their line and are appended, then the registry's
// OnLoadShapes reports (and may cancel); info windows are appended first
// (their auxiliary group takes their place in the list) and report nothing.
void TWyShapeList::SetToTxt(const std::string& value) {
  const std::vector<std::string_view> lines = RecordLines(value);
  TWyShapesGroup* registry = FParent ? FParent->Owner() : nullptr;
  const bool appendFirst = dynamic_cast<TWyShapeInfoWindowList*>(this) != nullptr;
  const int32_t count = static_cast<int32_t>(lines.size());
  // Track keys tell the parts of one track apart within the text read;
  // they are made new here, so that two files read into one group never
  // share one.
  std::map<std::string, std::string> trackKeys;
  for (int32_t i = 0; i < count; ++i) {
    std::unique_ptr<TWyShape> created = NewShape();
    TWyShape* shape = created.get();
    shape->FWorldInfo = FWorldInfo;
    const TWyParamParser parser(lines[i]);
    if (appendFirst) {
      AddItem(std::move(created));
      shape->FromTxt(parser);
      continue;
    }
    shape->FromTxt(parser);
    if (auto* line = dynamic_cast<TWyShapeLine*>(shape); line && !line->TrackKey().empty()) {
      std::string& key = trackKeys[line->TrackKey()];
      if (key.empty()) key = NewTrackKey();
      line->SetTrackKey(key);
    }
    AddItem(std::move(created));
    if (registry && registry->OnLoadShapes) {
      TWyShapesHost* host = registry->Parent();
      bool cancel = registry->CancelLoad();
      const TOnLoadShapes handler = registry->OnLoadShapes;
      handler(host ? host->EventSender() : nullptr, ShapeClassName(shape), i + 1, count, cancel);
      registry->SetCancelLoad(cancel);
      if (cancel) break;
    }
  }
}

// ---------------------------------------------------------------------------
// Groups

std::string TWyShapes::SectionPrefix() const {
  if (!FOwner || !FOwner->SerializeGroup() || FName.empty()) return "";
  return LowerAZ(FName) + ".";
}

std::string TWyShapes::GetToTxt() {
  std::string out;
  AppendTxt(out);
  return out;
}

// Each section is appended with its header, its records trimmed in place,
// and taken back when nothing is left of them.
void TWyShapes::AppendTxt(std::string& out) {
  if (!FSerialize) return;
  const std::string prefix = SectionPrefix();
  const std::pair<const char*, TWyShapeList*> sections[] = {{"pois", FPois.get()},
                                                            {"markers", FMarkers.get()},
                                                            {"polylines", FLines.get()},
                                                            {"polygones", FPolys.get()},
                                                            {"infowindows", FInfoWindows.get()}};
  for (const auto& section : sections) {
    const size_t sectionStart = out.size();
    // The POI section starts the text; the others follow a line break.
    if (section.second != FPois.get()) out += kCrLf;
    out += "[" + prefix + section.first + "]" + kCrLf;
    const size_t recordsStart = out.size();
    section.second->AppendTxt(out);
    while (out.size() > recordsStart && IsBlankChar(out.back())) out.pop_back();
    size_t first = recordsStart;
    while (first < out.size() && IsBlankChar(out[first])) ++first;
    if (first == out.size())
      out.resize(sectionStart);
    else if (first > recordsStart)
      out.erase(recordsStart, first - recordsStart);
  }
}

void TWyShapes::SetToTxt(const std::string& value) {
  const TWyMapDataFile file(value);
  ReadTxt(file);
}

// Only a group with a parent window reads (it has somewhere to show what it
// reads); every group ends its loading state. The kinds are read in the
// order POIs, markers, lines, polygons, info windows; a cancel from
// OnLoadShapes skips the kinds after the one being read.
void TWyShapes::ReadTxt(const TWyMapDataFile& file) {
  TWyShapesHost* host = FOwner ? FOwner->Parent() : nullptr;
  if (FOwner) FOwner->SetCancelLoad(false);
  {
    TFlagScope loading(FisLoading);
    if (host) {
      const std::string prefix = SectionPrefix();
      const std::pair<const char*, TWyShapeList*> sections[] = {
          {"pois", FPois.get()},
          {"markers", FMarkers.get()},
          {"polylines", FLines.get()},
          {"polygones", FPolys.get()},
          {"infowindows", FInfoWindows.get()}};
      BeginUpdate();
      try {
        for (const auto& section : sections) {
          const std::string records = file.ReadSection("[" + prefix + section.first + "]");
          if (!records.empty()) section.second->SetToTxt(records);
          if (section.second != FInfoWindows.get() && FOwner->CancelLoad()) break;
        }
      } catch (...) {
        EndUpdate();
        throw;
      }
    }
  }
  if (!host) return;
  host->GroupLoaded(this);
  EndUpdate();
}

// ---------------------------------------------------------------------------
// Registry

std::string TWyShapesGroup::GetToTxt() {
  TFlagScope serializing(FSerializeGroup);
  std::vector<TWyShapes*> written;
  for (TWyShapes* group : Groups())
    if (group->Serialize()) written.push_back(group);
  if (written.empty()) return std::string("[groupes]") + kCrLf;
  std::string out = std::string(kCrLf) + "[groupes]" + kCrLf;
  for (TWyShapes* group : written) {
    out += "name=" + EscapeChars(";=\r\n", group->Name());
    out += ";minzoom=" + std::to_string(group->MinZoom());
    out += ";maxzoom=" + std::to_string(group->MaxZoom());
    out += ";clickable=" + BoolToText(group->Clickable());
    out += ";zindex=" + std::to_string(group->Zindex());
    out += kCrLf;
  }
  for (TWyShapes* group : written) {
    group->AppendTxt(out);
    out += kCrLf;
  }
  return out;
}

// The groups named in "[groupes]" (the default group alone when there is
// no such section), each created when missing, given its zoom range,
// clickability and z-index, then reading its sections. Lines without a
// name field are no group headers and are passed over.
void TWyShapesGroup::SetToTxt(const std::string& value) {
  const TWyMapDataFile file(value);
  ReadTxt(file);
}

void TWyShapesGroup::ReadTxt(const TWyMapDataFile& file) {
  TFlagScope serializing(FSerializeGroup);
  TFlagScope loading(FisLoading);
  std::string headers = file.ReadSection("[groupes]");
  if (headers.empty()) headers = "name=;";
  // Every listed group is made before any shape is read: shapes create
  // groups of their own (a raised polygon's level group, an info window's
  // group), and made in between they would change the order of the groups,
  // and so the order they are drawn and written in, at every save and load.
  std::vector<TWyShapes*> listed;
  for (std::string_view line : RecordLines(headers)) {
    const TWyParamParser p{std::string(line)};
    std::string_view name;
    if (!p.Find("name", name)) continue;
    TWyShapes* group = getShapes(p.ToStr("name"));
    group->SetMinZoom(static_cast<uint8_t>(std::clamp<int32_t>(p.ToInt("minzoom", 2), 0, 255)));
    group->SetMaxZoom(static_cast<uint8_t>(std::clamp<int32_t>(p.ToInt("maxzoom", 18), 0, 255)));
    group->SetClickable(p.ToBool("clickable", true));
    group->SetZindex(p.ToInt("zindex", 0));
    listed.push_back(group);
  }
  for (TWyShapes* group : listed) group->ReadTxt(file);
}

}  // namespace wy
