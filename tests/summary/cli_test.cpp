// The command as a user meets it: outputs byte for byte, messages and exit
// statuses for bad input.
#include "cli.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "compress.h"

namespace net1::summary {
namespace {

namespace fs = std::filesystem;

const fs::path kData = NET1_SUMMARY_TEST_DATA;

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << "cannot read " << path;
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string slurp(std::FILE* f) {
  std::string out;
  std::rewind(f);
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  std::fclose(f);
  return out;
}

struct Result {
  int status;
  std::string out, err;
};

// Runs exp-summary with args, standard input read from the file stdinPath.
Result run(std::vector<std::string> args, const fs::path& stdinPath = "/dev/null") {
  args.insert(args.begin(), "exp-summary");
  std::vector<const char*> argv;
  for (const auto& a : args) argv.push_back(a.c_str());
  int fd = ::open(stdinPath.c_str(), O_RDONLY);
  EXPECT_GE(fd, 0) << stdinPath;
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  Result r;
  r.status = runCli(static_cast<int>(argv.size()), argv.data(), fd, out, err);
  ::close(fd);
  r.out = slurp(out);
  r.err = slurp(err);
  return r;
}

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(::testing::TempDir()) /
           ("exp-summary-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path write(const std::string& name, const std::string& text) {
    fs::path p = dir_ / name;
    std::ofstream(p, std::ios::binary) << text;
    return p;
  }
  fs::path dir_;
};

const std::string kTwoLines = "spk 1.000000 sorc 0 1 0\nspk 2.000000 rsvr 5 1 0\n";



TEST_F(Cli, small_trace_gives_the_expected_outputs_byte_for_byte) {
  fs::path csv = dir_ / "csv";
  Result r = run({"--bin", "2", "--raster", "1:5", "--csv", csv.string(), "--headline", (dir_ / "head.csv").string(),
                  "--label", "program=hand", "--label", "seed=7"},
                 kData / "small.trace");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, slurp(kData / "small.summary.txt"));
  EXPECT_EQ(slurp(dir_ / "head.csv"), slurp(kData / "small.headline.csv"));
  for (const char* table : {"bins", "weights", "raster", "meta"})
    EXPECT_EQ(slurp(csv / (std::string(table) + ".csv")), slurp(kData / ("small." + std::string(table) + ".csv")))
        << table;
}

TEST_F(Cli, reads_a_named_file_like_standard_input) {
  fs::path trace = write("t.trace", kTwoLines);
  Result file = run({"--quiet", "--headline", "-", trace.string()});
  Result in = run({"--quiet", "--headline", "-", "-"}, trace);
  ASSERT_EQ(file.status, 0);
  EXPECT_EQ(file.out, in.out);
  EXPECT_NE(run({trace.string()}).out.find("input         " + trace.string() + "\n"), std::string::npos);
}

TEST_F(Cli, stops_at_the_first_bad_line_with_its_number) {
  fs::path trace = write("bad.trace", kTwoLines + "spk 3.0 sorc x 1 0\nspk 4.0 sorc\n");
  Result r = run({trace.string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "exp-summary: " + trace.string() +
                       ":3: not a trace line: spk: field 4 (id) is not an unsigned integer: \"spk 3.0 sorc x 1 0\"\n");
}

// The bytes a case of the shared table stands for: \n, \t, \r, \\ and \xHH
// written out, or @FILE.
std::string caseInput(const std::string& text) {
  if (!text.empty() && text[0] == '@') return slurp(kData / "hostile" / text.substr(1));
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char c = text[++i];
    if (c == 'x' && i + 2 < text.size()) {
      out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += c == 'n' ? '\n' : c == 't' ? '\t' : c == 'r' ? '\r' : c;
    }
  }
  return out;
}

TEST_F(Cli, hostile_traces_are_refused_or_accepted_as_the_shared_table_says) {
  // The Python reader's tests read the same table: both readers refuse and
  // accept the same traces, with the same words.
  std::ifstream table(kData / "hostile.tsv");
  ASSERT_TRUE(table);
  std::string row;
  int cases = 0;
  while (std::getline(table, row)) {
    if (row.empty() || row[0] == '#') continue;
    std::vector<std::string> f;
    std::istringstream fields(row);
    for (std::string field; std::getline(fields, field, '\t');) f.push_back(field);
    f.resize(5);
    const std::string &name = f[0], &verdict = f[2], &line = f[3], &message = f[4];
    Result r = run({"--quiet", write("case", caseInput(f[1])).string()});
    ++cases;
    if (verdict == "accept") {
      EXPECT_EQ(r.status, 0) << name << ": " << r.err;
      continue;
    }
    EXPECT_EQ(r.status, 1) << name;
    EXPECT_NE(r.err.find(message), std::string::npos) << name << ": " << r.err;
    if (line != "-") {
      EXPECT_NE(r.err.find(":" + line + ": "), std::string::npos) << name << ": " << r.err;
    }
  }
  EXPECT_GT(cases, 40);
}

