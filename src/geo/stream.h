#pragma once
// Byte streams: the abstract stream that downloads, decoders and file
// formats read and write, and its in-memory implementation.
//
// Semantics follow the usual component-library streams: reads and writes
// happen at Position and advance it; a write past the end grows the stream;
// Position may be set past the end (a read there returns 0 bytes, a write
// there fills the gap with zero bytes).

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace wy {

enum TSeekOrigin : uint8_t { soBeginning, soCurrent, soEnd };

class TStream {
 public:
  virtual ~TStream() = default;

  virtual int64_t Size() const = 0;
  virtual void SetSize(int64_t size) = 0;
  virtual int64_t Position() const = 0;
  virtual void SetPosition(int64_t position) = 0;
  // Reads up to count bytes; returns how many were read.
  virtual size_t Read(void* buffer, size_t count) = 0;
  // Writes count bytes; returns how many were written.
  virtual size_t Write(const void* buffer, size_t count) = 0;

  // Returns the new position; a target before the start gives 0.
  int64_t Seek(int64_t offset, TSeekOrigin origin);
  // Copies count bytes (all the rest from the current position when 0) from
  // source into this stream; returns how many were copied.
  int64_t CopyFrom(TStream& source, int64_t count);
  size_t WriteString(const std::string& bytes) { return Write(bytes.data(), bytes.size()); }
};

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::string bytes);

  int64_t Size() const override { return static_cast<int64_t>(FData.size()); }
  void SetSize(int64_t size) override;
  int64_t Position() const override { return FPosition; }
  void SetPosition(int64_t position) override { FPosition = position < 0 ? 0 : position; }
  size_t Read(void* buffer, size_t count) override;
  size_t Write(const void* buffer, size_t count) override;

  void Clear();
  const uint8_t* Memory() const { return FData.data(); }
  // The whole content as bytes, whatever the position.
  std::string DataString() const { return std::string(FData.begin(), FData.end()); }
  const std::vector<uint8_t>& Data() const { return FData; }

  // Replace the whole content from / write it to a file; false on any error
  // (the stream, or the file, is then left as it was where possible).
  bool LoadFromFile(const std::string& fileName);
  bool SaveToFile(const std::string& fileName) const;
  void LoadFromStream(TStream& source);

 private:
  std::vector<uint8_t> FData;
  int64_t FPosition = 0;
};

}  // namespace wy
