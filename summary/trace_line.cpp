#include "trace_line.h"

#include <array>
#include <cstring>
#include <limits>

namespace net1::summary {
namespace {

// The kinds by the length of their keyword, so that a line's first word is
// compared with the few keywords of its length only.
constexpr std::size_t kLongestKeyword = [] {
  std::size_t n = 0;
  for (const auto& k : trace::kKinds) n = k.keyword.size() > n ? k.keyword.size() : n;
  return n;
}();

struct KindsOfLength {
  std::array<Kind, trace::kKindCount> kinds{};
  std::size_t count = 0;
};

constexpr auto kByLength = [] {
  std::array<KindsOfLength, kLongestKeyword + 1> table{};
  for (std::size_t i = 0; i < trace::kKindCount; ++i) {
    auto& slot = table[trace::kKinds[i].keyword.size()];
    slot.kinds[slot.count++] = static_cast<Kind>(i);
  }
  return table;
}();

bool findKind(const char* p, std::size_t n, Kind& out) {
  if (n > kLongestKeyword) return false;
  const KindsOfLength& candidates = kByLength[n];
  for (std::size_t i = 0; i < candidates.count; ++i) {
    // A loop over at most nine characters, inlined, beats a call of memcmp.
    const char* k = trace::kindSpec(candidates.kinds[i]).keyword.data();
    std::size_t j = 0;
    while (j < n && k[j] == p[j]) ++j;
    if (j == n) {
      out = candidates.kinds[i];
      return true;
    }
  }
  return false;
}

inline bool isDigit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

// Each field parser starts on the first character of a non-empty field and
// leaves p on the space after it (or at the end of the line).
inline bool atFieldEnd(const char* p, const char* e) { return p == e || *p == ' '; }

constexpr int kMaxDigits = 18;

// Digits are added up as they come, in unsigned arithmetic, where a number
// too long to be taken may wrap harmlessly: its length refuses it.
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
  if (digits + decimals > kMaxDigits) return ParseError::realTooLong;
  out.mantissa = negative ? -static_cast<std::int64_t>(m) : static_cast<std::int64_t>(m);
  out.decimals = decimals;
  return ParseError::none;
}

constexpr int kIdDigits = [] {
  int n = 1;
  for (std::uint32_t v = kMaxUnitId; v >= 10; v /= 10) ++n;
  return n;
}();

ParseError parseId(const char*& p, const char* e, std::uint32_t& out) {
  std::uint32_t v = 0;
  const char* start = p;
  while (p != e && isDigit(*p)) v = v * 10 + static_cast<unsigned>(*p++ - '0');
  if (p == start || !atFieldEnd(p, e)) return ParseError::badId;
  if (p - start > kIdDigits || v > kMaxUnitId) return ParseError::idOutOfRange;
  out = v;
  return ParseError::none;
}

// "%d" of an int.
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
  if (p - start > 10 || v > (negative ? std::uint64_t{1} << 31 : (std::uint64_t{1} << 31) - 1))
    return ParseError::integerOutOfRange;
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
  if (n > trace::kMaxNameLength) return ParseError::nameTooLong;
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
    // The largest mantissa that fits once scaled, per number of decimals:
    // a comparison instead of a division on every line.
    static constexpr auto kLimit = [] {
      std::array<std::int64_t, kTickDecimals + 1> limit{};
      for (int d = 0; d <= kTickDecimals; ++d)
        limit[static_cast<std::size_t>(d)] = std::numeric_limits<Ticks>::max() / kPow10[kTickDecimals - d];
      return limit;
    }();
    const std::int64_t limit = kLimit[static_cast<std::size_t>(decimals)];
    if (mantissa > limit || mantissa < -limit) return false;
    out = mantissa * kPow10[kTickDecimals - decimals];
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

bool Decimal::toTime(Ticks& out) const {
  Ticks t = 0;
  if (!toTicks(t) || t < 0 || t >= kTimeLimit) return false;
  out = t;
  return true;
}

std::string_view kindName(Kind kind) { return trace::kindSpec(kind).keyword; }

bool parseTime(std::string_view text, Ticks& out) {
  if (text.empty()) return false;
  const char* p = text.data();
  const char* const e = p + text.size();
  Decimal d;
  return parseReal(p, e, d) == ParseError::none && p == e && d.toTime(out);
}

std::string_view fieldName(Kind kind, int field) {
  const trace::KindSpec& s = trace::kindSpec(kind);
  if (field < 2 || static_cast<std::size_t>(field - 2) >= s.pattern.size()) return {};
  return s.fields[static_cast<std::size_t>(field - 2)];
}

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
  const trace::KindSpec& form = trace::kindSpec(r.kind);
  out.kind = r.kind;
  p = wordEnd;

  int nReal = 0, nName = 0, nId = 0, nFlag = 0, nCount = 0;
  int field = 1;
  for (char type : form.pattern) {
    ++field;
    if (p == e) {
      // Fields past the kind's fewest may be left out.
      if (static_cast<std::size_t>(field - 2) >= form.minFields) break;
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
  out.hasTime = form.timed && nReal > 0;
  if (out.hasTime && !out.real[0].toTime(out.time)) {
    r.error = ParseError::timeOutOfRange;
    r.field = 2;
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
  const trace::KindSpec& form = trace::kindSpec(r.kind);
  std::string out(form.keyword);
  out += ": ";
  if (r.error == ParseError::tooManyFields) {
    out += "more than " + std::to_string(form.pattern.size() + 1) + " fields";
    return out;
  }
  out += "field " + std::to_string(r.field);
  if (std::string_view name = fieldName(r.kind, r.field); !name.empty()) {
    out += " (";
    out += name;
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
      out += " is longer than " + std::to_string(trace::kMaxNameLength) + " characters";
      break;
    case ParseError::realTooLong: out += " has more than 18 digits"; break;
    case ParseError::timeOutOfRange: out += " is out of range: a time is from 0 to 999999999999.999999"; break;
    case ParseError::idOutOfRange: out += " is out of range: a unit id is from 0 to " + std::to_string(kMaxUnitId); break;
    case ParseError::integerOutOfRange:
      out += " is out of range: an integer is from -2147483648 to 2147483647";
      break;
    default: break;
  }
  return out;
}

}  // namespace net1::summary
