// fourfifths._core: the library and its presentation layer for Python.
//
// Every table is the presentation layer's typed columns (the explorer's
// columns and numbers by construction), handed over as NumPy blocks, one
// per type, that the Python side gives pandas as the frame's own blocks.
// Outcomes at many ratios come back as NumPy arrays, one per column of the
// table. Scenarios are read and checked by the presentation
// layer, and every fault comes back with its path, as the explorer says it.
//
// A scenario, once read, is never changed: any number of threads may use
// one at once. Every computation runs without the GIL (`without_gil`).
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "fourfifths/fourfifths.h"
#include "present/arguments.h"
#include "present/fit.h"
#include "present/group_table.h"
#include "present/names.h"
#include "present/observed_input.h"
#include "present/observed_output.h"
#include "present/pareto_output.h"
#include "present/scenario.h"
#include "present/study.h"
#include "present/table.h"

namespace py = pybind11;

namespace {

using fourfifths::outcome;

/// The CPUs this process may run on (at least 1).
unsigned available_cpus() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) {
    return static_cast<unsigned>(CPU_COUNT(&set));
  }
  return std::max(1U, std::thread::hardware_concurrency());
}

/// An atomic on a cache line of its own, so that spinning on it slows no
/// other data.
template <class T>
struct alignas(64) lone {
  std::atomic<T> value{};
};

/// Lets go of the GIL for the engine's work and takes it back after: every
/// computation here runs inside one.
///
/// A thread that takes the GIL back the ordinary way and finds it held
/// sleeps until it is let go, and on a virtual machine waking takes longer
/// than a table's whole Python side (11 us against 6 on the machine this
/// was measured on). Two threads making small tables then queue on the GIL
/// and make fewer tables than one.
/// So threads coming back from the engine first take turns on a flag:
/// whoever holds it has the GIL or is about to, and lets it go when it
/// next lets go of the GIL here, by which time the Python side of its call
/// is done. The others spin for it, which costs less than sleeping, but
/// no more of them at once than leave a CPU for the flag's holder, and
/// each for at most `longest_spin`: past that it takes the flag over (its
/// holder may have left for other Python work, or ended) and waits for the
/// GIL as usual. The flag only steers the waiting; the GIL alone guards
/// Python.
class without_gil {
 public:
  without_gil() : state_(PyEval_SaveThread()) {
    if (holds_turn) {
      holds_turn = false;
      turn.value.store(false, std::memory_order_release);
    }
  }
  without_gil(const without_gil&) = delete;
  without_gil& operator=(const without_gil&) = delete;
  ~without_gil() {
    if (spinners.value.fetch_add(1, std::memory_order_relaxed) < most_spinners) wait_for_turn();
    spinners.value.fetch_sub(1, std::memory_order_relaxed);
    PyEval_RestoreThread(state_);
  }

 private:
  static constexpr std::chrono::microseconds longest_spin{50};
  static inline lone<bool> turn;
  static inline lone<unsigned> spinners;
  static inline thread_local bool holds_turn = false;
  static inline const unsigned most_spinners = available_cpus() - 1;

  static void wait_for_turn() {
    const auto until = std::chrono::steady_clock::now() + longest_spin;
    for (;;) {
      bool free = false;
      // Read before writing, so that waiting threads do not take the
      // line from one another.
      if (!turn.value.load(std::memory_order_relaxed) &&
          turn.value.compare_exchange_weak(free, true, std::memory_order_acquire)) {
        break;
      }
      if (std::chrono::steady_clock::now() > until) {
        turn.value.store(true, std::memory_order_relaxed);
        break;
      }
#if defined(__x86_64__) || defined(__i386__)
      __builtin_ia32_pause();
#endif
    }
    holds_turn = true;
  }

  PyThreadState* state_;
};

/// Faults as (path, message) pairs; the Python side joins them.
using fault_list = std::vector<std::pair<std::string, std::string>>;

fault_list pairs(const std::vector<fourfifths::fault>& faults) {
  fault_list out;
  out.reserve(faults.size());
  for (const fourfifths::fault& f : faults) out.emplace_back(f.path, f.message);
  return out;
}

/// A scenario read and checked, with the selection model every call starts
/// from. Held by shared pointer and never changed once made.
struct loaded {
  explicit loaded(present::loaded_scenario read) : study(std::move(read)) {}
  present::study study;
  std::optional<fourfifths::selection_model> model;
  std::optional<fourfifths::group_model> group_model;
};

/// The Python object Scenario: a handle on a loaded scenario.
struct scenario_handle {
  std::shared_ptr<const loaded> data;

  const present::study& study() const { return data->study; }
  const present::loaded_scenario& read() const { return data->study.loaded(); }
  const present::scenario& value() const { return data->study.names(); }
  bool has_groups() const { return data->study.grouped(); }
};

/// What reading gives Python: the scenario (or None), its errors and warnings.
using read_answer = std::tuple<std::optional<scenario_handle>, fault_list, fault_list>;

read_answer answer_of(present::loaded_scenario s) {
  fault_list errors = pairs(s.errors);
  fault_list warnings = pairs(s.warnings);
  if (!s.errors.empty() || !s.value) return {std::nullopt, std::move(errors), std::move(warnings)};
  auto l = std::make_shared<loaded>(std::move(s));
  const present::loaded_scenario& read = l->study.loaded();
  if (read.problem) l->model = fourfifths::model_of(*read.problem);
  if (read.group_problem) l->group_model = fourfifths::group_model_of(*read.group_problem);
  return {scenario_handle{std::move(l)}, std::move(errors), std::move(warnings)};
}

