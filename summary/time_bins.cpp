#include "time_bins.h"

namespace net1::summary {

bool TimeBins::cover(std::int64_t b) {
  if (count_ == 0) {
    first_ = b;
    count_ = 1;
    return true;
  }
  std::int64_t gap = 0;  // checked: a damaged time may be near the int64 limits
  if (b < first_) {
    if (__builtin_sub_overflow(first_, b, &gap) || gap > kMaxBins - count_) return false;
    // Times run forward in a trace, so this is rare: shift the kept counts.
    auto shift = static_cast<std::size_t>(first_ - b);
    for (auto& channel : series_)
      for (auto& s : channel)
        if (!s.empty()) s.insert(s.begin(), shift, 0);
    count_ += first_ - b;
    first_ = b;
  } else if (b >= first_ + count_) {
    if (__builtin_sub_overflow(b, first_, &gap) || gap >= kMaxBins) return false;
    count_ = b - first_ + 1;
  }
  return true;
}

std::vector<std::uint64_t>& TimeBins::series(Channel c, int index) {
  auto& channel = series_[static_cast<std::size_t>(c)];
  if (channel.size() <= static_cast<std::size_t>(index)) channel.resize(static_cast<std::size_t>(index) + 1);
  return channel[static_cast<std::size_t>(index)];
}

std::uint64_t TimeBins::at(Channel c, int index, std::size_t i) const {
  const auto& channel = series_[static_cast<std::size_t>(c)];
  if (static_cast<std::size_t>(index) >= channel.size()) return 0;
  const auto& s = channel[static_cast<std::size_t>(index)];
  return i < s.size() ? s[i] : 0;
}

}  // namespace net1::summary
