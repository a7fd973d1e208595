// The cost of one event in a steady queue of N pending events (the classic
// hold model): take the earliest event, schedule a new one a random delay
// ahead. Flat in N for the calendar store; linear for the plain list.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "net1.h"

using namespace net1;

namespace {

void hold(benchmark::State& state, bool referenceList) {
  const auto pending = static_cast<std::size_t>(state.range(0));
  Group* g = addGroup("g");
  Unit* u = addUnit(g);
  EventQueue* q = allocRecord<EventQueue>();
  q->referenceList = referenceList;
  std::mt19937_64 rng(1);
  std::exponential_distribution<double> delay(1.0 / 3.0);
  auto holdOnce = [&] {
    Event* e = earliestEvent(q);
    q->now = e->time;
    deleteEvent(e, q);
    addEvent(q, delay(rng), 1.0f, u, nullptr);
  };
  for (std::size_t i = 0; i < pending; ++i) addEvent(q, delay(rng), 1.0f, u, nullptr);
  // Untimed, until every event first put in has come out again: the queue
  // is then in the steady state that a long run sees.
  if (!referenceList) {
    for (std::size_t i = 0; i < 4 * pending; ++i) holdOnce();
  }
  for (auto _ : state) holdOnce();
  state.SetItemsProcessed(state.iterations());
  freeQueue(q);
  freeGroupUnitsAndPostSynapses(g);
}

void calendar(benchmark::State& state) { hold(state, false); }
void plainList(benchmark::State& state) { hold(state, true); }

}  // namespace

BENCHMARK(calendar)->RangeMultiplier(10)->Range(1000, 1000000);
BENCHMARK(plainList)->RangeMultiplier(10)->Range(1000, 100000);

BENCHMARK_MAIN();