TEST_F(Cli, lenient_mode_counts_bad_lines_and_shows_the_first_ten) {
  std::string text = kTwoLines;
  for (int i = 0; i < 12; ++i) text += "garbage\x01\n";
  text += "spk 9.000000 sorc 0 1 0\n";
  Result r = run({"--lenient", "--headline", (dir_ / "h.csv").string()}, write("t", text));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("standard input:3: skipped, not a trace line: unknown line kind: \"garbage\\x01\""),
            std::string::npos);
  EXPECT_NE(r.err.find(":12: skipped"), std::string::npos);
  EXPECT_EQ(r.err.find(":13: skipped"), std::string::npos);
  EXPECT_NE(r.err.find("further bad lines are only counted"), std::string::npos);
  EXPECT_NE(r.out.find("note: 12 bad lines were skipped (first at line 3)"), std::string::npos);
  std::string head = slurp(dir_ / "h.csv");
  EXPECT_EQ(head.substr(0, 19), "lines,bad_lines,cut");
  EXPECT_EQ(head.substr(head.find('\n') + 1, 5), "3,12,");
}

TEST_F(Cli, empty_input_is_an_error) {
  Result r = run({});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "exp-summary: standard input: empty input, no trace lines\n");

  Result onlyBad = run({"--lenient"}, write("b", "x\n"));
  EXPECT_EQ(onlyBad.status, 1);
  EXPECT_EQ(onlyBad.err.substr(onlyBad.err.find('\n') + 1),
            "exp-summary: standard input: no trace lines, only 1 bad lines\n");
}

