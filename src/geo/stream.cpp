#include "geo/stream.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace wy {

int64_t TStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = 0;
  if (origin == soCurrent) base = Position();
  if (origin == soEnd) base = Size();
  int64_t target = base + offset;
  if (target < 0) target = 0;
  SetPosition(target);
  return Position();
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count <= 0) count = std::max<int64_t>(0, source.Size() - source.Position());
  char buffer[65536];
  int64_t copied = 0;
  while (copied < count) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(count - copied, sizeof buffer));
    const size_t got = source.Read(buffer, want);
    if (got == 0) break;
    const size_t put = Write(buffer, got);
    copied += static_cast<int64_t>(put);
    if (put < got) break;
  }
  return copied;
}

TMemoryStream::TMemoryStream(std::string bytes) : FData(bytes.begin(), bytes.end()) {}

void TMemoryStream::SetSize(int64_t size) {
  FData.resize(static_cast<size_t>(std::max<int64_t>(0, size)), 0);
  if (FPosition > size) FPosition = std::max<int64_t>(0, size);
}

size_t TMemoryStream::Read(void* buffer, size_t count) {
  if (FPosition >= Size() || count == 0) return 0;
  const size_t n = std::min(count, static_cast<size_t>(Size() - FPosition));
  std::memcpy(buffer, FData.data() + FPosition, n);
  FPosition += static_cast<int64_t>(n);
  return n;
}

size_t TMemoryStream::Write(const void* buffer, size_t count) {
  if (count == 0) return 0;
  const size_t end = static_cast<size_t>(FPosition) + count;
  if (end > FData.size()) FData.resize(end, 0);
  std::memcpy(FData.data() + FPosition, buffer, count);
  FPosition = static_cast<int64_t>(end);
  return count;
}

void TMemoryStream::Clear() {
  FData.clear();
  FData.shrink_to_fit();
  FPosition = 0;
}

bool TMemoryStream::LoadFromFile(const std::string& fileName) {
  std::FILE* f = std::fopen(fileName.c_str(), "rb");
  if (f == nullptr) return false;
  std::vector<uint8_t> data;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) data.insert(data.end(), buffer, buffer + n);
  const bool ok = std::ferror(f) == 0;
  std::fclose(f);
  if (!ok) return false;
  FData = std::move(data);
  FPosition = 0;
  return true;
}

bool TMemoryStream::SaveToFile(const std::string& fileName) const {
  std::FILE* f = std::fopen(fileName.c_str(), "wb");
  if (f == nullptr) return false;
  bool ok = FData.empty() || std::fwrite(FData.data(), 1, FData.size(), f) == FData.size();
  ok = (std::fclose(f) == 0) && ok;
  if (!ok) std::remove(fileName.c_str());
  return ok;
}

void TMemoryStream::LoadFromStream(TStream& source) {
  source.SetPosition(0);
  Clear();
  CopyFrom(source, 0);
  FPosition = 0;
}

}  // namespace wy
