#include "analysis/driver.h"

#include <cmath>
#include <optional>
#include <string_view>

#include "analysis/composite.h"
#include "analysis/problem.h"
#include "analysis/selection.h"
#include "analysis/tables.h"
#include "recordio/reader.h"
#include "recordio/termination.h"
#include "recordio/writer.h"

namespace analysis {

namespace {

constexpr recordio::layout too_many{"('Too many predictors and criteria')"};
constexpr recordio::layout no_criteria_for_regression{
    "('Regression weights can not be computed because no',/,'criteria are specified')"};
constexpr recordio::layout no_criteria_for_quality{
    "('Average criterion quality can not be computed because',/,'no criteria are specified')"};
constexpr recordio::layout bad_counts{
    "('Number of predictors must be positive and number of',/,'criteria can not be negative')"};
constexpr recordio::layout bad_regression_flag{
    "('Regression weight flag must be 0 (weights given) or 1',/,'(regression based weights)')"};
constexpr recordio::layout bad_ratio{
    "('Ratio number of majority vs number of minority applicants',/,'must be positive')"};

constexpr recordio::layout banner{
    "('Computing adverse impact and average quality of the ','selected subjects',/,'(with "
    "respect to either a criterion or a predictor ','composite)',/,'of a selection using a "
    "weighted predictor',' combination',/,'for a given overall or majority group ','related "
    "selection ratio',/,/,'Written by the fourfifths developers, fourfifths project,',/,'an "
    "international open source collaboration',/,/,'This program uses routines from the SLATEC "
    "library (www.netlib.org/slatec)',/,'and a couple of algorithms from the StatLib "
    "collection of applied',/,'statistics algorithms (lib.stat.cmu.edu/apstat)')"};
constexpr recordio::layout echo{
    "(/,'Problem specification',/,/,'Number of predictors:',I3,/,'Number of criteria:',I3,/,"
    "'Computation for overall selection ratio: ',A3,/,'Use regression based weights: ',A3,/,"
    "'Expected scores on (composite) criterion: ',A3)"};
constexpr recordio::layout echo_ratio{
    "('Ratio number of majority vs number of minority ','applicants:',F6.3)"};

// The echo's label of a flag.
std::string_view yes_no(int flag) { return flag == 1 ? "Yes" : "No "; }

// Reads 1 and 2: the header, and the applicant ratio in overall mode.
void read_header(recordio::list_reader& in, problem& p) {
  in.begin();
  for (int* item : {&p.np, &p.nc, &p.iosr, &p.ireg, &p.icrit, &p.nsr}) in.item(*item);
  in.end();
  if (p.iosr == 1) {
    in.begin();
    in.item(block.ratio);
    in.end();
    p.pa = block.ratio / (block.ratio + 1);
    p.pmin = 1 - p.pa;
  }
}

// One read of `count` values into elements 1..count. Each element is
// checked before its value is read.
template <typename Array>
void read_list(recordio::list_reader& in, Array& values, int count) {
  in.begin();
  for (int i = 1; i <= count; ++i) in.item(values(i));
  in.end();
}

// Reads 3 to 8, each under its condition; the matrix takes one read a row.
void read_body(recordio::list_reader& in, problem& p) {
  if (p.ireg == 0) read_list(in, p.wep, p.np);
  if (p.nc != 0) read_list(in, p.wec, p.nc);
  for (int i = 1; i <= p.nv; ++i) {
    in.begin();
    for (int j = 1; j <= p.nv; ++j) in.item(p.corin(i, j));
    in.end();
  }
  read_list(in, p.difp, p.np);
  if (p.nc != 0) read_list(in, p.difc, p.nc);
  if (p.nsr > 0) read_list(in, p.rsr, p.nsr);
}

void write_echo(recordio::session& s, const problem& p) {
  recordio::write(s, banner);
  recordio::write(s, echo, p.np, p.nc, yes_no(p.iosr), yes_no(p.ireg), yes_no(p.icrit));
  if (p.iosr == 1) recordio::write(s, echo_ratio, block.ratio);
}

}  // namespace

int check(recordio::session& s, int np, int nc, long long nv, int iosr, int ireg, int icrit,
          int /*nsr*/, double ratio) {
  int ierr = 0;
  auto fails = [&](bool failing, recordio::layout_view message) {
    if (!failing) return;
    recordio::write(s, message);
    ierr = 1;
  };
  fails(np > capacity || nc > 10 || nv > capacity, too_many);
  fails(ireg == 1 && nc <= 0, no_criteria_for_regression);
  fails(icrit == 1 && nc <= 0, no_criteria_for_quality);
  fails(np < 1 || nc < 0, bad_counts);
  fails(ireg != 0 && ireg != 1, bad_regression_flag);
  fails(iosr == 1 && !(ratio > 0 && std::isfinite(ratio)), bad_ratio);
  return ierr;
}

void driver(recordio::session& s) {
  // Every value starts at zero, so that an item a deck leaves unset by a
  // null or a slash reads as 0.
  block = objective_block{};
  problem p;
  recordio::list_reader in(s);

  read_header(in, p);
  const long long nv = static_cast<long long>(p.np) + p.nc;
  if (check(s, p.np, p.nc, nv, p.iosr, p.ireg, p.icrit, p.nsr, block.ratio) != 0) {
    // A rejected deck: its messages are the whole report, and the run fails.
    recordio::failure_stop(s);
  }
  p.nv = static_cast<int>(nv);
  read_body(in, p);

  write_echo(s, p);
  int info = 0;
  if (p.ireg == 1) regwei(p.corin, p.wec, p.np, p.nc, p.wep, info);
  write_problem_sections(s, p, info);
  const composite_stats c = composite_statistics(p);
  block.dpc = c.dpc;
  write_composite_sections(s, p, c);

  const std::optional<double> srmax = srmax_search(s, p);
  const selection_model model{p.iosr, p.icrit, p.pa, p.pmin, c.rpc, c.dcc};
  write_result_tables(s, p, model, srmax);
}

run_result run_in_memory(std::string_view deck) {
  recordio::session s(deck);
  run_result r;
  r.status = recordio::run_to_end(s, driver);
  r.report = s.report().text();
  r.diagnostics = s.errors().text();
  return r;
}

}  // namespace analysis
