#include <gtest/gtest.h>

#include <vector>

#include "data/List.h"

namespace corvex {
namespace {

std::vector<String> Texts(const TList& list) {
  std::vector<String> texts;
  for (const Ref<Object>& value : list) texts.push_back(value ? value->ToString() : String("Null"));
  return texts;
}

Ref<Object> Text(const char* text) {
  return New<TStringObject>(text);
}

TEST(ListTest, KeepsInsertionOrderAtBothEnds) {
  TList list;
  EXPECT_TRUE(list.IsEmpty());
  EXPECT_TRUE(list.First().IsNull());
  EXPECT_TRUE(list.Last().IsNull());
  list.AddLast(Text("b"));
  list.AddLast(Text("c"));
  list.AddFirst(Text("a"));
  list.AddLast(Null);
  EXPECT_EQ(list.Count(), 4);
  EXPECT_EQ(Texts(list), (std::vector<String>{"a", "b", "c", "Null"}));
  EXPECT_EQ(list.First()->ToString(), String("a"));
  EXPECT_TRUE(list.Last().IsNull());
  const auto array = list.ToArray();
  ASSERT_EQ(array.Length(), 4);
  EXPECT_EQ(array[2]->ToString(), String("c"));
}

TEST(ListTest, RemovesByIdentityAndFromTheEnds) {
  TList list;
  const Ref<Object> a = Text("a");
  const Ref<Object> twin = Text("a");
  list.AddLast(a);
  list.AddLast(Text("b"));
  list.AddLast(a);
  list.AddLast(Text("c"));
  EXPECT_TRUE(list.Contains(a));
  EXPECT_FALSE(list.Contains(twin));  // equal text, another object
  EXPECT_FALSE(list.Remove(twin));
  EXPECT_TRUE(list.Remove(a));  // the first occurrence only
  EXPECT_EQ(Texts(list), (std::vector<String>{"b", "a", "c"}));
  EXPECT_EQ(list.RemoveFirst()->ToString(), String("b"));
  EXPECT_EQ(list.RemoveLast()->ToString(), String("c"));
  EXPECT_EQ(list.RemoveLast(), a);
  EXPECT_TRUE(list.RemoveFirst().IsNull());
  EXPECT_TRUE(list.RemoveLast().IsNull());
  EXPECT_EQ(list.Count(), 0);
  list.AddLast(Null);
  EXPECT_TRUE(list.Contains(Null));
  EXPECT_TRUE(list.Remove(Null));
}

TEST(ListTest, ReleasesItsElementsOnClearAndHandlesSelfReferences) {
  const Ref<Object> held = Text("x");
  auto list = New<TList>();
  list->AddLast(held);
  EXPECT_EQ(held->RefCount(), 2);
  list->Clear();
  EXPECT_EQ(held->RefCount(), 1);
  EXPECT_TRUE(list->IsEmpty());

  list->AddLast(list);
  EXPECT_TRUE(list->Contains(list));
  EXPECT_TRUE(list->Remove(list));
  EXPECT_EQ(list->RefCount(), 1);
}

// A cleared list fills its kept nodes again; they must not hold on to what they held before.
TEST(ListTest, FillsAgainAfterClearInOrderAndReleasesEachRound) {
  const Ref<Object> held = Text("x");
  auto list = New<TList>();
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 5; ++i) list->AddLast(held);
    list->AddFirst(Text("first"));
    list->AddLast(Text("last"));
    EXPECT_EQ(list->Count(), 7);
    EXPECT_EQ(Texts(*list).front(), String("first"));
    EXPECT_EQ(Texts(*list).back(), String("last"));
    EXPECT_EQ(held->RefCount(), 6);
    list->Clear();
    EXPECT_EQ(held->RefCount(), 1);
    EXPECT_TRUE(list->IsEmpty());
  }
}

// An element whose release drops the list's last reference: Clear must not touch the list after.
class ListOwner : public Object {
 public:
  ~ListOwner() override { owned = Null; }
  Ref<TList> owned;
};

TEST(ListTest, ClearSurvivesTheListGoingAwayWithItsElement) {
  TList* list = nullptr;
  {
    const Ref<TList> made = New<TList>();
    const Ref<ListOwner> owner = New<ListOwner>();
    owner->owned = made;
    made->AddLast(owner);
    list = made.Get();
  }
  // Only the element holds the list now, and only the list holds the element.
  list->Clear();
}

}  // namespace
}  // namespace corvex
