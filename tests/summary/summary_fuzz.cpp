// A seeded mutation fuzzer for exp-summary.
//
//   summary-fuzz EXP_SUMMARY [--cases N] [--seed S] [--sanitized] TRACE...
//
// Each case takes one of the real short traces given, changes it a few
// times (bytes and lines flipped, deleted, duplicated, numbers pushed to
// the ends of their range and past them, made-up groups, traces cut or run
// together), sometimes compresses it or damages the compressed bytes, and
// runs exp-summary on it with one of a set of option lines, in a child with
// limits on time, memory and file size. A case fails on a crash, a
// sanitizer report, a limit reached or an exit status other than 0, 1 or 2;
// the failing input is printed and kept, and the run exits 1.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>
#include <zlib.h>
#include <zstd.h>

namespace fs = std::filesystem;

namespace {

// Limits of one case. Far above what exp-summary needs for these inputs
// (a few MB, a fraction of a second), far below what a fault would take.
constexpr int kCpuSeconds = 20;
constexpr int kWallSeconds = 60;
constexpr long kMemoryMb = 768;      // peak resident memory
constexpr long kFileMb = 64;         // any one file written
constexpr long kAddressSpaceMb = 2048;  // without the sanitizers only: they reserve terabytes

using Rng = std::mt19937_64;

std::size_t pick(Rng& rng, std::size_t n) { return n == 0 ? 0 : std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); }

const char* const kExtremes[] = {
    "0", "-0", "0.000000", "-0.000000", "-0.000001", "0.0000001", "0.0000005", "999999999999.999999",
    "1000000000000.000000", "1000000000000", "99999999.000000", "999999999.000000", "9999999.999999",
    "4999", "5000", "999999", "1000000", "65536", "4294967296", "2147483647", "2147483648", "-2147483648", "-2147483649",
    "9223372036854775807", "-9223372036854775808", "18446744073709551616", "123456789012345678",
    "1234567890123456789", "00000000000000000001", "1e308", "nan", "inf", "-inf", "1.", ".5", "--1", "+1",
    "0x10", "1,5", "",
};

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t nl = text.find('\n', start);
    if (nl == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, nl - start));
    start = nl + 1;
  }
  return lines;
}

std::string joinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& l : lines) text += l + "\n";
  return text;
}

std::string randomName(Rng& rng) {
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789_,\"-> ";
  std::size_t n = 1 + pick(rng, pick(rng, 4) == 0 ? 90 : 8);
  std::string name;
  for (std::size_t i = 0; i < n; ++i) name += kChars[pick(rng, sizeof kChars - 1)];
  return name;
}

// One change of the text.
void mutate(std::string& text, Rng& rng) {
  std::vector<std::string> lines = splitLines(text);
  switch (pick(rng, 13)) {
    case 0:  // flip a byte
      if (!text.empty()) text[pick(rng, text.size())] ^= static_cast<char>(1 << pick(rng, 8));
      return;
    case 1:  // set a byte to something a trace holds, or not
      if (!text.empty()) text[pick(rng, text.size())] = " \n-.0159\t\r\x00\xff"[pick(rng, 13)];
      return;
    case 2: {  // delete bytes
      if (text.empty()) return;
      std::size_t at = pick(rng, text.size());
      text.erase(at, 1 + pick(rng, 16));
      return;
    }
    case 3: {  // duplicate bytes
      if (text.empty()) return;
      std::size_t at = pick(rng, text.size());
      text.insert(at, text.substr(at, 1 + pick(rng, 32)));
      return;
    }
    case 4:  // cut the text short
      text.resize(pick(rng, text.size() + 1));
      return;
    case 5:  // run two traces together
      text += text;
      return;
    default:
      break;
  }
  if (lines.empty()) return;
  std::size_t i = pick(rng, lines.size());
  switch (pick(rng, 7)) {
    case 0:  // delete lines
      lines.erase(lines.begin() + static_cast<long>(i),
                  lines.begin() + static_cast<long>(std::min(lines.size(), i + 1 + pick(rng, 3))));
      break;
    case 1: {  // duplicate a line, sometimes many times
      std::size_t copies = pick(rng, 4) == 0 ? pick(rng, 2000) : 1 + pick(rng, 3);
      lines.insert(lines.begin() + static_cast<long>(i), copies, lines[i]);
      break;
    }
    case 2:  // swap two lines
      std::swap(lines[i], lines[pick(rng, lines.size())]);
      break;
    case 3:
    case 4: {  // push a field, mostly a number, to an extreme
      std::vector<std::string> fields;
      std::istringstream in(lines[i]);
      for (std::string f; std::getline(in, f, ' ');) fields.push_back(f);
      if (fields.size() < 2) break;
      fields[1 + pick(rng, fields.size() - 1)] = kExtremes[pick(rng, std::size(kExtremes))];
      std::string line;
      for (std::size_t k = 0; k < fields.size(); ++k) line += (k ? " " : "") + fields[k];
      lines[i] = line;
      break;
    }
    case 5: {  // a made-up group in place of a name
      for (const char* g : {"sorc", "rsvr", "sink"}) {
        std::size_t at = lines[i].find(g);
        if (at != std::string::npos) {
          lines[i].replace(at, 4, randomName(rng));
          break;
        }
      }
      break;
    }
    case 6: {  // another line kind's keyword
      static const char* const kKinds[] = {"spk", "uthr", "dthr", "volt", "ustdp", "dstdp", "swon",
                                           "swoff", "nmp", "swofftime", "unit", "syn", "SPK", ""};
      std::size_t sp = lines[i].find(' ');
      lines[i].replace(0, sp == std::string::npos ? lines[i].size() : sp, kKinds[pick(rng, std::size(kKinds))]);
      break;
    }
  }
  text = joinLines(lines);
}

