#include "trace_stats.h"

#include <string_view>

namespace net1::summary {
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

TraceStats::TraceStats(const StatsOptions& options) : options_(options), bins_(options.binWidth) {
  // The usual groups and pathways come first and always appear, so outputs
  // of different runs line up column for column.
  for (const auto& k : kKnownGroups) group(k.name);
  int sorc = 0, rsvr = 1, sink = 2;
  pathway(sorc, rsvr);
  pathway(rsvr, rsvr);
  pathway(rsvr, sink);
  if (options_.rasterGiven) {
    rasterFrom_ = options_.rasterFrom;
    rasterTo_ = options_.rasterTo;
  }
}

int TraceStats::group(std::string_view name) {
  int g = table_.group(name);
  if (g >= 0 && static_cast<std::size_t>(g) >= groupAcc_.size()) groupAcc_.resize(static_cast<std::size_t>(g) + 1);
  return g;
}

int TraceStats::pathway(int pre, int post) {
  int p = table_.pathway(pre, post);
  if (static_cast<std::size_t>(p) >= pathAcc_.size()) pathAcc_.resize(static_cast<std::size_t>(p) + 1);
  return p;
}

void TraceStats::noteTime(Ticks t) {
  if (!hasTime_) {
    hasTime_ = true;
    firstTime_ = minTime_ = maxTime_ = t;
    if (!options_.rasterGiven) {
      rasterFrom_ = t;
      rasterTo_ = t + options_.rasterLength;
    }
  }
  lastTime_ = t;
  if (t < minTime_) minTime_ = t;
  if (t > maxTime_) maxTime_ = t;
}

const char* TraceStats::add(const TraceLine& line) {
  const bool reportLine = line.kind == Kind::unit || line.kind == Kind::syn;
  if (inReport_ && !reportLine) return kAfterReport;

  switch (line.kind) {
    case Kind::spk: {
      int g = group(line.name[0]);
      if (g < 0) return kTooManyGroups;
      if (!bins_.add(Channel::spikes, g, line.time)) return kTooManyBins;
      ++groupAcc_[static_cast<std::size_t>(g)].spikes;
      if (!hasTime_) noteTime(line.time);  // opens the default raster window
      if (line.time >= rasterFrom_ && line.time < rasterTo_) raster_.push_back({line.time, g, line.id[0]});
      break;
    }
    case Kind::swon:
    case Kind::swoff: {
      if (const char* why = addSwitch(line, line.kind == Kind::swon)) return why;
      break;
    }
    case Kind::swofftime: {
      if (switchOff_.count++ == 0) {
        switchOff_.line = lines_ + 1;
        switchOff_.hasTime = line.hasTime;
        if (line.hasTime) {
          switchOff_.time = line.time;
        } else if (hasTime_) {
          switchOff_.time = lastTime_;
          switchOff_.hasTimeBefore = true;
        }
      }
      break;
    }
    case Kind::unit: {
      int g = group(line.name[0]);
      if (g < 0) return kTooManyGroups;
      addUnit(line, g);
      break;
    }
    case Kind::syn: {
      int pre = group(line.name[0]);
      int post = group(line.name[1]);
      if (pre < 0 || post < 0) return kTooManyGroups;
      addSynapse(line, pre, post);
      break;
    }
    default:
      break;
  }
  if (line.hasTime) noteTime(line.time);
  ++lines_;
  ++kindLines_[static_cast<std::size_t>(line.kind)];
  return nullptr;
}

const char* TraceStats::addSwitch(const TraceLine& line, bool on) {
  int pre = group(line.name[0]);
  int post = group(line.name[1]);
  if (pre < 0 || post < 0) return kTooManyGroups;
  int p = pathway(pre, post);
  if (!bins_.add(on ? Channel::swon : Channel::swoff, p, line.time)) return kTooManyBins;
  PathwayAcc& a = pathAcc_[static_cast<std::size_t>(p)];
  if (on) {
    ++a.swon;
    ++totalSwon_;
  } else {
    ++a.swoff;
    ++totalSwoff_;
  }
  SynapseKey key{static_cast<std::uint32_t>(pre), line.id[0], static_cast<std::uint32_t>(post), line.id[1]};
  check_.onSwitch(key, on, line.time);
  return nullptr;
}

void TraceStats::addUnit(const TraceLine& line, int g) {
  inReport_ = true;
  ++reportUnits_;
  GroupAcc& a = groupAcc_[static_cast<std::size_t>(g)];
  ++a.reportUnits;
  if (static_cast<std::int64_t>(line.id[0]) > a.reportMaxId) a.reportMaxId = line.id[0];
  inTotal_ += line.count[0];
  outTotal_ += line.count[2];
}

void TraceStats::addSynapse(const TraceLine& line, int pre, int post) {
  inReport_ = true;
  ++reportSynapses_;
  int p = pathway(pre, post);
  PathwayAcc& a = pathAcc_[static_cast<std::size_t>(p)];
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
  Ticks lastSwitch = 0;
  if (line.real[2].toTicks(lastSwitch)) {
    SynapseKey key{static_cast<std::uint32_t>(pre), line.id[0], static_cast<std::uint32_t>(post), line.id[1]};
    check_.onReport(key, active, lastSwitch);
  }
}

void TraceStats::addBadLine(std::uint64_t lineNumber) {
  if (badLines_++ == 0) firstBadLine_ = lineNumber;
}

void TraceStats::finish() {
  if (hasTime_) {
    // Bins run from the earliest to the latest time, also where no event fell.
    // A failure only means an outlying time without events: leave it out.
    bins_.coverTime(minTime_);
    bins_.coverTime(maxTime_);
  }

  // Is the final report whole? Each group lists ids from its largest down to
  // 0, and every synapse is some unit's outgoing one.
  if (reportUnits_ == 0 && reportSynapses_ == 0) {
    reportState_ = ReportState::none;
  } else if (reportUnits_ == 0) {
    reportState_ = ReportState::incomplete;
    reportProblem_ = "no unit lines";
  } else {
    reportState_ = ReportState::complete;
    for (int g = 0; g < table_.groupCount(); ++g) {
      const GroupAcc& a = groupAcc_[static_cast<std::size_t>(g)];
      if (a.reportUnits != 0 && static_cast<std::int64_t>(a.reportUnits) != a.reportMaxId + 1) {
        reportState_ = ReportState::incomplete;
        reportProblem_ = std::to_string(a.reportUnits) + " unit lines of " + table_.groupName(g) +
                          " for ids up to " + std::to_string(a.reportMaxId);
        break;
      }
    }
    if (reportState_ == ReportState::complete &&
        (static_cast<std::int64_t>(reportSynapses_) != outTotal_ || outTotal_ != inTotal_)) {
      reportState_ = ReportState::incomplete;
      reportProblem_ = std::to_string(reportSynapses_) + " syn lines for " + std::to_string(outTotal_) +
                        " outgoing synapses of the units";
    }
  }
  const bool complete = reportState_ == ReportState::complete;

  groups_.clear();
  for (int g = 0; g < table_.groupCount(); ++g) {
    const GroupAcc& a = groupAcc_[static_cast<std::size_t>(g)];
    GroupInfo info;
    info.name = table_.groupName(g);
    info.spikes = a.spikes;
    if (a.reportUnits != 0) {
      info.units = a.reportMaxId + 1;
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
  for (int p = 0; p < table_.pathwayCount(); ++p) {
    const PathwayAcc& a = pathAcc_[static_cast<std::size_t>(p)];
    PathwayInfo info;
    info.name = table_.pathwayName(p);
    info.swon = a.swon;
    info.swoff = a.swoff;
    info.synapses = a.synapses;
    info.active = a.active;
    info.weightMin = a.wmin;
    info.weightMax = a.wmax;
    info.weightSum = a.wsum;
    if (complete)
      info.start = static_cast<std::int64_t>(a.active) - (static_cast<std::int64_t>(a.swon) - static_cast<std::int64_t>(a.swoff));
    pathways_.push_back(std::move(info));
  }

  checkCounts_ = check_.finish(reportState_ != ReportState::none);
}

}  // namespace net1::summary
