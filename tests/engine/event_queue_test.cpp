#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "sandbox.h"

using namespace net1;
using net1::testing::Sandbox;

namespace {

// Events carry their number in `amount`, so that the order in which they
// come out shows.
struct event_queue : ::testing::Test {
  Sandbox box;
  Unit* unit = box.unit(box.group("grp", 1), 0);
  EventQueue* q = box.q;
  int added = 0;

  void add(double delay) { addEvent(q, delay, static_cast<float>(added++), unit, nullptr); }
  // The numbers in processing order, emptying the queue.
  std::vector<int> drain() {
    std::vector<int> order;
    for (const Event* e = earliestEvent(q); e; e = deleteEvent(e, q)) order.push_back(static_cast<int>(e->amount));
    return order;
  }
};

}  // namespace

TEST_F(event_queue, keeps_time_order_wherever_an_event_lands) {
  for (double delay : {5.0, 3.0, 1.0, 4.0, 6.0, 0.0}) add(delay);
  EXPECT_EQ(q->count, 6u);
  EXPECT_EQ(drain(), (std::vector<int>{5, 2, 1, 3, 0, 4}));
  EXPECT_EQ(q->count, 0u);
  EXPECT_EQ(earliestEvent(q), nullptr);
}

TEST_F(event_queue, equal_times_are_first_in_first_out) {
  add(2);
  add(2);
  add(1);
  add(2);
  EXPECT_EQ(drain(), (std::vector<int>{2, 0, 1, 3}));
}

TEST_F(event_queue, zero_delay_lands_behind_events_already_due_now) {
  q->now = 3;
  add(0);
  add(0);
  EXPECT_EQ(earliestEvent(q)->time, 3.0);
  EXPECT_EQ(drain(), (std::vector<int>{0, 1}));
}

// Events further ahead than the store looks, events at the time being
// taken and events before it still come out in order, ties first in first out.
TEST_F(event_queue, far_near_and_past_events_keep_one_order) {
  add(100);     // 0: far ahead
  add(1000.5);  // 1
  add(30);      // 2
  q->now = 50;
  add(50);      // 3: time 100, after 0
  add(-49);     // 4: time 1, before everything
  add(950.5);   // 5: time 1000.5, after 1
  q->now = 1;
  add(0);       // 6: time 1, after 4
  add(0.001);   // 7
  EXPECT_EQ(drain(), (std::vector<int>{4, 6, 7, 2, 0, 3, 1, 5}));
}

// Pairs of events whose times lie from one to thousands of 1/1024 time
// units apart, across the words of the store's occupancy bits and past the
// end of its ring, added in no order: each is found next, however far
// away. An event added between the two of a pair, once the first is out,
// comes before the second.
TEST_F(event_queue, finds_the_next_event_across_any_gap) {
  std::vector<double> times;  // pairs within one 1/1024 of a unit
  double t = 0.25 / 1024;
  for (int round = 0; round < 4; ++round) {
    for (int gap : {1, 2, 63, 64, 65, 127, 128, 129, 191, 192, 1000, 20000}) {
      t += gap / 1024.0;
      times.push_back(t);
      times.push_back(t + 0.5 / 1024);
    }
  }
  std::vector<std::size_t> adding(times.size());
  for (std::size_t i = 0; i < adding.size(); ++i) adding[i] = i;
  std::shuffle(adding.begin(), adding.end(), std::mt19937(3));
  for (std::size_t i : adding) addEvent(q, times[i], static_cast<float>(i), unit, nullptr);
  std::vector<int> expected, order;
  for (std::size_t i = 0; i < times.size(); ++i) {
    expected.push_back(static_cast<int>(i));
    if (i % 2 == 0) expected.push_back(-1);
  }
  for (const Event* e = earliestEvent(q); e; e = deleteEvent(e, q)) {
    order.push_back(static_cast<int>(e->amount));
    if (e->amount >= 0 && static_cast<int>(e->amount) % 2 == 0) {
      q->now = e->time;
      addEvent(q, 0.25 / 1024, -1.0f, unit, nullptr);
    }
  }
  EXPECT_EQ(order, expected);
}

