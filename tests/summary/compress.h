// gzip and zstd in memory, to make compressed traces for the tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <zlib.h>
#include <zstd.h>

namespace net1::summary {

inline std::string gzip(const std::string& text) {
  z_stream z{};
  EXPECT_EQ(deflateInit2(&z, 6, Z_DEFLATED, 16 + 15, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string out(deflateBound(&z, text.size()) + 64, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

inline std::string zstd(const std::string& text) {
  std::string out(ZSTD_compressBound(text.size()), '\0');
  std::size_t n = ZSTD_compress(out.data(), out.size(), text.data(), text.size(), 3);
  EXPECT_FALSE(ZSTD_isError(n));
  out.resize(n);
  return out;
}

}  // namespace net1::summary
