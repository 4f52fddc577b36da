#include "services/geocoding.h"

#include "formats/xml_entities.h"
#include "geo/query_value.h"
#include "geo/text_convert.h"

namespace wy {

namespace {

// The attribute text of a start tag that begins at `start` (just after
// "<place " or "<result "): up to the next ">", or, when none follows, all
// but the last character of the answer. `next` is set past the ">" (npos
// when there was none).
std::string AttributeText(const std::string& answer, size_t start, size_t& next) {
  const size_t close = answer.find('>', start);
  std::string text;
  if (close == std::string::npos) {
    next = std::string::npos;
    if (answer.size() > start + 1) text = answer.substr(start, answer.size() - 1 - start);
  } else {
    next = close + 1;
    text = answer.substr(start, close - start);
  }
  // A self-closing tag: the "/" is not part of the last value.
  while (!text.empty() &&
         (text.back() == ' ' || text.back() == '\t' || text.back() == '\n' || text.back() == '\r'))
    text.pop_back();
  if (!text.empty() && text.back() == '/') text.pop_back();
  return text;
}

// name='value' name="value" ... as name=value lines: a closing quote
// followed by a blank ends a line, quotes are dropped, references decoded.
void AttributesToList(const std::string& text, TAttributeList& list) {
  std::string lines;
  lines.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\'' || c == '"') {
      if (i + 1 < text.size() && text[i + 1] == ' ') {
        lines += '\n';
        ++i;
      }
      continue;
    }
    lines += c;
  }
  TAttributeList raw;
  raw.SetText(lines);
  for (int i = 0; i < raw.Count(); ++i) list.Add(XmlDecodeEntities(raw.Strings(i)));
}

}  // namespace

double TNominatimResult::Latitude() const {
  return StrToFloatDot(Value("lat"));
}
double TNominatimResult::Longitude() const {
  return StrToFloatDot(Value("lon"));
}

std::string TNominatimResult::Value(const std::string& name) const {
  return FDataList == nullptr ? std::string() : FDataList->Values(name);
}

std::string TNominatimResult::Xml() const {
  std::string text = UnescapeChars("=", Value("xml"));
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    if (text.compare(i, 4, "#10#") == 0) {
      i += 4;
      continue;
    }
    out += text[i++];
  }
  return Trim(out);
}

std::string NormalizeSearchText(const std::string& text) {
  const size_t amp = text.find('&');
  const std::string address = amp == std::string::npos ? text : text.substr(0, amp);
  std::string out = EncodeQueryValue(UpperNoAccents(DecodeQueryValue(address)));
  if (amp != std::string::npos) out.append(text, amp, std::string::npos);
  return out;
}

bool ParseSearchAnswer(const std::string& answer, TServiceResultList& results) {
  results = TServiceResultList();
  static const std::string kTag = "<place ";
  size_t pos = 0;
  while (pos != std::string::npos && pos < answer.size()) {
    const size_t found = answer.find(kTag, pos);
    if (found == std::string::npos) break;
    size_t next = 0;
    const std::string text = AttributeText(answer, found + kTag.size(), next);
    auto attributes = std::make_shared<TAttributeList>();
    AttributesToList(text, *attributes);
    const std::string name = attributes->Values("display_name");
    results.AddObject(name, std::move(attributes));
    pos = next;
  }
  return results.Count() > 0;
}

void ParseReverseAnswer(const std::string* answer, TAttributeList& results) {
  results = TAttributeList();
  if (answer != nullptr) {
    static const std::string kTag = "<result ";
    const size_t found = answer->find(kTag);
    if (found != std::string::npos) {
      size_t next = 0;
      AttributesToList(AttributeText(*answer, found + kTag.size(), next), results);
      std::string name;
      if (next != std::string::npos) {
        const size_t open = answer->find('<', next);
        if (open != std::string::npos) {
          name = answer->substr(next, open - next);
        } else if (answer->size() > next + 1) {
          name = answer->substr(next, answer->size() - 1 - next);
        }
      }
      results.SetValues("display_name", XmlDecodeEntities(name));
      results.SetValues("xml", EscapeChars("\r\n=", *answer));
    }
  }
  results.SetValues("count", std::to_string(results.Count()));
}

}  // namespace wy
