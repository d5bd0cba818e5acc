#include "analysis/selection.h"

#include <cmath>

#include "numeric/dfzero.h"
#include "numeric/normal.h"
#include "recordio/writer.h"

namespace analysis {

objective_block block;

namespace {

// The bracket, the first guess and the tolerances of every cut-score solve.
constexpr double bracket_low = -8;
constexpr double bracket_high = 8;
constexpr double relative_tolerance = 1e-4;
constexpr double absolute_tolerance = 1e-6;

constexpr recordio::layout error_zero{"('ERROR ZERO ',I3,4D13.4)"};
constexpr recordio::layout error_ppnd{"('ERROR PPND ',I3,D13.4)"};

}  // namespace

int solve_cut_score(double (*objective)(double), double& b, double& c) {
  b = bracket_low;
  c = bracket_high;
  int iflag = 0;
  numeric::dfzero(objective, b, c, bracket_low, relative_tolerance, absolute_tolerance, iflag);
  return iflag;
}

bool solved(int iflag) { return iflag == 1 || iflag == 2; }

double upper_tail(double z) { return 1 - numeric::alnorm(z, false); }

double density(double z) { return std::exp(-((z * z) * 0.5)) / 2.506628274631; }

double fun(double x) {
  const double p1 = block.ratio / (block.ratio + 1);
  const double p2 = 1 - p1;
  block.sra = upper_tail(x);
  block.sri = upper_tail(x - block.dpc);
  return p1 * block.sra + p2 * block.sri - block.sr;
}

double fun1(double x) {
  block.sra = upper_tail(x);
  block.sri = upper_tail(x - block.dpc);
  return block.sri / block.sra - 0.8;
}

namespace {

// Majority mode: the cut score is the normal quantile of 1 - target.
bool majority_cut(recordio::session& s, double target, outcome& out) {
  block.sr = 1 - target;
  int ifault = 0;
  out.xcut = numeric::ppnd(block.sr, ifault);
  if (ifault != 0) {
    // A majority ratio outside (0, 1) has no cut score.
    recordio::write(s, error_ppnd, ifault, target);
    return false;
  }
  block.sra = upper_tail(out.xcut);
  block.sri = upper_tail(out.xcut - block.dpc);
  return true;
}

// Overall mode: the cut score is the zero of `fun` in [-8, 8]. The group
// ratios are those of the last evaluation, at one end of the final bracket.
bool overall_cut(recordio::session& s, double target, outcome& out) {
  block.sr = target;
  double b = 0;
  double c = 0;
  const int iflag = solve_cut_score(fun, b, c);
  if (!solved(iflag)) {
    recordio::write(s, error_zero, iflag, b, c, block.sra, block.sri);
    return false;
  }
  out.xcut = b;
  return true;
}

}  // namespace

bool selout(recordio::session& s, const selection_model& model, double target, outcome& out) {
  out = outcome{};
  const bool overall = model.iosr == 1;
  if (!(overall ? overall_cut(s, target, out) : majority_cut(s, target, out))) return false;

  const bool on_criterion = model.icrit == 1;
  out.sra = block.sra;
  out.sri = block.sri;
  out.ai = out.sri / out.sra;
  out.ma = on_criterion ? (density(out.xcut) * model.rpc) / out.sra : density(out.xcut) / out.sra;
  out.mi = on_criterion ? (density(out.xcut - block.dpc) * model.rpc) / out.sri + model.dcc
                        : density(out.xcut - block.dpc) / out.sri + block.dpc;
  out.dif = out.ma - out.mi;
  if (!overall) return true;

  // The overall mean divides by the target held in the block, not by the
  // mixture of the group ratios.
  out.m = (model.pa * out.sra * out.ma + model.pmin * out.sri * out.mi) / block.sr;
  const double e = on_criterion ? model.dcc : block.dpc;
  const double spread = std::sqrt(1 + (model.pa * model.pmin) * (e * e));
  out.sm = (out.m - model.pmin * e) / spread;
  out.sma = (out.ma - model.pmin * e) / spread;
  out.smi = (out.mi - model.pmin * e) / spread;
  out.sdif = out.sma - out.smi;
  return true;
}

}  // namespace analysis
