#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "options.h"

using namespace net1::drivers;
using net1::trace::bit;
using net1::trace::Kind;

namespace {

CommandLine parse(const char* program, std::vector<const char*> args) {
  args.insert(args.begin(), program);
  return parseCommandLine(*findProgramNamed(program), static_cast<int>(args.size()), args.data());
}

// The usage error's message, or "" when the line is accepted.
std::string refusal(const char* program, std::vector<const char*> args) {
  try {
    parse(program, std::move(args));
  } catch (const UsageError& e) {
    return e.what();
  }
  return "";
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

TEST(options, decimal_numbers_are_complete_and_plain) {
  EXPECT_EQ(parseDecimal("1.0"), 1.0);
  EXPECT_EQ(parseDecimal("  .5\t"), 0.5);
  EXPECT_EQ(parseDecimal("2."), 2.0);
  EXPECT_EQ(parseDecimal("1e-1"), 0.1);
  EXPECT_EQ(parseDecimal("+3"), 3.0);
  EXPECT_EQ(parseDecimal("-0.5"), -0.5);
  EXPECT_TRUE(std::isinf(*parseDecimal("1e999")));  // reported as too large by the caller
  for (const char* bad : {"", " ", "l.5", "1.5x", "1.5 2", ".", "1e", "inf", "nan", "0x1p1", "1,5", "--1"}) {
    EXPECT_FALSE(parseDecimal(bad).has_value()) << bad;
  }
  EXPECT_EQ(parseWhole("1100000"), 1100000);
  EXPECT_EQ(parseWhole("99999999999999999999999"), 0x7fffffffffffffffLL);  // refused later as too many
  EXPECT_FALSE(parseWhole("1e6").has_value());
}

TEST(options, options_anywhere_on_the_line_in_either_form) {
  CommandLine c = parse("exp-xor-shift", {"--trace", "volt,plasticity", "0.5", "--seed=12", "--steps", "30"});
  EXPECT_EQ(c.kind, CommandLine::Run);
  EXPECT_EQ(c.options.seed, 12u);
  EXPECT_EQ(c.description.run.steps, 30);
  EXPECT_EQ(c.description.run.rateFactor, 0.5f);
  EXPECT_TRUE(c.options.traceVolt);
  EXPECT_TRUE(c.options.tracePlasticity);

  c = parse("exp-poisson", {});
  EXPECT_FALSE(c.options.seed.has_value());
  EXPECT_FALSE(c.options.tracePlasticity || c.options.traceVolt);
  EXPECT_EQ(c.description.run.steps, 1100000);
  EXPECT_EQ(parse("exp-poisson", {"--help", "--bogus"}).kind, CommandLine::Help);
  EXPECT_EQ(parse("exp-poisson", {"-h"}).kind, CommandLine::Help);
  EXPECT_EQ(parse("exp-seq", {"--version"}).kind, CommandLine::Version);
  EXPECT_EQ(parse("exp-seq", {"--set", "steps=5", "--print-params"}).kind, CommandLine::PrintParams);
}

TEST(options, steps_and_set_steps_are_one_setting_and_the_last_given_wins) {
  EXPECT_EQ(parse("exp-poisson", {"--steps", "30", "--set", "steps=40"}).description.run.steps, 40);
  EXPECT_EQ(parse("exp-poisson", {"--set", "steps=40", "--steps=30"}).description.run.steps, 30);
  // A longer run than the program's own is a setting like any other.
  EXPECT_EQ(parse("exp-homog", {"--steps", "1100001"}).description.run.steps, 1100001);
  EXPECT_EQ(parse("exp-xor-shift", {"--set", "rateFactor=2", "0.5"}).description.run.rateFactor, 0.5f);
  EXPECT_EQ(parse("exp-xor-shift", {"0.5", "--set", "rateFactor=2"}).description.run.rateFactor, 2.0f);
}

TEST(options, factor_is_rounded_to_single_precision) {
  EXPECT_EQ(parse("exp-xor-shift", {"0.1"}).description.run.rateFactor, 0.1f);
  EXPECT_EQ(parse("exp-xor-shift", {"3.4e38"}).description.run.rateFactor, 3.4e38f);
}

TEST(options, the_factor_is_required_only_where_it_can_change_the_run) {
  // exp-xor-rand switches nothing: the factor may be left out, and when
  // given, a note says that it changes nothing.
  CommandLine c = parse("exp-xor-rand", {"--seed", "1"});
  EXPECT_FALSE(c.description.run.rateFactor.has_value());
  EXPECT_TRUE(c.notes.empty());
  c = parse("exp-xor-rand", {"1.0"});
  EXPECT_EQ(c.description.run.rateFactor, 1.0f);
  ASSERT_EQ(c.notes.size(), 1u);
  EXPECT_NE(c.notes[0].find("cannot change this run"), std::string::npos);
  // Once something switches, the factor is needed again.
  EXPECT_NE(refusal("exp-xor-rand", {"--set", "rsvr.switchProb=0.05"}).find("missing switch-rate factor"),
            std::string::npos);
  EXPECT_NE(refusal("exp-xor-shift", {"--seed", "3"}).find("missing switch-rate factor"), std::string::npos);
  EXPECT_EQ(refusal("exp-xor-shift", {"--set", "sorc.switchProb=0", "--set", "rsvr.switchProb=0", "--set",
                                      "sink.switchProb=0"}),
            "");
}

TEST(options, record_takes_kinds_and_asks_for_their_lines) {
  EXPECT_EQ(parseKinds("spk,report"), bit(Kind::spk) | bit(Kind::unit) | bit(Kind::syn));
  EXPECT_EQ(parseKinds("plasticity"), bit(Kind::uthr) | bit(Kind::dthr) | bit(Kind::ustdp) | bit(Kind::dstdp));
  EXPECT_EQ(parseKinds("swofftime"), bit(Kind::swofftime));
  for (const char* bad : {"", "spk,", ",spk", "spk,,nmp", "spikes", "SPK"}) {
    EXPECT_FALSE(parseKinds(bad).has_value()) << bad;
  }
  CommandLine c = parse("exp-stdp", {"--record", "spk,ustdp"});
  EXPECT_TRUE(c.options.tracePlasticity);
  EXPECT_FALSE(c.options.traceVolt);
  EXPECT_EQ(recordedKinds(c.options), bit(Kind::spk) | bit(Kind::ustdp));
  // Without --record, everything the run writes.
  c = parse("exp-stdp", {"--trace", "volt"});
  EXPECT_TRUE(recordedKinds(c.options) & bit(Kind::volt));
  EXPECT_FALSE(recordedKinds(c.options) & bit(Kind::uthr));
  EXPECT_TRUE(recordedKinds(c.options) & bit(Kind::syn));
}

TEST(options, notes_name_lines_that_the_settings_leave_out) {
  CommandLine c = parse("exp-poisson", {"--trace", "plasticity,volt"});
  ASSERT_EQ(c.notes.size(), 3u);
  EXPECT_NE(c.notes[0].find("thrUpRate"), std::string::npos);
  EXPECT_NE(c.notes[1].find("stdpRate"), std::string::npos);
  EXPECT_NE(c.notes[2].find("voltPeriod"), std::string::npos);
  EXPECT_TRUE(parse("exp-stdp", {"--trace", "plasticity", "--set", "rsvr.thrUpRate=0.1"}).notes.empty());
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
      {"exp-poisson", {"--record=", "spk"}, "--record needs a value"},
      {"exp-poisson", {"--seed", "x1"}, "invalid seed 'x1'"},
      {"exp-poisson", {"1.0"}, "unexpected argument '1.0'"},
      {"exp-poisson", {"--trace", "spikes"}, "invalid --trace list"},
      {"exp-poisson", {"--trace", "volt,"}, "invalid --trace list"},
      {"exp-poisson", {"--record", "spk,bogus"}, "invalid --record list"},
      {"exp-poisson", {"--steps", "1e6"}, "invalid step count '1e6'"},
      {"exp-homog", {"--steps", "1000000001"}, "steps must be a whole number from 0 to 1000000000"},
      {"exp-poisson", {"--progress", "0"}, "invalid --progress interval"},
      {"exp-poisson", {"-o", "a.zst", "--output=a.zst"}, "--output a.zst is given twice"},
      {"exp-poisson", {"--meta", "m.json", "-o", "m.json"}, "is also an --output"},
      {"exp-poisson", {"--set", "rateFactor=1"}, "rateFactor is read by the edition-2 engine only"},
      {"exp-xor-shift", {"l.5"}, "invalid switch-rate factor 'l.5'"},
      {"exp-xor-shift", {"-0.5"}, "must not be negative"},
      {"exp-xor-shift", {"-.5"}, "must not be negative"},
      {"exp-xor-shift", {"1e39"}, "too large for single precision"},
      {"exp-xor-shift", {"1", "2"}, "unexpected argument '2'"},
  };
  for (const Case& c : cases) {
    const std::string message = refusal(c.program, c.args);
    EXPECT_NE(message.find(c.says), std::string::npos) << c.says << " <- " << message;
    EXPECT_EQ(message.find('\n'), std::string::npos) << message;
  }
}
