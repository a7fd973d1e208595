#include "trace_stats.hpp"

#include <string_view>

namespace tsum {
namespace {

// Group sizes of the nine experiment programs, used when a trace has no final
// report to count the units from.
struct KnownGroup {
  std::string_view name;
  std::int64_t units;
};
constexpr KnownGroup kKnownGroups[] = {{"sorc", 40}, {"rsvr", 1000}, {"sink", 100}};

constexpr const char* kTooManyGroups = "more than 1024 different group names";
constexpr const char* kTooManyBins = "time too far from the others: more than 10000000 bins of this width";
constexpr const char* kAfterReport = "trace line after the final report began";

}  // namespace

TraceStats::TraceStats(const StatsOptions& options) : options_(options), bins_(options.bin_width) {
  // The usual groups and pathways come first and always appear, so outputs
  // of different runs line up column for column.
  for (const auto& k : kKnownGroups) group(k.name);
  int sorc = 0, rsvr = 1, sink = 2;
  pathway(sorc, rsvr);
  pathway(rsvr, rsvr);
  pathway(rsvr, sink);
  if (options_.raster_given) {
    raster_from_ = options_.raster_from;
    raster_to_ = options_.raster_to;
  }
}

int TraceStats::group(std::string_view name) {
  int g = table_.group(name);
  if (g >= 0 && static_cast<std::size_t>(g) >= group_acc_.size()) group_acc_.resize(static_cast<std::size_t>(g) + 1);
  return g;
}

int TraceStats::pathway(int pre, int post) {
  int p = table_.pathway(pre, post);
  if (static_cast<std::size_t>(p) >= path_acc_.size()) path_acc_.resize(static_cast<std::size_t>(p) + 1);
  return p;
}

void TraceStats::note_time(Ticks t) {
  if (!has_time_) {
    has_time_ = true;
    first_time_ = min_time_ = max_time_ = t;
    if (!options_.raster_given) {
      raster_from_ = t;
      raster_to_ = t + options_.raster_length;
    }
  }
  last_time_ = t;
  if (t < min_time_) min_time_ = t;
  if (t > max_time_) max_time_ = t;
}

const char* TraceStats::add(const TraceLine& line) {
  const bool report_line = line.kind == Kind::unit || line.kind == Kind::syn;
  if (in_report_ && !report_line) return kAfterReport;

  switch (line.kind) {
    case Kind::spk: {
      int g = group(line.name[0]);
      if (g < 0) return kTooManyGroups;
      if (!bins_.add(Channel::spikes, g, line.time)) return kTooManyBins;
      ++group_acc_[static_cast<std::size_t>(g)].spikes;
      if (!has_time_) note_time(line.time);  // opens the default raster window
      if (line.time >= raster_from_ && line.time < raster_to_) raster_.push_back({line.time, g, line.id[0]});
      break;
    }
    case Kind::swon:
    case Kind::swoff: {
      if (const char* why = add_switch(line, line.kind == Kind::swon)) return why;
      break;
    }
    case Kind::swofftime: {
      if (switch_off_.count++ == 0) {
        switch_off_.line = lines_ + 1;
        switch_off_.has_time = line.has_time;
        if (line.has_time) {
          switch_off_.time = line.time;
        } else if (has_time_) {
          switch_off_.time = last_time_;
          switch_off_.has_time_before = true;
        }
      }
      break;
    }
    case Kind::unit: {
      int g = group(line.name[0]);
      if (g < 0) return kTooManyGroups;
      add_unit(line, g);
      break;
    }
    case Kind::syn: {
      int pre = group(line.name[0]);
      int post = group(line.name[1]);
      if (pre < 0 || post < 0) return kTooManyGroups;
      add_synapse(line, pre, post);
      break;
    }
    default:
      break;
  }
  if (line.has_time) note_time(line.time);
  ++lines_;
  ++kind_lines_[static_cast<std::size_t>(line.kind)];
  return nullptr;
}

const char* TraceStats::add_switch(const TraceLine& line, bool on) {
  int pre = group(line.name[0]);
  int post = group(line.name[1]);
  if (pre < 0 || post < 0) return kTooManyGroups;
  int p = pathway(pre, post);
  if (!bins_.add(on ? Channel::swon : Channel::swoff, p, line.time)) return kTooManyBins;
  PathwayAcc& a = path_acc_[static_cast<std::size_t>(p)];
  if (on) {
    ++a.swon;
    ++total_swon_;
  } else {
    ++a.swoff;
    ++total_swoff_;
  }
  SynapseKey key{static_cast<std::uint32_t>(pre), line.id[0], static_cast<std::uint32_t>(post), line.id[1]};
  check_.on_switch(key, on, line.time);
  return nullptr;
}

void TraceStats::add_unit(const TraceLine& line, int g) {
  in_report_ = true;
  ++report_units_;
  GroupAcc& a = group_acc_[static_cast<std::size_t>(g)];
  ++a.report_units;
  if (static_cast<std::int64_t>(line.id[0]) > a.report_max_id) a.report_max_id = line.id[0];
  in_total_ += line.count[0];
  out_total_ += line.count[2];
}

void TraceStats::add_synapse(const TraceLine& line, int pre, int post) {
  in_report_ = true;
  ++report_synapses_;
  int p = pathway(pre, post);
  PathwayAcc& a = path_acc_[static_cast<std::size_t>(p)];
  ++a.synapses;
  const bool active = line.flag[0];
  if (active) {
    double w = line.real[0].value();
    if (a.active == 0) {
      a.wmin = a.wmax = w;
    } else {
      if (w < a.wmin) a.wmin = w;
      if (w > a.wmax) a.wmax = w;
    }
    a.wsum += w;
    ++a.active;
    weights_.push_back({p, line.id[0], line.id[1], w});
  }
  Ticks last_switch = 0;
  if (line.real[2].to_ticks(last_switch)) {
    SynapseKey key{static_cast<std::uint32_t>(pre), line.id[0], static_cast<std::uint32_t>(post), line.id[1]};
    check_.on_report(key, active, last_switch);
  }
}

void TraceStats::add_bad_line(std::uint64_t line_number) {
  if (bad_lines_++ == 0) first_bad_line_ = line_number;
}

void TraceStats::finish() {
  if (has_time_) {
    // Bins run from the earliest to the latest time, also where no event fell.
    // A failure only means an outlying time without events: leave it out.
    bins_.cover_time(min_time_);
    bins_.cover_time(max_time_);
  }

  // Is the final report whole? Each group lists ids from its largest down to
  // 0, and every synapse is some unit's outgoing one.
  if (report_units_ == 0 && report_synapses_ == 0) {
    report_state_ = ReportState::none;
  } else if (report_units_ == 0) {
    report_state_ = ReportState::incomplete;
    report_problem_ = "no unit lines";
  } else {
    report_state_ = ReportState::complete;
    for (int g = 0; g < table_.group_count(); ++g) {
      const GroupAcc& a = group_acc_[static_cast<std::size_t>(g)];
      if (a.report_units != 0 && static_cast<std::int64_t>(a.report_units) != a.report_max_id + 1) {
        report_state_ = ReportState::incomplete;
        report_problem_ = std::to_string(a.report_units) + " unit lines of " + table_.group_name(g) +
                          " for ids up to " + std::to_string(a.report_max_id);
        break;
      }
    }
    if (report_state_ == ReportState::complete &&
        (static_cast<std::int64_t>(report_synapses_) != out_total_ || out_total_ != in_total_)) {
      report_state_ = ReportState::incomplete;
      report_problem_ = std::to_string(report_synapses_) + " syn lines for " + std::to_string(out_total_) +
                        " outgoing synapses of the units";
    }
  }
  const bool complete = report_state_ == ReportState::complete;

  groups_.clear();
  for (int g = 0; g < table_.group_count(); ++g) {
    const GroupAcc& a = group_acc_[static_cast<std::size_t>(g)];
    GroupInfo info;
    info.name = table_.group_name(g);
    info.spikes = a.spikes;
    if (a.report_units != 0) {
      info.units = a.report_max_id + 1;
      info.source = SizeSource::report;
    } else {
      for (const auto& k : kKnownGroups) {
        if (k.name == info.name) {
          info.units = k.units;
          info.source = SizeSource::fallback;
        }
      }
    }
    groups_.push_back(std::move(info));
  }

  pathways_.clear();
  for (int p = 0; p < table_.pathway_count(); ++p) {
    const PathwayAcc& a = path_acc_[static_cast<std::size_t>(p)];
    PathwayInfo info;
    info.name = table_.pathway_name(p);
    info.swon = a.swon;
    info.swoff = a.swoff;
    info.synapses = a.synapses;
    info.active = a.active;
    info.weight_min = a.wmin;
    info.weight_max = a.wmax;
    info.weight_sum = a.wsum;
    if (complete)
      info.start = static_cast<std::int64_t>(a.active) - (static_cast<std::int64_t>(a.swon) - static_cast<std::int64_t>(a.swoff));
    pathways_.push_back(std::move(info));
  }

  check_counts_ = check_.finish(report_state_ != ReportState::none);
}

}  // namespace tsum
