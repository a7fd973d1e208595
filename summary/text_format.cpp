#include "text_format.h"

#include <cstdio>

namespace net1::summary {

std::string formatTicks(Ticks t) {
  // Unsigned, so that the most negative value has a magnitude too.
  std::uint64_t mag = t < 0 ? 0 - static_cast<std::uint64_t>(t) : static_cast<std::uint64_t>(t);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%s%llu.%06llu", t < 0 ? "-" : "",
                static_cast<unsigned long long>(mag / kTicksPerUnit),
                static_cast<unsigned long long>(mag % kTicksPerUnit));
  return buf;
}

std::string formatReal(double v) {
  char buf[64];
  int n = std::snprintf(buf, sizeof buf, "%.6f", v);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof buf) {
    std::string big(static_cast<std::size_t>(n > 0 ? n : 0) + 1, '\0');
    std::snprintf(big.data(), big.size(), "%.6f", v);
    big.pop_back();
    return big;
  }
  return std::string(buf, static_cast<std::size_t>(n));
}

std::string csvField(std::string_view s) {
  std::string out;
  appendCsvField(out, s);
  return out;
}

void appendCsvField(std::string& out, std::string_view s) {
  if (s.find_first_of(",\"\r\n") == std::string_view::npos) {
    out += s;
    return;
  }
  out += '"';
  for (char c : s) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

}  // namespace net1::summary
