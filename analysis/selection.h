// The selection outcome at one selection ratio: the cut score on the
// predictor composite, the group selection ratios, the adverse impact and
// the average quality of the selected applicants.
//
// Scale: on each composite the majority group has mean 0 and standard
// deviation 1; the minority group has standard deviation 1 and mean `dpc`
// (predictor composite) or `dcc` (criterion composite).
#ifndef FOURFIFTHS_ANALYSIS_SELECTION_H_
#define FOURFIFTHS_ANALYSIS_SELECTION_H_

#include "recordio/session.h"

namespace analysis {

/// The values that the driver shares with the zero finder's objectives,
/// which receive only the abscissa. One instance for the whole run.
struct objective_block {
  double sr = 0;     ///< overall mode: target overall ratio; majority mode: 1 - target
  double sra = 0;    ///< majority selection ratio at the last point evaluated
  double sri = 0;    ///< minority selection ratio at the last point evaluated
  double dpc = 0;    ///< effect size of the predictor composite
  double ratio = 0;  ///< majority applicants per minority applicant (overall mode)
};

/// The run's one objective block.
extern objective_block block;

/// Overall selection ratio at cut score x minus the target `sr`; leaves
/// `sra` and `sri` at x in the block.
double fun(double x);
/// Adverse impact ratio at cut score x minus 0.8; leaves `sra` and `sri`
/// at x in the block.
double fun1(double x);

/// Upper-tail area of the standard normal, as one minus the lower tail.
double upper_tail(double z);
/// The normal density, with the constant 2.506628274631.
double density(double z);

/// Runs the zero finder on `objective` over the bracket [-8, 8], starting
/// from -8, with a relative tolerance of 1e-4 and an absolute one of 1e-6 on
/// the cut score. `b` and `c` come back as the final ends; returns the status.
int solve_cut_score(double (*objective)(double), double& b, double& c);

/// Whether a solve's status gives a cut score: 1, a converged bracket, or
/// 2, an exact zero.
bool solved(int iflag);

/// What the outcome of a ratio depends on besides the block; fixed for the run.
struct selection_model {
  int iosr = 0;
  int icrit = 0;
  double pa = 0;
  double pmin = 0;
  double rpc = 0;
  double dcc = 0;
};

/// The outcome of one ratio. M and the standardized values only in overall mode.
struct outcome {
  double xcut = 0;
  double sra = 0, sri = 0, ai = 0;
  double ma = 0, mi = 0, dif = 0;
  double m = 0, sm = 0, sma = 0, smi = 0, sdif = 0;
};

/// The cut score and outcome at the target ratio (overall or majority, as
/// the mode says). Returns false when no cut score was found; the line that
/// says why ("ERROR ZERO" or "ERROR PPND") has then been written.
bool selout(recordio::session& s, const selection_model& model, double target, outcome& out);

}  // namespace analysis

#endif  // FOURFIFTHS_ANALYSIS_SELECTION_H_
