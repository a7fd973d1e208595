#include "trace_stats.h"

#include <algorithm>
#include <numeric>
#include <string_view>

namespace net1::summary {
namespace {

constexpr const char* kTooManyGroups = "more than 256 different group names";
constexpr const char* kTooManyPathways = "more than 1024 different pathways";
constexpr const char* kAfterReport = "a trace line after the final report began";
constexpr const char* kBackInTime = "time earlier than the line before: the time of a trace never goes back";
constexpr const char* kBadLastSwitch = "syn: field 11 (last_switch) is out of range: a time is from 0 to 999999999999.999999";
constexpr const char* kTotalsOverflow = "unit: the synapse counts of the final report add up beyond 2^63";

}  // namespace

TraceStats::TraceStats(const StatsOptions& options)
    : options_(options), bins_(options.binWidth, options.keepBins) {
  if (options_.rasterGiven) {
    rasterFrom_ = options_.rasterFrom;
    rasterTo_ = options_.rasterTo;
  }
}

int TraceStats::group(std::string_view name) {
  int g = table_.group(name);
  if (g >= 0 && static_cast<std::size_t>(g) >= groupAcc_.size()) {
    groupAcc_.resize(static_cast<std::size_t>(g) + 1);
    bins_.setSeries(binSeries());
  }
  return g;
}

bool TraceStats::groupPair(std::string_view pre, std::string_view post, int& g1, int& g2) {
  int have1 = table_.find(pre), have2 = table_.find(post);
  int needed = (have1 < 0) + (have2 < 0 && post != pre);
  if (table_.groupCount() + needed > GroupTable::kMaxGroups) return false;
  g1 = have1 >= 0 ? have1 : group(pre);
  g2 = have2 >= 0 ? have2 : group(post);
  return true;
}

int TraceStats::pathway(int pre, int post) {
  int p = table_.pathway(pre, post);
  if (p >= 0 && static_cast<std::size_t>(p) >= pathAcc_.size()) {
    pathAcc_.resize(static_cast<std::size_t>(p) + 1);
    bins_.setSeries(binSeries());
  }
  return p;
}

void TraceStats::noteTime(Ticks t) {
  if (!hasTime_) {
    hasTime_ = true;
    firstTime_ = t;
    if (!options_.rasterGiven) {
      rasterFrom_ = t;
      rasterTo_ = t + options_.rasterLength;
    }
  }
  lastTime_ = t;
  bins_.cover(t);
}

const char* TraceStats::add(const TraceLine& line, std::uint64_t number) {
  // Every check comes before the first change, so that a refused line
  // leaves no trace of itself.
  if (inReport_ && line.kind != Kind::unit && line.kind != Kind::syn) return kAfterReport;
  if (line.hasTime && hasTime_ && line.time < lastTime_) return kBackInTime;
  int g1 = -1, g2 = -1, p = -1;
  Ticks lastSwitch = 0;
  switch (line.kind) {
    case Kind::spk:
      if (table_.find(line.name[0]) < 0 && table_.groupCount() >= GroupTable::kMaxGroups) return kTooManyGroups;
      break;
    case Kind::syn:
      if (!line.real[2].toTime(lastSwitch)) return kBadLastSwitch;
      [[fallthrough]];
    case Kind::swon:
    case Kind::swoff: {
      int have1 = table_.find(line.name[0]), have2 = table_.find(line.name[1]);
      if (have1 < 0 || have2 < 0) {
        int needed = (have1 < 0) + (have2 < 0 && line.name[1] != line.name[0]);
        if (table_.groupCount() + needed > GroupTable::kMaxGroups) return kTooManyGroups;
      }
      if ((have1 < 0 || have2 < 0 || table_.findPathway(have1, have2) < 0) &&
          table_.pathwayCount() >= GroupTable::kMaxPathways)
        return kTooManyPathways;
      break;
    }
    case Kind::unit: {
      if (table_.find(line.name[0]) < 0 && table_.groupCount() >= GroupTable::kMaxGroups) return kTooManyGroups;
      std::int64_t in = 0, out = 0;
      if (__builtin_add_overflow(inTotal_, line.count[0], &in) || __builtin_add_overflow(outTotal_, line.count[2], &out))
        return kTotalsOverflow;
      break;
    }
    default:
      break;
  }

  if (line.hasTime) noteTime(line.time);
  switch (line.kind) {
    case Kind::spk: {
      g1 = group(line.name[0]);
      bins_.add(Channel::spikes, g1);
      ++groupAcc_[static_cast<std::size_t>(g1)].spikes;
      if (options_.rows && line.time >= rasterFrom_ && line.time < rasterTo_)
        options_.rows->rasterSpike(line.time, table_.groupName(g1), line.id[0]);
      break;
    }
    case Kind::swon:
    case Kind::swoff:
      groupPair(line.name[0], line.name[1], g1, g2);
      p = pathway(g1, g2);
      addSwitch(line, g1, g2, p, line.kind == Kind::swon);
      break;
    case Kind::swofftime:
      if (switchOff_.count++ == 0) {
        switchOff_.line = number;
        switchOff_.hasTime = line.hasTime;
        if (line.hasTime) {
          switchOff_.time = line.time;
        } else if (hasTime_) {
          switchOff_.time = lastTime_;
          switchOff_.hasTimeBefore = true;
        }
      }
      break;
    case Kind::unit:
      addUnit(line, group(line.name[0]));
      break;
    case Kind::syn:
      groupPair(line.name[0], line.name[1], g1, g2);
      p = pathway(g1, g2);
      addSynapse(line, g1, g2, p, lastSwitch);
      break;
    default:
      break;
  }
  ++lines_;
  ++kindLines_[static_cast<std::size_t>(line.kind)];
  return nullptr;
}

void TraceStats::addSwitch(const TraceLine& line, int pre, int post, int p, bool on) {
  bins_.add(on ? Channel::swon : Channel::swoff, p);
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
}

void TraceStats::addUnit(const TraceLine& line, int g) {
  inReport_ = true;
  ++reportUnits_;
  GroupAcc& a = groupAcc_[static_cast<std::size_t>(g)];
  if (a.reportUnits++ == 0) a.reportRank = ++reportGroups_;
  if (static_cast<std::int64_t>(line.id[0]) > a.reportMaxId) a.reportMaxId = line.id[0];
  inTotal_ += line.count[0];  // checked in add()
  outTotal_ += line.count[2];
}

void TraceStats::addSynapse(const TraceLine& line, int pre, int post, int p, Ticks lastSwitch) {
  inReport_ = true;
  ++reportSynapses_;
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
    if (options_.rows)
      options_.rows->finalWeight(table_.groupName(pre), line.id[0], table_.groupName(post), line.id[1], w);
  }
  SynapseKey key{static_cast<std::uint32_t>(pre), line.id[0], static_cast<std::uint32_t>(post), line.id[1]};
  check_.onReport(key, active, lastSwitch);
}