read_answer read_text(const std::string& text) {
  present::loaded_scenario s;
  {
    const without_gil free;
    s = present::read_scenario(text, present::group_rule::accepted);
  }
  return answer_of(std::move(s));
}

// --- Python values as JSON ---------------------------------------------------

/// A Python value as the JSON value it stands for: dicts with string keys,
/// lists and tuples, strings, numbers, booleans and None, NumPy arrays and
/// scalars by their Python values. A number stays the double it is (NaN and
/// infinities too): the scenario's reader says which field it spoils. Past
/// the deepest nesting a scenario may have, a container is kept empty, so
/// that the reader refuses it without this reading the rest.
nlohmann::json json_of(py::handle h, std::size_t depth) {
  if (h.is_none()) return nullptr;
  if (py::isinstance<py::bool_>(h)) return h.cast<bool>();
  if (py::isinstance<py::int_>(h)) {
    try {
      return h.cast<std::int64_t>();
    } catch (const py::cast_error&) {
    }
    // Beyond 64 bits: the nearest double, or an infinity beyond the
    // doubles (which the reader refuses by its path, as it refuses any).
    const double v = PyLong_AsDouble(h.ptr());
    if (v == -1.0 && PyErr_Occurred() != nullptr) {
      PyErr_Clear();
      const bool negative = PyObject_RichCompareBool(h.ptr(), py::int_(0).ptr(), Py_LT) == 1;
      return negative ? -std::numeric_limits<double>::infinity()
                      : std::numeric_limits<double>::infinity();
    }
    return v;
  }
  if (py::isinstance<py::float_>(h)) return h.cast<double>();
  if (py::isinstance<py::str>(h)) return h.cast<std::string>();
  const py::module_ numpy = py::module_::import("numpy");
  if (py::isinstance(h, numpy.attr("ndarray")) || py::isinstance(h, numpy.attr("generic"))) {
    return json_of(h.attr("tolist")(), depth);
  }
  const std::size_t deepest = present::scenario_limits().most_depth;
  if (py::isinstance<py::dict>(h)) {
    nlohmann::json out = nlohmann::json::object();
    if (depth > deepest) return out;
    for (const auto& [key, value] : h.cast<py::dict>()) {
      if (!py::isinstance<py::str>(key)) {
        throw py::type_error("a scenario's keys are strings, not " +
                             std::string(py::str(py::type::of(key).attr("__name__"))) + " (" +
                             std::string(py::repr(key)) + ")");
      }
      out[key.cast<std::string>()] = json_of(value, depth + 1);
    }
    return out;
  }
  if (py::isinstance<py::list>(h) || py::isinstance<py::tuple>(h)) {
    nlohmann::json out = nlohmann::json::array();
    if (depth > deepest) return out;
    for (const py::handle item : h) out.push_back(json_of(item, depth + 1));
    return out;
  }
  throw py::type_error("a scenario holds dicts, lists, strings, numbers, booleans and None, not " +
                       std::string(py::str(py::type::of(h).attr("__name__"))));
}

read_answer read_document(py::handle document) {
  const nlohmann::json doc = json_of(document, 1);
  present::loaded_scenario s;
  {
    const without_gil free;
    s = present::read_json_document(doc, present::id_rule::optional, present::group_rule::accepted);
  }
  return answer_of(std::move(s));
}

// --- Names -----------------------------------------------------------------

/// The value of a name of a closed set, as every face spells it, or a
/// ValueError naming the choices.
template <class E>
E named_value(const std::string& what, const std::string& name) {
  if (const std::optional<E> v = present::value_of<E>(name)) return *v;
  throw py::value_error(what + ": '" + name + "' is not one of " + present::names_list<E>(", "));
}

fourfifths::method method_of(const std::string& name) {
  return named_value<fourfifths::method>("method", name);
}

void one_method_for_groups(const scenario_handle& s, fourfifths::method m) {
  std::vector<fourfifths::fault> faults;
  if (!present::method_argument(std::string(present::name_of(m)), s.has_groups(), faults)) {
    throw py::value_error(faults.front().text());
  }
}

/// An argument of a call as the one JSON value it stands for, for the
/// checks the packages share; anything that is not one value (a list, an
/// object of no JSON form) as an array, which no check takes.
nlohmann::json argument_of(py::handle h) {
  try {
    return json_of(h, 0);
  } catch (const py::type_error&) {
    return nlohmann::json::array();
  }
}

const fourfifths::problem& one_group_problem(const scenario_handle& s, std::string_view call) {
  if (!s.read().problem) {
    throw py::value_error(std::string(call) +
                          " takes one minority group so far; several groups (\"groups\") have "
                          "table, outcomes, minimum, pareto and best_weighting");
  }
  return *s.read().problem;
}

std::optional<std::vector<double>> ratio_list(const std::optional<py::array_t<double>>& ratios) {
  if (!ratios) return std::nullopt;
  if (ratios->ndim() != 1) {
    throw py::value_error("ratios: must be one-dimensional, not of shape " +
                          std::string(py::str(ratios->attr("shape"))));
  }
  const auto r = ratios->unchecked<1>();
  std::vector<double> out(static_cast<std::size_t>(r.shape(0)));
  for (py::ssize_t i = 0; i < r.shape(0); ++i) out[static_cast<std::size_t>(i)] = r(i);
  return out;
}

// --- Tables -----------------------------------------------------------------

