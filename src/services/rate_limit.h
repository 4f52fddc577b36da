#pragma once
// A process-wide minimum interval between requests to the same host.
//
// Some public services ask their clients for at most one request in a given
// time (the public Nominatim host: one a second). The interval of a host is
// the setting "rate." + host name in milliseconds, e.g.
// "rate.nominatim.openstreetmap.org" = "1000"; a host without such a setting,
// or with 0, is not limited. The host is taken from the address without port
// and user information, in lower case.
//
// Thread-safe: every client of the process shares the same schedule.

#include <cstdint>
#include <functional>
#include <string>

#include "geo/url_host.h"

namespace wy {

// UrlHost (geo/url_host.h) names the host an address counts for.

// The interval of a host in milliseconds (0: none).
uint32_t EndpointIntervalMs(const std::string& host);

// Waits until a request to the host of `url` may go out, and books that
// moment: requests to a limited host start at least its interval apart, in
// the order they called. `abort` is polled every few milliseconds while
// waiting; when it returns true the wait ends, the booked moment stays used,
// and the result is false. True when the request may go out now.
bool WaitForEndpointSlot(const std::string& url, const std::function<bool()>& abort = {});

// Forgets every booked moment (tests).
void ResetEndpointSlots();

}  // namespace wy