std::string gzipOf(const std::string& text) {
  z_stream z{};
  deflateInit2(&z, 1, Z_DEFLATED, 16 + 15, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, text.size()) + 64, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  z.avail_in = static_cast<uInt>(text.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::string zstdOf(const std::string& text) {
  std::string out(ZSTD_compressBound(text.size()), '\0');
  out.resize(ZSTD_compress(out.data(), out.size(), text.data(), text.size(), 1));
  return out;
}

// Option lines; "DIR" and "FILE" become paths in the case's folder.
const std::vector<std::vector<std::string>> kOptionLines = {
    {},
    {"--quiet"},
    {"--lenient"},
    {"--csv", "DIR"},
    {"--lenient", "--csv", "DIR", "--headline", "FILE", "--label", "seed=1"},
    {"--csv", "DIR", "--bin", "0.000001"},
    {"--lenient", "--csv", "DIR", "--bin", "0.5", "--raster", "0:1000000"},
    {"--headline", "-", "--quiet", "--label", "a,b=\"c\""},
    {"--lenient", "--quiet", "--csv", "DIR", "--bin", "999999999999.999999"},
};

struct Outcome {
  bool ok = true;
  std::string why;
  int status = -1;
};

std::string slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

Outcome runCase(const std::string& program, const fs::path& dir, const std::string& input,
                const std::vector<std::string>& options, bool fromStdin, bool sanitized) {
  const fs::path inputPath = dir / "input";
  std::ofstream(inputPath, std::ios::binary) << input;
  std::vector<std::string> args{program};
  for (const auto& o : options) args.push_back(o == "DIR" ? (dir / "csv").string() : o == "FILE" ? (dir / "head.csv").string() : o);
  if (!fromStdin) args.push_back(inputPath.string());

  pid_t pid = ::fork();
  if (pid == 0) {
    ::setpgid(0, 0);
    int in = ::open(fromStdin ? inputPath.c_str() : "/dev/null", O_RDONLY);
    int out = ::open((dir / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = ::open((dir / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    rlimit cpu{kCpuSeconds, kCpuSeconds + 5};
    ::setrlimit(RLIMIT_CPU, &cpu);
    rlimit file{static_cast<rlim_t>(kFileMb) << 20, static_cast<rlim_t>(kFileMb) << 20};
    ::setrlimit(RLIMIT_FSIZE, &file);
    rlimit core{0, 0};
    ::setrlimit(RLIMIT_CORE, &core);
    if (!sanitized) {
      rlimit as{static_cast<rlim_t>(kAddressSpaceMb) << 20, static_cast<rlim_t>(kAddressSpaceMb) << 20};
      ::setrlimit(RLIMIT_AS, &as);
    }
    // A sanitizer report must not pass for exit status 1.
    std::string asan = "exitcode=99:abort_on_error=1:detect_leaks=1:hard_rss_limit_mb=" + std::to_string(kMemoryMb);
    ::setenv("ASAN_OPTIONS", asan.c_str(), 1);
    ::setenv("UBSAN_OPTIONS", "exitcode=99:halt_on_error=1:abort_on_error=1:print_stacktrace=1", 1);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    std::_Exit(127);
  }
  Outcome o;
  int wstatus = 0;
  rusage usage{};
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    pid_t r = ::wait4(pid, &wstatus, WNOHANG, &usage);
    if (r == pid) break;
    if (std::chrono::steady_clock::now() - start > std::chrono::seconds(kWallSeconds)) {
      ::kill(-pid, SIGKILL);
      ::wait4(pid, &wstatus, 0, &usage);
      o.ok = false;
      o.why = "took more than " + std::to_string(kWallSeconds) + " s";
      return o;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  const std::string err = slurp(dir / "stderr");
  if (WIFSIGNALED(wstatus)) {
    o.ok = false;
    o.why = std::string("killed by signal ") + strsignal(WTERMSIG(wstatus));
  } else {
    o.status = WEXITSTATUS(wstatus);
    if (o.status > 2) {
      o.ok = false;
      o.why = "exit status " + std::to_string(o.status);
    }
  }
  if (usage.ru_maxrss > kMemoryMb * 1024) {
    o.ok = false;
    o.why += (o.why.empty() ? "" : "; ") + std::string("peak memory ") + std::to_string(usage.ru_maxrss / 1024) + " MB";
  }
  for (const char* marker : {"Sanitizer", "runtime error:", "terminate called"}) {
    if (err.find(marker) != std::string::npos) {
      o.ok = false;
      o.why += (o.why.empty() ? "" : "; ") + std::string("stderr holds \"") + marker + "\"";
    }
  }
  if (!o.ok) o.why += "\n--- stderr ---\n" + err.substr(0, 4000);
  return o;
}

// The input, printable: escapes for bytes that are not.
std::string printable(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c == '\n' || (c >= 0x20 && c < 0x7f && c != '\\')) {
      out += static_cast<char>(c);
    } else {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: summary-fuzz EXP_SUMMARY [--cases N] [--seed S] [--sanitized] TRACE...\n");
    return 2;
  }
  const std::string program = fs::absolute(argv[1]).string();
  long cases = 300;
  unsigned long long seed = 1;
  bool sanitized = false;
  std::vector<std::string> corpus;
  for (int i = 2; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--cases" && i + 1 < argc) {
      cases = std::atol(argv[++i]);
    } else if (a == "--seed" && i + 1 < argc) {
      seed = std::strtoull(argv[++i], nullptr, 10);
    } else if (a == "--sanitized") {
      sanitized = true;
    } else {
      corpus.push_back(slurp(a));
    }
  }
  if (corpus.empty()) {
    std::fprintf(stderr, "summary-fuzz: no traces given\n");
    return 2;
  }
  const fs::path work = fs::temp_directory_path() / ("summary-fuzz-" + std::to_string(::getpid()));
  fs::create_directories(work);
  long counts[3] = {0, 0, 0};
  int failures = 0;
  for (long c = 0; c < cases; ++c) {
    Rng rng(seed * 1000003 + static_cast<unsigned long long>(c));
    std::string input = corpus[pick(rng, corpus.size())];
    const std::size_t changes = 1 + pick(rng, 6);
    for (std::size_t k = 0; k < changes; ++k) mutate(input, rng);
    const std::size_t packing = pick(rng, 10);
    std::string packed = packing == 0 ? gzipOf(input) : packing == 1 ? zstdOf(input) : input;
    if (packing <= 1 && pick(rng, 2) == 0) mutate(packed, rng);  // damaged compressed data
    const auto& options = kOptionLines[pick(rng, kOptionLines.size())];
    const bool fromStdin = pick(rng, 2) == 0;

    const fs::path dir = work / ("case-" + std::to_string(c));
    fs::create_directories(dir);
    Outcome o = runCase(program, dir, packed, options, fromStdin, sanitized);
    if (o.ok) {
      ++counts[o.status];
      fs::remove_all(dir);
      continue;
    }
    ++failures;
    std::string line;
    for (const auto& opt : options) line += " " + opt;
    std::printf("FAIL case %ld (seed %llu): %s\noptions:%s%s\n--- input (%zu bytes, kept as %s) ---\n%s\n--- end ---\n", c,
                seed, o.why.c_str(), line.c_str(), fromStdin ? " (input on standard input)" : "", packed.size(),
                (dir / "input").c_str(), printable(packed).c_str());
  }
  std::printf("summary-fuzz: %ld cases, seed %llu: %ld exit 0, %ld exit 1, %ld exit 2, %d failed\n", cases, seed,
              counts[0], counts[1], counts[2], failures);
  if (failures == 0) fs::remove_all(work);
  return failures == 0 ? 0 : 1;
}