/// A frame's columns as NumPy arrays with the types pandas gives them
/// reading its CSV: numbers as float64 (NaN where missing), verdicts as
/// bool (as objects, True, False or NaN, when some are missing; float64 NaN
/// when all are), names as str objects. The columns of one type come as
/// one two-dimensional block, a row per column, with the columns' places:
/// (names, [(block, places), ...]), which is how a DataFrame holds them.
py::tuple frame_blocks(const present::frame& f) {
  const auto n = static_cast<py::ssize_t>(f.rows);
  enum kind { number, flag, object, whole };
  const auto kind_of = [](const present::frame_column& c) {
    if (c.type == present::column_type::text) return object;
    // A whole number that is missing somewhere is a float, NaN where missing.
    if (c.type == present::column_type::integer) return c.missing.empty() ? whole : number;
    if (c.type == present::column_type::number) return number;
    if (c.missing.empty()) return flag;
    const bool all =
        std::all_of(c.missing.begin(), c.missing.end(), [](std::uint8_t m) { return m != 0; });
    return all ? number : object;
  };
  std::vector<std::size_t> places[4];
  py::list names;
  for (std::size_t j = 0; j < f.columns.size(); ++j) {
    names.append(py::str(f.columns[j].name));
    places[kind_of(f.columns[j])].push_back(j);
  }
  const auto shape = [&](std::size_t k) {
    return std::vector<py::ssize_t>{static_cast<py::ssize_t>(k), n};
  };
  py::list blocks;
  if (!places[number].empty()) {
    py::array_t<double> block(shape(places[number].size()));
    double* out = block.mutable_data();
    for (const std::size_t j : places[number]) {
      const present::frame_column& c = f.columns[j];
      std::copy(c.numbers.begin(), c.numbers.end(), out);
      out += n;
    }
    blocks.append(py::make_tuple(block, py::cast(places[number])));
  }
  if (!places[flag].empty()) {
    py::array_t<bool> block(shape(places[flag].size()));
    bool* out = block.mutable_data();
    for (const std::size_t j : places[flag]) {
      for (const double v : f.columns[j].numbers) *out++ = v != 0;
    }
    blocks.append(py::make_tuple(block, py::cast(places[flag])));
  }
  if (!places[whole].empty()) {
    py::array_t<std::int64_t> block(shape(places[whole].size()));
    std::int64_t* out = block.mutable_data();
    for (const std::size_t j : places[whole]) {
      for (const double v : f.columns[j].numbers) *out++ = static_cast<std::int64_t>(v);
    }
    blocks.append(py::make_tuple(block, py::cast(places[whole])));
  }
  if (!places[object].empty()) {
    py::array block(py::dtype(py::detail::npy_api::NPY_OBJECT_), shape(places[object].size()));
    auto* out = static_cast<PyObject**>(block.mutable_data());
    const py::object nan = py::float_(std::numeric_limits<double>::quiet_NaN());
    const auto put = [&](PyObject* v) {
      Py_INCREF(v);
      Py_XDECREF(*out);
      *out++ = v;
    };
    for (const std::size_t j : places[object]) {
      const present::frame_column& c = f.columns[j];
      if (c.type == present::column_type::text) {
        // One str for a run of equal names (kinds, statuses, groups).
        py::object last;
        for (std::size_t i = 0; i < f.rows; ++i) {
          if (c.is_missing(i)) {
            put(nan.ptr());
            continue;
          }
          if (!last || c.texts[i] != c.texts[i - 1] || c.is_missing(i - 1)) {
            last = py::str(c.texts[i]);
          }
          put(last.ptr());
        }
      } else {
        for (std::size_t i = 0; i < f.rows; ++i) {
          put(c.is_missing(i) ? nan.ptr() : c.numbers[i] != 0 ? Py_True : Py_False);
        }
      }
    }
    blocks.append(py::make_tuple(block, py::cast(places[object])));
  }
  return py::make_tuple(names, blocks);
}

/// The table's columns, or the faults of its arguments.
std::tuple<std::optional<py::tuple>, fault_list> table_columns(
    const scenario_handle& s, const std::optional<py::array_t<double>>& ratios,
    const py::object& method, const py::object& applicants, const py::object& replications,
    const py::object& seed, const py::object& alpha) {
  std::vector<fourfifths::fault> faults;
  const std::optional<std::vector<double>> list = ratio_list(ratios);
  if (list) faults = present::check_ratios(*list);
  const std::optional<fourfifths::method> m =
      present::method_argument(argument_of(method), s.has_groups(), faults);
  present::table_request request;
  if (!applicants.is_none()) {
    request.pool = present::pool_arguments(argument_of(applicants), argument_of(replications),
                                           argument_of(seed), argument_of(alpha), faults);
    if (request.pool) {
      if (std::optional<fourfifths::fault> f = s.study().pool_fault(*request.pool)) {
        faults.push_back(std::move(*f));
      }
    }
  }
  if (!faults.empty()) return {std::nullopt, pairs(faults)};
  present::frame f;
  {
    const without_gil free;
    f = request.pool ? s.study().table(*m, list, request).columns()
                     : s.study().table(*m, list).columns();
  }
  return {frame_blocks(f), {}};
}

/// One outcome with the table's values: none where its CSV field is empty
/// (a value the outcome does not have, or any but the target when no cut
/// score was found).
struct outcome_view {
  outcome o;

  std::optional<double> solved_value(double v) const {
    return o.solved() ? std::optional<double>(v) : std::nullopt;
  }
  std::optional<double> solved_value(const std::optional<double>& v) const {
    return o.solved() ? v : std::nullopt;
  }
  std::optional<bool> passes() const {
    return o.solved() ? std::optional<bool>(o.passes_four_fifths()) : std::nullopt;
  }
  std::string_view status() const { return present::name_of(o.status); }
};

