// The cost of just formatting and writing a trace: reads a program's output,
// keeps every line as its fields, then writes them all again through the
// engine's output stream to /dev/null and reports the time per line. This is
// the floor under any run that prints those lines. For comparison it also
// formats them field by field with std::to_chars into a large buffer.
//
//   format-bench TRACE_FILE
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "trace_stream.h"

namespace {

// A field is a word (keyword or group name), an integer or a fixed number.
struct Field {
  enum Kind : unsigned char { Word, Integer, Fixed } kind;
  unsigned short word;  // index into the word table
  double number;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s TRACE_FILE\n", argv[0]);
    return 2;
  }
  std::ifstream in(argv[1]);
  if (!in) {
    std::fprintf(stderr, "%s: cannot read %s\n", argv[0], argv[1]);
    return 2;
  }
  std::vector<std::string> words;
  std::vector<Field> fields;
  std::vector<std::uint32_t> lineEnds;
  std::string line;
  while (std::getline(in, line)) {
    std::size_t at = 0;
    while (at < line.size()) {
      std::size_t end = line.find(' ', at);
      if (end == std::string::npos) end = line.size();
      const std::string token = line.substr(at, end - at);
      char* stop = nullptr;
      const double value = std::strtod(token.c_str(), &stop);
      if (!token.empty() && *stop == '\0' && token.find_first_not_of("-0123456789.") == std::string::npos) {
        fields.push_back({token.find('.') == std::string::npos ? Field::Integer : Field::Fixed, 0, value});
      } else {
        std::size_t w = 0;
        while (w < words.size() && words[w] != token) ++w;
        if (w == words.size()) words.push_back(token);
        fields.push_back({Field::Word, static_cast<unsigned short>(w), 0});
      }
      at = end + 1;
    }
    lineEnds.push_back(static_cast<std::uint32_t>(fields.size()));
  }
  const int fd = ::open("/dev/null", O_WRONLY);
  const auto start = std::chrono::steady_clock::now();
  {
    net1::Stream out(fd, true);
    std::size_t f = 0;
    for (std::uint32_t end : lineEnds) {
      for (std::size_t first = f; f < end; ++f) {
        if (f > first) out.put(' ');
        const Field& field = fields[f];
        if (field.kind == Field::Word) {
          out.text(words[field.word]);
        } else if (field.kind == Field::Integer) {
          out.integer(static_cast<long long>(field.number));
        } else {
          out.fixed(field.number);
        }
      }
      out.put('\n');
    }
    out.close();
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%zu lines formatted and written in %.2f s: %.1f ns per line\n", lineEnds.size(), seconds,
              seconds * 1e9 / static_cast<double>(lineEnds.size()));

  // The yardstick of plain library formatting: every field with
  // std::to_chars (fixed, six decimals) into a large buffer, written out
  // whenever it fills.
  const auto startToChars = std::chrono::steady_clock::now();
  {
    const int nullFd = ::open("/dev/null", O_WRONLY);
    constexpr std::size_t kLarge = 64 << 20;
    std::vector<char> buffer(kLarge);
    char* at = buffer.data();
    char* const limit = buffer.data() + kLarge - 4096;
    std::size_t f = 0;
    for (std::uint32_t end : lineEnds) {
      for (std::size_t first = f; f < end; ++f) {
        if (f > first) *at++ = ' ';
        const Field& field = fields[f];
        if (field.kind == Field::Word) {
          at = std::copy(words[field.word].begin(), words[field.word].end(), at);
        } else if (field.kind == Field::Integer) {
          at = std::to_chars(at, limit + 4096, static_cast<long long>(field.number)).ptr;
        } else {
          at = std::to_chars(at, limit + 4096, field.number, std::chars_format::fixed, 6).ptr;
        }
      }
      *at++ = '\n';
      if (at > limit) {
        if (::write(nullFd, buffer.data(), static_cast<std::size_t>(at - buffer.data())) < 0) return 1;
        at = buffer.data();
      }
    }
    if (::write(nullFd, buffer.data(), static_cast<std::size_t>(at - buffer.data())) < 0) return 1;
    ::close(nullFd);
  }
  const double toCharsSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - startToChars).count();
  std::printf("%zu lines with std::to_chars into a large buffer in %.2f s: %.1f ns per line\n", lineEnds.size(),
              toCharsSeconds, toCharsSeconds * 1e9 / static_cast<double>(lineEnds.size()));
  return 0;
}
