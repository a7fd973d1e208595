#include "switch_check.h"

namespace net1::summary {

namespace {
constexpr std::uint64_t kFirstSlots = 1024;
}

SwitchCheck::SwitchCheck(std::uint64_t maxSynapses)
    : slots_(new Slot[kFirstSlots]), mask_(kFirstSlots - 1), shift_(64 - 10), maxSynapses_(maxSynapses) {}

SwitchCheck::Slot& SwitchCheck::lookup(std::uint64_t key) {
  std::uint64_t i = (key * 0x9E3779B97F4A7C15ULL) >> shift_;
  for (;;) {
    Slot& s = slots_[i];
    if (s.word == 0 || (s.word & kKeyMask) == key) return s;
    i = (i + 1) & mask_;
  }
}

void SwitchCheck::grow() {
  std::uint64_t count = (mask_ + 1) * 2;
  std::unique_ptr<Slot[]> old = std::move(slots_);
  std::uint64_t oldCount = mask_ + 1;
  slots_.reset(new Slot[count]);
  mask_ = count - 1;
  --shift_;
  for (std::uint64_t i = 0; i < oldCount; ++i)
    if (old[i].word != 0) lookup(old[i].word & kKeyMask) = old[i];
}

void SwitchCheck::onSwitch(const SynapseKey& key, bool on, Ticks time) {
  const std::uint64_t k = pack(key);
  Slot* s = &lookup(k);
  if (s->word == 0) {
    if (used_ >= maxSynapses_) {
      ++counts_.unchecked;
      return;
    }
    if (2 * (used_ + 1) > mask_ + 1) {
      grow();
      s = &lookup(k);
    }
    ++used_;
    s->word = k | kUsed | (on ? 0 : kOn);  // so that the first event never counts as repeated
  }
  if (((s->word & kOn) != 0) == on) ++counts_.repeated;
  s->word = (s->word & ~kOn) | (on ? kOn : 0);
  s->lastTime = time;
}

void SwitchCheck::onReport(const SynapseKey& key, bool active, Ticks lastSwitch) {
  Slot& s = lookup(pack(key));
  if (s.word == 0) return;  // never switched: nothing to compare
  if (s.word & kReported) return;
  s.word |= kReported;
  if (((s.word & kOn) != 0) != active) ++counts_.stateMismatch;
  if (s.lastTime != lastSwitch) ++counts_.timeMismatch;
}

SwitchCheckCounts SwitchCheck::finish(bool withReport) const {
  SwitchCheckCounts c = counts_;
  c.switched = used_;
  if (withReport)
    for (std::uint64_t i = 0; i <= mask_; ++i)
      if (slots_[i].word != 0 && (slots_[i].word & kReported) == 0) ++c.absentFromReport;
  return c;
}

}  // namespace net1::summary
