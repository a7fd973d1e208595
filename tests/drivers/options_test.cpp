#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "options.h"

using namespace net1::drivers;

namespace {

ParseResult parse(const char* program, std::vector<const char*> args) {
  args.insert(args.begin(), program);
  return parseOptions(*findProgram(program), static_cast<int>(args.size()), args.data());
}

}  // namespace

TEST(options, seed_is_a_plain_unsigned_32_bit_decimal) {
  EXPECT_EQ(parseSeed("0"), 0u);
  EXPECT_EQ(parseSeed("4294967295"), 4294967295u);
  EXPECT_EQ(parseSeed("007"), 7u);
  for (const char* bad : {"", "4294967296", "-1", "+1", "1e3", " 1", "12a", "0x10"}) {
    EXPECT_FALSE(parseSeed(bad).has_value()) << bad;
  }
}

TEST(options, factor_is_a_complete_finite_decimal_number) {
  EXPECT_EQ(parseFactor("1.0"), 1.0f);
  EXPECT_EQ(parseFactor("  .5\t"), 0.5f);
  EXPECT_EQ(parseFactor("0"), 0.0f);
  EXPECT_EQ(parseFactor("2."), 2.0f);
  EXPECT_EQ(parseFactor("1e-1"), 0.1f);
  EXPECT_EQ(parseFactor("+3"), 3.0f);
  EXPECT_EQ(parseFactor("3.4e38"), 3.4e38f);
  // 1e39 is a finite decimal number, but infinite in single precision.
  for (const char* bad : {"", " ", "l.5", "1.5x", "1.5 2", ".", "1e", "inf", "nan", "0x1p1", "1e999", "1e39", "1,5", "-1"}) {
    EXPECT_FALSE(parseFactor(bad).has_value()) << bad;
  }
}

TEST(options, seed_steps_and_trace_anywhere_on_the_line) {
  ParseResult r = parse("exp-xor-shift", {"--trace", "volt,plasticity", "0.5", "--seed=12", "--steps", "30"});
  ASSERT_EQ(r.kind, ParseResult::Run) << r.message;
  EXPECT_EQ(r.options.seed, 12u);
  EXPECT_EQ(r.options.steps, 30);
  EXPECT_EQ(r.options.rateFactor, 0.5f);
  EXPECT_TRUE(r.options.traceVolt);
  EXPECT_TRUE(r.options.tracePlasticity);

  r = parse("exp-poisson", {});
  EXPECT_EQ(r.kind, ParseResult::Run);
  EXPECT_FALSE(r.options.seed.has_value());
  EXPECT_FALSE(r.options.tracePlasticity || r.options.traceVolt);
  EXPECT_EQ(parse("exp-poisson", {"--help", "--bogus"}).kind, ParseResult::Help);
  EXPECT_EQ(parse("exp-seq", {"--version"}).kind, ParseResult::Version);
}

TEST(options, factor_is_rounded_to_single_precision) {
  ParseResult r = parse("exp-xor-rand", {"0.1"});
  ASSERT_EQ(r.kind, ParseResult::Run);
  EXPECT_EQ(r.options.rateFactor, 0.1f);
}

TEST(options, usage_errors_name_the_problem_in_one_line) {
  struct Case {
    const char* program;
    std::vector<const char*> args;
    const char* says;
  };
  const Case cases[] = {
      {"exp-poisson", {"--bogus"}, "unknown option '--bogus'"},
      {"exp-poisson", {"--seed"}, "--seed needs a value"},
      {"exp-poisson", {"--seed", "x1"}, "invalid seed 'x1'"},
      {"exp-poisson", {"1.0"}, "unexpected argument '1.0'"},
      {"exp-poisson", {"--trace", "spikes"}, "invalid --trace list"},
      {"exp-poisson", {"--trace", "volt,"}, "invalid --trace list"},
      {"exp-xor-rand", {}, "missing switch-rate factor"},
      {"exp-xor-rand", {"--seed", "3"}, "missing switch-rate factor"},
      {"exp-xor-shift", {"l.5"}, "invalid switch-rate factor 'l.5'"},
      {"exp-xor-shift", {"-0.5"}, "must not be negative"},
      {"exp-xor-shift", {"1", "2"}, "unexpected argument '2'"},
  };
  for (const Case& c : cases) {
    ParseResult r = parse(c.program, c.args);
    EXPECT_EQ(r.kind, ParseResult::Error) << c.says;
    EXPECT_NE(r.message.find(c.says), std::string::npos) << r.message;
    EXPECT_EQ(r.message.find('\n'), std::string::npos) << r.message;
    EXPECT_EQ(r.message.rfind(std::string(c.program) + ": ", 0), 0u) << r.message;
  }
}