void TraceStats::addBadLine(std::uint64_t number) {
  if (badLines_++ == 0 || number < firstBadLine_) firstBadLine_ = number;
}

void TraceStats::finish() {
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
        (reportSynapses_ != static_cast<std::uint64_t>(outTotal_) || outTotal_ != inTotal_)) {
      reportState_ = ReportState::incomplete;
      reportProblem_ = std::to_string(reportSynapses_) + " syn lines for " + std::to_string(outTotal_) +
                       " outgoing synapses of the units";
    }
  }
  const bool complete = reportState_ == ReportState::complete;

  // The network's own order: the groups as the final report lists them
  // (the order they were made in), then any it leaves out as they were met;
  // the pathways by their groups in that order. Runs of one network then
  // give the same columns, whatever line came first.
  std::vector<int> groupOrder(static_cast<std::size_t>(table_.groupCount()));
  std::iota(groupOrder.begin(), groupOrder.end(), 0);
  auto rankOf = [&](int g) {
    const std::uint64_t r = groupAcc_[static_cast<std::size_t>(g)].reportRank;
    return std::pair{r == 0, r == 0 ? static_cast<std::uint64_t>(g) : r};
  };
  std::sort(groupOrder.begin(), groupOrder.end(), [&](int a, int b) { return rankOf(a) < rankOf(b); });
  std::vector<int> position(groupOrder.size());
  for (std::size_t i = 0; i < groupOrder.size(); ++i) position[static_cast<std::size_t>(groupOrder[i])] = static_cast<int>(i);
  std::vector<int> pathwayOrder(static_cast<std::size_t>(table_.pathwayCount()));
  std::iota(pathwayOrder.begin(), pathwayOrder.end(), 0);
  auto pathwayRank = [&](int p) {
    auto [pre, post] = table_.pathwayGroups(p);
    return std::pair{position[static_cast<std::size_t>(pre)], position[static_cast<std::size_t>(post)]};
  };
  std::sort(pathwayOrder.begin(), pathwayOrder.end(), [&](int a, int b) { return pathwayRank(a) < pathwayRank(b); });

  // Sizes come from the final report only: a group it does not list has
  // an unknown size, not a guessed one.
  groups_.clear();
  for (int g : groupOrder) {
    const GroupAcc& a = groupAcc_[static_cast<std::size_t>(g)];
    GroupInfo info;
    info.name = table_.groupName(g);
    info.index = g;
    info.spikes = a.spikes;
    if (a.reportUnits != 0) {
      info.units = a.reportMaxId + 1;
      info.source = SizeSource::report;
    }
    groups_.push_back(std::move(info));
  }

  pathways_.clear();
  for (int p : pathwayOrder) {
    const PathwayAcc& a = pathAcc_[static_cast<std::size_t>(p)];
    PathwayInfo info;
    info.name = table_.pathwayName(p);
    info.index = p;
    info.swon = a.swon;
    info.swoff = a.swoff;
    info.synapses = a.synapses;
    info.active = a.active;
    info.weightMin = a.wmin;
    info.weightMax = a.wmax;
    info.weightSum = a.wsum;
    // Every count here is a count of lines, far below 2^62, so the
    // differences cannot overflow.
    if (complete)
      info.start = static_cast<std::int64_t>(a.active) - (static_cast<std::int64_t>(a.swon) - static_cast<std::int64_t>(a.swoff));
    pathways_.push_back(std::move(info));
  }

  checkCounts_ = check_.finish(reportState_ != ReportState::none);
}

}  // namespace net1::summary
