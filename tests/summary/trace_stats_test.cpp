#include "trace_stats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <tuple>
#include <vector>

#include "csv_tables.h"
#include "summary_text.h"
#include "text_format.h"

namespace net1::summary {
namespace {

// Feeds lines, all expected to be taken, and finishes.
TraceStats run(std::initializer_list<std::string> lines, StatsOptions options = {}) {
  TraceStats stats(options);
  std::uint64_t number = 0;
  for (const std::string& text : lines) {
    ++number;
    TraceLine line;
    ParseResult r = parseLine(text, line);
    EXPECT_TRUE(r) << text << ": " << describe(r);
    if (!r) continue;
    const char* why = stats.add(line, number);
    EXPECT_EQ(why, nullptr) << text << ": " << why;
  }
  stats.finish();
  return stats;
}

const char* add(TraceStats& stats, const std::string& text) {
  TraceLine line;
  EXPECT_TRUE(parseLine(text, line)) << text;
  return stats.add(line, stats.lines() + 1);
}

// The rows that grow with the trace, kept.
struct KeptRows : TableRows {
  struct Spike {
    Ticks time;
    std::string group;
    std::uint32_t id;
  };
  std::vector<Spike> raster;
  std::vector<std::string> weights;
  void rasterSpike(Ticks time, std::string_view group, std::uint32_t id) override {
    raster.push_back({time, std::string(group), id});
  }
  void finalWeight(std::string_view pre, std::uint32_t preId, std::string_view post, std::uint32_t postId,
                   double weight) override {
    weights.push_back(std::string(pre) + " " + std::to_string(preId) + " " + std::string(post) + " " +
                      std::to_string(postId) + " " + std::to_string(weight));
  }
};

std::string binsCsv(const TraceStats& s) {
  StringOut out;
  writeBinsCsv(s, out);
  return out.text();
}

const PathwayInfo& pathway(const TraceStats& s, const std::string& name) {
  for (const auto& p : s.pathways())
    if (p.name == name) return p;
  ADD_FAILURE() << "no pathway " << name;
  return s.pathways().front();
}

TEST(trace_stats, start_count_is_final_active_less_net_switch_ons) {
  TraceStats s = run({"swoff 1.000000 sorc 0 1 rsvr 0", "swon 3.000000 sorc 0 1 rsvr 0",
                      "swon 4.000000 rsvr 1 1 rsvr 0", "swoff 5.000000 rsvr 1 1 rsvr 0",
                      "swon 6.000000 rsvr 1 1 rsvr 0",
                      // the final report: sorc 0 -> rsvr 0 on at 3, rsvr 1 -> rsvr 0 on at 6
                      "unit sorc 0 1 1.0 1.0 0.0 0 0 0.0 2 1 0.8", "unit rsvr 1 1 1.0 1.0 0.0 1 0 0.0 1 1 0.6",
                      "unit rsvr 0 1 1.0 1.0 0.0 2 2 1.4 0 0 0.0",
                      "syn sorc 0 rsvr 0 1 1 1 0.800000 0.1 3.000000",
                      "syn sorc 0 rsvr 1 0 1 1 0.700000 0.1 0.010000",
                      "syn rsvr 1 rsvr 0 1 1 1 0.600000 0.1 6.000000"});
  ASSERT_EQ(s.report(), ReportState::complete);
  const PathwayInfo& in = pathway(s, "sorc->rsvr");
  EXPECT_EQ(in.active, 1u);
  EXPECT_EQ(in.start, 1);  // it was on, went off, came back
  const PathwayInfo& rec = pathway(s, "rsvr->rsvr");
  EXPECT_EQ(rec.start, 0);
  EXPECT_DOUBLE_EQ(rec.weightMin, 0.6);
  EXPECT_EQ(s.switchCheck().problems(), 0u);
  EXPECT_EQ(s.switchCheck().switched, 2u);
}

TEST(trace_stats, switch_check_finds_events_the_report_contradicts) {
  TraceStats s = run({"swon 1.000000 sorc 0 1 rsvr 0", "swon 2.000000 sorc 0 1 rsvr 0",  // repeated
                      "swoff 2.500000 sorc 0 1 rsvr 1",  // reported active: state differs
                      "swon 2.750000 rsvr 1 1 rsvr 0",   // reported last switch 0.02: time differs
                      "swon 2.800000 rsvr 0 1 sink 0",   // no such synapse in the report
                      "unit sorc 0 1 1.0 1.0 0.0 0 0 0.0 2 1 0.8", "unit rsvr 1 1 1.0 1.0 0.0 1 0 0.0 1 1 0.6",
                      "unit rsvr 0 1 1.0 1.0 0.0 2 2 1.4 0 0 0.0",
                      "syn sorc 0 rsvr 0 1 1 1 0.800000 0.1 2.000000",
                      "syn sorc 0 rsvr 1 1 1 1 0.700000 0.1 2.500000",
                      "syn rsvr 1 rsvr 0 1 1 1 0.600000 0.1 0.020000"});
  const SwitchCheckCounts& c = s.switchCheck();
  EXPECT_EQ(c.switched, 4u);
  EXPECT_EQ(c.repeated, 1u);
  EXPECT_EQ(c.stateMismatch, 1u);
  EXPECT_EQ(c.timeMismatch, 1u);
  EXPECT_EQ(c.absentFromReport, 1u);
  EXPECT_NE(summaryText(s, "x").find("problems: 1 repeated switches, 1 final states differ, "
                                      "1 last switch times differ, 1 missing from the final report"),
            std::string::npos);
}

TEST(trace_stats, report_is_incomplete_when_units_or_synapses_are_missing) {
  // The run stopped while printing rsvr: ids 1 and 0 of rsvr never came.
  TraceStats units = run({"swon 1.000000 sorc 0 1 rsvr 0", "unit sorc 0 1 1.0 1.0 0.0 0 0 0.0 2 1 0.8",
                          "unit rsvr 2 1 1.0 1.0 0.0 1 0 0.0 1 1 0.6"});
  EXPECT_EQ(units.report(), ReportState::incomplete);
  EXPECT_EQ(pathway(units, "sorc->rsvr").start, 0);
  EXPECT_NE(summaryText(units, "x").find("the final report is incomplete: start counts 0"), std::string::npos);

  TraceStats syns = run({"unit sorc 0 1 1.0 1.0 0.0 0 0 0.0 2 1 0.8", "unit rsvr 1 1 1.0 1.0 0.0 1 0 0.0 1 1 0.6",
                         "unit rsvr 0 1 1.0 1.0 0.0 2 2 1.4 0 0 0.0",
                         "syn sorc 0 rsvr 0 1 1 1 0.800000 0.1 3.000000"});
  EXPECT_EQ(syns.report(), ReportState::incomplete);
  EXPECT_EQ(syns.reportProblem(), "1 syn lines for 3 outgoing synapses of the units");

  // Without a report, only the groups the trace shows, of unknown size.
  TraceStats none = run({"spk 1.000000 rsvr 0 1 0", "spk 3.000000 rsvr 0 1 0"});
  EXPECT_EQ(none.report(), ReportState::none);
  ASSERT_EQ(none.groups().size(), 1u);
  EXPECT_EQ(none.groups()[0].units, -1);
  EXPECT_EQ(none.groups()[0].source, SizeSource::unknown);
  EXPECT_TRUE(none.pathways().empty());
  EXPECT_LT(meanRate(none.groups()[0], none), 0);
}

TEST(trace_stats, groups_and_pathways_are_the_reports_in_its_order) {
  // Met in the order b, a, c; the report lists a then b: c, which it leaves
  // out, comes last, with no size.
  TraceStats s = run({"spk 0.000000 b 3 1 0", "swon 1.000000 b 0 1 b 1", "spk 2.000000 a 0 1 0",
                      "swon 2.000000 b 3 1 a 0", "spk 2.500000 c 0 1 0", "unit a 0 1 1.0 1.0 0.0 1 1 0.5 0 0 0.0",
                      "unit b 3 1 1.0 1.0 0.0 0 0 0.0 1 1 0.5", "unit b 2 1 1.0 1.0 0.0 0 0 0.0 0 0 0.0",
                      "unit b 1 1 1.0 1.0 0.0 1 1 0.5 0 0 0.0", "unit b 0 1 1.0 1.0 0.0 0 0 0.0 1 1 0.5",
                      "syn b 3 a 0 1 1 1 0.500000 0.1 2.000000", "syn b 0 b 1 1 1 1 0.500000 0.1 1.000000"});
  ASSERT_EQ(s.groups().size(), 3u);
  EXPECT_EQ(s.groups()[0].name, "a");
  EXPECT_EQ(s.groups()[0].units, 1);
  EXPECT_EQ(s.groups()[1].name, "b");
  EXPECT_EQ(s.groups()[1].units, 4);
  EXPECT_EQ(s.groups()[2].name, "c");
  EXPECT_EQ(s.groups()[2].units, -1);
  ASSERT_EQ(s.pathways().size(), 2u);
  EXPECT_EQ(s.pathways()[0].name, "b->a");
  EXPECT_EQ(s.pathways()[1].name, "b->b");
  EXPECT_EQ(s.pathways()[1].start, 0);
  EXPECT_EQ(s.report(), ReportState::complete);
}

TEST(trace_stats, bins_have_exact_edges_and_run_from_the_first_time_to_the_last) {
  StatsOptions o;
  o.binWidth = 100 * kTicksPerUnit;
  TraceStats s = run({"spk 99.999999 sorc 0 1 0", "spk 100.000000 sorc 0 1 0", "spk 100.000000 rsvr 0 1 0",
                      "swon 250.000000 sorc 0 1 rsvr 3", "nmp 350.000000 sorc 0 1 0"},
                     o);
  const TimeBins& b = s.bins();
  EXPECT_EQ(b.firstBin(), 0);
  ASSERT_EQ(b.binCount(), 4u);  // [0,100) up to [300,400), the last for the nmp time only
  EXPECT_EQ(b.at(Channel::spikes, 0, 0), 1u);
  EXPECT_EQ(b.at(Channel::spikes, 0, 1), 1u);
  EXPECT_EQ(b.at(Channel::spikes, 1, 1), 1u);
  EXPECT_EQ(b.at(Channel::swon, 0, 2), 1u);
  EXPECT_EQ(b.at(Channel::spikes, 0, 3), 0u);
  std::string csv = binsCsv(s);
  EXPECT_EQ(csv.substr(csv.find('\n') + 1, 24), "0.000000,100.000000,1,0,");
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 5);
}

TEST(trace_stats, a_bin_width_too_fine_for_the_span_keeps_no_counts) {
  StatsOptions o;
  o.binWidth = 1;  // one tick
  const std::uint64_t rows = TimeBins::kMaxCells / 2;  // two groups
  TraceStats fits = run({"spk 0.000000 sorc 0 1 0", "spk " + formatTicks(static_cast<Ticks>(rows) - 1) + " rsvr 0 1 0"}, o);
  EXPECT_FALSE(fits.bins().tooFine());
  EXPECT_EQ(fits.bins().binCount(), rows);

  TraceStats over = run({"spk 0.000000 sorc 0 1 0", "spk " + formatTicks(static_cast<Ticks>(rows)) + " rsvr 0 1 0"}, o);
  EXPECT_TRUE(over.bins().tooFine());
  EXPECT_EQ(over.bins().at(Channel::spikes, 0, 0), 0u);
  // A third group shares the same budget.
  TraceStats wider = run({"spk 0.000000 sorc 0 1 0", "spk " + formatTicks(static_cast<Ticks>(rows) - 1) + " rsvr 0 1 0",
                          "spk " + formatTicks(static_cast<Ticks>(rows) - 1) + " extra 0 1 0"},
                         o);
  EXPECT_TRUE(wider.bins().tooFine());
}

TEST(time_bins, the_smallest_width_that_fits_is_the_smallest) {
  for (auto [first, last, series] : {std::tuple<Ticks, Ticks, std::uint64_t>{276'122, 1'600'883'081'421, 9},
                                     {0, 999'999'999'999'999'999, 9},
                                     {5, 7, 9},
                                     {123, 123'456'789'012, 2304}}) {
    const Ticks w = TimeBins::smallestWidth(first, last, series);
    const std::uint64_t maxRows = TimeBins::kMaxCells / series;
    EXPECT_LE(TimeBins::rowsFor(first, last, w), maxRows) << last;
    if (w > 1) {
      EXPECT_GT(TimeBins::rowsFor(first, last, w - 1), maxRows) << last;
    }
  }
}

TEST(trace_stats, refuses_lines_that_cannot_belong_and_keeps_nothing_of_them) {
  TraceStats s(StatsOptions{});
  EXPECT_EQ(add(s, "spk 2.000000 sorc 0 1 0"), nullptr);
  // Time never goes back in a trace.
  EXPECT_NE(add(s, "spk 1.000000 sorc 0 1 0"), nullptr);
  // Group names beyond the table's room.
  for (int g = 1; g < GroupTable::kMaxGroups; ++g)
    ASSERT_EQ(add(s, "spk 2.000000 g" + std::to_string(g) + " 0 1 0"), nullptr);
  EXPECT_NE(add(s, "swon 2.000000 g1 0 1 one_more 0"), nullptr);
  EXPECT_NE(add(s, "spk 3.000000 one_more 0 1 0"), nullptr);
  EXPECT_EQ(s.table().groupCount(), GroupTable::kMaxGroups);
  EXPECT_EQ(add(s, "syn g1 0 sorc 0 0 1 1 0.5 0.1 0.0"), nullptr);
  EXPECT_NE(add(s, "syn g1 0 sorc 0 0 1 1 0.5 0.1 -1.0"), nullptr);
  EXPECT_EQ(add(s, "unit sorc 0 1 1.0 1.0 0.0 0 0 0.0 0 0 0.0"), nullptr);
  // Two traces run together: a trace line after a final report.
  EXPECT_NE(add(s, "spk 3.000000 sorc 0 1 0"), nullptr);
  EXPECT_NE(add(s, "volt sink 3.000000 0.0 0.0"), nullptr);
  EXPECT_NE(add(s, "swofftime"), nullptr);
  s.finish();
  EXPECT_EQ(s.lines(), 258u);
  EXPECT_EQ(s.groups()[0].spikes, 1u);
  EXPECT_EQ(s.lastTime(), 2'000'000);
  EXPECT_EQ(s.pathways().size(), 1u);
}

TEST(trace_stats, bare_switch_off_takes_the_last_time_before_it) {
  TraceStats s = run({"spk 1.000000 sorc 0 1 0", "nmp 2.500000 sorc 0 1 0", "swofftime", "spk 3.000000 sorc 0 1 0",
                      "swofftime 4.000000"});
  const SwitchOffInfo& off = s.switchOff();
  EXPECT_EQ(off.count, 2u);
  EXPECT_EQ(off.line, 3u);
  EXPECT_FALSE(off.hasTime);
  EXPECT_TRUE(off.hasTimeBefore);
  EXPECT_EQ(off.time, 2'500'000);
}

TEST(trace_stats, default_raster_window_starts_at_the_first_time) {
  KeptRows rows;
  StatsOptions o;
  o.rasterLength = 2 * kTicksPerUnit;
  o.rows = &rows;
  TraceStats s = run({"nmp 10.000000 sorc 0 1 0", "spk 10.000000 sorc 1 1 0", "spk 11.999999 rsvr 7 1 0",
                      "spk 12.000000 sorc 2 1 0"},
                     o);
  ASSERT_EQ(rows.raster.size(), 2u);
  EXPECT_EQ(rows.raster[1].id, 7u);
  EXPECT_EQ(rows.raster[1].group, "rsvr");
  EXPECT_EQ(s.rasterFrom(), 10 * kTicksPerUnit);

  // The first line can be the spike itself.
  KeptRows first;
  o.rows = &first;
  run({"spk 5.000000 sorc 1 1 0"}, o);
  EXPECT_EQ(first.raster.size(), 1u);
}

TEST(trace_stats, final_weights_are_those_of_the_active_synapses) {
  KeptRows rows;
  StatsOptions o;
  o.rows = &rows;
  run({"unit sorc 0 1 1.0 1.0 0.0 0 0 0.0 2 1 0.8", "syn sorc 0 rsvr 0 1 1 1 0.800000 0.1 3.000000",
       "syn sorc 0 rsvr 1 0 1 1 0.700000 0.1 0.010000"},
      o);
  EXPECT_EQ(rows.weights, (std::vector<std::string>{"sorc 0 rsvr 0 0.800000"}));
}

TEST(switch_check, follows_at_most_its_limit_of_synapses_and_counts_the_rest) {
  SwitchCheck check(2);
  check.onSwitch({0, 1, 1, 1}, true, 5);
  check.onSwitch({0, 2, 1, 1}, true, 6);
  check.onSwitch({0, 3, 1, 1}, true, 7);  // a third synapse: not followed
  check.onSwitch({0, 1, 1, 1}, true, 8);  // repeated
  check.onReport({0, 1, 1, 1}, true, 8);
  check.onReport({0, 3, 1, 1}, false, 7);
  SwitchCheckCounts c = check.finish(true);
  EXPECT_EQ(c.switched, 2u);
  EXPECT_EQ(c.unchecked, 1u);
  EXPECT_EQ(c.repeated, 1u);
  EXPECT_EQ(c.stateMismatch, 0u);
  EXPECT_EQ(c.absentFromReport, 1u);
}

TEST(switch_check, tells_synapses_apart_by_every_part_of_their_key) {
  SwitchCheck check;
  for (std::uint32_t g : {0u, 255u})
    for (std::uint32_t id : {0u, kMaxUnitId}) {
      check.onSwitch({g, id, g, id}, true, 1);
      check.onSwitch({g, id, 255u - g, id}, true, 1);
      check.onSwitch({g, id, g, kMaxUnitId - id}, true, 1);
    }
  EXPECT_EQ(check.finish(false).switched, 12u);
  EXPECT_EQ(check.finish(false).repeated, 0u);
}

}  // namespace
}  // namespace net1::summary
