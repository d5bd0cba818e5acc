#include "present/calibration_output.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using fourfifths::cross_validated_point;
using fourfifths::spread;

// Two points of a calibration, their values set by hand.
fourfifths::cross_validation two_points() {
  fourfifths::cross_validation cv;
  cv.replications = 10;
  cross_validated_point a;
  a.level = 0;
  a.validity = spread{.mean = 0.41, .standard_error = 0.01, .q05 = 0.35, .q95 = 0.44};
  a.mean = spread{.mean = 0.9, .standard_error = 0.02, .q05 = 0.8, .q95 = 1.0};
  a.lowest_ratio = spread{.mean = 0.3, .standard_error = 0.01, .q05 = 0.2, .q95 = 0.5};
  cross_validated_point b = a;
  b.level = 0.6;
  b.validity.mean = 0.33;
  b.mean->mean = 0.7;
  b.lowest_ratio = spread{.mean = 0.62, .standard_error = 0.02, .q05 = 0.4, .q95 = 0.81};
  cv.points = {a, b};
  return cv;
}

present::figure one_panel() {
  present::figure f;
  f.panels.emplace_back();
  f.panels.front().lines.push_back({.label = "Pareto front", .x = {0.3, 0.7}, .y = {0.43, 0.3}});
  return f;
}

void expect_same(const std::vector<double>& got, const std::vector<double>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    if (std::isnan(want[i])) {
      EXPECT_TRUE(std::isnan(got[i])) << i;
    } else {
      EXPECT_EQ(got[i], want[i]) << i;
    }
  }
}

TEST(CalibrationSeries, EachPointsMeanAndItsRangeOfTheLowestRatio) {
  present::calibration_request r;
  r.calibration_n = 120;
  for (const bool validity : {true, false}) {
    present::figure f = one_panel();
    present::append_calibration_series(f, two_points(), r, validity);
    const std::vector<present::series>& lines = f.panels.front().lines;
    ASSERT_EQ(lines.size(), 3U) << "the front, the band and the means";
    const present::series& band = lines[1];
    const present::series& means = lines[2];
    const double gap = std::nan("");
    // Across each point, from its 5 % to its 95 % lowest ratio, at its
    // mean quality; a gap apart from the next.
    const double qa = validity ? 0.41 : 0.9;
    const double qb = validity ? 0.33 : 0.7;
    expect_same(band.x, {0.2, 0.5, gap, 0.4, 0.81, gap});
    expect_same(band.y, {qa, qa, gap, qb, qb, gap});
    expect_same(means.x, {0.3, 0.62});
    expect_same(means.y, {qa, qb});
    EXPECT_NE(band.label.find("calibration samples of 120"), std::string::npos) << band.label;
    EXPECT_NE(means.label.find("in new applicants"), std::string::npos) << means.label;
  }
}

TEST(CalibrationSeries, WithoutEveryShareTheMeanObjectiveHasNoPoints) {
  fourfifths::cross_validation cv = two_points();
  for (cross_validated_point& p : cv.points) p.mean.reset();
  present::figure f = one_panel();
  present::append_calibration_series(f, cv, present::calibration_request{}, false);
  for (const double y : f.panels.front().lines[2].y) EXPECT_TRUE(std::isnan(y));
}

TEST(CalibrationSeries, AFigureWithoutPanelsIsLeftAlone) {
  present::figure f;
  present::append_calibration_series(f, two_points(), present::calibration_request{}, true);
  EXPECT_TRUE(f.panels.empty());
}

}  // namespace
