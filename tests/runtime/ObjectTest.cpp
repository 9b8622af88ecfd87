#include <gtest/gtest.h>

#include <stdexcept>

#include "runtime/Data.h"
#include "runtime/Exceptions.h"
#include "runtime/Object.h"
#include "runtime/Uncaught.h"

namespace corvex {
namespace {

class Tracked : public Object {
 public:
  explicit Tracked(int* alive) : alive_(alive) { ++*alive_; }
  ~Tracked() override { --*alive_; }
  Ref<Tracked> Self() { return Ref<Tracked>(this); }

 private:
  int* alive_;
};

class Derived : public Tracked {
 public:
  using Tracked::Tracked;
};

static_assert(std::is_nothrow_move_constructible_v<Ref<Object>>);

TEST(ObjectTest, LastReferenceDestroysTheObjectAndThisReferencesCount) {
  int alive = 0;
  {
    Ref<Tracked> a = New<Tracked>(&alive);
    EXPECT_EQ(alive, 1);
    Ref<Tracked> b = a->Self();  // a reference taken from inside the object
    EXPECT_EQ(a->RefCount(), 2);
    a = Null;
    EXPECT_EQ(alive, 1);
    Ref<Object> moved = std::move(b);
    EXPECT_TRUE(b.IsNull());
    EXPECT_EQ(moved->RefCount(), 1);
  }
  EXPECT_EQ(alive, 0);
}

TEST(ObjectTest, NullDereferenceRaisesTheNullObjectException) {
  Ref<Tracked> none = Null;
  EXPECT_THROW(none->Self(), TNullObjectException);
  try {
    (void)*none;
    FAIL();
  } catch (const TTarnException& error) {
    EXPECT_EQ(error.ToString(), String("Attempt to access field or method of Null object"));
  }
}

TEST(ObjectTest, CastAnswersNullForOtherTypes) {
  int alive = 0;
  Ref<Object> base = New<Derived>(&alive);
  EXPECT_FALSE(Cast<Derived>(base).IsNull());
  EXPECT_TRUE(Cast<TStringObject>(base).IsNull());
  EXPECT_TRUE(Cast<Derived>(Ref<Object>()).IsNull());
  EXPECT_TRUE(IsA<Tracked>(base));
  EXPECT_FALSE(IsA<Tracked>(Ref<Object>()));
  EXPECT_TRUE(Cast<Derived>(base) == base);
}

TEST(ExceptionsTest, TextFormsAreExact) {
  EXPECT_EQ(TNullMethodException().ToString(), String("Attempt to call abstract method"));
  EXPECT_EQ(TNullFunctionException().ToString(), String("Attempt to call uninitialized function pointer"));
  EXPECT_EQ(TArrayBoundsException().ToString(), String("Attempt to index array element beyond array length"));
  EXPECT_EQ(TOutOfDataException().ToString(), String("Attempt to read beyond end of data"));
  EXPECT_EQ(TRuntimeException("Received Signal").ToString(), String("Received Signal"));
  EXPECT_EQ(TThrownString("Too many hook ids").ToString(), String("Too many hook ids"));
}

TEST(ExceptionsDeathTest, UncaughtErrorsPrintTheirTextAndExitWith255) {
  EXPECT_EXIT(RunReportingUncaught([]() -> int { throw TRuntimeException("boom"); }),
              testing::ExitedWithCode(255), "^boom$");
  EXPECT_EXIT(RunReportingUncaught([]() -> int { throw TThrownString("Too many DataTypes"); }),
              testing::ExitedWithCode(255), "Too many DataTypes");
  EXPECT_EXIT(RunReportingUncaught([]() -> int { throw std::length_error("vector too long"); }),
              testing::ExitedWithCode(255), "^vector too long$");
}

class NamedType : public TDataType {
 public:
  explicit NamedType(const char* name) : name_(name) {}
  String TypeName() const override { return name_; }

 private:
  String name_;
};

TEST(DataTypeTest, RegistryFindsTheNewestTypeOfAName) {
  Ref<TDataType> first = New<NamedType>("Test.Registry.Shared");
  Ref<TDataType> second = New<NamedType>("Test.Registry.Shared");
  EXPECT_TRUE(DataTypes() == second);
  EXPECT_TRUE(second->Next() == first);
  EXPECT_TRUE(FindDataType("Test.Registry.Shared") == second);
  EXPECT_TRUE(FindDataType("Test.Registry.Missing").IsNull());
  EXPECT_THROW(TData().DataType(), TNullMethodException);
  EXPECT_THROW(New<TDataType>()->TypeName(), TNullMethodException);
}

}  // namespace
}  // namespace corvex
