#pragma once
// The host part of an address "scheme://[user@]host[:port]/path?query",
// read in one place for the rate limits, the connection limits and the
// request encoding.

#include <cstddef>
#include <string>

namespace wy {

// Where the authority ("user@host:port") of the address lies: from `begin`
// up to, not including, `end`. False when no "://" comes before the first
// "/", "?" or "#" (a relative path, a "mailto:" address, a file name).
bool UrlAuthorityRange(const std::string& url, size_t& begin, size_t& end);

// The host, A to Z lower-cased, without user and port; an IPv6 host keeps
// its brackets ("[::1]"). Empty when the address has no host.
std::string UrlHost(const std::string& url);

// "host:port", the port being the one written, else 443 for https and 80
// for any other scheme. Empty when the address has no host.
std::string UrlHostPort(const std::string& url);

}  // namespace wy
