#pragma once
// CRC-32 of IEEE 802.3 (reflected polynomial 0xEDB88320, initial value and
// final XOR 0xFFFFFFFF), the checksum that names cached service answers.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace wy {

// Continues a running CRC: start with crc = 0xFFFFFFFF, feed the bytes, and
// XOR the result with 0xFFFFFFFF at the end.
uint32_t Crc32Update(uint32_t crc, const void* data, size_t size);
inline uint32_t Crc32UpdateByte(uint32_t crc, uint8_t byte);

// The finished CRC-32 of a run of bytes ("abc" gives 0x352441C2).
uint32_t Crc32(std::string_view bytes);

namespace crc32_detail {
// Constant-initialised, so it is ready before any static initialiser runs.
extern const std::array<uint32_t, 256> kTable;
}  // namespace crc32_detail

inline uint32_t Crc32UpdateByte(uint32_t crc, uint8_t byte) {
  return crc32_detail::kTable[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

}  // namespace wy