TEST_F(event_queue, delete_takes_only_the_earliest) {
  add(1);
  add(2);
  const Event* first = earliestEvent(q);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->amount, 0.0f);
  const Event* second = deleteEvent(first, q);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->amount, 1.0f);
  EXPECT_EQ(q->count, 1u);
  Event elsewhere;
  EXPECT_EQ(deleteEvent(&elsewhere, q), nullptr);  // not the earliest: nothing changes
  EXPECT_EQ(deleteEvent(nullptr, q), nullptr);
  EXPECT_EQ(deleteEvent(second, nullptr), nullptr);
  EXPECT_EQ(q->count, 1u);
  EXPECT_EQ(deleteEvent(second, q), nullptr);
  EXPECT_EQ(q->count, 0u);
}

// An event whose time is not a number cannot be placed in time: it stays
// pending and never comes due, and everything else goes on.
TEST_F(event_queue, a_time_that_is_not_a_number_never_comes_due) {
  add(std::numeric_limits<double>::quiet_NaN());
  add(1);
  add(std::numeric_limits<double>::infinity());
  EXPECT_EQ(q->count, 3u);
  EXPECT_EQ(drain(), (std::vector<int>{1, 2}));
  EXPECT_EQ(q->count, 1u);
  EXPECT_EQ(execNextTimePoint(q, std::numeric_limits<double>::infinity()), 0);
}

TEST_F(event_queue, free_releases_pending_events) {
  for (int i = 0; i < 10000; ++i) add(i % 17 + (i % 5) * 100.0);
  // The sandbox frees the queue with everything pending; the sanitizer
  // build checks that nothing leaks.
  EXPECT_EQ(q->count, 10000u);
  EXPECT_EQ(freeQueue(nullptr), 0);
}

TEST(event_queue_death, missing_unit_or_queue_is_fatal) {
  Sandbox box;
  EXPECT_EXIT(addEvent(box.q, 1, 1, nullptr, nullptr), ::testing::ExitedWithCode(1), "unit or q is NULL");
  EXPECT_EXIT(execNextTimePoint(nullptr, 1), ::testing::ExitedWithCode(1), "event queue is NULL");
  EXPECT_EXIT(runForward(nullptr, 1), ::testing::ExitedWithCode(1), "event queue is NULL");
}

// Random streams of additions at few distinct delays (many equal times),
// far ahead, at the present and before it, and of removals as the clock follows the
// earliest event: the queue gives the order of a stable sort by time.
TEST_F(event_queue, agrees_with_a_stable_sort_on_random_streams) {
  const double delays[] = {0.0, 0.25, 0.25, 1.0 / 1024, -0.5, 3.0, 63.75, 64.0, 64.25, 200.0, 1e6};
  for (unsigned seed = 1; seed <= 20; ++seed) {
    std::mt19937 rng(seed);
    struct Pending {
      double time;
      int number;
    };
    std::vector<Pending> model;  // in order of addition
    for (int op = 0; op < 4000; ++op) {
      if (rng() % 3 != 0 || model.empty()) {
        const double delay = delays[rng() % std::size(delays)];
        model.push_back(Pending{q->now + delay, added});
        add(delay);
        continue;
      }
      std::stable_sort(model.begin(), model.end(), [](const Pending& a, const Pending& b) { return a.time < b.time; });
      const Event* e = earliestEvent(q);
      ASSERT_NE(e, nullptr);
      ASSERT_EQ(static_cast<int>(e->amount), model.front().number) << "seed " << seed << " op " << op;
      q->now = e->time;
      deleteEvent(e, q);
      model.erase(model.begin());
      ASSERT_EQ(q->count, model.size());
    }
    drain();
    q->now = 0;
  }
}
