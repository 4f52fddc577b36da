#include "platform/open_url.h"

#include <QDesktopServices>
#include <QUrl>
#include <mutex>

#include "platform/ascii.h"

namespace wy {

namespace {
std::mutex gOpenerMutex;
TUrlOpener gOpener;

bool StartsWithNoCase(const std::string& s, const char* prefix) {
  return AsciiStartsWithNoCase(s, prefix);
}
}  // namespace

bool IsOpenableUrl(const std::string& url) {
  for (unsigned char c : url)
    if (c < 0x20 || c == 0x7F) return false;
  if (StartsWithNoCase(url, "http://") || StartsWithNoCase(url, "https://"))
    return url.size() > (StartsWithNoCase(url, "https://") ? 8u : 7u);
  if (StartsWithNoCase(url, "mailto:")) return url.size() > 7;
  return false;
}

bool OpenUrl(const std::string& url) {
  if (!IsOpenableUrl(url)) return false;
  TUrlOpener opener;
  {
    std::lock_guard<std::mutex> lock(gOpenerMutex);
    opener = gOpener;
  }
  if (opener) return opener(url);
  return QDesktopServices::openUrl(QUrl(QString::fromStdString(url), QUrl::StrictMode));
}

void SetUrlOpener(TUrlOpener opener) {
  std::lock_guard<std::mutex> lock(gOpenerMutex);
  gOpener = std::move(opener);
}

}  // namespace wy
