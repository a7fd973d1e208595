// Plain, gzip and zstd input, told apart by their first bytes, read in
// pieces of any size.
#include "byte_source.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>

#include "compress.h"

namespace net1::summary {
namespace {

struct Got {
  std::string format, text, error;
};

// Feeds bytes through a pipe in pieces of `piece` and reads them back in
// reads of at most `chunk`.
Got readBack(const std::string& bytes, std::size_t piece = 1 << 16, std::size_t chunk = 1 << 16) {
  int fds[2];
  EXPECT_EQ(::pipe(fds), 0);
  std::thread writer([&] {
    for (std::size_t i = 0; i < bytes.size(); i += piece) {
      std::size_t n = std::min(piece, bytes.size() - i);
      EXPECT_EQ(::write(fds[1], bytes.data() + i, n), static_cast<ssize_t>(n));
    }
    ::close(fds[1]);
  });
  Got got;
  {
    auto source = openByteSource(fds[0]);
    got.format = source->format();
    std::string buf(chunk, '\0');
    for (;;) {
      long n = source->read(buf.data(), buf.size());
      if (n < 0) {
        got.error = source->error();
        break;
      }
      if (n == 0) break;
      got.text.append(buf.data(), static_cast<std::size_t>(n));
    }
  }
  writer.join();
  ::close(fds[0]);
  return got;
}

std::string sampleText() {
  std::string text;
  for (int i = 0; i < 3000; ++i)
    text += "spk " + std::to_string(i) + ".250000 rsvr " + std::to_string(i % 1000) + " 1 " + std::to_string(i % 7) +
            "\n";
  return text;
}

TEST(byte_source, tells_the_format_by_the_first_bytes_and_reads_it_whole) {
  const std::string text = sampleText();
  for (auto [bytes, format] : {std::pair{text, "plain"}, {gzip(text), "gzip"}, {zstd(text), "zstd"}}) {
    for (auto [piece, chunk] : {std::pair<std::size_t, std::size_t>{1 << 16, 1 << 16}, {1, 7}, {3, 1}, {4096, 1 << 20}}) {
      Got got = readBack(bytes, piece, chunk);
      EXPECT_EQ(got.format, format);
      EXPECT_EQ(got.error, "") << format;
      EXPECT_EQ(got.text, text) << format << " in pieces of " << piece << ", reads of " << chunk;
    }
  }
}

TEST(byte_source, short_and_empty_inputs_are_plain) {
  EXPECT_EQ(readBack("").text, "");
  EXPECT_EQ(readBack("").format, "plain");
  EXPECT_EQ(readBack("x\n").text, "x\n");
  // A lone gzip magic byte is not gzip.
  EXPECT_EQ(readBack("\x1f").format, "plain");
}

TEST(byte_source, follows_gzip_members_and_zstd_frames_one_after_another) {
  const std::string a = "spk 1.000000 sorc 0 1 0\n", b = "spk 2.000000 sorc 1 1 0\n";
  EXPECT_EQ(readBack(gzip(a) + gzip(b), 5, 3).text, a + b);
  EXPECT_EQ(readBack(zstd(a) + zstd(b), 5, 3).text, a + b);
  // A skippable zstd frame (magic 0x184D2A5F, 4 bytes of content) first.
  const std::string skippable("\x5f\x2a\x4d\x18\x04\x00\x00\x00meta", 12);
  Got got = readBack(skippable + zstd(a));
  EXPECT_EQ(got.format, "zstd");
  EXPECT_EQ(got.text, a);
}

TEST(byte_source, damaged_or_cut_compressed_input_is_an_error_not_an_end) {
  const std::string text = sampleText();
  const std::string z = zstd(text), g = gzip(text);
  EXPECT_EQ(readBack(z.substr(0, z.size() - 1)).error, "truncated zstd data: the input ends inside a frame");
  EXPECT_EQ(readBack(z.substr(0, 4)).error, "truncated zstd data: the input ends inside a frame");
  EXPECT_EQ(readBack(g.substr(0, g.size() - 4)).error,
            "truncated gzip data: the input ends inside the compressed stream");
  EXPECT_EQ(readBack(g.substr(0, 2)).error, "truncated gzip data: the input ends inside the compressed stream");
  std::string bad = z;
  bad[z.size() / 2] = static_cast<char>(bad[z.size() / 2] ^ 0xff);
  EXPECT_EQ(readBack(bad).error.substr(0, 19), "corrupt zstd data: ");
  EXPECT_EQ(readBack(g + "x").error, "corrupt gzip data: bytes after the end of the compressed stream");
  // What was read before the damage still came out, in order.
  Got cut = readBack(g.substr(0, g.size() / 2));
  EXPECT_FALSE(cut.error.empty());
  EXPECT_EQ(text.compare(0, cut.text.size(), cut.text), 0);
}

TEST(byte_source, a_reader_may_stop_before_the_end) {
  // More than the blocks decompressed ahead hold, from a file.
  std::string text;
  while (text.size() < (std::size_t{12} << 20)) text += sampleText();
  const std::string path = ::testing::TempDir() + "byte_source_stop.zst";
  {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    const std::string z = zstd(text);
    ASSERT_EQ(std::fwrite(z.data(), 1, z.size(), f), z.size());
    std::fclose(f);
  }
  int fd = ::open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  {
    auto source = openByteSource(fd);
    char buf[100];
    ASSERT_EQ(source->read(buf, sizeof buf), 100);
    EXPECT_EQ(std::string(buf, 100), text.substr(0, 100));
  }  // gone with its thread, the rest unread
  ::close(fd);
  ::unlink(path.c_str());
}

}  // namespace
}  // namespace net1::summary
