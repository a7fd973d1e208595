// The cost of one event in a steady queue of N pending events (the classic
// hold model): take the earliest event, schedule a new one a random delay
// ahead. Built twice: queue-bench over the engine's calendar (flat in N)
// and queue-bench-plain over the plain list (linear in N).
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "event_store.h"
#include "net1.h"

using namespace net1;

namespace {

// A queue holding `pending` events for one unit. Delays are drawn
// beforehand, so that the loops time the queue alone.
struct Held {
  Group* g = addGroup("g");
  Unit* u = addUnit(g);
  EventQueue* q = allocRecord<EventQueue>();
  std::vector<double> delays = std::vector<double>(1 << 16);
  std::size_t next = 0;

  explicit Held(std::size_t pending) {
    std::mt19937_64 rng(1);
    std::exponential_distribution<double> exponential(1.0 / 3.0);
    for (double& d : delays) d = exponential(rng);
    for (std::size_t i = 0; i < pending; ++i) addOne();
  }
  ~Held() {
    freeQueue(q);
    freeGroupUnitsAndPostSynapses(g);
  }
  void addOne() { addEvent(q, delays[next++ & (delays.size() - 1)], 1.0f, u, nullptr); }
};

void hold(benchmark::State& state) {
  const auto pending = static_cast<std::size_t>(state.range(0));
  Held held(pending);
  auto holdOnce = [&] {
    const Event* e = earliestEvent(held.q);
    held.q->now = e->time;
    deleteEvent(e, held.q);
    held.addOne();
  };
  // Untimed, until every event first put in has come out again: the queue
  // is then in the steady state that a long run sees.
  for (std::size_t i = 0; i < 4 * pending && pending <= 100000; ++i) holdOnce();
  for (auto _ : state) holdOnce();
  state.SetItemsProcessed(state.iterations());
}

// The same through the path a run takes: a whole time point at once, and
// as many new events as it held.
void holdTimePoints(benchmark::State& state) {
  Held held(static_cast<std::size_t>(state.range(0)));
  std::int64_t events = 0;
  for (auto _ : state) {
    const std::span<Event> block = takeTimePoint(held.q->pending, 1e300);
    held.q->now = block.front().time;
    for (std::size_t i = 0; i < block.size(); ++i) held.addOne();
    events += static_cast<std::int64_t>(block.size());
  }
  state.SetItemsProcessed(events);
}

}  // namespace

BENCHMARK(hold)->RangeMultiplier(10)->Range(1000, 1000000);
BENCHMARK(holdTimePoints)->Arg(300)->Arg(3000)->Arg(30000);

BENCHMARK_MAIN();
