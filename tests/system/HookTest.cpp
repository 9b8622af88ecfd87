#include "system/Hook.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "runtime/Exceptions.h"
#include "runtime/String.h"

namespace corvex {
namespace {

// A named entry of a test chain: what it does when run is up to the test.
class Step : public Object {
 public:
  explicit Step(std::string stepName, std::function<Ref<Object>(const Ref<Object>&)> stepAction = nullptr)
      : name(std::move(stepName)), action(std::move(stepAction)) {}
  ~Step() override { *alive = false; }

  std::string name;
  std::function<Ref<Object>(const Ref<Object>&)> action;
  std::shared_ptr<bool> alive = std::make_shared<bool>(true);
};

std::vector<std::string> g_runLog;

// Logs the step's name, then answers what its action answers (the data when it has none).
Ref<Object> RunStep(int32_t, const Ref<Object>& data, const Ref<Object>& context) {
  const Ref<Step> step = Cast<Step>(context);
  g_runLog.push_back(step->name);
  return step->action ? step->action(data) : data;
}

Ref<Object> OtherCallback(int32_t, const Ref<Object>& data, const Ref<Object>&) {
  return data;
}

class HookTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
  void SetUp() override {
    InitHookModule();
    g_runLog.clear();
    id_ = NewHookId();
  }

  Ref<Step> Attach(const std::string& name, int32_t priority,
                   std::function<Ref<Object>(const Ref<Object>&)> action = nullptr) {
    Ref<Step> step = New<Step>(name, std::move(action));
    AttachHook(id_, RunStep, step, priority);
    return step;
  }
  std::vector<std::string> Run() {
    g_runLog.clear();
    CallHooks(id_, Null);
    return g_runLog;
  }

