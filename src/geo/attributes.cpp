#include "geo/attributes.h"

#include "geo/text_convert.h"

namespace wy {

namespace {

constexpr const char* kValueEscapes = ";=\r\n#";
constexpr const char* kNameEscapes = ";=\r\n#@";

const std::string kEmpty;

}  // namespace

const TWyAttribute* TWyAttributes::Find(std::string_view name) const {
  for (const TWyAttribute& a : FItems)
    if (a.Name == name) return &a;
  return nullptr;
}

const std::string& TWyAttributes::Get(std::string_view name) const {
  const TWyAttribute* a = Find(name);
  return a ? a->Value : kEmpty;
}

void TWyAttributes::Set(const std::string& name, const std::string& value, TAttributeKind kind) {
  if (name.empty()) return;
  for (TWyAttribute& a : FItems)
    if (a.Name == name) {
      a.Value = value;
      a.Kind = kind;
      return;
    }
  FItems.push_back({name, value, kind});
}

bool TWyAttributes::Remove(std::string_view name) {
  for (auto it = FItems.begin(); it != FItems.end(); ++it)
    if (it->Name == name) {
      FItems.erase(it);
      return true;
    }
  return false;
}

bool TWyAttributes::operator==(const TWyAttributes& other) const {
  if (FItems.size() != other.FItems.size()) return false;
  for (size_t i = 0; i < FItems.size(); ++i)
    if (FItems[i].Name != other.FItems[i].Name || FItems[i].Value != other.FItems[i].Value ||
        FItems[i].Kind != other.FItems[i].Kind)
      return false;
  return true;
}

std::string AttributeField(const std::string& name, const std::string& value, TAttributeKind kind) {
  std::string out = kind == akJson ? "@@" : "@";
  out += EscapeChars(kNameEscapes, name);
  out += '=';
  out += EscapeChars(kValueEscapes, value);
  out += ';';
  return out;
}

std::string TWyAttributes::ToFields() const {
  std::string out;
  for (const TWyAttribute& a : FItems) out += AttributeField(a.Name, a.Value, a.Kind);
  return out;
}

void TWyAttributes::ReadFields(std::string_view record) {
  size_t at = 0;
  while (at < record.size()) {
    size_t end = record.find(';', at);
    if (end == std::string_view::npos) end = record.size();
    std::string_view field = record.substr(at, end - at);
    at = end + 1;
    // A record's line break ends it; a field never holds one.
    while (!field.empty() && (field.back() == '\r' || field.back() == '\n')) field.remove_suffix(1);
    if (field.size() < 2 || field[0] != '@') continue;
    TAttributeKind kind = akText;
    field.remove_prefix(1);
    if (field[0] == '@') {
      kind = akJson;
      field.remove_prefix(1);
    }
    const size_t eq = field.find('=');
    if (eq == std::string_view::npos || eq == 0) continue;
    const std::string name = UnescapeChars(kNameEscapes, std::string(field.substr(0, eq)));
    if (Has(name)) continue;
    FItems.push_back({name, UnescapeChars(kValueEscapes, std::string(field.substr(eq + 1))), kind});
  }
}

}  // namespace wy
