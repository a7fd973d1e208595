#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zstd.h>

#include <fstream>
#include <iterator>
#include <set>
#include <vector>
#include <sstream>
#include <string>

#include "outputs.h"
#include "file_io.h"
#include "same_file.h"
#include "trace_lines.h"

using namespace net1;
using namespace net1::drivers;

namespace {

// A fresh folder per test, removed with what is left in it.
struct Folder {
  std::string path;
  Folder() {
    std::string pattern = ::testing::TempDir() + "outputs-XXXXXX";
    path = ::mkdtemp(pattern.data());
  }
  ~Folder() {
    for (const std::string& name : names()) ::unlink((path + "/" + name).c_str());
    ::rmdir(path.c_str());
  }
  std::string operator/(const std::string& name) const { return path + "/" + name; }
  std::set<std::string> names() const {
    std::set<std::string> found;
    if (DIR* d = ::opendir(path.c_str())) {
      while (dirent* e = ::readdir(d)) {
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") found.insert(e->d_name);
      }
      ::closedir(d);
    }
    return found;
  }
};

std::string contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string unpack(const std::string& packed) {
  ZSTD_DCtx* d = ZSTD_createDCtx();
  std::string out;
  std::string buffer(ZSTD_DStreamOutSize(), '\0');
  ZSTD_inBuffer in{packed.data(), packed.size(), 0};
  std::size_t left = 1;
  while (in.pos < in.size) {
    ZSTD_outBuffer o{buffer.data(), buffer.size(), 0};
    left = ZSTD_decompressStream(d, &o, &in);
    if (ZSTD_isError(left)) break;
    out.append(buffer.data(), o.pos);
  }
  ZSTD_freeDCtx(d);
  EXPECT_EQ(left, 0u) << "a complete zstd frame";
  return out;
}

// Some megabytes of trace lines, written as the engine writes them.
std::string writeLines(Stream& s, int count) {
  std::string expected;
  for (int i = 0; i < count; ++i) {
    trace::line<trace::Kind::spk>(s, i * 0.05, "rsvr", i % 1000, 1, i % 77);
    char line[96];
    std::snprintf(line, sizeof line, "spk %f rsvr %d 1 %d\n", i * 0.05, i % 1000, i % 77);
    expected += line;
  }
  return expected;
}

}  // namespace

TEST(trace_outputs, compressed_and_plain_files_hold_the_same_lines) {
  Folder dir;
  TraceOutputs outputs({dir / "run.zst", dir / "run.txt"}, true);
  ASSERT_TRUE(outputs.open()) << outputs.error();
  const std::string expected = writeLines(outputs.stream(), 200000);
  EXPECT_EQ(dir.names().count("run.zst"), 0u) << "no file under its name before the run completed";
  ASSERT_TRUE(outputs.commit()) << outputs.error();
  EXPECT_EQ(dir.names(), (std::set<std::string>{"run.txt", "run.zst"}));
  EXPECT_EQ(contents(dir / "run.txt"), expected);
  const std::string packed = contents(dir / "run.zst");
  EXPECT_LT(packed.size() * 5, expected.size());
  EXPECT_EQ(unpack(packed), expected);
  EXPECT_EQ(outputs.lines(), 200000u);
}

TEST(trace_outputs, a_failed_write_leaves_no_file_and_keeps_the_old_one) {
  if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  Folder dir;
  std::ofstream(dir / "run.zst") << "the previous run\n";
  TraceOutputs outputs({dir / "run.zst", "/dev/full"}, false);
  ASSERT_TRUE(outputs.open()) << outputs.error();
  writeLines(outputs.stream(), 100000);
  EXPECT_FALSE(outputs.commit());
  EXPECT_NE(outputs.error().find("writing /dev/full: No space left on device"), std::string::npos) << outputs.error();
  EXPECT_EQ(dir.names(), std::set<std::string>{"run.zst"});
  EXPECT_EQ(contents(dir / "run.zst"), "the previous run\n");
}

