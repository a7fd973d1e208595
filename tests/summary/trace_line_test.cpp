#include "trace_line.hpp"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace tsum {
namespace {

// The line refers into text, so text must outlive it.
TraceLine parsed(std::string_view text) {
  TraceLine line;
  ParseResult r = parse_line(text, line);
  EXPECT_TRUE(r) << text << ": " << describe(r);
  return line;
}

TEST(ParseLine, SpikeFieldsLandInTheirSlots) {
  TraceLine l = parsed("spk 970.826996 sorc 32 1 431");
  EXPECT_EQ(l.kind, Kind::spk);
  EXPECT_TRUE(l.has_time);
  EXPECT_EQ(l.time, 970'826'996);
  EXPECT_EQ(l.name[0], "sorc");
  EXPECT_EQ(l.id[0], 32u);
  EXPECT_TRUE(l.flag[0]);
  EXPECT_EQ(l.count[0], 431);
}

TEST(ParseLine, VoltTakesItsWindowEndAsTime) {
  TraceLine l = parsed("volt rsvr 12.500000 -0.300000 0.020000");
  EXPECT_TRUE(l.has_time);
  EXPECT_EQ(l.time, 12'500'000);
  EXPECT_DOUBLE_EQ(l.real[1].value(), -0.3);
}

TEST(ParseLine, ReportLinesHaveNoTime) {
  TraceLine syn = parsed("syn rsvr 996 sink 17 1 0 1 1.503128 0.119449 29711.356556");
  EXPECT_FALSE(syn.has_time);
  EXPECT_EQ(syn.name[1], "sink");
  EXPECT_EQ(syn.id[1], 17u);
  EXPECT_TRUE(syn.flag[0]);
  EXPECT_FALSE(syn.flag[1]);
  EXPECT_TRUE(syn.flag[2]);
  EXPECT_DOUBLE_EQ(syn.real[0].value(), 1.503128);
  Ticks last = 0;
  ASSERT_TRUE(syn.real[2].to_ticks(last));
  EXPECT_EQ(last, 29'711'356'556);

  TraceLine unit = parsed("unit rsvr 999 0 1.2 0.9 0.0 98 12 13.5 101 11 -2.25");
  EXPECT_FALSE(unit.has_time);
  EXPECT_EQ(unit.count[0], 98);
  EXPECT_EQ(unit.count[3], 11);
  EXPECT_DOUBLE_EQ(unit.real[4].value(), -2.25);
}

TEST(ParseLine, SwitchOffTimeIsOptional) {
  TraceLine bare = parsed("swofftime");
  EXPECT_FALSE(bare.has_time);
  EXPECT_EQ(bare.real_count, 0);
  TraceLine timed = parsed("swofftime 3600.000000");
  EXPECT_TRUE(timed.has_time);
  EXPECT_EQ(timed.time, 3'600'000'000);
}

TEST(ParseLine, AcceptsAnyNameUpToSeventyCharacters) {
  const std::string text = "spk -1.000000 " + std::string(70, 'g') + " 0 0 -3";
  TraceLine l = parsed(text);
  EXPECT_EQ(l.name[0].size(), 70u);
  EXPECT_EQ(l.time, -1'000'000);
  EXPECT_EQ(l.count[0], -3);
  EXPECT_EQ(parsed("spk 1.0 grüppe,x 0 0 0").name[0], "grüppe,x");
}

struct Bad {
  std::string line;
  ParseError error;
  int field;
};

TEST(ParseLine, RefusesMalformedLinesNamingTheField) {
  const Bad cases[] = {
      {"", ParseError::empty_line, 0},
      {"spike 1.0 sorc 0 1 0", ParseError::unknown_kind, 0},
      {"SPK 1.0 sorc 0 1 0", ParseError::unknown_kind, 0},
      {"spk 1.0 sorc 0 1", ParseError::too_few_fields, 6},
      {"spk 1.0 sorc 0 1 0 7", ParseError::too_many_fields, 7},
      {"spk 1.0 sorc 0 1 0 ", ParseError::empty_field, 7},
      {"spk  1.0 sorc 0 1 0", ParseError::empty_field, 2},
      {"swofftime ", ParseError::empty_field, 2},
      {"spk 1.0 sorc 0 1 0\r", ParseError::bad_integer, 6},
      {"spk x sorc 0 1 0", ParseError::bad_real, 2},
      {"spk 1. sorc 0 1 0", ParseError::bad_real, 2},
      {"spk .5 sorc 0 1 0", ParseError::bad_real, 2},
      {"spk +1.0 sorc 0 1 0", ParseError::bad_real, 2},
      {"spk - sorc 0 1 0", ParseError::bad_real, 2},
      {"spk nan sorc 0 1 0", ParseError::bad_real, 2},
      {"spk 1.0e3 sorc 0 1 0", ParseError::bad_real, 2},
      {"spk 1234567890123.123456 sorc 0 1 0", ParseError::out_of_range, 2},
      {"spk 1.0 sorc -1 1 0", ParseError::bad_id, 4},
      {"spk 1.0 sorc 1234567890 1 0", ParseError::out_of_range, 4},
      {"spk 1.0 sorc 0 2 0", ParseError::bad_flag, 5},
      {"spk 1.0 sorc 0 10 0", ParseError::bad_flag, 5},
      {"spk 1.0 so\trc 0 1 0", ParseError::bad_name, 3},
      {"spk 1.0 " + std::string(71, 'g') + " 0 1 0", ParseError::name_too_long, 3},
      {"swon 1.0 sorc 0 1 rsvr", ParseError::too_few_fields, 7},
      {"syn sorc 0 rsvr 1 1 1 1 0.5 0.1", ParseError::too_few_fields, 11},
      {"unit sorc 0 1 1.0 1.0 0.0 0 0 0.0 93 x 5.1", ParseError::bad_integer, 12},
  };
  for (const Bad& c : cases) {
    TraceLine line;
    ParseResult r = parse_line(c.line, line);
    EXPECT_EQ(r.error, c.error) << '"' << c.line << "\": " << describe(r);
    EXPECT_EQ(r.field, c.field) << '"' << c.line << '"';
  }
}

TEST(ParseLine, DescribesTheProblemInWords) {
  TraceLine line;
  EXPECT_EQ(describe(parse_line("spk 1.0 sorc x 1 0", line)), "spk: field 4 (id) is not an unsigned integer");
  EXPECT_EQ(describe(parse_line("swon 1.0 sorc 0 1 rsvr", line)), "swon: field 7 (post id) is missing");
  EXPECT_EQ(describe(parse_line("nmp 1.0 sorc 0 1 0 0", line)), "nmp: more than 6 fields");
  EXPECT_EQ(describe(parse_line("hello", line)), "unknown line kind");
}

TEST(Decimal, ConvertsExactlyToTicksAndDoubles) {
  Ticks t = 0;
  ASSERT_TRUE((Decimal{15, 1}).to_ticks(t));
  EXPECT_EQ(t, 1'500'000);
  ASSERT_TRUE((Decimal{-5, 0}).to_ticks(t));
  EXPECT_EQ(t, -5'000'000);
  // Past six decimals the tick rounds half away from zero.
  ASSERT_TRUE((Decimal{12345675, 7}).to_ticks(t));
  EXPECT_EQ(t, 1'234'568);
  ASSERT_TRUE((Decimal{-12345675, 7}).to_ticks(t));
  EXPECT_EQ(t, -1'234'568);
  ASSERT_TRUE((Decimal{12345674, 7}).to_ticks(t));
  EXPECT_EQ(t, 1'234'567);
  EXPECT_FALSE((Decimal{999'999'999'999'999'999, 0}).to_ticks(t));
  EXPECT_EQ((Decimal{1, 1}).value(), 0.1);
  EXPECT_EQ((Decimal{-29711356556, 6}).value(), -29711.356556);
}

}  // namespace
}  // namespace tsum
