// The root of the object model: intrusively reference-counted objects, the `Ref` handle that
// keeps them alive, and `Null`, the reference to no object.
#pragma once

#include <atomic>
#include <cstddef>
#include <type_traits>
#include <utility>

namespace corvex {

class String;

// Base of every shared object. Created with `New<T>()`, destroyed when its last `Ref` goes.
// The count is atomic because the mixer thread (audio) hands objects back and forth.
class Object {
 public:
  Object() noexcept = default;
  // A copy is a new object: it starts unshared (exception objects are thrown by value).
  Object(const Object&) noexcept {}
  Object& operator=(const Object&) noexcept { return *this; }
  virtual ~Object() = default;

  // The object's text form; the default names no particular type.
  virtual String ToString() const;

  // Counting by hand, for code that keeps a raw pointer alive (Ref does it otherwise): one more
  // reference.
  void AddRef() const noexcept { refs_.fetch_add(1, std::memory_order_relaxed); }
  // One reference fewer; the last one deletes the object.
  void Release() const noexcept {
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }
  // How many references there are.
  int RefCount() const noexcept { return refs_.load(std::memory_order_relaxed); }

 private:
  mutable std::atomic<int> refs_{0};
};

// Raises TNullObjectException; kept out of line so that Ref stays light.
[[noreturn]] void ThrowNullObject();

// A counted reference. Dereferencing Null raises TNullObjectException instead of crashing.
template <class T>
class Ref {
 public:
  // Null.
  constexpr Ref() noexcept = default;
  constexpr Ref(std::nullptr_t) noexcept {}
  // Takes a counted reference to an object (also to `this` inside a member function).
  explicit Ref(T* object) noexcept : p_(object) {
    if (p_) p_->AddRef();
  }
  // Another reference to the same object (from a Ref of a derived type too); moving leaves Null.
  Ref(const Ref& other) noexcept : Ref(other.p_) {}
  Ref(Ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  template <class U>
  requires std::is_convertible_v<U*, T*> Ref(const Ref<U>& other)
  noexcept : Ref(other.Get()) {}
  template <class U>
  requires std::is_convertible_v<U*, T*> Ref(Ref<U>&& other)
  noexcept : p_(other.Detach()) {}
  ~Ref() {
    if (p_) p_->Release();
  }

  // Refers to the other's object and lets go of its own.
  Ref& operator=(Ref other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }

  // The object; Null raises TNullObjectException.
  T* operator->() const {
    if (!p_) ThrowNullObject();
    return p_;
  }
  // The object; Null raises TNullObjectException.
  T& operator*() const {
    if (!p_) ThrowNullObject();
    return *p_;
  }
  // The object or nullptr, without a check; whether it is Null; whether it is not.
  T* Get() const noexcept { return p_; }
  bool IsNull() const noexcept { return p_ == nullptr; }
  explicit operator bool() const noexcept { return p_ != nullptr; }

  // Gives up ownership of the counted reference without releasing it.
  T* Detach() noexcept { return std::exchange(p_, nullptr); }

  // Whether both refer to the same object (or are both Null).
  template <class U>
  bool operator==(const Ref<U>& other) const noexcept {
    return static_cast<const Object*>(p_) == static_cast<const Object*>(other.Get());
  }
  // Whether this one is Null.
  bool operator==(std::nullptr_t) const noexcept { return p_ == nullptr; }

 private:
  T* p_ = nullptr;
};

// The reference to no object.
inline constexpr std::nullptr_t Null = nullptr;

// Creates a shared object and answers the first reference to it.
template <class T, class... Args>
Ref<T> New(Args&&... args) {
  return Ref<T>(new T(std::forward<Args>(args)...));
}

// Answers the object as a T, or Null when it is Null or of another type.
template <class T, class U>
Ref<T> Cast(const Ref<U>& object) noexcept {
  return Ref<T>(dynamic_cast<T*>(object.Get()));
}

// Answers whether the object is a T (Null is not).
template <class T, class U>
bool IsA(const Ref<U>& object) noexcept {
  return dynamic_cast<const T*>(object.Get()) != nullptr;
}

}  // namespace corvex
