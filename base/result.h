#pragma once
// The outcome of a file operation: its value, or why it could not be done.
//
// Who writes what: the file logic writes the reason as whole sentences about
// the file and the bitmap ("Its palette runs past the end of the file."); the
// caller (a window, the command line) only says which file or bitmap it means
// and what was or was not changed, chosen by the fault.

#include <optional>
#include <type_traits>
#include <string>
#include <utility>

enum class Fault {
  None,
  Bitmap,        // the gauge bitmap cannot be worked on; nothing was written
  Source,        // the file to read from cannot be opened or read; nothing was written
  DoesNotFit,    // the file to read from does not fit the bitmap; nothing was written
  Target,        // the file to write could not be written; an older one of that name is kept
  TargetExists,  // the file to write exists and was to be kept; nothing was written
  OutOfMemory,   // not enough memory for the operation; nothing was written
  GaugeWrite,    // writing the gauge file failed part-way
  NotWritten,    // writing the gauge file failed or was refused, and it is as it was
  ReadOnly,      // the gauge file is open for reading only; nothing was written
};

// The value of an operation that has nothing to hand back but success.
struct Done {};

template <class T = Done>
class [[nodiscard]] Result {
 public:
  Result() requires std::is_same_v<T, Done> : value_(Done{}) {}
  Result(T value) : value_(std::move(value)) {}  // NOLINT: a value converts to success

  static Result failure(Fault fault, std::string reason) {
    Result r;
    r.value_.reset();
    r.fault_ = fault;
    r.reason_ = std::move(reason);
    return r;
  }
  // Carries another result's failure over to this type.
  template <class U>
  static Result failure(const Result<U>& other) {
    return failure(other.fault(), other.reason());
  }

  explicit operator bool() const { return value_.has_value(); }
  const T& operator*() const { return *value_; }
  T& operator*() { return *value_; }
  const T* operator->() const { return &*value_; }
  T* operator->() { return &*value_; }

  Fault fault() const { return fault_; }
  // Sentences for the user; empty on success.
  const std::string& reason() const { return reason_; }

 private:
  Result() requires(!std::is_same_v<T, Done>) = default;
  std::optional<T> value_;
  Fault fault_ = Fault::None;
  std::string reason_;
};
