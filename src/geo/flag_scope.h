#pragma once
// Sets a flag for the lifetime of a scope, however the scope ends (a
// return, an exception): drawing and loading states that must never stay
// set by mistake.

namespace wy {

class TFlagScope {
 public:
  explicit TFlagScope(bool& flag) : FFlag(flag) { FFlag = true; }
  ~TFlagScope() { FFlag = false; }
  TFlagScope(const TFlagScope&) = delete;
  TFlagScope& operator=(const TFlagScope&) = delete;

 private:
  bool& FFlag;
};

}  // namespace wy
