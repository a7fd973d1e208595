#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

#include "sandbox.h"

using namespace net1;
using net1::testing::Sandbox;

namespace {

// Both stores of the queue must behave alike: every test runs on each.
class event_queue : public ::testing::TestWithParam<bool> {
 protected:
  Sandbox box{GetParam()};
  Unit* unit = box.group("grp", 1)->unitById[0];
  EventQueue* q = box.q;

  Event* add(double delay) { return addEvent(q, delay, static_cast<float>(delay), unit, nullptr); }
  // Times in processing order, emptying the queue.
  std::vector<double> drain() {
    std::vector<double> times;
    while (Event* e = earliestEvent(q)) {
      times.push_back(e->time);
      deleteEvent(e, q);
    }
    return times;
  }
};

std::string storeName(const ::testing::TestParamInfo<bool>& info) { return info.param ? "list" : "heap"; }

}  // namespace

TEST_P(event_queue, keeps_time_order_wherever_an_event_lands) {
  add(5);
  add(3);
  add(1);
  add(4);  // between 5 and 3
  add(6);  // latest
  add(0);  // earliest
  EXPECT_EQ(q->count, 6u);
  EXPECT_EQ(drain(), (std::vector<double>{0, 1, 3, 4, 5, 6}));
  EXPECT_EQ(q->count, 0u);
  EXPECT_EQ(earliestEvent(q), nullptr);
}

TEST_P(event_queue, equal_times_are_first_in_first_out) {
  Event* first = add(2);
  Event* second = add(2);
  add(1);
  Event* third = add(2);
  EXPECT_EQ(deleteEvent(earliestEvent(q), q), first);  // deleting time 1 yields the first at 2
  EXPECT_EQ(earliestEvent(q), first);
  EXPECT_EQ(deleteEvent(first, q), second);
  EXPECT_EQ(deleteEvent(second, q), third);
  EXPECT_EQ(deleteEvent(third, q), nullptr);
}

TEST_P(event_queue, zero_delay_lands_behind_events_already_due_now) {
  q->now = 3;
  Event* due = add(0);
  Event* later = add(0);
  EXPECT_EQ(due->time, 3.0);
  EXPECT_EQ(earliestEvent(q), due);
  EXPECT_EQ(deleteEvent(due, q), later);
}

TEST_P(event_queue, delete_at_either_end_and_of_the_only_event) {
  Event* only = add(1);
  EXPECT_EQ(q->count, 1u);
  EXPECT_EQ(deleteEvent(only, q), nullptr);
  EXPECT_EQ(q->count, 0u);
  EXPECT_EQ(earliestEvent(q), nullptr);

  Event* early = add(1);
  Event* middle = add(2);
  Event* late = add(3);
  EXPECT_EQ(deleteEvent(late, q), nullptr);     // the latest has no later neighbour
  EXPECT_EQ(deleteEvent(early, q), middle);     // the earliest yields the next in order
  EXPECT_EQ(earliestEvent(q), middle);
  EXPECT_EQ(q->count, 1u);
  EXPECT_EQ(deleteEvent(nullptr, q), nullptr);
  EXPECT_EQ(deleteEvent(middle, nullptr), nullptr);
  EXPECT_EQ(q->count, 1u);
}

TEST_P(event_queue, free_releases_pending_events) {
  for (int i = 0; i < 10000; ++i) add(i % 17);
  // The sandbox frees the queue with everything pending; the sanitizer
  // build checks that nothing leaks.
  EXPECT_EQ(q->count, 10000u);
}

INSTANTIATE_TEST_SUITE_P(stores, event_queue, ::testing::Values(false, true), storeName);

TEST(event_queue_list, links_follow_the_time_order) {
  Sandbox box(true);
  Unit* u = box.group("grp", 1)->unitById[0];
  EventQueue* q = box.q;
  Event* e5 = addEvent(q, 5, 0, u, nullptr);
  Event* e3 = addEvent(q, 3, 0, u, nullptr);
  Event* e1 = addEvent(q, 1, 0, u, nullptr);
  Event* e4 = addEvent(q, 4, 0, u, nullptr);
  Event* e6 = addEvent(q, 6, 0, u, nullptr);
  Event* e0 = addEvent(q, 0, 0, u, nullptr);
  EXPECT_EQ(q->head, e6);
  EXPECT_EQ(q->tail, e0);
  EXPECT_EQ(e6->next, e5);
  EXPECT_EQ(e5->next, e4);
  EXPECT_EQ(e4->next, e3);
  EXPECT_EQ(e3->next, e1);
  EXPECT_EQ(e1->next, e0);
  EXPECT_EQ(e0->prev, e1);
  EXPECT_EQ(e6->prev, nullptr);
  EXPECT_EQ(e0->next, nullptr);
}

