// An owned system handle (a file descriptor, a Win32 HANDLE) that is closed with the object.
//
// `Traits` names the handle's type (`Value`), its value for "none" (`Invalid()`) and how it
// is closed (`Close(value)`).
#pragma once

namespace nocunzip::unzip32 {

template <typename Traits>
class UniqueHandle {
 public:
  using Value = typename Traits::Value;

  UniqueHandle() = default;
  explicit UniqueHandle(Value value) : value_(value) {}
  UniqueHandle(UniqueHandle&& other) noexcept : value_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    reset(other.release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  ~UniqueHandle() { reset(); }

  Value get() const { return value_; }
  bool valid() const { return value_ != Traits::Invalid(); }
  Value release() {
    const Value value = value_;
    value_ = Traits::Invalid();
    return value;
  }
  void reset(Value value = Traits::Invalid()) {
    if (valid()) Traits::Close(value_);
    value_ = value;
  }

 private:
  Value value_ = Traits::Invalid();
};

}  // namespace nocunzip::unzip32
