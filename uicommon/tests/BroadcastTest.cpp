// Broadcast channels: delivery order, duplicates, and receivers that change
// the channel from inside a delivery (run under AddressSanitizer, which
// catches any use of a freed entry).
#include <functional>
#include <vector>

#include "uicommon/common/Broadcast.h"
#include "uicommon/tests/UiTestSupport.h"

using namespace vexa::ui;

namespace {

std::vector<std::string> g_log;

// A listener that records its calls and runs an action inside Receive.
class Recorder : public CListener {
 public:
  explicit Recorder(std::string name) : m_name(std::move(name)) {}
  void Receive(std::string channel, CParameter* param) override {
    g_log.push_back(m_name + "@" + channel + (param ? ":" + std::to_string(param->PhotoId()) : ":null"));
    if (m_action) {
      auto action = m_action;
      action();
    }
  }
  std::function<void()> m_action;
  std::string m_name;
};

class BroadcastTest : public ::testing::Test {
 protected:
  void SetUp() override { g_log.clear(); }
};

TEST_F(BroadcastTest, DeliversInSubscriptionOrderAndTwiceForADuplicate) {
  Recorder a("a"), b("b"), c("c");
  AddListener("Order", &a);
  AddListener("Order", &b);
  AddListener("Order", &c);
  AddListener("Order", &a);  // no duplicate check
  CParameter p(7);
  Broadcast("Order", &p);
  EXPECT_EQ(g_log, (std::vector<std::string>{"a@Order:7", "b@Order:7", "c@Order:7", "a@Order:7"}));
  EXPECT_EQ(vexa::ui::ListenerCount("Order"), 4);

  // One removal takes one subscription; a stranger changes nothing.
  Recorder stranger("x");
  RemoveListener("Order", &stranger);
  RemoveListener("Order", &a);
  g_log.clear();
  Broadcast("Order", nullptr);
  EXPECT_EQ(g_log, (std::vector<std::string>{"b@Order:null", "c@Order:null", "a@Order:null"}));
  for (Recorder* r : {&a, &b, &c}) RemoveListener("Order", r);
  EXPECT_FALSE(vexa::ui::ChannelExists("Order"));
  // Unknown names: nothing happens.
  Broadcast("Nobody", nullptr);
  RemoveListener("Nobody", &a);
}

TEST_F(BroadcastTest, ReceiverRemovesItselfAndTheNextOne) {
  Recorder a("a"), b("b"), c("c"), d("d");
  for (Recorder* r : {&a, &b, &c, &d}) AddListener("Chan", r);
  b.m_action = [&] {
    RemoveListener("Chan", &b);
    RemoveListener("Chan", &c);
  };
  Broadcast("Chan", nullptr);
  EXPECT_EQ(g_log, (std::vector<std::string>{"a@Chan:null", "b@Chan:null", "d@Chan:null"}));
  g_log.clear();
  Broadcast("Chan", nullptr);
  EXPECT_EQ(g_log, (std::vector<std::string>{"a@Chan:null", "d@Chan:null"}));
  RemoveListener("Chan", &a);
  RemoveListener("Chan", &d);
}

TEST_F(BroadcastTest, NestedDeliveryOnTheSameChannelWithRemovals) {
  Recorder a("a"), b("b"), c("c");
  for (Recorder* r : {&a, &b, &c}) AddListener("Nest", r);
  int depth = 0;
  a.m_action = [&] {
    if (depth++ == 0) {
      // The inner delivery removes b (still to come in the outer one) and
      // then a itself.
      b.m_action = [&] {
        RemoveListener("Nest", &b);
        b.m_action = nullptr;
      };
      Broadcast("Nest", nullptr);
      RemoveListener("Nest", &a);
    }
  };
  Broadcast("Nest", nullptr);
  EXPECT_EQ(g_log, (std::vector<std::string>{"a@Nest:null", "a@Nest:null", "b@Nest:null",
                                             "c@Nest:null", "c@Nest:null"}));
  EXPECT_EQ(vexa::ui::ListenerCount("Nest"), 1);
  RemoveListener("Nest", &c);
}

TEST_F(BroadcastTest, SubscriberAddedDuringDeliveryIsCalledInIt) {
  Recorder a("a"), late("late");
  AddListener("Grow", &a);
  a.m_action = [&] {
    AddListener("Grow", &late);
    a.m_action = nullptr;
  };
  Broadcast("Grow", nullptr);
  EXPECT_EQ(g_log, (std::vector<std::string>{"a@Grow:null", "late@Grow:null"}));
  RemoveListener("Grow", &a);
  RemoveListener("Grow", &late);
}

TEST_F(BroadcastTest, LastSubscriberGoneEndsDeliveryAndANewChannelStartsEmpty) {
  Recorder a("a"), b("b"), fresh("fresh");
  AddListener("Last", &a);
  AddListener("Last", &b);
  a.m_action = [&] {
    RemoveListener("Last", &a);
    RemoveListener("Last", &b);
    // A subscription on the same name during the delivery makes a fresh
    // channel, which this delivery does not reach.
    AddListener("Last", &fresh);
  };
  Broadcast("Last", nullptr);
  EXPECT_EQ(g_log, (std::vector<std::string>{"a@Last:null"}));
  g_log.clear();
  Broadcast("Last", nullptr);
  EXPECT_EQ(g_log, (std::vector<std::string>{"fresh@Last:null"}));
  RemoveListener("Last", &fresh);
  EXPECT_FALSE(vexa::ui::ChannelExists("Last"));
}

TEST_F(BroadcastTest, DeleteListenerObjectsDuringDelivery) {
  // Receivers that destroy other receivers (which unsubscribe in their
  // destructors) while the walk is on.
  struct SelfRemoving : CListener {
    explicit SelfRemoving(int* calls) : calls(calls) { AddListener("Del", this); }
    ~SelfRemoving() override { RemoveListener("Del", this); }
    void Receive(std::string, CParameter*) override {
      ++*calls;
      if (victim) {
        delete victim;
        victim = nullptr;
      }
    }
    int* calls;
    SelfRemoving* victim = nullptr;
  };
  int calls = 0;
  auto* first = new SelfRemoving(&calls);
  auto* second = new SelfRemoving(&calls);
  auto* third = new SelfRemoving(&calls);
  first->victim = second;
  Broadcast("Del", nullptr);
  EXPECT_EQ(calls, 2);  // first and third
  delete first;
  delete third;
  EXPECT_FALSE(vexa::ui::ChannelExists("Del"));
}

}  // namespace
