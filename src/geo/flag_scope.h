#pragma once
// TFlagScope: sets a flag for the lifetime of the object and clears it
// however the scope ends (an exception included), so that a guard such as
// "drawing" or "in paint" can never stay set by mistake.

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
