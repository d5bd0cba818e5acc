#include "present/options.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "present/names.h"

namespace present {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool decimal(std::string_view t) {
  std::size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  std::size_t digits = 0;
  while (i < t.size() && is_digit(t[i])) ++i, ++digits;
  if (i < t.size() && t[i] == '.') {
    ++i;
    while (i < t.size() && is_digit(t[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    std::size_t exponent = 0;
    while (i < t.size() && is_digit(t[i])) ++i, ++exponent;
    if (exponent == 0) return false;
  }
  return i == t.size();
}

std::optional<double> parse_number(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (!decimal(text)) return std::nullopt;
  // The grammar is checked above, so strtod (in the C locale of a program
  // that never sets one) reads exactly this text, correctly rounded.
  const std::string copy(text);
  const double v = std::strtod(copy.c_str(), nullptr);
  if (!std::isfinite(v)) return std::nullopt;
  return v;
}

std::optional<long long> parse_whole(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.empty() || text.size() > 18) return std::nullopt;
  long long v = 0;
  for (const char c : text) {
    if (!is_digit(c)) return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return v;
}

std::optional<std::vector<double>> parse_ratio_list(std::string_view text, std::string& error) {
  std::vector<double> ratios;
  if (text.find_first_not_of(' ') == std::string_view::npos) {
    error = "the list is empty: give one or more ratios, as 0.1,0.2";
    return std::nullopt;
  }
  for (;;) {
    const std::size_t comma = text.find(',');
    const std::string_view item = text.substr(0, comma);
    const std::optional<double> v = parse_number(item);
    if (!v) {
      error = "'" + std::string(item) + "' is not a number";
      return std::nullopt;
    }
    ratios.push_back(*v);
    if (ratios.size() > most_ratios) {
      error = "more than " + std::to_string(most_ratios) + " ratios";
      return std::nullopt;
    }
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  return ratios;
}

std::optional<std::vector<double>> parse_ratio_grid(std::string_view text, std::string& error) {
  const std::size_t first = text.find(':');
  const std::size_t second = first == std::string_view::npos ? first : text.find(':', first + 1);
  if (second == std::string_view::npos) {
    error = "'" + std::string(text) + "' is not FROM:TO:STEP";
    return std::nullopt;
  }
  const std::optional<double> from = parse_number(text.substr(0, first));
  const std::optional<double> to = parse_number(text.substr(first + 1, second - first - 1));
  const std::optional<double> step = parse_number(text.substr(second + 1));
  if (!from || !to || !step) {
    error = "'" + std::string(text) + "' is not FROM:TO:STEP with three numbers";
    return std::nullopt;
  }
  if (!(*step > 0) || *to < *from) {
    error = "the grid needs FROM <= TO and a positive STEP";
    return std::nullopt;
  }
  // from + k*step, each formed afresh, up to TO (with room for the rounding
  // of the last step).
  const double count = std::floor((*to - *from) / *step * (1 + 1e-12) + 1e-9) + 1;
  if (count > static_cast<double>(most_ratios)) {
    error = "the grid has more than " + std::to_string(most_ratios) + " ratios";
    return std::nullopt;
  }
  // Each point to 15 significant digits, so that 0.05 + 18 * 0.05 is 0.95
  // and not the double above it.
  std::vector<double> ratios;
  for (std::size_t k = 0; k < static_cast<std::size_t>(count); ++k) {
    char text15[32];
    std::snprintf(text15, sizeof text15, "%.15g", *from + static_cast<double>(k) * *step);
    ratios.push_back(std::strtod(text15, nullptr));
  }
  return ratios;
}

namespace {

// The value of a name at `key`, or a fault naming the names allowed.
template <class E>
void read_name(const nlohmann::json& request, const char* key, E& out,
               std::vector<fourfifths::fault>& faults) {
  const auto it = request.find(key);
  if (it == request.end() || it->is_null()) return;
  const std::optional<E> v =
      it->is_string() ? value_of<E>(it->template get_ref<const std::string&>()) : std::nullopt;
  if (v) {
    out = *v;
  } else {
    faults.push_back({key, "must be one of " + names_list<E>(", ")});
  }
}

}  // namespace

std::vector<fourfifths::fault> read_pareto_options(const nlohmann::json& request,
                                                   fourfifths::ratio_mode mode,
                                                   fourfifths::pareto_options& out) {
  std::vector<fourfifths::fault> faults;
  out.mode = mode;
  if (const auto r = request.find("ratio"); r != request.end() && !r->is_null()) {
    if (r->is_number()) {
      out.ratio = r->get<double>();
    } else {
      faults.push_back({"ratio", "must be a number"});
    }
  }
  if (const auto p = request.find("points"); p != request.end() && !p->is_null()) {
    if (p->is_number_integer()) {
      const auto v = p->get<long long>();
      // Out of range as a whole number of points: the library says so.
      out.points = v < fewest_points || v > most_points ? 0 : static_cast<int>(v);
    } else {
      out.points = 0;
    }
  }
  read_name(request, "objective", out.objective, faults);
  read_name(request, "signs", out.signs, faults);
  // The ranges are the library's to check, with its own words.
  return faults;
}

}  // namespace present
