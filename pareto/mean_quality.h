// The mean criterion score of those selected at one selection ratio as a
// quality for the edge search (frontier::best_on_edge): its value, its
// partial derivatives, and enclosures of them over a box of validity and
// effect.
#ifndef FOURFIFTHS_PARETO_MEAN_QUALITY_H_
#define FOURFIFTHS_PARETO_MEAN_QUALITY_H_

#include <array>

#include "fourfifths/problem.h"
#include "pareto/frontier.h"

namespace pareto {

/// M(v, e), the mean criterion score of those selected at the selection
/// ratio R (overall or the majority's, as `mode` says) for a composite of
/// validity v and effect size e, as the analysis computes it (precise
/// method), with the criterion composite's effect size `criterion_effect`.
class mean_quality final : public edge_objective {
 public:
  mean_quality(fourfifths::ratio_mode mode, double ratio, fourfifths::applicant_mix mix,
               double criterion_effect);

  /// The analysis's M; minus infinity where no cut score gives R.
  [[nodiscard]] double value(double v, double e) const override;
  [[nodiscard]] std::array<double, 2> slopes(double v, double e) const override;
  [[nodiscard]] std::array<interval, 2> slopes(interval v, interval e) const override;

 private:
  [[nodiscard]] double cut(double e) const;

  fourfifths::ratio_mode mode_;
  double ratio_;
  fourfifths::applicant_mix mix_;
  double dcc_;
  double cut_;  // the majority's cut score in majority mode
};

}  // namespace pareto

#endif  // FOURFIFTHS_PARETO_MEAN_QUALITY_H_