outcome_view outcome_call(const scenario_handle& s, double ratio, const std::string& method) {
  const fourfifths::method m = method_of(method);
  (void)one_group_problem(s, "outcome");
  const fourfifths::selection_model& model = *s.data->model;
  const without_gil free;
  return {fourfifths::outcome_at(model, ratio, m)};
}

/// The seconds a table and its frame take in C++ alone, the mean of `n`
/// calls: the C++ work of a call of table.
double time_table(const scenario_handle& s, int n) {
  const without_gil free;
  std::size_t sink = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < n; ++i) {
    sink += s.study().table(fourfifths::method::precise, std::nullopt).columns().rows;
  }
  const auto end = std::chrono::steady_clock::now();
  volatile std::size_t keep = sink;
  (void)keep;
  return std::chrono::duration<double>(end - start).count() / n;
}

/// The seconds one outcome takes in C++ alone, the mean of `n` calls: what
/// the benchmark sets a Python call against.
double time_outcome(const scenario_handle& s, double ratio, const std::string& method, int n) {
  const fourfifths::method m = method_of(method);
  (void)one_group_problem(s, "outcome");
  const fourfifths::selection_model& model = *s.data->model;
  const without_gil free;
  double sink = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < n; ++i) sink += fourfifths::outcome_at(model, ratio, m).ai_ratio;
  const auto end = std::chrono::steady_clock::now();
  volatile double keep = sink;  // the calls are not optimised away
  (void)keep;
  return std::chrono::duration<double>(end - start).count() / n;
}

constexpr double none = std::numeric_limits<double>::quiet_NaN();

/// Runs body(i) for i in [0, n), split in contiguous stretches over the
/// CPUs when there is enough to share: each outcome is a value computed
/// from values, so the stretches need no lock.
template <class F>
void for_each_index(std::size_t n, F body) {
  constexpr std::size_t least_per_thread = 4096;
  const std::size_t threads =
      std::min<std::size_t>(available_cpus(), std::max<std::size_t>(1, n / least_per_thread));
  if (threads <= 1) {
    for (std::size_t i = 0; i < n; ++i) body(i);
    return;
  }
  std::vector<std::thread> pool;
  pool.reserve(threads - 1);
  const std::size_t step = (n + threads - 1) / threads;
  for (std::size_t t = 1; t < threads; ++t) {
    pool.emplace_back([&, t] {
      for (std::size_t i = t * step; i < std::min(n, (t + 1) * step); ++i) body(i);
    });
  }
  for (std::size_t i = 0; i < std::min(n, step); ++i) body(i);
  for (std::thread& th : pool) th.join();
}

/// A float column of `n` rows.
py::array_t<double> column(std::size_t n) {
  return py::array_t<double>(static_cast<py::ssize_t>(n));
}

/// The status names as Python strings in an array of objects, one string
/// per name shared by every row.
py::array status_column(const std::vector<fourfifths::outcome_status>& statuses) {
  std::vector<py::object> names;
  for (const auto& n : present::names_of<fourfifths::outcome_status>::table) {
    const auto at = static_cast<std::size_t>(n.value);
    if (names.size() <= at) names.resize(at + 1);
    names[at] = py::str(std::string(n.name));
  }
  py::array out =
      py::module_::import("numpy").attr("empty")(statuses.size(), py::arg("dtype") = "object");
  auto* data = static_cast<PyObject**>(out.mutable_data());
  for (std::size_t i = 0; i < statuses.size(); ++i) {
    PyObject* name = names[static_cast<std::size_t>(statuses[i])].ptr();
    Py_INCREF(name);
    Py_XDECREF(data[i]);
    data[i] = name;
  }
  return out;
}

py::dict one_group_outcomes(const scenario_handle& s, const std::vector<double>& ratios,
                            fourfifths::method m) {
  const std::size_t n = ratios.size();
  const fourfifths::selection_model& model = *s.data->model;
  static constexpr const char* names[] = {"target",
                                          "sr",
                                          "sr_majority",
                                          "sr_minority",
                                          "ai_ratio",
                                          "ratio_to_highest",
                                          "cut_score",
                                          "mean",
                                          "mean_majority",
                                          "mean_minority",
                                          "mean_difference",
                                          "std_mean",
                                          "std_mean_majority",
                                          "std_mean_minority",
                                          "std_mean_difference"};
  constexpr std::size_t count = std::size(names);
  std::vector<py::array_t<double>> columns;
  std::vector<double*> at;
  columns.reserve(count);
  at.reserve(count);
  for (std::size_t c = 0; c < count; ++c) {
    columns.push_back(column(n));
    at.push_back(columns.back().mutable_data());
  }
  py::array_t<bool> passes(static_cast<py::ssize_t>(n));
  bool* pass = passes.mutable_data();
  std::vector<fourfifths::outcome_status> statuses(n);
  {
    const without_gil free;
    auto value = [](const std::optional<double>& v) { return v ? *v : none; };
    for_each_index(n, [&](std::size_t i) {
      const outcome o = fourfifths::outcome_at(model, ratios[i], m);
      statuses[i] = o.status;
      pass[i] = o.passes_four_fifths();
      at[0][i] = o.target;
      if (!o.solved()) {
        for (std::size_t c = 1; c < count; ++c) at[c][i] = none;
        return;
      }
      at[1][i] = value(o.sr);
      at[2][i] = o.sr_majority;
      at[3][i] = o.sr_minority;
      at[4][i] = o.ai_ratio;
      at[5][i] = o.ratio_to_highest();
      at[6][i] = o.cut_score;
      at[7][i] = value(o.mean);
      at[8][i] = o.mean_majority;
      at[9][i] = o.mean_minority;
      at[10][i] = o.mean_difference;
      at[11][i] = value(o.std_mean);
      at[12][i] = value(o.std_mean_majority);
      at[13][i] = value(o.std_mean_minority);
      at[14][i] = value(o.std_mean_difference);
    });
  }
  py::dict out;
  for (std::size_t c = 0; c < count; ++c) {
    out[names[c]] = columns[c];
    if (c == 5) out["passes_four_fifths"] = passes;  // in the table's order
  }
  out["status"] = status_column(statuses);
  return out;
}

