#include "geo/url_host.h"

#include "platform/ascii.h"

namespace wy {

namespace {

// Host (lower-cased) and written port of the address; false without a host.
bool SplitAuthority(const std::string& url, std::string& host, std::string& port) {
  size_t begin = 0, end = 0;
  if (!UrlAuthorityRange(url, begin, end)) return false;
  std::string authority = url.substr(begin, end - begin);
  const size_t at = authority.rfind('@');
  if (at != std::string::npos) authority.erase(0, at + 1);
  host = authority;
  port.clear();
  if (!authority.empty() && authority[0] == '[') {
    const size_t close = authority.find(']');
    if (close == std::string::npos) return false;
    host = authority.substr(0, close + 1);
    if (close + 1 < authority.size() && authority[close + 1] == ':')
      port = authority.substr(close + 2);
  } else {
    const size_t colon = authority.rfind(':');
    if (colon != std::string::npos) {
      host = authority.substr(0, colon);
      port = authority.substr(colon + 1);
    }
  }
  host = AsciiLower(host);
  return !host.empty();
}

}  // namespace

bool UrlAuthorityRange(const std::string& url, size_t& begin, size_t& end) {
  const size_t scheme = url.find("://");
  if (scheme == std::string::npos || scheme > url.find_first_of("/?#")) return false;
  begin = scheme + 3;
  end = url.find_first_of("/?#", begin);
  if (end == std::string::npos) end = url.size();
  return true;
}

std::string UrlHost(const std::string& url) {
  std::string host, port;
  return SplitAuthority(url, host, port) ? host : std::string();
}

std::string UrlHostPort(const std::string& url) {
  std::string host, port;
  if (!SplitAuthority(url, host, port)) return std::string();
  if (port.empty()) port = AsciiStartsWithNoCase(url, "https://") ? "443" : "80";
  return host + ":" + port;
}

}  // namespace wy
