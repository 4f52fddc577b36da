#pragma once
// Opening a link in the user's browser or mail program.

#include <functional>
#include <string>

namespace wy {

// True for the addresses this program agrees to hand to the desktop:
// http:, https: and mailto: (scheme case ignored), with no control characters.
// Links come from files and service answers, so anything else (file:,
// javascript:, custom schemes that start programs) is refused.
bool IsOpenableUrl(const std::string& url);

// Opens url with the desktop's handler when IsOpenableUrl allows it. Returns
// false for a refused address or when the desktop could not open it.
bool OpenUrl(const std::string& url);

// Replaces the desktop handler (tests); an empty function restores it.
using TUrlOpener = std::function<bool(const std::string& url)>;
void SetUrlOpener(TUrlOpener opener);

}  // namespace wy
