#include "trace_line.hpp"

#include <array>
#include <cstring>
#include <limits>

namespace tsum {
namespace {

// Field types, one letter each in a kind's pattern.
//   f real   s group name   u unit id   b 0/1 flag   i integer
struct KindInfo {
  std::string_view name;
  std::string_view pattern;
  std::array<std::string_view, 12> fields;  // what each field means, for messages
};

constexpr std::array<KindInfo, kKindCount> kKinds = {{
    {"spk", "fsubi", {"time", "group", "id", "exc", "pending"}},
    {"uthr", "fsubff", {"time", "group", "id", "exc", "rate", "threshold"}},
    {"dthr", "fsubff", {"time", "group", "id", "exc", "rate", "threshold"}},
    {"volt", "sfff", {"group", "window end", "input sum", "change sum"}},
    {"ustdp", "fsubsuff",
     {"time", "pre group", "pre id", "pre exc", "post group", "post id", "change", "weight"}},
    {"dstdp", "fsubsuff",
     {"time", "pre group", "pre id", "pre exc", "post group", "post id", "change", "weight"}},
    {"swon", "fsubsu", {"time", "pre group", "pre id", "pre exc", "post group", "post id"}},
    {"swoff", "fsubsu", {"time", "pre group", "pre id", "pre exc", "post group", "post id"}},
    {"nmp", "fsubi", {"time", "group", "id", "exc", "marks"}},
    {"swofftime", "f", {"time"}},
    {"unit", "subfffiifiif",
     {"group", "id", "exc", "threshold", "leak", "reset", "incoming total", "incoming active",
      "incoming weight", "outgoing total", "outgoing active", "outgoing weight"}},
    {"syn", "susubbbfff",
     {"pre group", "pre id", "post group", "post id", "active", "pre exc", "post exc", "weight",
      "delay", "last switch"}},
}};

// Kinds whose first real field is not a time.
constexpr bool timed(Kind k) { return k != Kind::unit && k != Kind::syn; }

bool find_kind(const char* p, std::size_t n, Kind& out) {
  auto is = [&](const char* word) { return std::memcmp(p, word, n) == 0; };
  switch (n) {
    case 3:
      if (is("spk")) { out = Kind::spk; return true; }
      if (is("nmp")) { out = Kind::nmp; return true; }
      if (is("syn")) { out = Kind::syn; return true; }
      return false;
    case 4:
      if (is("swon")) { out = Kind::swon; return true; }
      if (is("unit")) { out = Kind::unit; return true; }
      if (is("uthr")) { out = Kind::uthr; return true; }
      if (is("dthr")) { out = Kind::dthr; return true; }
      if (is("volt")) { out = Kind::volt; return true; }
      return false;
    case 5:
      if (is("swoff")) { out = Kind::swoff; return true; }
      if (is("ustdp")) { out = Kind::ustdp; return true; }
      if (is("dstdp")) { out = Kind::dstdp; return true; }
      return false;
    case 9:
      if (is("swofftime")) { out = Kind::swofftime; return true; }
      return false;
    default:
      return false;
  }
}

inline bool is_digit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

// Each field parser starts on the first character of a non-empty field and
// leaves p on the space after it (or at the end of the line).
inline bool at_field_end(const char* p, const char* e) { return p == e || *p == ' '; }

constexpr int kMaxDigits = 18;  // keeps every mantissa within int64

ParseError parse_real(const char*& p, const char* e, Decimal& out) {
  bool negative = false;
  if (*p == '-') {
    negative = true;
    ++p;
  }
  std::uint64_t m = 0;
  const char* start = p;
  while (p != e && is_digit(*p)) m = m * 10 + static_cast<unsigned>(*p++ - '0');
  int digits = static_cast<int>(p - start);
  if (digits == 0) return ParseError::bad_real;
  int decimals = 0;
  if (p != e && *p == '.') {
    start = ++p;
    while (p != e && is_digit(*p)) m = m * 10 + static_cast<unsigned>(*p++ - '0');
    decimals = static_cast<int>(p - start);
    if (decimals == 0) return ParseError::bad_real;
  }
  if (!at_field_end(p, e)) return ParseError::bad_real;
  if (digits + decimals > kMaxDigits) return ParseError::out_of_range;
  out.mantissa = negative ? -static_cast<std::int64_t>(m) : static_cast<std::int64_t>(m);
  out.decimals = decimals;
  return ParseError::none;
}

ParseError parse_id(const char*& p, const char* e, std::uint32_t& out) {
  std::uint32_t v = 0;
  const char* start = p;
  while (p != e && is_digit(*p)) v = v * 10 + static_cast<unsigned>(*p++ - '0');
  if (p == start || !at_field_end(p, e)) return ParseError::bad_id;
  if (p - start > 9) return ParseError::out_of_range;
  out = v;
  return ParseError::none;
}

ParseError parse_integer(const char*& p, const char* e, std::int64_t& out) {
  bool negative = false;
  if (*p == '-') {
    negative = true;
    ++p;
  }
  std::uint64_t v = 0;
  const char* start = p;
  while (p != e && is_digit(*p)) v = v * 10 + static_cast<unsigned>(*p++ - '0');
  if (p == start || !at_field_end(p, e)) return ParseError::bad_integer;
  if (p - start > kMaxDigits) return ParseError::out_of_range;
  out = negative ? -static_cast<std::int64_t>(v) : static_cast<std::int64_t>(v);
  return ParseError::none;
}

ParseError parse_flag(const char*& p, const char* e, bool& out) {
  if ((*p != '0' && *p != '1') || !at_field_end(p + 1, e)) return ParseError::bad_flag;
  out = *p == '1';
  ++p;
  return ParseError::none;
}

ParseError parse_name(const char*& p, const char* e, std::string_view& out) {
  const char* start = p;
  while (p != e && *p != ' ') {
    auto c = static_cast<unsigned char>(*p);
    if (c < 0x20 || c == 0x7f) return ParseError::bad_name;
    ++p;
  }
  auto n = static_cast<std::size_t>(p - start);
  if (n > kMaxNameLength) return ParseError::name_too_long;
  out = std::string_view(start, n);
  return ParseError::none;
}

constexpr std::array<std::int64_t, 19> kPow10 = {
    1LL,
    10LL,
    100LL,
    1000LL,
    10000LL,
    100000LL,
    1000000LL,
    10000000LL,
    100000000LL,
    1000000000LL,
    10000000000LL,
    100000000000LL,
    1000000000000LL,
    10000000000000LL,
    100000000000000LL,
    1000000000000000LL,
    10000000000000000LL,
    100000000000000000LL,
    1000000000000000000LL,
};

}  // namespace

double Decimal::value() const {
  // Both operands are exact in a double for every mantissa below 2^53, so the
  // one division rounds correctly, as strtod would.
  return static_cast<double>(mantissa) / static_cast<double>(kPow10[decimals]);
}

bool Decimal::to_ticks(Ticks& out) const {
  constexpr int kTickDecimals = 6;
  if (decimals <= kTickDecimals) {
    std::int64_t scale = kPow10[kTickDecimals - decimals];
    if (mantissa > std::numeric_limits<Ticks>::max() / scale ||
        mantissa < std::numeric_limits<Ticks>::min() / scale)
      return false;
    out = mantissa * scale;
    return true;
  }
  // More decimals than a tick resolves: round half away from zero.
  std::int64_t div = kPow10[decimals - kTickDecimals];
  std::int64_t q = mantissa / div;
  std::int64_t r = mantissa % div;
  if (2 * (r < 0 ? -r : r) >= div) q += mantissa < 0 ? -1 : 1;
  out = q;
  return true;
}

std::string_view kind_name(Kind kind) { return kKinds[static_cast<std::size_t>(kind)].name; }

ParseResult parse_line(std::string_view line, TraceLine& out) {
  ParseResult r;
  if (line.empty()) {
    r.error = ParseError::empty_line;
    return r;
  }
  const char* p = line.data();
  const char* const e = p + line.size();
  const void* space = std::memchr(p, ' ', line.size());
  const char* word_end = space ? static_cast<const char*>(space) : e;
  if (!find_kind(p, static_cast<std::size_t>(word_end - p), r.kind)) {
    r.error = ParseError::unknown_kind;
    return r;
  }
  const KindInfo& info = kKinds[static_cast<std::size_t>(r.kind)];
  out.kind = r.kind;
  p = word_end;

  int n_real = 0, n_name = 0, n_id = 0, n_flag = 0, n_count = 0;
  int field = 1;
  for (char type : info.pattern) {
    ++field;
    if (p == e) {
      // The switch-off line may come without its time.
      if (r.kind == Kind::swofftime) break;
      r.error = ParseError::too_few_fields;
      r.field = field;
      return r;
    }
    ++p;  // the separating space
    if (p == e || *p == ' ') {
      r.error = ParseError::empty_field;
      r.field = field;
      return r;
    }
    ParseError err = ParseError::none;
    switch (type) {
      case 'f': err = parse_real(p, e, out.real[n_real++]); break;
      case 's': err = parse_name(p, e, out.name[n_name++]); break;
      case 'u': err = parse_id(p, e, out.id[n_id++]); break;
      case 'b': err = parse_flag(p, e, out.flag[n_flag++]); break;
      case 'i': err = parse_integer(p, e, out.count[n_count++]); break;
      default: break;
    }
    if (err != ParseError::none) {
      r.error = err;
      r.field = field;
      return r;
    }
  }
  if (p != e) {
    r.error = p + 1 == e ? ParseError::empty_field : ParseError::too_many_fields;
    r.field = field + 1;
    return r;
  }
  out.real_count = n_real;
  out.has_time = timed(r.kind) && n_real > 0;
  if (out.has_time && !out.real[0].to_ticks(out.time)) {
    r.error = ParseError::out_of_range;
    r.field = r.kind == Kind::volt ? 3 : 2;
    return r;
  }
  return r;
}

std::string describe(const ParseResult& r) {
  switch (r.error) {
    case ParseError::none: return "no error";
    case ParseError::empty_line: return "empty line";
    case ParseError::unknown_kind: return "unknown line kind";
    default: break;
  }
  const KindInfo& info = kKinds[static_cast<std::size_t>(r.kind)];
  std::string out(info.name);
  out += ": ";
  if (r.error == ParseError::too_many_fields) {
    out += "more than " + std::to_string(info.pattern.size() + 1) + " fields";
    return out;
  }
  out += "field " + std::to_string(r.field);
  if (r.field >= 2 && static_cast<std::size_t>(r.field - 2) < info.pattern.size()) {
    out += " (";
    out += info.fields[static_cast<std::size_t>(r.field - 2)];
    out += ")";
  }
  switch (r.error) {
    case ParseError::too_few_fields: out += " is missing"; break;
    case ParseError::empty_field: out += " is empty (stray space)"; break;
    case ParseError::bad_real: out += " is not a decimal number"; break;
    case ParseError::bad_id: out += " is not an unsigned integer"; break;
    case ParseError::bad_integer: out += " is not an integer"; break;
    case ParseError::bad_flag: out += " is not 0 or 1"; break;
    case ParseError::bad_name: out += " holds a control character"; break;
    case ParseError::name_too_long:
      out += " is longer than " + std::to_string(kMaxNameLength) + " characters";
      break;
    case ParseError::out_of_range: out += " is out of range"; break;
    default: break;
  }
  return out;
}

}  // namespace tsum
