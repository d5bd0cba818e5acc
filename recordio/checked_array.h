// Fixed-capacity arrays whose every element access is checked against the
// declared extent. A violation throws `subscript_fault` with the subscript
// report, naming the array, the routine and the source line of the access:
// a programming fault, which the run reports and ends on. Where a deck can
// ask for an element beyond the extent (a 26th requested ratio), the caller
// asks for the element with `slot` and reports the fault as a value.
//
// Subscripts are one-based, as the deck and the report count them. Each
// accessor takes the source line of its call as a defaulted argument.
#ifndef FOURFIFTHS_RECORDIO_CHECKED_ARRAY_H_
#define FOURFIFTHS_RECORDIO_CHECKED_ARRAY_H_

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "recordio/diagnostics.h"

namespace recordio {

/// A one-dimensional array of N elements, indexed 1..N.
template <typename T, std::size_t N>
class fixed_array {
 public:
  constexpr fixed_array(std::string_view name, std::string_view label)
      : name_(name), label_(label) {}

  /// Element i (1-based).
  T& operator()(int i, unsigned line = __builtin_LINE()) {
    check(i, line);
    return data_[static_cast<std::size_t>(i - 1)];
  }
  const T& operator()(int i, unsigned line = __builtin_LINE()) const {
    check(i, line);
    return data_[static_cast<std::size_t>(i - 1)];
  }

  /// Element i, or null when i lies outside 1..N.
  T* slot(int i) {
    return i >= 1 && i <= extent ? &data_[static_cast<std::size_t>(i - 1)] : nullptr;
  }
  /// The subscript report of an access to element i at `line`.
  std::string fault_report(int i, unsigned line) const {
    return subscript_report(name_, i - 1LL, label_, line);
  }

  /// Elements first..first+count-1, each checked, as a span (for writing a
  /// list of them). A count of 0 or less gives an empty span.
  std::span<const T> slice(int first, int count, unsigned line = __builtin_LINE()) const {
    if (count <= 0) return {};
    check(first, line);
    check(first + count - 1, line);
    return std::span<const T>(data_).subspan(static_cast<std::size_t>(first - 1),
                                             static_cast<std::size_t>(count));
  }

  /// Elements 1..count as a writable span, for the routines that work on a
  /// whole array; the last element is checked.
  std::span<T> first(int count, unsigned line = __builtin_LINE()) {
    if (count <= 0) return {};
    check(count, line);
    return std::span<T>(data_).first(static_cast<std::size_t>(count));
  }

  static constexpr int extent = static_cast<int>(N);

 private:
  void check(int i, unsigned line) const {
    if (i < 1 || i > extent) throw subscript_fault(fault_report(i, line));
  }

  std::array<T, N> data_{};
  std::string_view name_;
  std::string_view label_;
};

/// A two-dimensional array of R by C elements, indexed (row, column) from 1.
/// Each subscript is checked against its own extent.
template <typename T, std::size_t R, std::size_t C>
class fixed_matrix {
 public:
  constexpr fixed_matrix(std::string_view row_name, std::string_view column_name,
                         std::string_view label)
      : row_name_(row_name), column_name_(column_name), label_(label) {}

  T& operator()(int i, int j, unsigned line = __builtin_LINE()) {
    check(i, j, line);
    return data_[static_cast<std::size_t>(i - 1)][static_cast<std::size_t>(j - 1)];
  }
  const T& operator()(int i, int j, unsigned line = __builtin_LINE()) const {
    check(i, j, line);
    return data_[static_cast<std::size_t>(i - 1)][static_cast<std::size_t>(j - 1)];
  }

  /// Row i, columns 1..count, each checked, as a span.
  std::span<const T> row(int i, int count, unsigned line = __builtin_LINE()) const {
    if (count <= 0) {
      check(i, 1, line);
      return {};
    }
    check(i, count, line);
    return std::span<const T>(data_[static_cast<std::size_t>(i - 1)])
        .first(static_cast<std::size_t>(count));
  }

  static constexpr int rows = static_cast<int>(R);
  static constexpr int columns = static_cast<int>(C);

 private:
  void check(int i, int j, unsigned line) const {
    if (i < 1 || i > rows)
      throw subscript_fault(subscript_report(row_name_, i - 1LL, label_, line));
    if (j < 1 || j > columns) {
      throw subscript_fault(subscript_report(column_name_, j - 1LL, label_, line));
    }
  }

  std::array<std::array<T, C>, R> data_{};
  std::string_view row_name_;
  std::string_view column_name_;
  std::string_view label_;
};

}  // namespace recordio

#endif  // FOURFIFTHS_RECORDIO_CHECKED_ARRAY_H_
