#include "platform/locale.h"

#include <QLocale>
#include <cstdlib>

#include "platform/ascii.h"

namespace wy {

std::string LocaleNameFrom(const std::string& systemName) {
  std::string language;
  for (char c : systemName) {
    c = AsciiLower(c);
    if (c < 'a' || c > 'z') break;
    language += c;
  }
  if (language.size() < 2 || language.size() > 3 || language == "c" || language == "posix")
    language = "en";
  std::string upper = language;
  for (char& c : upper) c = static_cast<char>(c - 'a' + 'A');
  return language + "_" + upper;
}

std::string LocaleName() {
  // The environment wins over Qt's view so that LANG=fr_FR works the same
  // with and without an application object.
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(var);
    if (value != nullptr && *value != '\0') return LocaleNameFrom(value);
  }
  return LocaleNameFrom(QLocale::system().name().toStdString());
}

}  // namespace wy