TEST_F(Cli, trace_cut_short_is_reported_but_no_error) {
  Result r = run({"--headline", (dir_ / "h.csv").string()}, write("cut", kTwoLines + "spk 3.00"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "exp-summary: standard input: trace cut short: line 3 has no newline and was left out\n");
  EXPECT_NE(r.out.find("lines         2 (spk 2)\n"), std::string::npos);
  EXPECT_NE(r.out.find("note: trace cut short: line 3 has no newline and was left out\n"), std::string::npos);
  // Without a final report the sizes are unknown and there is no start count.
  EXPECT_NE(r.out.find("note: no final report (run stopped early?): group sizes unknown, start counts 0"),
            std::string::npos);
  EXPECT_NE(r.out.find("sorc       -     -       1          -\n"), std::string::npos);
  std::string head = slurp(dir_ / "h.csv");
  EXPECT_EQ(head.substr(head.find('\n') + 1, 12), "2,0,1,none,1");

  Result onlyCut = run({}, write("c", "spk 3.00"));
  EXPECT_EQ(onlyCut.status, 1);
  EXPECT_NE(onlyCut.err.find("no complete trace line"), std::string::npos);
}

TEST_F(Cli, usage_errors_exit_with_two_and_one_line) {
  const std::vector<std::vector<std::string>> cases = {
      {"--frobnicate"},        {"--bin", "0"},          {"--bin", "abc"},   {"--bin"},
      {"--bin", "0.0000001"},  {"--bin", "1000000000000"}, {"--bin", "1e3"}, {"--raster", "5:1"},
      {"--raster", "5"},       {"--raster", "-1:5"},    {"--label", "=x"},  {"--quiet=yes"},
      {"a.trace", "b.trace"},  {(dir_ / "missing").string()},
      {"--csv", "/proc/no/such/dir"}, {"--headline", "/proc/no/such/file"}, {"--csv="},
  };
  fs::path trace = write("t", kTwoLines);
  for (const auto& args : cases) {
    Result r = run(args, trace);
    EXPECT_EQ(r.status, 2) << args[0];
    EXPECT_EQ(r.out, "") << args[0];
    EXPECT_EQ(r.err.substr(0, 13), "exp-summary: ") << args[0];
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  }
  EXPECT_EQ(run({"--bin"}, trace).err, "exp-summary: --bin needs a value (see exp-summary --help)\n");
  EXPECT_EQ(run({"--quiet=yes"}, trace).err, "exp-summary: --quiet takes no value (see exp-summary --help)\n");
  EXPECT_EQ(run({"--frobnicate"}, trace).err, "exp-summary: unknown option --frobnicate (see exp-summary --help)\n");
  EXPECT_EQ(run({"--bin", "abc"}, trace).err,
            "exp-summary: --bin needs a width from 0.000001 to 999999999999.999999, not \"abc\" "
            "(see exp-summary --help)\n");
  Result help = run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.substr(0, 35), "usage: exp-summary [options] [TRACE");
  Result version = run({"--quiet", "--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.substr(0, 12), "exp-summary ");
  EXPECT_EQ(std::count(version.out.begin(), version.out.end(), '\n'), 1);
}

TEST_F(Cli, options_go_anywhere_in_either_form_and_the_last_value_counts) {
  fs::path trace = write("t", kTwoLines);
  Result a = run({trace.string(), "--bin=1", "--headline", "-", "--quiet", "--label", "k=v", "--bin", "2"});
  Result b = run({"--quiet", "--headline=-", "--label=k=v", "--bin=2", trace.string()});
  ASSERT_EQ(a.status, 0) << a.err;
  EXPECT_EQ(a.out, b.out);
  EXPECT_EQ(a.out.substr(0, 8), "k,lines,");
}

// The summary, the headline and the tables of one trace, as text, to
// compare one reading with another.
std::string everything(const Result& r, const fs::path& csv) {
  std::string all = r.out;
  for (const char* table : {"bins", "weights", "raster"}) all += slurp(csv / (std::string(table) + ".csv"));
  return all;
}

TEST_F(Cli, compressed_traces_give_what_the_plain_text_gives) {
  const std::string plain = slurp(kData / "small.trace");
  const fs::path gz = write("small.trace.gz", gzip(plain));
  const fs::path zst = write("small.zst", zstd(plain));
  // Two gzip members and two zstd frames, as from `cat a.gz b.gz`.
  const std::size_t half = plain.find('\n', plain.size() / 2) + 1;
  const fs::path gz2 = write("two.gz", gzip(plain.substr(0, half)) + gzip(plain.substr(half)));
  const fs::path zst2 = write("two.zst", zstd(plain.substr(0, half)) + zstd(plain.substr(half)));
  const std::vector<std::string> options = {"--bin", "2", "--headline", "-", "--csv"};

  auto summaryOf = [&](const fs::path& file, bool fromStdin) {
    fs::path csv = dir_ / ("csv-" + file.filename().string() + (fromStdin ? "-in" : ""));
    std::vector<std::string> args = options;
    args.push_back(csv.string());
    if (!fromStdin) args.push_back(file.string());
    Result r = fromStdin ? run(args, file) : run(args);
    EXPECT_EQ(r.status, 0) << file << ": " << r.err;
    std::string text = everything(r, csv);
    // The input's name is in the summary; the rest must not differ.
    std::size_t at = text.find('\n');
    return text.substr(at);
  };
  const std::string expected = summaryOf(kData / "small.trace", false);
  for (const fs::path& f : {gz, zst, gz2, zst2}) {
    EXPECT_EQ(summaryOf(f, false), expected) << f;
    EXPECT_EQ(summaryOf(f, true), expected) << f << " from standard input";
  }
}

TEST_F(Cli, damaged_compressed_traces_are_bad_data) {
  const std::string plain = slurp(kData / "small.trace");
  const std::string z = zstd(plain);
  const std::string g = gzip(plain);
  std::string flipped = g;
  flipped[flipped.size() / 2] = static_cast<char>(flipped[flipped.size() / 2] ^ 0x55);
  const struct {
    std::string name, bytes, message;
  } cases[] = {
      {"cut.zst", z.substr(0, z.size() - 7), "truncated zstd data: the input ends inside a frame"},
      {"cut.gz", g.substr(0, g.size() / 2), "truncated gzip data: the input ends inside the compressed stream"},
      {"flipped.gz", flipped, "corrupt gzip data"},
      {"tail.zst", z + "garbage\n", "corrupt zstd data"},
      {"tail.gz", g + "garbage\n", "corrupt gzip data: bytes after the end of the compressed stream"},
  };
  for (const auto& c : cases) {
    fs::path csv = dir_ / ("csv-" + c.name);
    Result r = run({"--csv", csv.string(), write(c.name, c.bytes).string()});
    EXPECT_EQ(r.status, 1) << c.name;
    EXPECT_EQ(r.out, "") << c.name;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << c.name << ": " << r.err;
    // Nothing half-written is left behind.
    EXPECT_TRUE(!fs::exists(csv) || fs::is_empty(csv)) << c.name;
  }
}

TEST_F(Cli, a_time_far_outside_the_rest_is_refused_or_skipped_never_stretching_the_tables) {
  std::string text = "spk 0.500000 sorc 0 1 1\n";
  for (int i = 0; i < 50; ++i)
    text += "swon 999999999.000000 g" + std::to_string(i) + " 0 1 h" + std::to_string(i) + " 0\n";
  fs::path trace = write("far.trace", text);
  Result strict = run({"--quiet", "--csv", (dir_ / "strict").string(), trace.string()});
  EXPECT_EQ(strict.status, 1);
  EXPECT_EQ(strict.err, "exp-summary: " + trace.string() +
                            ":2: out of place: time 999999999.000000 is far outside the rest of the trace "
                            "(0.500000 to 0.500000): \"swon 999999999.000000 g0 0 1 h0 0\"\n");

  fs::path csv = dir_ / "lenient";
  Result lenient = run({"--lenient", "--csv", csv.string(), "--headline", "-", "--quiet", trace.string()});
  ASSERT_EQ(lenient.status, 0) << lenient.err;
  EXPECT_EQ(lenient.out.substr(lenient.out.find('\n') + 1, 5), "1,50,");
  const std::string bins = slurp(csv / "bins.csv");
  EXPECT_EQ(bins.substr(bins.find('\n') + 1), "0.000000,100.000000,1,,0,0\n");
}

TEST_F(Cli, a_line_ahead_of_its_neighbours_is_the_one_refused) {
  // Line 3's time was changed: the lines after it are in order with those before.
  const std::string text =
      "spk 1.000000 sorc 0 1 1\nspk 2.000000 sorc 1 1 1\nspk 7.000000 sorc 2 1 1\nnmp 2.000000 sorc 2 1 0\n"
      "spk 3.000000 sorc 3 1 1\nspk 1.500000 sorc 3 1 1\nspk 4.000000 sorc 0 1 1\n";
  fs::path trace = write("ahead.trace", text);
  Result strict = run({trace.string()});
  EXPECT_EQ(strict.status, 1);
  EXPECT_EQ(strict.err, "exp-summary: " + trace.string() +
                            ":3: out of place: time 7.000000 is later than 2.000000 at line 4, after it: the time "
                            "of a trace never goes back: \"spk 7.000000 sorc 2 1 1\"\n");
  Result lenient = run({"--lenient", "--headline", "-", "--quiet", trace.string()});
  ASSERT_EQ(lenient.status, 0);
  // Lines 3 and 6 are skipped, nothing else.
  EXPECT_EQ(lenient.out.substr(lenient.out.find('\n') + 1, 5), "5,2,0");
  EXPECT_NE(lenient.err.find(":6: skipped, out of place: time 1.500000 is earlier than 2.000000 at line 4"),
            std::string::npos);
}

TEST_F(Cli, a_bin_too_fine_for_the_trace_is_a_usage_error_naming_the_smallest_that_works) {
  // Two groups, so two series of 2,200,001 one-tick bins: more than the counts allowed.
  fs::path trace = write("t", "spk 1.000000 sorc 0 1 0\nspk 3.200000 rsvr 5 1 0\n");
  Result r = run({"--bin", "0.000001", "--csv", (dir_ / "csv").string(), trace.string()});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "exp-summary: --bin 0.000001 is too fine for this trace (time 1.000000 to 3.200000, 2 series of bins, "
            "at most 4194304 counts): the smallest width that works is 0.000002\n");
  EXPECT_EQ(run({"--bin", "0.000002", "--csv", (dir_ / "csv").string(), trace.string()}).status, 0);
  // Without tables the width does not matter.
  EXPECT_EQ(run({"--bin", "0.000001", trace.string()}).status, 0);
}

TEST_F(Cli, a_failed_write_is_exit_two_with_a_message) {
  fs::path trace = write("t", kTwoLines);
  const std::vector<std::vector<std::string>> cases = {
      {trace.string()}, {"--quiet", "--headline", "-", trace.string()}, {"--help"}, {"--version"}};
  for (const auto& args : cases) {
    std::vector<const char*> argv{"exp-summary"};
    for (const auto& a : args) argv.push_back(a.c_str());
    std::FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    std::FILE* err = std::tmpfile();
    int status = runCli(static_cast<int>(argv.size()), argv.data(), STDIN_FILENO, full, err);
    std::fclose(full);
    EXPECT_EQ(status, 2) << args[0];
    std::string message = slurp(err);
    EXPECT_NE(message.find("to standard output: No space left on device"), std::string::npos) << message;
  }
}

}  // namespace
}  // namespace net1::summary
