#include "time_bins.h"

namespace net1::summary {

void TimeBins::newRow(Ticks t) {
  // Times are at most kTimeLimit and widths at least 1, so nothing here can
  // overflow: every bin index and bin edge stays below 2 * kTimeLimit.
  const std::int64_t b = t / width_;
  if (rows_ == 0) first_ = b;
  rows_ = static_cast<std::uint64_t>(b - first_) + 1;
  rowEnd_ = (b + 1) * width_;
  checkBudget();
}

void TimeBins::setSeries(std::uint64_t series) {
  seriesCount_ = series == 0 ? 1 : series;
  checkBudget();
}

void TimeBins::checkBudget() {
  if (tooFine_ || rows_ <= kMaxCells / seriesCount_) return;
  tooFine_ = true;
  for (auto& channel : series_) std::vector<std::vector<std::uint64_t>>().swap(channel);
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

Ticks TimeBins::smallestWidth(Ticks first, Ticks last, std::uint64_t series) {
  if (series == 0) series = 1;
  const std::uint64_t maxRows = kMaxCells / series;
  const Ticks span = last - first;
  if (maxRows <= 1) return last + 1;  // one row, from 0: the only width that always fits
  // Rows are at most span / width + 1, so a width of span / (maxRows - 1),
  // rounded up, always fits; a width below span / maxRows never does. The
  // first that fits lies between, and is nearly always the lower end.
  Ticks low = span / static_cast<Ticks>(maxRows);
  Ticks high = span / static_cast<Ticks>(maxRows - 1) + 1;
  if (low < 1) low = 1;
  for (Ticks w = low; w < high && w < low + 4096; ++w)
    if (rowsFor(first, last, w) <= maxRows) return w;
  return high;
}

}  // namespace net1::summary
