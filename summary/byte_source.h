#pragma once
// The bytes of a trace: plain text, or decompressed from gzip or zstd.
//
// The format is recognised by the first bytes of the input (gzip's and
// zstd's magic numbers), not by a file name, so a compressed trace can come
// through a pipe as well. A compressed stream that is damaged or cut short is
// an error with its own message, never an early end of the trace.

#include <cstddef>
#include <memory>
#include <string>

namespace net1::summary {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Up to size bytes into buf: the number read, 0 at the end of the input,
  // or -1 after an error, which error() then describes.
  virtual long read(char* buf, std::size_t size) = 0;
  // "plain", "gzip" or "zstd".
  virtual const char* format() const = 0;
  const std::string& error() const { return error_; }

 protected:
  std::string error_;
};

// Reads fd (not closed), of the format its first bytes show.
std::unique_ptr<ByteSource> openByteSource(int fd);

}  // namespace net1::summary
