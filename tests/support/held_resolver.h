#pragma once
// A name lookup that does not come back, as on a machine whose name server
// does not answer. The test program's own getaddrinfo stands in for the C
// library's (libcurl's lookup thread calls it): a host name chosen by a test
// is held until the test lets it go; every other name is looked up as usual.
// One THeldResolver at a time.

#include <cstdint>
#include <string>

namespace wy {

class THeldResolver {
 public:
  // Holds every lookup of `host` until Release() or the destructor; as a
  // safety net, so that a faulty program cannot hang its test, a lookup is
  // also let go (failing) after safetyMs.
  explicit THeldResolver(const std::string& host, uint32_t safetyMs = 10000);
  // Releases, then waits until no lookup is inside any more.
  ~THeldResolver();
  THeldResolver(const THeldResolver&) = delete;
  THeldResolver& operator=(const THeldResolver&) = delete;

  // True while a lookup of the host is being held.
  bool Holding() const;
  // Waits until a lookup is held; false when none was within timeoutMs.
  bool WaitUntilHolding(uint32_t timeoutMs = 10000) const;
  // Lets held lookups go and fails later ones at once ("no such name").
  void Release();
};

}  // namespace wy
