#include "present/arguments.h"

#include <cmath>
#include <cstddef>
#include <limits>
#include <nlohmann/json.hpp>

#include "present/names.h"
#include "present/options.h"
#include "present/scenario.h"

namespace present {

namespace {

// "1st", "2nd", "3rd", "4th", ..., "11th", "12th", "13th", ..., "21st".
std::string ordinal(std::size_t n) {
  const std::size_t tens = n % 100;
  const char* suffix = "th";
  if (tens < 11 || tens > 13) {
    switch (n % 10) {
      case 1:
        suffix = "st";
        break;
      case 2:
        suffix = "nd";
        break;
      case 3:
        suffix = "rd";
        break;
      default:
        break;
    }
  }
  return std::to_string(n) + suffix;
}

}  // namespace

std::vector<fourfifths::fault> check_ratios(std::span<const double> ratios) {
  std::vector<fourfifths::fault> faults;
  if (ratios.empty()) {
    faults.push_back({"ratios", "the list is empty: give one or more ratios"});
    return faults;
  }
  if (ratios.size() > most_ratios) {
    faults.push_back({"ratios", "more than " + std::to_string(most_ratios) + " ratios"});
    return faults;
  }
  std::size_t more = 0;
  for (std::size_t i = 0; i < ratios.size(); ++i) {
    if (std::isfinite(ratios[i])) continue;
    if (faults.size() < most_faults) {
      faults.push_back({"ratios", "the " + ordinal(i + 1) + " ratio must be a finite number"});
    } else {
      ++more;
    }
  }
  if (more > 0) {
    faults.push_back({"ratios", "and " + std::to_string(more) + " more that are not finite"});
  }
  return faults;
}

std::optional<double> number_argument(std::string_view name, const nlohmann::json& value,
                                      std::vector<fourfifths::fault>& faults) {
  if (value.is_number()) return value.get<double>();
  faults.push_back({std::string(name), "must be a number"});
  return std::nullopt;
}

std::optional<int> points_argument(std::string_view name, const nlohmann::json& value,
                                   std::vector<fourfifths::fault>& faults) {
  constexpr long long most = std::numeric_limits<int>::max();
  constexpr long long least = std::numeric_limits<int>::min();
  const auto as_int = [](long long v) { return v < least || v > most ? 0 : static_cast<int>(v); };
  if (value.is_number_unsigned()) {
    const auto v = value.get<unsigned long long>();
    return v > static_cast<unsigned long long>(most) ? 0 : static_cast<int>(v);
  }
  if (value.is_number_integer()) return as_int(value.get<long long>());
  if (value.is_number_float()) {
    const double v = value.get<double>();
    // One far beyond an int is out of range before it is turned into one.
    if (std::isfinite(v) && v == std::floor(v)) {
      return std::abs(v) > 1e15 ? 0 : as_int(static_cast<long long>(v));
    }
  }
  faults.push_back({std::string(name), "must be a whole number"});
  return std::nullopt;
}

template <class E>
std::optional<E> name_argument(std::string_view name, const nlohmann::json& value,
                               std::vector<fourfifths::fault>& faults) {
  if (value.is_string()) {
    if (const std::optional<E> v = value_of<E>(value.get_ref<const std::string&>())) return v;
  }
  faults.push_back({std::string(name), "must be one of " + names_list<E>(", ")});
  return std::nullopt;
}

template std::optional<fourfifths::method> name_argument<fourfifths::method>(
    std::string_view, const nlohmann::json&, std::vector<fourfifths::fault>&);
template std::optional<fourfifths::pareto_objective> name_argument<fourfifths::pareto_objective>(
    std::string_view, const nlohmann::json&, std::vector<fourfifths::fault>&);
template std::optional<fourfifths::weight_signs> name_argument<fourfifths::weight_signs>(
    std::string_view, const nlohmann::json&, std::vector<fourfifths::fault>&);

std::optional<fourfifths::fault> method_fault(fourfifths::method m, bool several_groups) {
  if (several_groups && m != fourfifths::method::precise) {
    return fourfifths::fault{"method",
                             "several minority groups are analysed by the precise method only"};
  }
  return std::nullopt;
}

std::optional<fourfifths::method> method_argument(const nlohmann::json& value, bool several_groups,
                                                  std::vector<fourfifths::fault>& faults) {
  const std::optional<fourfifths::method> m =
      name_argument<fourfifths::method>("method", value, faults);
  if (m) {
    if (auto fault = method_fault(*m, several_groups)) {
      faults.push_back(std::move(*fault));
      return std::nullopt;
    }
  }
  return m;
}

std::vector<fourfifths::fault> pareto_arguments(
    std::string_view ratio_name, const nlohmann::json& ratio, const nlohmann::json& points,
    const nlohmann::json& objective, std::string_view signs_name, const nlohmann::json& signs,
    fourfifths::ratio_mode mode, fourfifths::pareto_options& out) {
  std::vector<fourfifths::fault> faults;
  out.mode = mode;
  if (const auto r = number_argument(ratio_name, ratio, faults)) out.ratio = *r;
  if (const auto p = points_argument("points", points, faults)) out.points = *p;
  if (const auto o = name_argument<fourfifths::pareto_objective>("objective", objective, faults)) {
    out.objective = *o;
  }
  if (const auto w = name_argument<fourfifths::weight_signs>(signs_name, signs, faults)) {
    out.signs = *w;
  }
  return faults;
}

namespace {

// A whole number given as an integer or as a number without a fraction;
// one beyond 64 bits is the fault.
std::optional<long long> whole_argument(std::string_view name, const nlohmann::json& value,
                                        std::vector<fourfifths::fault>& faults) {
  if (value.is_number_unsigned()) {
    const auto v = value.get<unsigned long long>();
    if (v <= static_cast<unsigned long long>(std::numeric_limits<long long>::max())) {
      return static_cast<long long>(v);
    }
  } else if (value.is_number_integer()) {
    return value.get<long long>();
  } else if (value.is_number_float()) {
    const double v = value.get<double>();
    if (std::isfinite(v) && v == std::floor(v) && std::abs(v) < 0x1p62) {
      return static_cast<long long>(v);
    }
  }
  faults.push_back({std::string(name), "must be a whole number"});
  return std::nullopt;
}

}  // namespace

std::optional<calibration_request> calibration_arguments(const nlohmann::json& calibration_n,
                                                         const nlohmann::json& replications,
                                                         const nlohmann::json& seed,
                                                         const nlohmann::json& threads,
                                                         unsigned cpus,
                                                         std::vector<fourfifths::fault>& faults) {
  if (calibration_n.is_null()) return std::nullopt;
  calibration_request r;
  const std::size_t before = faults.size();
  if (const auto n = whole_argument("calibration_n", calibration_n, faults)) r.calibration_n = *n;
  if (const auto k = whole_argument("replications", replications, faults)) {
    // One beyond an int is out of the library's range.
    r.replications = *k > std::numeric_limits<int>::max() || *k < 0 ? 0 : static_cast<int>(*k);
  }
  if (const auto s = whole_argument("seed", seed, faults)) {
    if (*s < 0) {
      faults.push_back({"seed", "must be 0 or more"});
    } else {
      r.seed = static_cast<std::uint64_t>(*s);
    }
  }
  r.threads = cpus;
  if (!threads.is_null()) {
    if (const auto t = whole_argument("threads", threads, faults)) {
      if (*t < 1 || *t > 1024) {
        faults.push_back({"threads", "must lie between 1 and 1024"});
      } else {
        r.threads = static_cast<unsigned>(*t);
      }
    }
  }
  if (faults.size() != before) return std::nullopt;
  return r;
}

std::optional<fourfifths::pool_options> pool_arguments(const nlohmann::json& applicants,
                                                       const nlohmann::json& replications,
                                                       const nlohmann::json& seed,
                                                       const nlohmann::json& alpha,
                                                       std::vector<fourfifths::fault>& faults) {
  if (applicants.is_null()) return std::nullopt;
  fourfifths::pool_options o;
  const std::size_t before = faults.size();
  if (const auto m = whole_argument("applicants", applicants, faults)) o.applicants = *m;
  if (const auto k = whole_argument("replications", replications, faults)) o.replications = *k;
  if (const auto s = whole_argument("seed", seed, faults)) {
    if (*s < 0) {
      faults.push_back({"seed", "must be 0 or more"});
    } else {
      o.seed = static_cast<std::uint64_t>(*s);
    }
  }
  if (const auto a = number_argument("alpha", alpha, faults)) o.alpha = *a;
  if (faults.size() != before) return std::nullopt;
  return o;
}

}  // namespace present
