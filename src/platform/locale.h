#pragma once
// The language of the user's locale, as the services want it in requests.

#include <string>

namespace wy {

// The two-letter language of the user's default locale followed by "_" and
// the same letters in upper case ("fr_FR" for any French locale). The C and
// POSIX locales, and anything unreadable, give "en_EN".
std::string LocaleName();

// The same rule applied to a locale name such as "de_CH.UTF-8", "pt-BR" or
// "C" (what LocaleName reads from the system).
std::string LocaleNameFrom(const std::string& systemName);

}  // namespace wy
