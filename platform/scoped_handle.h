// Closes what it holds on every path out of a scope: a POSIX descriptor, a Windows handle.
// Traits says what is held (value_type), what stands for nothing (none()), what is open
// (valid()) and how it is closed (close(), true when that went well).
#ifndef PLATFORM_SCOPED_HANDLE_H_
#define PLATFORM_SCOPED_HANDLE_H_

#include <utility>

template <typename Traits>
class scoped_handle {
 public:
  using value_type = typename Traits::value_type;
  scoped_handle() = default;
  explicit scoped_handle(value_type value) : value_(value) {}
  scoped_handle(scoped_handle&& other) noexcept : value_(other.release()) {}
  // The former value goes to other, which closes it in turn.
  scoped_handle& operator=(scoped_handle&& other) noexcept {
    std::swap(value_, other.value_);
    return *this;
  }
  ~scoped_handle() {
    if (valid()) Traits::close(value_);
  }
  value_type get() const { return value_; }
  bool valid() const { return Traits::valid(value_); }
  value_type release() { return std::exchange(value_, Traits::none()); }
  // Closes now and reports the result: a failed close can mean lost data after a write.
  bool close() { return Traits::close(release()); }

 private:
  value_type value_ = Traits::none();
};

#endif  // PLATFORM_SCOPED_HANDLE_H_
