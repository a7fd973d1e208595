// The cost of just formatting and writing a trace: reads a program's output,
// keeps every line as its fields, then writes them all again through the
// engine's output stream to /dev/null and reports the time per line. This is
// the floor under any run that prints those lines.
//
//   format-bench TRACE_FILE
#include <fcntl.h>
#include <unistd.h>

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
  return 0;
}
