#pragma once
// Address search and reverse geocoding answers (Nominatim XML) and the
// read-only view of one result.
//
// The scanners are deliberately small: a search answer is read from the
// start tags of its "<place " elements, a reverse answer from the first
// "<result " element; child elements are skipped. Attribute values may be
// quoted with ' or "; their character references are decoded.

#include <memory>
#include <string>

#include "geo/string_list.h"

namespace wy {

// A result list: one line per result; a search line carries the place's
// attributes as name=value lines. Name look-ups in the attribute lists ignore
// the case of A to Z.
using TAttributeList = TStringList;
using TServiceResultList = TStringListOf<std::shared_ptr<TAttributeList>>;

// Read-only view of one geocoding result. It never owns the list it shows;
// its owner points it elsewhere, or at nothing, before that list goes away.
class TNominatimResult {
 public:
  const TAttributeList* DataList() const { return FDataList; }
  void SetDataList(const TAttributeList* list) { FDataList = list; }

  std::string Place_id() const { return Value("place_id"); }
  std::string Osm_type() const { return Value("osm_type"); }
  std::string Osm_id() const { return Value("osm_id"); }
  std::string Place_rank() const { return Value("place_rank"); }
  std::string BoundingBox() const { return Value("boundingbox"); }
  // "." decimal separator, "," accepted; -1 when empty or unreadable.
  double Latitude() const;
  double Longitude() const;
  std::string Display_name() const { return Value("display_name"); }
  std::string Place_type() const { return Value("type"); }
  std::string Icon() const { return Value("icon"); }
  // The raw answer without its line feeds (reverse results).
  std::string Xml() const;
  // True unless the "error" value is exactly "0".
  bool Error() const { return Value("error") != "0"; }

  // The value of a name; "" when missing or when the view shows nothing.
  std::string Value(const std::string& name) const;

 private:
  const TAttributeList* FDataList = nullptr;
};

// Normalises the address part of a search text (everything before the
// first "&", written as one query value, see EncodeQueryValue): it is
// decoded, upper-cased without accents where UpperNoAccents has a rule
// (Latin-1; every other character is kept) and encoded again, so that
// "Saint-%C3%89tienne" gives "SAINT-ETIENNE" and "%C5%81%C3%B3d%C5%BA"
// (Łódź) gives "%C5%81OD%C5%BA". The further query keys after it are kept
// as written.
std::string NormalizeSearchText(const std::string& text);

// Scans a search answer: one line per "<place " start tag in answer order,
// text = display_name, object = the attribute list. `results` is replaced.
// Returns whether at least one place was found.
bool ParseSearchAnswer(const std::string& answer, TServiceResultList& results);

// Fills a reverse result: the attributes of the first "<result " tag, then
// display_name (the element's text), xml (the whole answer with CR, LF and
// "=" escaped) and count (the number of lines before it). `answer` null
// means no answer: only "count=0". `results` is replaced.
void ParseReverseAnswer(const std::string* answer, TAttributeList& results);

}  // namespace wy
