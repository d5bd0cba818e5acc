// The one shape of every result of the library: a value, or the faults that
// kept it from being made, each naming what it concerns, with a status that
// tells the ways a call can end apart.
#ifndef FOURFIFTHS_RESULT_H_
#define FOURFIFTHS_RESULT_H_

#include <optional>
#include <string>
#include <vector>

namespace fourfifths {

/// A fault of an input, naming where it is, for instance
/// {"correlations[2][0]", "must lie in [-1, 1]"}. The path is empty when
/// the fault concerns the input as a whole.
struct fault {
  std::string path;
  std::string message;
  /// "path: message", or the message alone when there is no path.
  std::string text() const;
};

/// A value, or the errors that kept it from being made. `status` says
/// how the call ended (its first enumerator is success); warnings may come
/// with a value.
template <class T, class Status>
struct result {
  std::optional<T> value;
  Status status{};
  std::vector<fault> errors;    ///< empty when `value` holds
  std::vector<fault> warnings;  ///< what the value is given despite

  bool ok() const { return value.has_value(); }
  explicit operator bool() const { return ok(); }
  const T& operator*() const { return *value; }
  const T* operator->() const { return &*value; }
};

}  // namespace fourfifths

#endif  // FOURFIFTHS_RESULT_H_