TEST(event_queue_death, missing_unit_or_queue_is_fatal) {
  Sandbox box;
  EXPECT_EXIT(addEvent(box.q, 1, 1, nullptr, nullptr), ::testing::ExitedWithCode(1), "unit or q is NULL");
  EXPECT_EXIT(execNextTimePoint(nullptr, 1), ::testing::ExitedWithCode(1), "event queue is NULL");
  EXPECT_EXIT(runForward(nullptr, 1), ::testing::ExitedWithCode(1), "event queue is NULL");
}

// The heap store against the plain list on random streams of additions,
// deletions and time-point walks: same order, same counts, and the same
// answer from every deleteEvent.
TEST(event_queue_stores, heap_and_list_agree_on_random_streams) {
  for (unsigned seed = 1; seed <= 20; ++seed) {
    Sandbox heapBox(false);
    Sandbox listBox(true);
    Unit* hu = heapBox.group("grp", 1)->unitById[0];
    Unit* lu = listBox.group("grp", 1)->unitById[0];
    EventQueue* hq = heapBox.q;
    EventQueue* lq = listBox.q;
    std::vector<Event*> heapEvents;
    std::vector<Event*> listEvents;
    std::map<const Event*, int> heapIds;
    std::map<const Event*, int> listIds;
    std::vector<int> live;
    auto idOf = [](const std::map<const Event*, int>& ids, const Event* e) {
      return e ? ids.at(e) : -1;
    };
    auto forget = [&](int id) {
      heapIds.erase(heapEvents[id]);
      listIds.erase(listEvents[id]);
      live.erase(std::find(live.begin(), live.end(), id));
    };
    std::mt19937 rng(seed);
    for (int op = 0; op < 3000; ++op) {
      const int kind = static_cast<int>(rng() % 10);
      if (kind < 6 || live.empty()) {
        // Few distinct delays, so that many events share a time.
        const double delay = static_cast<double>(rng() % 8) * 0.25;
        const int id = static_cast<int>(heapEvents.size());
        heapEvents.push_back(addEvent(hq, delay, 0, hu, nullptr));
        listEvents.push_back(addEvent(lq, delay, 0, lu, nullptr));
        heapIds[heapEvents.back()] = id;
        listIds[listEvents.back()] = id;
        live.push_back(id);
      } else if (kind < 7) {
        const int id = live[rng() % live.size()];
        const int heapNext = idOf(heapIds, deleteEvent(heapEvents[id], hq));
        const int listNext = idOf(listIds, deleteEvent(listEvents[id], lq));
        ASSERT_EQ(heapNext, listNext) << "seed " << seed << " op " << op;
        forget(id);
      } else {
        // A time point: keep some events in a first walk, drop the rest in a second.
        Event* h = earliestEvent(hq);
        Event* l = earliestEvent(lq);
        ASSERT_EQ(idOf(heapIds, h), idOf(listIds, l));
        if (!h) continue;
        const double now = h->time;
        hq->now = lq->now = now;
        beginTimePoint(hq);
        beginTimePoint(lq);
        for (int walk = 0; walk < 2; ++walk) {
          h = earliestEvent(hq);
          l = earliestEvent(lq);
          while (h && h->time == now) {
            const int id = idOf(heapIds, h);
            ASSERT_EQ(id, idOf(listIds, l)) << "seed " << seed << " op " << op;
            if (walk == 0 && id % 3 == 0) {
              h = h->prev;
              l = l->prev;
            } else {
              forget(id);
              h = deleteEvent(h, hq);
              l = deleteEvent(l, lq);
              ASSERT_EQ(idOf(heapIds, h), idOf(listIds, l));
            }
          }
          ASSERT_TRUE(!l || l->time != now);
        }
      }
      ASSERT_EQ(hq->count, lq->count);
      ASSERT_EQ(hq->count, live.size());
    }
  }
}