py::dict group_outcomes(const scenario_handle& s, const std::vector<double>& ratios) {
  const fourfifths::group_model& model = *s.data->group_model;
  const std::size_t n = ratios.size();
  const std::size_t groups = model.groups.size() + 1;
  const auto shape =
      std::vector<py::ssize_t>{static_cast<py::ssize_t>(n), static_cast<py::ssize_t>(groups)};
  py::array_t<double> target = column(n), cut = column(n), sr = column(n), mean = column(n);
  py::array_t<double> sr_group(shape), ai(shape), to_highest(shape), mean_group(shape);
  py::array_t<bool> passes(static_cast<py::ssize_t>(n));
  std::vector<fourfifths::outcome_status> statuses(n);
  double* t = target.mutable_data();
  double* x = cut.mutable_data();
  double* sro = sr.mutable_data();
  double* mo = mean.mutable_data();
  double* srg = sr_group.mutable_data();
  double* aig = ai.mutable_data();
  double* hg = to_highest.mutable_data();
  double* mg = mean_group.mutable_data();
  bool* pass = passes.mutable_data();
  {
    const without_gil free;
    for_each_index(n, [&](std::size_t i) {
      const fourfifths::group_outcome o = fourfifths::group_outcome_at(model, ratios[i]);
      statuses[i] = o.status;
      t[i] = o.target;
      const bool ok = o.solved();
      pass[i] = ok && o.passes_four_fifths();
      x[i] = ok ? o.cut_score : none;
      sro[i] = ok && o.sr ? *o.sr : none;
      mo[i] = ok && o.mean ? *o.mean : none;
      for (std::size_t g = 0; g < groups; ++g) {
        const std::size_t k = i * groups + g;
        const bool has = ok && g < o.groups.size();
        srg[k] = has ? o.groups[g].sr : none;
        aig[k] = has ? o.groups[g].ai_vs_majority : none;
        hg[k] = has ? o.groups[g].ratio_to_highest : none;
        mg[k] = has ? o.groups[g].mean : none;
      }
    });
  }
  py::list names;
  names.append(std::string(fourfifths::majority_group_name));
  for (const auto& g : model.groups) names.append(g.name);
  py::dict out;
  out["target"] = target;
  out["group"] = names;
  out["cut_score"] = cut;
  out["sr"] = sr;
  out["sr_group"] = sr_group;
  out["ai_vs_majority"] = ai;
  out["ratio_to_highest"] = to_highest;
  out["passes_four_fifths"] = passes;
  out["mean"] = mean;
  out["mean_group"] = mean_group;
  out["status"] = status_column(statuses);
  return out;
}

py::dict outcomes_call(const scenario_handle& s, const py::array_t<double>& ratios,
                       const std::string& method) {
  const fourfifths::method m = method_of(method);
  one_method_for_groups(s, m);
  const std::vector<double> list = *ratio_list(ratios);
  return s.has_groups() ? group_outcomes(s, list) : one_group_outcomes(s, list, m);
}

py::dict minimum_call(const scenario_handle& s, const std::string& method) {
  const fourfifths::method m = method_of(method);
  one_method_for_groups(s, m);
  py::dict out;
  if (s.has_groups()) {
    fourfifths::group_minimum g;
    {
      const without_gil free;
      g = fourfifths::find_group_minimum(*s.data->group_model);
    }
    out["found"] = g.found;
    out["status"] = std::string(present::name_of(g.status));
    out["ratio"] = g.found ? py::object(py::float_(g.ratio)) : py::none();
    out["cut_score"] = g.found ? py::object(py::float_(g.at.cut_score)) : py::none();
    out["lowest_group"] = g.lowest;
    out["highest_group"] = g.highest;
    return out;
  }
  present::table t;
  {
    const without_gil free;
    // The minimum row of the table (the classic method's is the analysis's own).
    t = present::make_table(*s.read().problem, m, std::nullopt);
  }
  const bool found = t.minimum.found && t.at_minimum.has_value();
  out["found"] = found;
  out["status"] = std::string(present::name_of(t.minimum.status));
  auto value = [&](auto get) {
    return found ? py::object(py::float_(get(*t.at_minimum))) : py::none();
  };
  out["ratio"] = value([](const outcome& o) { return o.target; });
  out["cut_score"] = value([](const outcome& o) { return o.cut_score; });
  out["sr"] = found && t.at_minimum->sr ? py::object(py::float_(*t.at_minimum->sr)) : py::none();
  out["sr_majority"] = value([](const outcome& o) { return o.sr_majority; });
  out["sr_minority"] = value([](const outcome& o) { return o.sr_minority; });
  out["ai_ratio"] = value([](const outcome& o) { return o.ai_ratio; });
  out["ratio_to_highest"] = value([](const outcome& o) { return o.ratio_to_highest(); });
  return out;
}

// --- Pareto -----------------------------------------------------------------

/// The front's options as the call gave them, or their faults.
std::tuple<fourfifths::pareto_options, std::vector<fourfifths::fault>> pareto_options_of(
    const py::object& ratio, const py::object& points, bool majority, const py::object& objective,
    const py::object& weights) {
  fourfifths::pareto_options o;
  std::vector<fourfifths::fault> faults = present::pareto_arguments(
      "ratio", argument_of(ratio), argument_of(points), argument_of(objective), "weights",
      argument_of(weights),
      majority ? fourfifths::ratio_mode::majority : fourfifths::ratio_mode::overall, o);
  return {o, std::move(faults)};
}