  int32_t id_ = -1;
};

using Names = std::vector<std::string>;

TEST_F(HookTest, IdsCountUpFromZeroAndRunOutAfter256) {
  // Ids are a process-wide, never-returned resource, so exhausting them happens in a child.
  EXPECT_EXIT(
      {
        int32_t expected = id_ + 1;
        while (expected < kHookIdCount) {
          if (NewHookId() != expected) std::exit(1);
          ++expected;
        }
        for (int attempt = 0; attempt < 3; ++attempt) {
          try {
            NewHookId();
            std::exit(2);
          } catch (const TThrownString& error) {
            if (error.Text() != String("Too many hook ids")) std::exit(3);
          }
        }
        std::exit(0);
      },
      testing::ExitedWithCode(0), "");
  EXPECT_EQ(NewHookId(), id_ + 1);
}

TEST_F(HookTest, ChainRunsByDescendingPriorityAndAttachOrder) {
  Attach("P", 0);
  Attach("Q", 5);
  Attach("R", 0);
  Attach("S", -3);
  Attach("T", 5);
  Attach("U", 100);
  EXPECT_EQ(Run(), (Names{"U", "Q", "T", "P", "R", "S"}));
}

TEST_F(HookTest, DataIsThreadedThroughEveryCallback) {
  const Ref<Object> start = New<TStringObject>(String("start"));
  EXPECT_EQ(CallHooks(id_, start), start);  // an empty chain answers the data itself

  const Ref<Object> replaced = New<TStringObject>(String("replaced"));
  Ref<Object> seenBySecond = start;
  Attach("null", 2, [](const Ref<Object>&) -> Ref<Object> { return Null; });
  Attach("second", 1, [&](const Ref<Object>& data) {
    seenBySecond = data;
    return replaced;
  });
  Attach("last", 0);
  EXPECT_EQ(CallHooks(id_, start), replaced);
  EXPECT_TRUE(seenBySecond.IsNull());
  EXPECT_EQ(g_runLog, (Names{"null", "second", "last"}));
}

TEST_F(HookTest, DetachMatchesCallbackAndContextExactly) {
  const Ref<Step> a = Attach("A", 0);
  const Ref<Step> b = Attach("B", 0);
  DetachHook(id_, OtherCallback, a);         // right context, other callback
  DetachHook(id_, RunStep, New<Step>("A"));  // same name, other object
  DetachHook(id_, RunStep, Null);            // no such entry
  EXPECT_EQ(Run(), (Names{"A", "B"}));

  AttachHook(id_, RunStep, a, 9);  // the same pair again, placed first
  EXPECT_EQ(Run(), (Names{"A", "A", "B"}));
  DetachHook(id_, RunStep, a);  // removes the higher-placed one only
  EXPECT_EQ(Run(), (Names{"A", "B"}));
  DetachHook(id_, RunStep, a);
  DetachHook(id_, RunStep, b);
  EXPECT_EQ(Run(), Names{});
}

TEST_F(HookTest, MissingCallbackAndBadIdsRaise) {
  AttachHook(id_, nullptr, Null, 0);
  EXPECT_THROW(CallHooks(id_, Null), TNullFunctionException);
  DetachHook(id_, nullptr, Null);
  EXPECT_NO_THROW(CallHooks(id_, Null));

  EXPECT_THROW(CallHooks(kHookIdCount, Null), TArrayBoundsException);
  EXPECT_THROW(AttachHook(-1, RunStep, Null, 0), TArrayBoundsException);
  EXPECT_THROW(DetachHook(kHookIdCount, RunStep, Null), TArrayBoundsException);
}

// Attaching and detaching while the chain runs: nothing freed is touched (ASan watches), an
// entry detached before its turn does not run, and the rest of the chain still does.
TEST_F(HookTest, CallbackDetachingItselfLetsTheRestRun) {
  Ref<Step> self = Attach("self", 5);
  Ref<Step> raw = self;
  self->action = [this, step = raw.Get()](const Ref<Object>& data) {
    DetachHook(id_, RunStep, Ref<Object>(step));
    return data;
  };
  const std::shared_ptr<bool> alive = self->alive;
  self = Null;
  raw = Null;  // the chain's entry now holds the only reference to the step
  Attach("after", 0);
  EXPECT_EQ(Run(), (Names{"self", "after"}));
  EXPECT_FALSE(*alive);  // released once the run let go of the detached entry
  EXPECT_EQ(Run(), (Names{"after"}));
}

TEST_F(HookTest, CallbackDetachingTheNextEntrySkipsIt) {
  Ref<Step> next;
  Attach("first", 3, [&](const Ref<Object>& data) {
    DetachHook(id_, RunStep, next);
    next = Null;  // the running chain no longer holds it either
    return data;
  });
  next = Attach("next", 2);
  Attach("last", 1);
  EXPECT_EQ(Run(), (Names{"first", "last"}));
  EXPECT_EQ(Run(), (Names{"first", "last"}));
}

TEST_F(HookTest, CallbackDetachingItselfAndTheNextEntry) {
  Ref<Step> first;
  Ref<Step> second;
  first = Attach("first", 3, [&](const Ref<Object>& data) {
    DetachHook(id_, RunStep, first);
    DetachHook(id_, RunStep, second);
    first = Null;
    second = Null;
    return data;
  });
  second = Attach("second", 2);
  Attach("third", 1);
  EXPECT_EQ(Run(), (Names{"first", "third"}));
  EXPECT_EQ(Run(), (Names{"third"}));
}

TEST_F(HookTest, CallbackAttachingRunsLaterEntriesInTheSamePass) {
  bool attached = false;
  Attach("first", 5, [&](const Ref<Object>& data) {
    if (!attached) {
      attached = true;
      Attach("low", 0);    // behind the running entry: runs in this pass
      Attach("high", 10);  // ahead of it: runs from the next pass on
    }
    return data;
  });
  Attach("mid", 3);
  EXPECT_EQ(Run(), (Names{"first", "mid", "low"}));
  EXPECT_EQ(Run(), (Names{"high", "first", "mid", "low"}));
}

TEST_F(HookTest, CallbackDetachingAndReattachingItself) {
  Ref<Step> self;
  int runs = 0;
  self = Attach("self", 5, [&](const Ref<Object>& data) {
    if (++runs == 1) {
      Ref<Step> keep = self;
      DetachHook(id_, RunStep, keep);
      AttachHook(id_, RunStep, keep, 0);  // placed after "mid": runs again in this pass
    }
    return data;
  });
  Attach("mid", 3);
  EXPECT_EQ(Run(), (Names{"self", "mid", "self"}));
  EXPECT_EQ(Run(), (Names{"mid", "self"}));
}

}  // namespace
}  // namespace corvex
