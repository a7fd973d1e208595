#include "line_source.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <random>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace net1::summary {
namespace {

struct Read {
  std::vector<std::string> lines;
  bool unterminated = false;   // of the last line
  std::vector<bool> tooLong;  // per line
};

Read readAll(int fd, std::size_t block) {
  Read r;
  auto bytes = openByteSource(fd);
  LineSource src(*bytes, block);
  std::string_view line;
  while (src.next(line)) {
    r.lines.emplace_back(line);
    r.tooLong.push_back(src.tooLong());
    r.unterminated = src.unterminated();
  }
  EXPECT_EQ(src.error(), "");
  return r;
}

// Feeds text through a pipe in small pieces, so that read() returns short.
Read readThroughPipe(const std::string& text, std::size_t block, std::size_t piece) {
  int fds[2];
  EXPECT_EQ(::pipe(fds), 0);
  std::thread writer([&] {
    for (std::size_t i = 0; i < text.size(); i += piece) {
      std::size_t n = std::min(piece, text.size() - i);
      EXPECT_EQ(::write(fds[1], text.data() + i, n), static_cast<ssize_t>(n));
    }
    ::close(fds[1]);
  });
  Read r = readAll(fds[0], block);
  writer.join();
  ::close(fds[0]);
  return r;
}

// What the lines of text are, split the plain way.
std::vector<std::string> split(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t nl = text.find('\n', start);
    if (nl == std::string::npos) nl = text.size();
    out.push_back(text.substr(start, nl - start));
    start = nl + 1;
  }
  return out;
}

TEST(line_source, splits_lines_across_block_edges_of_any_size) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 40; ++round) {
    std::string text;
    std::uniform_int_distribution<int> len(0, 12);
    for (int i = 0; i < 30; ++i) text += std::string(static_cast<std::size_t>(len(rng)), 'a' + i % 26) + "\n";
    for (std::size_t block : {14, 15, 16, 31, 64, 4096}) {
      Read r = readThroughPipe(text, block, 1 + static_cast<std::size_t>(round % 7));
      EXPECT_EQ(r.lines, split(text)) << "block " << block;
      EXPECT_FALSE(r.unterminated);
    }
  }
}

TEST(line_source, marks_a_last_line_without_newline) {
  Read r = readThroughPipe("spk 1.0\nspk 2.", 8, 3);
  ASSERT_EQ(r.lines.size(), 2u);
  EXPECT_EQ(r.lines[1], "spk 2.");
  EXPECT_TRUE(r.unterminated);

  Read whole = readThroughPipe("spk 1.0\n", 8, 3);
  EXPECT_EQ(whole.lines.size(), 1u);
  EXPECT_FALSE(whole.unterminated);
}

TEST(line_source, cuts_an_overlong_line_and_goes_on) {
  // A line of exactly block - 1 bytes still comes whole; a longer one is cut.
  std::string text = std::string(7, 'x') + "\n" + std::string(30, 'y') + "\nok\n";
  Read r = readThroughPipe(text, 8, 5);
  ASSERT_EQ(r.lines.size(), 3u);
  EXPECT_EQ(r.lines[0], std::string(7, 'x'));
  EXPECT_FALSE(r.tooLong[0]);
  EXPECT_EQ(r.lines[1], std::string(8, 'y'));
  EXPECT_TRUE(r.tooLong[1]);
  EXPECT_EQ(r.lines[2], "ok");
  EXPECT_FALSE(r.tooLong[2]);
}

TEST(line_source, empty_input_has_no_lines_but_empty_lines_count) {
  EXPECT_TRUE(readThroughPipe("", 8, 1).lines.empty());
  EXPECT_EQ(readThroughPipe("\n\n", 8, 1).lines, (std::vector<std::string>{"", ""}));
}

TEST(line_source, counts_the_bytes_read) {
  std::string path = ::testing::TempDir() + "line_source_bytes.txt";
  std::string text(100000, 'z');
  for (std::size_t i = 99; i < text.size(); i += 100) text[i] = '\n';
  int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  ::close(fd);
  fd = ::open(path.c_str(), O_RDONLY);
  auto bytes = openByteSource(fd);
  LineSource src(*bytes, 4096);
  std::string_view line;
  std::size_t n = 0;
  while (src.next(line)) ++n;
  ::close(fd);
  ::unlink(path.c_str());
  EXPECT_EQ(n, 1000u);
  EXPECT_EQ(src.bytesRead(), text.size());
}

}  // namespace
}  // namespace net1::summary