/// The front's CSV, or its faults.
std::tuple<std::optional<py::tuple>, fault_list> pareto_call(
    const scenario_handle& s, const py::object& ratio, const py::object& points, bool majority,
    const py::object& objective, const py::object& weights, const py::object& calibration_n,
    const py::object& replications, const py::object& seed, const py::object& threads) {
  auto [o, faults] = pareto_options_of(ratio, points, majority, objective, weights);
  const std::optional<present::calibration_request> calibration =
      present::calibration_arguments(argument_of(calibration_n), argument_of(replications),
                                     argument_of(seed), argument_of(threads), available_cpus(),
                                     faults);
  if (!faults.empty()) return {std::nullopt, pairs(faults)};
  present::frame f;
  {
    const without_gil free;
    const present::study_front front = s.study().front(o, calibration);
    if (!front.found()) return {std::nullopt, pairs(front.errors())};
    f = front.columns();
  }
  return {frame_blocks(f), {}};
}

/// Every calibration sample's values at the front's points, or the faults:
/// samples first_replication on, for spreading them over processes.
std::tuple<std::optional<py::tuple>, fault_list> draws_call(
    const scenario_handle& s, const py::object& ratio, const py::object& points, bool majority,
    const py::object& objective, const py::object& weights, const py::object& calibration_n,
    const py::object& replications, const py::object& seed, const py::object& threads,
    const py::object& first_replication) {
  auto [o, faults] = pareto_options_of(ratio, points, majority, objective, weights);
  if (calibration_n.is_none()) faults.push_back({"calibration_n", "must be a whole number"});
  std::optional<present::calibration_request> calibration =
      present::calibration_arguments(argument_of(calibration_n), argument_of(replications),
                                     argument_of(seed), argument_of(threads), available_cpus(),
                                     faults);
  const std::optional<double> first =
      present::number_argument("first_replication", argument_of(first_replication), faults);
  if (first && !(*first >= 0 && *first == std::floor(*first) && *first < 0x1p53)) {
    faults.push_back({"first_replication", "must be a whole number of 0 or more"});
  }
  if (!faults.empty()) return {std::nullopt, pairs(faults)};
  calibration->first_replication = static_cast<std::uint64_t>(*first);
  calibration->keep_draws = true;
  present::frame f;
  {
    const without_gil free;
    const present::study_front front = s.study().front(o, calibration);
    if (!front.found()) return {std::nullopt, pairs(front.errors())};
    f = front.draw_columns();
  }
  return {frame_blocks(f), {}};
}

/// The best weighting's CSV row, or its faults; and, when no weighting
/// reaches the ratio asked for, what to say of it.
std::tuple<std::optional<py::tuple>, fault_list, std::optional<std::string>> best_call(
    const scenario_handle& s, const py::object& ratio, const py::object& least_ai, bool majority,
    const py::object& objective, const py::object& weights, const py::object& calibration_n,
    const py::object& replications, const py::object& seed, const py::object& threads) {
  auto [o, faults] = pareto_options_of(ratio, py::int_(fourfifths::pareto_options{}.points),
                                       majority, objective, weights);
  const std::optional<double> least =
      present::number_argument("min_ai", argument_of(least_ai), faults);
  const std::optional<present::calibration_request> calibration =
      present::calibration_arguments(argument_of(calibration_n), argument_of(replications),
                                     argument_of(seed), argument_of(threads), available_cpus(),
                                     faults);
  if (!faults.empty()) return {std::nullopt, pairs(faults), std::nullopt};
  present::frame f;
  std::optional<std::string> unreachable;
  {
    const without_gil free;
    const present::study_best answer = s.study().best(o, *least, calibration);
    if (!answer.found()) return {std::nullopt, pairs(answer.errors()), std::nullopt};
    if (!answer.reached()) unreachable = answer.unreachable_message();
    f = answer.columns();
  }
  return {frame_blocks(f), {}, unreachable};
}

// --- Observed data ------------------------------------------------------------

std::tuple<std::optional<py::tuple>, fault_list> observed_call(
    const std::string& text, const std::optional<std::string>& reference,
    const std::optional<double>& alpha, const std::optional<std::vector<std::string>>& steps) {
  present::frame f;
  {
    const without_gil free;
    const present::loaded_observed data = present::read_observed(text);
    if (!data.value) return {std::nullopt, pairs(data.errors)};
    fourfifths::observed_options options = data.value->options;
    if (reference) options.reference = reference;
    if (alpha) options.alpha = *alpha;
    if (steps) options.steps = *steps;
    const fourfifths::observed_result r = present::analyse(*data.value, options);
    if (!r.value) return {std::nullopt, pairs(r.errors)};
    f = present::observed_frame(*r.value);
  }
  return {frame_blocks(f), {}};
}

// --- Validation samples ---------------------------------------------------------

using int_column = py::array_t<int, py::array::c_style | py::array::forcecast>;
using double_column = py::array_t<double, py::array::c_style | py::array::forcecast>;

