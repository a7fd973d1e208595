#include "trace_line.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace net1::summary {
namespace {

// The line refers into text, so text must outlive it.
TraceLine parsed(std::string_view text) {
  TraceLine line;
  ParseResult r = parseLine(text, line);
  EXPECT_TRUE(r) << text << ": " << describe(r);
  return line;
}

TEST(parse_line, spike_fields_land_in_their_slots) {
  TraceLine l = parsed("spk 970.826996 sorc 32 1 431");
  EXPECT_EQ(l.kind, Kind::spk);
  EXPECT_TRUE(l.hasTime);
  EXPECT_EQ(l.time, 970'826'996);
  EXPECT_EQ(l.name[0], "sorc");
  EXPECT_EQ(l.id[0], 32u);
  EXPECT_TRUE(l.flag[0]);
  EXPECT_EQ(l.count[0], 431);
}

TEST(parse_line, volt_lines_carry_a_window_end_but_no_time) {
  TraceLine l = parsed("volt rsvr 12.500000 -0.300000 0.020000");
  EXPECT_FALSE(l.hasTime);
  EXPECT_DOUBLE_EQ(l.real[0].value(), 12.5);
  EXPECT_DOUBLE_EQ(l.real[1].value(), -0.3);
}

TEST(parse_line, report_lines_have_no_time) {
  TraceLine syn = parsed("syn rsvr 996 sink 17 1 0 1 1.503128 0.119449 29711.356556");
  EXPECT_FALSE(syn.hasTime);
  EXPECT_EQ(syn.name[1], "sink");
  EXPECT_EQ(syn.id[1], 17u);
  EXPECT_TRUE(syn.flag[0]);
  EXPECT_FALSE(syn.flag[1]);
  EXPECT_TRUE(syn.flag[2]);
  EXPECT_DOUBLE_EQ(syn.real[0].value(), 1.503128);
  Ticks last = 0;
  ASSERT_TRUE(syn.real[2].toTicks(last));
  EXPECT_EQ(last, 29'711'356'556);

  TraceLine unit = parsed("unit rsvr 999 0 1.2 0.9 0.0 98 12 13.5 101 11 -2.25");
  EXPECT_FALSE(unit.hasTime);
  EXPECT_EQ(unit.count[0], 98);
  EXPECT_EQ(unit.count[3], 11);
  EXPECT_DOUBLE_EQ(unit.real[4].value(), -2.25);
}

TEST(parse_line, switch_off_time_is_optional) {
  TraceLine bare = parsed("swofftime");
  EXPECT_FALSE(bare.hasTime);
  EXPECT_EQ(bare.realCount, 0);
  TraceLine timed = parsed("swofftime 3600.000000");
  EXPECT_TRUE(timed.hasTime);
  EXPECT_EQ(timed.time, 3'600'000'000);
}

TEST(parse_line, accepts_any_name_up_to_seventy_characters) {
  const std::string text = "spk 1.000000 " + std::string(70, 'g') + " 0 0 -3";
  TraceLine l = parsed(text);
  EXPECT_EQ(l.name[0].size(), 70u);
  EXPECT_EQ(l.time, 1'000'000);
  EXPECT_EQ(l.count[0], -3);
  EXPECT_EQ(parsed("spk 1.0 grüppe,x 0 0 0").name[0], "grüppe,x");
}

TEST(parse_line, accepts_every_value_up_to_the_ends_of_its_range) {
  TraceLine high = parsed("spk 999999999999.999999 sorc 999999 1 2147483647");
  EXPECT_EQ(high.time, kTimeLimit - 1);
  EXPECT_EQ(high.id[0], 999999u);
  EXPECT_EQ(high.count[0], 2147483647);
  TraceLine low = parsed("nmp 0.000000 sorc 0 0 -2147483648");
  EXPECT_EQ(low.time, 0);
  EXPECT_EQ(low.count[0], -2147483648LL);
  EXPECT_EQ(parsed("spk -0.000000 sorc 0 0 0").time, 0);
}

struct Bad {
  std::string line;
  ParseError error;
  int field;
};

TEST(parse_line, refuses_malformed_lines_naming_the_field) {
  const Bad cases[] = {
      {"", ParseError::emptyLine, 0},
      {"spike 1.0 sorc 0 1 0", ParseError::unknownKind, 0},
      {"SPK 1.0 sorc 0 1 0", ParseError::unknownKind, 0},
      {"spk 1.0 sorc 0 1", ParseError::tooFewFields, 6},
      {"spk 1.0 sorc 0 1 0 7", ParseError::tooManyFields, 7},
      {"spk 1.0 sorc 0 1 0 ", ParseError::emptyField, 7},
      {"spk  1.0 sorc 0 1 0", ParseError::emptyField, 2},
      {"swofftime ", ParseError::emptyField, 2},
      {"spk 1.0 sorc 0 1 0\r", ParseError::badInteger, 6},
      {"spk x sorc 0 1 0", ParseError::badReal, 2},
      {"spk 1. sorc 0 1 0", ParseError::badReal, 2},
      {"spk .5 sorc 0 1 0", ParseError::badReal, 2},
      {"spk +1.0 sorc 0 1 0", ParseError::badReal, 2},
      {"spk - sorc 0 1 0", ParseError::badReal, 2},
      {"spk nan sorc 0 1 0", ParseError::badReal, 2},
      {"spk 1.0e3 sorc 0 1 0", ParseError::badReal, 2},
      {"spk 1234567890123.123456 sorc 0 1 0", ParseError::realTooLong, 2},
      {"spk 1000000000000.00000 sorc 0 1 0", ParseError::timeOutOfRange, 2},
      {"spk -0.000001 sorc 0 1 0", ParseError::timeOutOfRange, 2},
      {"swofftime 99999999999999999", ParseError::timeOutOfRange, 2},
      {"spk 1.0 sorc -1 1 0", ParseError::badId, 4},
      {"spk 1.0 sorc 1000000 1 0", ParseError::idOutOfRange, 4},
      {"spk 1.0 sorc 0000000 1 0", ParseError::idOutOfRange, 4},
      {"spk 1.0 sorc 0 1 2147483648", ParseError::integerOutOfRange, 6},
      {"spk 1.0 sorc 0 1 -99999999999", ParseError::integerOutOfRange, 6},
      {"spk 1.0 sorc 0 2 0", ParseError::badFlag, 5},
      {"spk 1.0 sorc 0 10 0", ParseError::badFlag, 5},
      {"spk 1.0 so\trc 0 1 0", ParseError::badName, 3},
      {"spk 1.0 " + std::string(71, 'g') + " 0 1 0", ParseError::nameTooLong, 3},
      {"swon 1.0 sorc 0 1 rsvr", ParseError::tooFewFields, 7},
      {"syn sorc 0 rsvr 1 1 1 1 0.5 0.1", ParseError::tooFewFields, 11},
      {"unit sorc 0 1 1.0 1.0 0.0 0 0 0.0 93 x 5.1", ParseError::badInteger, 12},
  };
  for (const Bad& c : cases) {
    TraceLine line;
    ParseResult r = parseLine(c.line, line);
    EXPECT_EQ(r.error, c.error) << '"' << c.line << "\": " << describe(r);
    EXPECT_EQ(r.field, c.field) << '"' << c.line << '"';
  }
}

TEST(parse_line, describes_the_problem_in_words) {
  TraceLine line;
  EXPECT_EQ(describe(parseLine("spk 1.0 sorc x 1 0", line)), "spk: field 4 (id) is not an unsigned integer");
  EXPECT_EQ(describe(parseLine("swon 1.0 sorc 0 1 rsvr", line)), "swon: field 7 (post_id) is missing");
  EXPECT_EQ(describe(parseLine("nmp 1.0 sorc 0 1 0 0", line)), "nmp: more than 6 fields");
  EXPECT_EQ(describe(parseLine("hello", line)), "unknown line kind");
  EXPECT_EQ(describe(parseLine("syn sorc 0 rsvr 1000000 1 1 1 0.5 0.1 0.2", line)),
            "syn: field 5 (post_id) is out of range: a unit id is from 0 to 999999");
  EXPECT_EQ(describe(parseLine("swon 1e9 sorc 0 1 rsvr 1", line)), "swon: field 2 (time) is not a decimal number");
}

TEST(decimal, converts_exactly_to_ticks_and_doubles) {
  Ticks t = 0;
  ASSERT_TRUE((Decimal{15, 1}).toTicks(t));
  EXPECT_EQ(t, 1'500'000);
  ASSERT_TRUE((Decimal{-5, 0}).toTicks(t));
  EXPECT_EQ(t, -5'000'000);
  // Past six decimals the tick rounds half away from zero.
  ASSERT_TRUE((Decimal{12345675, 7}).toTicks(t));
  EXPECT_EQ(t, 1'234'568);
  ASSERT_TRUE((Decimal{-12345675, 7}).toTicks(t));
  EXPECT_EQ(t, -1'234'568);
  ASSERT_TRUE((Decimal{12345674, 7}).toTicks(t));
  EXPECT_EQ(t, 1'234'567);
  EXPECT_FALSE((Decimal{999'999'999'999'999'999, 0}).toTicks(t));
  EXPECT_EQ((Decimal{1, 1}).value(), 0.1);
  EXPECT_EQ((Decimal{-29711356556, 6}).value(), -29711.356556);
}

}  // namespace
}  // namespace net1::summary
