#include "trace_line.h"

#include <array>
#include <cstring>
#include <limits>

namespace net1::summary {
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

bool findKind(const char* p, std::size_t n, Kind& out) {
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

inline bool isDigit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

// Each field parser starts on the first character of a non-empty field and
// leaves p on the space after it (or at the end of the line).
inline bool atFieldEnd(const char* p, const char* e) { return p == e || *p == ' '; }

constexpr int kMaxDigits = 18;  // keeps every mantissa within int64

ParseError parseReal(const char*& p, const char* e, Decimal& out) {
  bool negative = false;
  if (*p == '-') {
    negative = true;
    ++p;
  }
  std::uint64_t m = 0;
  const char* start = p;
  while (p != e && isDigit(*p)) m = m * 10 + static_cast<unsigned>(*p++ - '0');
  int digits = static_cast<int>(p - start);
  if (digits == 0) return ParseError::badReal;
  int decimals = 0;
  if (p != e && *p == '.') {
    start = ++p;
    while (p != e && isDigit(*p)) m = m * 10 + static_cast<unsigned>(*p++ - '0');
    decimals = static_cast<int>(p - start);
    if (decimals == 0) return ParseError::badReal;
  }
  if (!atFieldEnd(p, e)) return ParseError::badReal;
  if (digits + decimals > kMaxDigits) return ParseError::outOfRange;
  out.mantissa = negative ? -static_cast<std::int64_t>(m) : static_cast<std::int64_t>(m);
  out.decimals = decimals;
  return ParseError::none;
}

ParseError parseId(const char*& p, const char* e, std::uint32_t& out) {
  std::uint32_t v = 0;
  const char* start = p;
  while (p != e && isDigit(*p)) v = v * 10 + static_cast<unsigned>(*p++ - '0');
  if (p == start || !atFieldEnd(p, e)) return ParseError::badId;
  if (p - start > 9) return ParseError::outOfRange;
  out = v;
  return ParseError::none;
}

ParseError parseInteger(const char*& p, const char* e, std::int64_t& out) {
  bool negative = false;
  if (*p == '-') {
    negative = true;
    ++p;
  }
  std::uint64_t v = 0;
  const char* start = p;
  while (p != e && isDigit(*p)) v = v * 10 + static_cast<unsigned>(*p++ - '0');
  if (p == start || !atFieldEnd(p, e)) return ParseError::badInteger;
  if (p - start > kMaxDigits) return ParseError::outOfRange;
  out = negative ? -static_cast<std::int64_t>(v) : static_cast<std::int64_t>(v);
  return ParseError::none;
}

ParseError parseFlag(const char*& p, const char* e, bool& out) {
  if ((*p != '0' && *p != '1') || !atFieldEnd(p + 1, e)) return ParseError::badFlag;
  out = *p == '1';
  ++p;
  return ParseError::none;
}

ParseError parseName(const char*& p, const char* e, std::string_view& out) {
  const char* start = p;
  while (p != e && *p != ' ') {
    auto c = static_cast<unsigned char>(*p);
    if (c < 0x20 || c == 0x7f) return ParseError::badName;
    ++p;
  }
  auto n = static_cast<std::size_t>(p - start);
  if (n > kMaxNameLength) return ParseError::nameTooLong;
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

bool Decimal::toTicks(Ticks& out) const {
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

std::string_view kindName(Kind kind) { return kKinds[static_cast<std::size_t>(kind)].name; }

ParseResult parseLine(std::string_view line, TraceLine& out) {
  ParseResult r;
  if (line.empty()) {
    r.error = ParseError::emptyLine;
    return r;
  }
  const char* p = line.data();
  const char* const e = p + line.size();
  const void* space = std::memchr(p, ' ', line.size());
  const char* wordEnd = space ? static_cast<const char*>(space) : e;
  if (!findKind(p, static_cast<std::size_t>(wordEnd - p), r.kind)) {
    r.error = ParseError::unknownKind;
    return r;
  }
  const KindInfo& info = kKinds[static_cast<std::size_t>(r.kind)];
  out.kind = r.kind;
  p = wordEnd;

  int nReal = 0, nName = 0, nId = 0, nFlag = 0, nCount = 0;
  int field = 1;
  for (char type : info.pattern) {
    ++field;
    if (p == e) {
      // The switch-off line may come without its time.
      if (r.kind == Kind::swofftime) break;
      r.error = ParseError::tooFewFields;
      r.field = field;
      return r;
    }
    ++p;  // the separating space
    if (p == e || *p == ' ') {
      r.error = ParseError::emptyField;
      r.field = field;
      return r;
    }
    ParseError err = ParseError::none;
    switch (type) {
      case 'f': err = parseReal(p, e, out.real[nReal++]); break;
      case 's': err = parseName(p, e, out.name[nName++]); break;
      case 'u': err = parseId(p, e, out.id[nId++]); break;
      case 'b': err = parseFlag(p, e, out.flag[nFlag++]); break;
      case 'i': err = parseInteger(p, e, out.count[nCount++]); break;
      default: break;
    }
    if (err != ParseError::none) {
      r.error = err;
      r.field = field;
      return r;
    }
  }
  if (p != e) {
    r.error = p + 1 == e ? ParseError::emptyField : ParseError::tooManyFields;
    r.field = field + 1;
    return r;
  }
  out.realCount = nReal;
  out.hasTime = timed(r.kind) && nReal > 0;
  if (out.hasTime && !out.real[0].toTicks(out.time)) {
    r.error = ParseError::outOfRange;
    r.field = r.kind == Kind::volt ? 3 : 2;
    return r;
  }
  return r;
}

std::string describe(const ParseResult& r) {
  switch (r.error) {
    case ParseError::none: return "no error";
    case ParseError::emptyLine: return "empty line";
    case ParseError::unknownKind: return "unknown line kind";
    default: break;
  }
  const KindInfo& info = kKinds[static_cast<std::size_t>(r.kind)];
  std::string out(info.name);
  out += ": ";
  if (r.error == ParseError::tooManyFields) {
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
    case ParseError::tooFewFields: out += " is missing"; break;
    case ParseError::emptyField: out += " is empty (stray space)"; break;
    case ParseError::badReal: out += " is not a decimal number"; break;
    case ParseError::badId: out += " is not an unsigned integer"; break;
    case ParseError::badInteger: out += " is not an integer"; break;
    case ParseError::badFlag: out += " is not 0 or 1"; break;
    case ParseError::badName: out += " holds a control character"; break;
    case ParseError::nameTooLong:
      out += " is longer than " + std::to_string(kMaxNameLength) + " characters";
      break;
    case ParseError::outOfRange: out += " is out of range"; break;
    default: break;
  }
  return out;
}

}  // namespace net1::summary
