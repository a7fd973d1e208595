#pragma once
// Event counts per time bin, for the over-time table.
//
// Bins are [k*width, (k+1)*width) in ticks, so their edges are exact. Rows run
// from the bin of the first time to the bin of the last; times arrive in
// order, so a row once passed is never counted into again. All counts of all
// series share one budget: a width too fine for the trace's span is found out
// as the trace is read, the counts are dropped, and the smallest width that
// fits is computed from the span at the end.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "trace_line.h"

namespace net1::summary {

enum class Channel : std::uint8_t { spikes, swon, swoff };  // spikes per group, switches per pathway
inline constexpr int kChannelCount = 3;

class TimeBins {
 public:
  // Counts of all series over all rows, at most: 32 MB of counts, a table
  // of 466,033 rows for the usual three groups and three pathways.
  static constexpr std::uint64_t kMaxCells = std::uint64_t{1} << 22;

  // Without keep, only the span is followed (no table is wanted).
  TimeBins(Ticks width, bool keep) : width_(width), keep_(keep) {}

  // The number of series (groups + 2 x pathways) that the table will have.
  void setSeries(std::uint64_t series);
  // Takes the time of a line, at or after every time before it.
  void cover(Ticks t) {
    if (rows_ != 0 && t < rowEnd_) return;
    newRow(t);
  }
  // Counts one event at the time last covered.
  void add(Channel c, int index) {
    if (!keep_ || tooFine_) return;
    auto& s = series(c, index);
    if (s.size() < rows_) s.resize(rows_);
    ++s.back();
  }

  Ticks width() const { return width_; }
  // The rows would take more than kMaxCells counts: no counts are kept.
  bool tooFine() const { return tooFine_; }
  std::int64_t firstBin() const { return first_; }
  std::size_t binCount() const { return static_cast<std::size_t>(rows_); }
  Ticks binStart(std::size_t i) const { return (first_ + static_cast<std::int64_t>(i)) * width_; }
  std::uint64_t at(Channel c, int index, std::size_t i) const;

  // Rows needed from first to last with this width.
  static std::uint64_t rowsFor(Ticks first, Ticks last, Ticks width) {
    return static_cast<std::uint64_t>(last / width - first / width) + 1;
  }
  // The smallest width whose rows for first..last, times series, fit in kMaxCells.
  static Ticks smallestWidth(Ticks first, Ticks last, std::uint64_t series);

 private:
  void newRow(Ticks t);
  void checkBudget();
  std::vector<std::uint64_t>& series(Channel c, int index);

  Ticks width_;
  bool keep_;
  bool tooFine_ = false;
  std::uint64_t seriesCount_ = 1;
  std::int64_t first_ = 0;
  std::uint64_t rows_ = 0;
  Ticks rowEnd_ = 0;  // where the last row ends
  std::vector<std::vector<std::uint64_t>> series_[kChannelCount];
};

}  // namespace net1::summary