TEST(trace_outputs, an_abandoned_run_removes_its_temporary_files) {
  Folder dir;
  {
    TraceOutputs outputs({dir / "a.zst", dir / "b.txt"}, false);
    ASSERT_TRUE(outputs.open());
    writeLines(outputs.stream(), 1000);
    outputs.stream().flush();
    EXPECT_EQ(dir.names().size(), 2u);  // the two temporary files
  }
  EXPECT_TRUE(dir.names().empty());
}

TEST(trace_outputs, an_output_that_cannot_be_made_is_refused_before_the_run) {
  Folder dir;
  ::mkdir((dir / "sub").c_str(), 0755);
  TraceOutputs into({dir / "sub"}, false);
  EXPECT_FALSE(into.open());
  EXPECT_NE(into.error().find("Is a directory"), std::string::npos) << into.error();
  TraceOutputs nowhere({dir / "missing/run.txt", dir / "ok.txt"}, false);
  EXPECT_FALSE(nowhere.open());
  EXPECT_NE(nowhere.error().find("cannot create"), std::string::npos) << nowhere.error();
  ::rmdir((dir / "sub").c_str());
  EXPECT_TRUE(dir.names().empty());
}

// The check the command line makes before a run: -o, --meta and the
// inputs (--params) by any spelling, existing or not, are one file.
TEST(same_file, outputs_that_name_an_input_or_each_other_are_found_by_any_spelling) {
  Folder dir;
  ::mkdir((dir / "sub").c_str(), 0755);
  std::ofstream(dir / "p.toml") << "steps = 10\n";
  std::ofstream(dir / "run.txt") << "a trace\n";
  ::symlink("run.txt", (dir / "link.txt").c_str());
  ::link((dir / "run.txt").c_str(), (dir / "hard.txt").c_str());
  const std::vector<io::Named> params{{"--params", dir / "p.toml"}};
  EXPECT_EQ(io::sameFileProblem({}, {{"-o", dir / "b.txt"}, {"--meta", dir / "sub/../b.txt"}}),
            "--meta " + (dir / "sub/../b.txt") + " is the same file as -o " + (dir / "b.txt"))
      << "a file not made yet";
  EXPECT_NE(io::sameFileProblem({}, {{"-o", dir / "run.txt"}, {"--meta", dir / "link.txt"}}), "") << "a link";
  EXPECT_NE(io::sameFileProblem({}, {{"-o", dir / "hard.txt"}, {"-o", dir / "run.txt"}}), "") << "a hard link";
  EXPECT_EQ(io::sameFileProblem(params, {{"--meta", dir / "sub/../p.toml"}}),
            "--meta " + (dir / "sub/../p.toml") + " is the same file as --params " + (dir / "p.toml"));
  EXPECT_EQ(io::sameFileProblem(params, {{"-o", dir / "run.txt"}, {"--meta", dir / "sub/run.txt"}, {"-o", "-"},
                                         {"-o", "/dev/stdout"}, {"-o", "/dev/null"}, {"--meta", "/dev/null"}}),
            "")
      << "other files, one stream twice, and a device twice";
  for (const char* name : {"p.toml", "run.txt", "link.txt", "hard.txt"}) ::unlink((dir / name).c_str());
  ::rmdir((dir / "sub").c_str());
}

// Settings files are read whole, but only up to a limit: anything larger
// is not a settings file and is not held.
TEST(read_all, reads_a_file_whole_up_to_its_limit) {
  Folder dir;
  std::ofstream(dir / "small.toml") << "steps = 10\n";
  std::ofstream(dir / "large.toml") << std::string(1025, 'x');
  std::string text = "left over";
  EXPECT_EQ(io::readAll(dir / "small.toml", 1024, text), 0);
  EXPECT_EQ(text, "steps = 10\n");
  EXPECT_EQ(io::readAll(dir / "large.toml", 1024, text), EFBIG);
  EXPECT_EQ(text, "");
  EXPECT_EQ(io::readAll("/dev/null", 1024, text), 0);
  EXPECT_EQ(io::readAll(dir / "none.toml", 1024, text), ENOENT);
  EXPECT_EQ(io::readAll(dir.path, 1024, text), EISDIR);
}
