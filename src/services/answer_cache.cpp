#include "services/answer_cache.h"

#include <atomic>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

namespace wy {

namespace {

const char kHeader[] = "wymap-answer-to ";
constexpr size_t kHeaderSize = sizeof kHeader - 1;
// The header line beside the request: the prefix, up to 20 digits, LF.
constexpr uint64_t kMaxHeaderBytes = kHeaderSize + 21;

// The answer part of a file's bytes when they hold `request`; npos when
// they do not (another request, the old layout, a broken header).
size_t AnswerStart(const std::string& bytes, const std::string& request) {
  if (bytes.compare(0, kHeaderSize, kHeader) != 0) return std::string::npos;
  const size_t lineEnd = bytes.find('\n', kHeaderSize);
  if (lineEnd == std::string::npos) return std::string::npos;
  uint64_t length = 0;
  const char* first = bytes.data() + kHeaderSize;
  const char* last = bytes.data() + lineEnd;
  const auto parsed = std::from_chars(first, last, length);
  if (first == last || parsed.ec != std::errc() || parsed.ptr != last) return std::string::npos;
  if (length != request.size()) return std::string::npos;
  const size_t start = lineEnd + 1;
  if (bytes.size() - start < request.size() + 1) return std::string::npos;
  if (bytes.compare(start, request.size(), request) != 0) return std::string::npos;
  if (bytes[start + request.size()] != '\n') return std::string::npos;
  return start + request.size() + 1;
}

}  // namespace

bool ReadCachedAnswer(const std::string& path, const std::string& request, std::string& answer,
                      uint64_t maxBytes) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return false;
  const uint64_t size = std::filesystem::file_size(path, error);
  if (error) return false;
  if (maxBytes != 0 && size > maxBytes + request.size() + kMaxHeaderBytes) return false;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return false;
  const size_t start = AnswerStart(bytes, request);
  if (start == std::string::npos || start == bytes.size()) return false;
  if (maxBytes != 0 && bytes.size() - start > maxBytes) return false;
  answer.assign(bytes, start, std::string::npos);
  return true;
}

bool WriteCachedAnswer(const std::string& path, const std::string& request,
                       const std::string& answer) {
  std::error_code error;
  const std::filesystem::path target(path);
  std::filesystem::create_directories(target.parent_path(), error);
  if (error) return false;
  // Unique among the threads of this process (counter) and, very likely,
  // among processes sharing the folder (random part).
  static std::atomic<uint64_t> counter{0};
  thread_local std::mt19937 random(std::random_device{}());
  std::filesystem::path temp = target;
  temp += ".tmp" + std::to_string(random()) + "-" + std::to_string(counter++);
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    const std::string header = kHeader + std::to_string(request.size()) + "\n";
    out.write(header.data(), static_cast<std::streamsize>(header.size()));
    out.write(request.data(), static_cast<std::streamsize>(request.size()));
    out.put('\n');
    out.write(answer.data(), static_cast<std::streamsize>(answer.size()));
    out.close();
    if (!out) {
      std::filesystem::remove(temp, error);
      return false;
    }
  }
  std::filesystem::rename(temp, target, error);
  if (error) {
    std::error_code ignored;
    std::filesystem::remove(temp, ignored);
    return false;
  }
  return true;
}

}  // namespace wy
