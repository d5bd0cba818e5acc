#include "analysis/classic_deck.h"

#include <cmath>
#include <optional>
#include <string>
#include <utility>

#include "analysis/classic_arrays.h"
#include "analysis/classic_report.h"
#include "analysis/problem_access.h"
#include "recordio/reader.h"

namespace analysis {

int check_result::ierr() const {
  for (const bool f : failed) {
    if (f) return 1;
  }
  return 0;
}

check_result check(int np, int nc, long long nv, int iosr, int ireg, int icrit, int /*nsr*/,
                   double ratio) {
  check_result r;
  auto test = [&r](check_test t, bool failing) { r.failed[static_cast<std::size_t>(t)] = failing; };
  test(check_test::too_many, np > capacity || nc > fourfifths::max_criteria || nv > capacity);
  test(check_test::no_criteria_for_regression, ireg == 1 && nc <= 0);
  test(check_test::no_criteria_for_quality, icrit == 1 && nc <= 0);
  test(check_test::bad_counts, np < 1 || nc < 0);
  test(check_test::bad_regression_flag, ireg != 0 && ireg != 1);
  test(check_test::bad_ratio, iosr == 1 && !(ratio > 0 && std::isfinite(ratio)));
  return r;
}

namespace {

using fourfifths::deck_result;
using fourfifths::deck_status;
deck_result refused(deck_status status, std::string text);  // below

// The deck, read by read, in the driver's arrays. Every value starts at
// zero, so that an item a deck leaves unset by a null or a slash reads as 0.
struct classic_deck {
  int np = 0;
  int nc = 0;
  int iosr = 0;
  int ireg = 0;
  int icrit = 0;
  int nsr = 0;
  int nv = 0;
  double ratio = 0;
  vector wep{"wep", label_main};
  vector wec{"wec", label_main};
  matrix corin{"corin[subscript-1-of-2]", "corin[subscript-2-of-2]", label_main};
  vector difp{"difp", label_main};
  vector difc{"difc", label_main};
  recordio::fixed_array<double, requested_capacity> rsr{"rsr", label_main};
};

// Why a read stopped when the reader did not fail: an element beyond an
// array's extent, with its subscript report.
struct read_stop {
  std::string subscript;
};

deck_result unreadable(const recordio::read_fault& f) {
  return refused(deck_status::unreadable, f.report());
}

// One read of `count` values into elements 1..count. Each element is
// checked before its value is read, so a deck that asks for more elements
// than the array holds stops at the first one beyond, whatever follows.
template <typename Array>
bool read_list(recordio::list_reader& in, Array& values, int count, read_stop& stop,
               unsigned line = __builtin_LINE()) {
  if (!in.begin()) return false;
  for (int i = 1; i <= count; ++i) {
    double* slot = values.slot(i);
    if (slot == nullptr) {
      stop.subscript = values.fault_report(i, line);
      return false;
    }
    if (!in.item(*slot)) return false;
  }
  return in.end();
}

// Reads 3 to 8, each under its condition; the matrix takes one read a row.
bool read_body(recordio::list_reader& in, classic_deck& d, read_stop& stop) {
  if (d.ireg == 0 && !read_list(in, d.wep, d.np, stop)) return false;
  if (d.nc != 0 && !read_list(in, d.wec, d.nc, stop)) return false;
  for (int i = 1; i <= d.nv; ++i) {
    if (!in.begin()) return false;
    for (int j = 1; j <= d.nv; ++j) {
      if (!in.item(d.corin(i, j))) return false;
    }
    if (!in.end()) return false;
  }
  if (!read_list(in, d.difp, d.np, stop)) return false;
  if (d.nc != 0 && !read_list(in, d.difc, d.nc, stop)) return false;
  if (d.nsr > 0 && !read_list(in, d.rsr, d.nsr, stop)) return false;
  return true;
}

std::vector<double> first(std::span<const double> values) { return {values.begin(), values.end()}; }

// The problem of a deck that passed its check and was read whole.
fourfifths::problem to_problem(const classic_deck& d) {
  fourfifths::problem_spec spec;
  spec.predictors = d.np;
  spec.criteria = d.nc;
  spec.mode = d.iosr == 1 ? fourfifths::ratio_mode::overall : fourfifths::ratio_mode::majority;
  spec.quality =
      d.icrit == 1 ? fourfifths::quality_basis::criterion : fourfifths::quality_basis::predictor;
  spec.regression_weights = d.ireg == 1;
  if (!spec.regression_weights) spec.predictor_weights = first(d.wep.slice(1, d.np));
  spec.criterion_weights = first(d.wec.slice(1, d.nc));
  spec.correlations.reserve(static_cast<std::size_t>(d.nv));
  for (int i = 1; i <= d.nv; ++i) spec.correlations.push_back(first(d.corin.row(i, d.nv)));
  spec.predictor_effects = first(d.difp.slice(1, d.np));
  spec.criterion_effects = first(d.difc.slice(1, d.nc));
  if (d.nsr > 0) spec.requested_ratios = first(d.rsr.slice(1, d.nsr));
  std::optional<fourfifths::applicant_mix> mix;
  if (d.iosr == 1) {
    spec.majority_per_minority = d.ratio;
    mix = fourfifths::applicant_mix::from_ratio(d.ratio);
  }
  return fourfifths::problem_access::make(std::move(spec), mix);
}

// A refused deck: its status, the program's text, and the text's lines as
// faults without a path.
deck_result refused(deck_status status, std::string text) {
  deck_result r;
  r.status = status;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) r.errors.push_back({"", text.substr(start, end - start)});
    start = end + 1;
  }
  r.text = std::move(text);
  return r;
}

}  // namespace

deck_result read_classic_deck(recordio::deck_input& input) {
  classic_deck d;
  recordio::list_reader in(input);

  // Reads 1 and 2: the header, and the applicant ratio in overall mode.
  bool ok = in.begin();
  for (int* item : {&d.np, &d.nc, &d.iosr, &d.ireg, &d.icrit, &d.nsr}) ok = ok && in.item(*item);
  ok = ok && in.end();
  if (ok && d.iosr == 1) ok = in.begin() && in.item(d.ratio) && in.end();
  if (!ok) return unreadable(*in.fault());

  const long long nv = static_cast<long long>(d.np) + d.nc;
  const check_result checked = check(d.np, d.nc, nv, d.iosr, d.ireg, d.icrit, d.nsr, d.ratio);
  if (checked.ierr() != 0) {
    return refused(deck_status::rejected, check_messages(checked));
  }
  d.nv = static_cast<int>(nv);

  read_stop stop;
  if (!read_body(in, d, stop)) {
    if (!stop.subscript.empty()) {
      return refused(deck_status::too_many_ratios, stop.subscript);
    }
    return unreadable(*in.fault());
  }
  deck_result r;
  r.value = to_problem(d);
  return r;
}

}  // namespace analysis