/// A scenario fitted to a data frame's columns: the group labels, each
/// row's label as its place among them (-1 missing), the scores (NaN
/// missing) and each column's place in the frame.
read_answer fit_call(const std::vector<std::string>& labels, const int_column& group,
                     const std::vector<double_column>& scores, const std::vector<int>& positions,
                     const std::string& group_name, const std::vector<std::string>& predictors,
                     const std::vector<std::string>& criteria,
                     const std::optional<std::string>& reference) {
  present::sample_columns sample;
  sample.labels = labels;
  sample.group = std::span<const int>(group.data(), static_cast<std::size_t>(group.size()));
  for (const double_column& c : scores) {
    sample.scores.emplace_back(c.data(), static_cast<std::size_t>(c.size()));
  }
  sample.positions = positions;
  present::fit_request request{group_name, reference, predictors, criteria};
  present::loaded_scenario s;
  {
    const without_gil free;
    s = present::fit_columns(sample, request);
  }
  return answer_of(std::move(s));
}

// --- Many scenarios -------------------------------------------------------------

/// One table for many scenarios, each named by its "id", in the explorer's
/// batch columns (the id first); the faults of the scenarios that could
/// not be read, each with the id (or "line N", counted from 1) it concerns.
std::tuple<py::tuple, std::vector<std::pair<std::string, fault_list>>> batch_call(
    const std::vector<std::string>& lines, const std::optional<py::array_t<double>>& ratios,
    const std::string& method) {
  const fourfifths::method m = method_of(method);
  const std::optional<std::vector<double>> list = ratio_list(ratios);
  std::vector<std::pair<std::string, fault_list>> failed;
  present::frame all;
  {
    const without_gil free;
    std::vector<present::frame> tables;
    std::vector<std::string> ids;
    present::scenario_reader reader;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (lines[i].find_first_not_of(" \t\r\n") == std::string::npos) continue;  // blank
      const present::loaded_scenario s =
          reader.read(std::string_view(lines[i]), present::id_rule::required);
      if (!s.errors.empty() || !s.problem) {
        failed.emplace_back(s.id && !s.id->empty() ? *s.id : "line " + std::to_string(i + 1),
                            pairs(s.errors));
        continue;
      }
      tables.push_back(present::table_frame(present::make_table(*s.problem, m, list)));
      ids.push_back(*s.id);
    }
    if (tables.empty()) {
      // The columns without rows.
      const present::table none{};
      tables.push_back(present::table_frame(none));
      ids.emplace_back();
    }
    all = present::stack_frames(tables, ids);
  }
  return {frame_blocks(all), std::move(failed)};
}

}  // namespace

