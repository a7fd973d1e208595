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

void hold(benchmark::State& state) {
  const auto pending = static_cast<std::size_t>(state.range(0));
  Group* g = addGroup("g");
  Unit* u = addUnit(g);
  EventQueue* q = allocRecord<EventQueue>();
  // Delays drawn beforehand, so that the loop times the queue alone.
  std::mt19937_64 rng(1);
  std::exponential_distribution<double> exponential(1.0 / 3.0);
  std::vector<double> delays(1 << 16);
  for (double& d : delays) d = exponential(rng);
  std::size_t next = 0;
  auto delay = [&] { return delays[next++ & (delays.size() - 1)]; };
  auto holdOnce = [&] {
    const Event* e = earliestEvent(q);
    q->now = e->time;
    deleteEvent(e, q);
    addEvent(q, delay(), 1.0f, u, nullptr);
  };
  for (std::size_t i = 0; i < pending; ++i) addEvent(q, delay(), 1.0f, u, nullptr);
  // Untimed, until every event first put in has come out again: the queue
  // is then in the steady state that a long run sees.
  for (std::size_t i = 0; i < 4 * pending && pending <= 100000; ++i) holdOnce();
  for (auto _ : state) holdOnce();
  state.SetItemsProcessed(state.iterations());
  freeQueue(q);
  freeGroupUnitsAndPostSynapses(g);
}

// The same through the path a run takes: a whole time point at once, and
// as many new events as it held.
void holdTimePoints(benchmark::State& state) {
  const auto pending = static_cast<std::size_t>(state.range(0));
  Group* g = addGroup("g");
  Unit* u = addUnit(g);
  EventQueue* q = allocRecord<EventQueue>();
  std::mt19937_64 rng(1);
  std::exponential_distribution<double> exponential(1.0 / 3.0);
  std::vector<double> delays(1 << 16);
  for (double& d : delays) d = exponential(rng);
  std::size_t next = 0;
  for (std::size_t i = 0; i < pending; ++i) addEvent(q, delays[next++ & 0xffff], 1.0f, u, nullptr);
  std::size_t events = 0;
  for (auto _ : state) {
    const std::span<Event> block = takeTimePoint(q->pending, 1e300);
    q->now = block.front().time;
    for (std::size_t i = 0; i < block.size(); ++i) addEvent(q, delays[next++ & 0xffff], 1.0f, u, nullptr);
    events += block.size();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(events));
  freeQueue(q);
  freeGroupUnitsAndPostSynapses(g);
}

}  // namespace

BENCHMARK(hold)->RangeMultiplier(10)->Range(1000, 1000000);
BENCHMARK(holdTimePoints)->Arg(300)->Arg(3000)->Arg(30000);

BENCHMARK_MAIN();
