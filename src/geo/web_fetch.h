#pragma once
// The blocking whole-body download that the service clients, the graphic
// pool and file loading use, and small helpers for the streams it fills:
// image-type sniffing, bytes as text, and Base64 decoding.
//
// Every function here is thread-safe and may be called from any thread.

#include <cstdint>
#include <functional>
#include <string>

#include "geo/enums.h"
#include "geo/stream.h"

namespace wy {

// Why a download failed.
enum TDownloadError : uint8_t {
  deNone,        // success
  deNoStream,    // no target stream
  deBadUrl,      // the address could not be used (malformed, unsupported scheme)
  deConnect,     // the host could not be resolved or the connection failed
  deTimeout,     // connect, no-progress or overall time-out
  deAborted,     // the caller's Abort predicate stopped the transfer
  deHttpStatus,  // the server answered with a status other than 2xx
  deTooLarge,    // the body is larger than the size limit
  deEmpty,       // the body is empty
  deTruncated,   // fewer bytes than the announced Content-Length, or a broken connection
  deTransfer,    // any other transfer error
};

struct TDownloadOptions {
  // Largest body accepted, in bytes. 0: the "download.max-bytes" setting
  // (64 MiB unless configured).
  uint32_t MaxSize = 0;
  // 0: the settings "timeout.connect", "timeout.low-speed" and
  // "timeout.total". A setting of 0 turns that time-out off.
  uint32_t ConnectTimeoutMs = 0;
  uint32_t LowSpeedTimeoutMs = 0;  // fails when no byte arrives for this long
  uint32_t TotalTimeoutMs = 0;
  // Polled on the calling thread during the transfer (at least every 50 ms
  // and for every piece of data); returning true stops it and the download
  // fails.
  std::function<bool()> Abort;
  // Empty: GetUserAgent().
  std::string UserAgent;
};

struct TDownloadResult {
  TDownloadError Code = deNone;
  long HttpStatus = 0;  // 0 when no answer arrived
  std::string Error;    // a short English description; empty on success
  int64_t Bytes = 0;    // body bytes received (after decompression)
};

// Downloads the whole body of `url` (http or https; redirects are followed)
// and writes it to `stream` at its current position. The stream is neither
// rewound before nor after. On any failure - no stream, a connection or
// transfer error, a time-out, an abort, an HTTP status outside 200-299, a
// body larger than the limit, an empty body, a body shorter than its
// Content-Length - the result is false and the stream is left untouched.
//
// Spaces, control characters and non-ASCII bytes in the address are
// percent-encoded; "%" is kept, so an address may arrive already encoded.
// Compressed answers (gzip, deflate) are asked for and decoded; the size
// limit applies to the decoded body. The libcurl options are those of
// http_setup.h.
bool DownloadToStream(const std::string& url, TStream* stream, uint32_t maxSize = 0);
bool DownloadToStream(const std::string& url, TStream* stream, const TDownloadOptions& options,
                      TDownloadResult* result = nullptr);

// The address as it is sent: spaces, control characters (NUL included),
// DEL and bytes from 0x80 on are percent-encoded in the path, query and
// fragment; everything else, "%" included, stays as it is. The host name is
// left alone (non-ASCII host names are converted by the HTTP client), except
// for spaces and control characters.
std::string EncodeUrlForRequest(const std::string& url);

// The download's progress callback: refuses a transfer once more than
// FMaxsize bytes have arrived.
class TMyStatus {
 public:
  explicit TMyStatus(uint32_t maxSize = 0) : FMaxsize(maxSize) {}

  // Size limit in bytes; 0 means no limit.
  uint32_t FMaxsize;

  // Called with the bytes received so far and the expected total (0 when
  // unknown). False means "abort": FMaxsize is not 0 and progress exceeds it.
  bool OnProgress(uint64_t progress, uint64_t progressMax) const;
};

// The image format of a stream from its first bytes; the position is left
// as it was. "JFIF" or "Exif" at offset 6, or the JPEG start FF D8 FF, give
// stJpeg; "PNG" at offset 1 gives stPng; anything else, or no stream,
// stNone. Bytes a short stream cannot supply count as 0.
TStreamType GetStreamType(TStream* stream);

// The bytes from the start of the stream up to, not including, the first
// zero byte or the end, each byte taken as the character with that code
// (U+0000 to U+00FF), as UTF-8. The position is left as it was. No stream
// gives "".
std::string StreamToText(TStream* stream);

// Decodes Base64 (standard alphabet; padding optional; spaces and line
// breaks ignored) and writes the bytes to `output` at its current position,
// then rewinds it. Invalid input, or no output, gives false and leaves the
// output as it was.
bool Base64ToStream(const std::string& text, TStream* output);

}  // namespace wy