PYBIND11_MODULE(_core, m) {
  m.doc() =
      "The fourfifths library and its presentation layer; the package fourfifths is the "
      "interface to use.";

  m.attr("most_scenario_bytes") = present::most_scenario_bytes;

  py::class_<scenario_handle>(m, "Scenario",
                              "A scenario read and checked; immutable, shared by threads.")
      .def_property_readonly(
          "title", [](const scenario_handle& s) { return s.value().title; }, "The title, or ''.")
      .def_property_readonly(
          "form",
          [](const scenario_handle& s) { return std::string(present::name_of(s.value().form)); },
          "The form it was read in: 'json' or 'deck'.")
      .def_property_readonly(
          "predictor_names", [](const scenario_handle& s) { return s.value().predictor_names; },
          "The predictors' names (a deck's are P1, P2, ...).")
      .def_property_readonly(
          "criterion_names", [](const scenario_handle& s) { return s.value().criterion_names; },
          "The criteria's names (a deck's are C1, C2, ...).")
      .def_property_readonly(
          "groups",
          [](const scenario_handle& s) {
            std::vector<std::string> names;
            for (const auto& g : s.value().groups) names.push_back(g.name);
            return names;
          },
          "The minority groups' names; empty for a scenario of one minority group.")
      .def_property_readonly(
          "calibration_n",
          [](const scenario_handle& s) -> std::optional<std::int64_t> {
            if (!s.value().calibration) return std::nullopt;
            return s.value().calibration->n;
          },
          "The rows of the sample it was estimated from (fit), or None.")
      .def_property_readonly(
          "id", [](const scenario_handle& s) { return s.read().id; },
          "The JSON scenario's \"id\" as text, or None.")
      .def(
          "to_json", [](const scenario_handle& s) { return present::to_json(s.value()); },
          "The scenario as a JSON text, as `fourfifths-explore convert --to json` writes it.");

  py::class_<outcome_view>(m, "Outcome",
                           "The outcome of a selection at one ratio, with the table's values: "
                           "None where the table's field is empty.")
      .def_property_readonly(
          "target", [](const outcome_view& v) { return v.o.target; }, "The ratio asked for.")
      .def_property_readonly(
          "sr", [](const outcome_view& v) { return v.solved_value(v.o.sr); },
          "The overall selection ratio (needs the applicant mix).")
      .def_property_readonly(
          "sr_majority", [](const outcome_view& v) { return v.solved_value(v.o.sr_majority); },
          "The majority group's selection ratio.")
      .def_property_readonly(
          "sr_minority", [](const outcome_view& v) { return v.solved_value(v.o.sr_minority); },
          "The minority group's selection ratio.")
      .def_property_readonly(
          "ai_ratio", [](const outcome_view& v) { return v.solved_value(v.o.ai_ratio); },
          "The adverse-impact ratio sr_minority / sr_majority.")
      .def_property_readonly(
          "ratio_to_highest",
          [](const outcome_view& v) {
            return v.o.solved() ? std::optional<double>(v.o.ratio_to_highest()) : std::nullopt;
          },
          "The lower group's selection ratio / the higher group's.")
      .def_property_readonly("passes_four_fifths", &outcome_view::passes,
                             "Whether every group's rate, the majority's included, is at least "
                             "0.8 of the highest.")
      .def_property_readonly(
          "cut_score", [](const outcome_view& v) { return v.solved_value(v.o.cut_score); },
          "The cut score on the predictor composite, on the majority group's scale.")
      .def_property_readonly(
          "mean", [](const outcome_view& v) { return v.solved_value(v.o.mean); },
          "The mean quality of all selected (needs the applicant mix).")
      .def_property_readonly(
          "mean_majority", [](const outcome_view& v) { return v.solved_value(v.o.mean_majority); },
          "The mean quality of the majority selected.")
      .def_property_readonly(
          "mean_minority", [](const outcome_view& v) { return v.solved_value(v.o.mean_minority); },
          "The mean quality of the minority selected.")
      .def_property_readonly(
          "mean_difference",
          [](const outcome_view& v) { return v.solved_value(v.o.mean_difference); },
          "mean_majority - mean_minority.")
      .def_property_readonly(
          "std_mean", [](const outcome_view& v) { return v.solved_value(v.o.std_mean); },
          "mean standardized over all applicants (needs the mix).")
      .def_property_readonly(
          "std_mean_majority",
          [](const outcome_view& v) { return v.solved_value(v.o.std_mean_majority); },
          "mean_majority standardized over all applicants (needs the mix).")
      .def_property_readonly(
          "std_mean_minority",
          [](const outcome_view& v) { return v.solved_value(v.o.std_mean_minority); },
          "mean_minority standardized over all applicants (needs the mix).")
      .def_property_readonly(
          "std_mean_difference",
          [](const outcome_view& v) { return v.solved_value(v.o.std_mean_difference); },
          "mean_difference standardized over all applicants (needs the mix).")
      .def_property_readonly(
          "status", [](const outcome_view& v) { return std::string(v.status()); },
          "solved, no_cut_score, ratio_outside_0_1 or invalid_argument.")
      .def("__repr__", [](const outcome_view& v) {
        const auto number = [](const std::optional<double>& x) {
          return x ? std::string(py::repr(py::float_(*x))) : std::string("None");
        };
        return "Outcome(target=" + number(v.o.target) +
               ", ai_ratio=" + number(v.solved_value(v.o.ai_ratio)) +
               ", cut_score=" + number(v.solved_value(v.o.cut_score)) +
               ", mean=" + number(v.solved_value(v.o.mean)) + ", status='" +
               std::string(v.status()) + "')";
      });

  m.def("read_text", &read_text, py::arg("text"),
        "Reads a JSON scenario or a deck: (Scenario or None, errors, warnings), each fault a "
        "(path, message) pair.");
  m.def("read_document", &read_document, py::arg("document"),
        "Reads a JSON scenario given as Python values: (Scenario or None, errors, warnings).");
  m.def("table_columns", &table_columns, py::arg("scenario"), py::arg("ratios"), py::arg("method"),
        py::arg("applicants") = py::none(), py::arg("replications") = py::none(),
        py::arg("seed") = py::none(), py::arg("alpha") = py::none(),
        "The table's columns as blocks of NumPy arrays, or its faults.");
  m.def("outcome", &outcome_call, py::arg("scenario"), py::arg("ratio"), py::arg("method"),
        "The outcome at one ratio.");
  m.def("outcomes", &outcomes_call, py::arg("scenario"), py::arg("ratios"), py::arg("method"),
        "The outcomes at many ratios, a NumPy array per column.");
  m.def("minimum", &minimum_call, py::arg("scenario"), py::arg("method"),
        "The four-fifths minimum as a dict.");
  m.def("pareto_columns", &pareto_call, py::arg("scenario"), py::arg("ratio"), py::arg("points"),
        py::arg("majority"), py::arg("objective"), py::arg("weights"), py::arg("calibration_n"),
        py::arg("replications"), py::arg("seed"), py::arg("threads"),
        "The Pareto front's columns as blocks of NumPy arrays, or its faults.");
  m.def("draws_columns", &draws_call, py::arg("scenario"), py::arg("ratio"), py::arg("points"),
        py::arg("majority"), py::arg("objective"), py::arg("weights"), py::arg("calibration_n"),
        py::arg("replications"), py::arg("seed"), py::arg("threads"), py::arg("first_replication"),
        "Every calibration sample's values at a front's points as columns, or the faults.");
  m.def("best_columns", &best_call, py::arg("scenario"), py::arg("ratio"), py::arg("min_ai"),
        py::arg("majority"), py::arg("objective"), py::arg("weights"), py::arg("calibration_n"),
        py::arg("replications"), py::arg("seed"), py::arg("threads"),
        "The best weighting for a minimum impact ratio as one row of columns, its faults, "
        "and what to say when the ratio is out of reach.");
  m.def("observed_columns", &observed_call, py::arg("text"), py::arg("reference"), py::arg("alpha"),
        py::arg("steps"),
        "The analysis of observed data (CSV or JSON text) as columns, or its faults.");
  m.def("fit_columns", &fit_call, py::arg("labels"), py::arg("group"), py::arg("scores"),
        py::arg("positions"), py::arg("group_name"), py::arg("predictors"), py::arg("criteria"),
        py::arg("reference"),
        "A scenario fitted to a validation sample's columns: (Scenario or None, errors, "
        "warnings).");
  m.def("batch_columns", &batch_call, py::arg("lines"), py::arg("ratios"), py::arg("method"),
        "The tables of many JSON scenarios as columns, the id first, and the faults of "
        "those that could not be read.");
  m.def("time_outcome", &time_outcome, py::arg("scenario"), py::arg("ratio"), py::arg("method"),
        py::arg("n"), "Seconds per outcome in C++ alone, the mean of n calls.");
  m.def("time_table", &time_table, py::arg("scenario"), py::arg("n"),
        "Seconds per table and its frame (precise method, no ratios) in C++ alone, the mean of "
        "n calls.");
}
