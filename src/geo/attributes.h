#pragma once
// TWyAttributes: the named texts a shape carries besides its own fields
// (a file's names, descriptions, times, foreign properties), in the order
// they were read. Names are unique (case counts); setting a name that is
// there replaces its value in place.
//
// A value is text, or a JSON value kept as its JSON text (a number, true,
// false, null, an object or an array read from GeoJSON) so that a JSON
// writer gives it back with its type; other formats write that text.
//
// In the shape text every attribute is one field after the shape's own:
// "@" + name + "=" + value for text, "@@" + name + "=" + value for JSON.
// Name and value are written with the "#code#" escapes of ";", "=", CR,
// LF and "#" (and "@" in names), so any text comes back unchanged; readers
// that do not know these fields pass over them.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace wy {

enum TAttributeKind : uint8_t { akText, akJson };

struct TWyAttribute {
  std::string Name;
  std::string Value;
  TAttributeKind Kind = akText;
};

class TWyAttributes {
 public:
  bool Empty() const { return FItems.empty(); }
  size_t Count() const { return FItems.size(); }
  const TWyAttribute& operator[](size_t i) const { return FItems[i]; }
  std::vector<TWyAttribute>::const_iterator begin() const { return FItems.begin(); }
  std::vector<TWyAttribute>::const_iterator end() const { return FItems.end(); }

  bool Has(std::string_view name) const { return Find(name) != nullptr; }
  // The value, "" when the name is absent.
  const std::string& Get(std::string_view name) const;
  // The attribute of that name, null when absent.
  const TWyAttribute* Find(std::string_view name) const;
  // Replaces the value (and kind) of `name`, or appends it. An empty name
  // is refused.
  void Set(const std::string& name, const std::string& value, TAttributeKind kind = akText);
  // False when the name was absent.
  bool Remove(std::string_view name);
  void Clear() { FItems.clear(); }

  bool operator==(const TWyAttributes& other) const;
  bool operator!=(const TWyAttributes& other) const { return !(*this == other); }

  // The fields of the shape text, each ended by ";" ("" when empty).
  std::string ToFields() const;
  // Appends the attribute fields found in a record (own fields skipped);
  // a name read twice keeps its first value, as the record's fields do.
  void ReadFields(std::string_view record);

 private:
  std::vector<TWyAttribute> FItems;
};

// One attribute field ("@name=value;"), for writers that build records
// without a TWyAttributes (the importers).
std::string AttributeField(const std::string& name, const std::string& value,
                           TAttributeKind kind = akText);

}  // namespace wy
