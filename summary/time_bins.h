#pragma once
// Event counts per time bin, for the over-time tables.
//
// Bins are [k*width, (k+1)*width) in ticks, so their edges are exact. Only the
// bins between the earliest and the latest time met are kept.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "trace_line.h"

namespace net1::summary {

enum class Channel : std::uint8_t { spikes, swon, swoff };  // spikes per group, switches per pathway
inline constexpr int kChannelCount = 3;

class TimeBins {
 public:
  // Bounds memory when a bin width is tiny against the time span.
  static constexpr std::int64_t kMaxBins = 10'000'000;

  explicit TimeBins(Ticks width) : width_(width) {}

  // Counts one event. False when it would take more than kMaxBins bins.
  bool add(Channel c, int index, Ticks t) {
    std::int64_t b = binOf(t);
    if (count_ == 0 || b < first_ || b >= first_ + count_) {
      if (!cover(b)) return false;
    }
    auto& s = series(c, index);
    auto i = static_cast<std::size_t>(b - first_);
    if (s.size() <= i) s.resize(i + 1);
    ++s[i];
    return true;
  }
  // Widens the range to t without counting anything.
  bool coverTime(Ticks t) { return cover(binOf(t)); }

  Ticks width() const { return width_; }
  std::int64_t firstBin() const { return first_; }
  std::size_t binCount() const { return static_cast<std::size_t>(count_); }
  Ticks binStart(std::size_t i) const { return (first_ + static_cast<std::int64_t>(i)) * width_; }
  std::uint64_t at(Channel c, int index, std::size_t i) const;

 private:
  std::int64_t binOf(Ticks t) const {
    std::int64_t q = t / width_;
    return (t % width_ != 0 && t < 0) ? q - 1 : q;  // floor, also for negative times
  }
  bool cover(std::int64_t b);
  std::vector<std::uint64_t>& series(Channel c, int index);

  Ticks width_;
  std::int64_t first_ = 0;
  std::int64_t count_ = 0;
  std::vector<std::vector<std::uint64_t>> series_[kChannelCount];
};

}  // namespace net1::summary
