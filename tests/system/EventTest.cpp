#include "system/Event.h"

#include <gtest/gtest.h>

#include "runtime/Exceptions.h"
#include "system/Hook.h"

namespace corvex {
namespace {

Ref<Object> Text(const char* text) {
  return New<TStringObject>(String(text));
}

class EventTest : public testing::Test {
 protected:
  void SetUp() override { InitEventModule(); }
};

TEST_F(EventTest, TextForms) {
  EXPECT_EQ(NewEvent(EVENT_KEYDOWN, Null, 65, 1, 0, 0, Null)->ToString(),
            String("KeyDown: data=65, mods=1, x=0, y=0, extra=\"\""));
  EXPECT_EQ(NewEvent(EVENT_HOTKEYHIT, Null, 7, 0, 1, 2, Null)->ToString(),
            String("Unknown Event, id=4097: data=7, mods=0, x=1, y=2, extra=\"\""));
  EXPECT_EQ(NewEvent(-5, Null, 0, 0, 0, 0, Null)->ToString(),
            String("Unknown Event, id=-5: data=0, mods=0, x=0, y=0, extra=\"\""));
  EXPECT_EQ(NewEvent(EVENT_MOUSEWHEEL, Null, -2, 0, -10, -20, Text("a \"b\""))->ToString(),
            String("MouseWheel: data=-2, mods=0, x=-10, y=-20, extra=\"a \"b\"\""));
  EXPECT_EQ(NewEvent(EVENT_GADGETLOSTFOCUS, Null, 0, 0, 0, 0, New<Object>())->ToString(),
            String("GadgetLostFocus: data=0, mods=0, x=0, y=0, extra=\"\""));
}

Ref<Object> g_seen;

Ref<Object> Record(int32_t, const Ref<Object>& data, const Ref<Object>&) {
  g_seen = data;
  return Null;  // a listener's result is discarded by Emit
}

TEST_F(EventTest, EmitAndSendRunTheEventHookWithTheEvent) {
  ASSERT_GE(EventHookId(), 0);
  AttachHook(EventHookId(), Record, Null, 1000);
  const Ref<TEvent> first = NewEvent(EVENT_APPTERMINATE, Null, 0, 0, 0, 0, Null);
  first->Emit();
  EXPECT_EQ(g_seen, first);
  const Ref<TEvent> second = NewEvent(EVENT_KEYCHAR, Null, 97, 0, 0, 0, Null);
  SendEvent(second);
  EXPECT_EQ(g_seen, second);
  DetachHook(EventHookId(), Record, Null);
  g_seen = Null;
  EXPECT_THROW(SendEvent(Null), TNullObjectException);
}

}  // namespace
}  // namespace corvex
