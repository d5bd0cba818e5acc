#include "analysis/tables.h"

#include "recordio/writer.h"

namespace analysis {

namespace {

constexpr recordio::layout srmax_failed{"(/,'Error in srmax ')"};
constexpr recordio::layout srmax_overall{
    "(/,'Minimum overall selection ratio without AI 4/5th rule',' is ',F7.3,/,'with selection "
    "ratio majority and minority group',' equal',/,'to ',2F7.3,' , respectively')"};
constexpr recordio::layout srmax_majority{
    "(/,'Minimal majority selection ratio without AI 4/5th rule',' is ',F7.3,/,'with "
    "corresponding selection ratio minority group',' equal',/,'to ',F7.3)"};

constexpr recordio::layout overall_explanation{
    "(/,'For each overall selection ratio (SR): the majority ','group SR (SRA)',/,'the "
    "minority group SR (SRI), ','the adverse ','impact (AI), the overall',/,'average "
    "quality',' of the ','selected individuals (with respect to',/,'the majority group "
    "distribution: wrtmgd) (M), the average',' quality',/,'of the majority group selected "
    "{wrtmgd) (MA) and',' the ','minority',/,'group selected (again wrtmgd) (MI), and the ',' "
    "difference between',/,'MA and MI.',/,'On the second line: the globally standardized (gs) "
    "overall',' average',/,'quality of the selected individuals (SM), the (gs)',' average "
    "quality of the',/,'majority selected individuals (SMA)',', the (gs) average quality of "
    "the',/,'minority selected (SMI)',' and the difference between SMA and SMI (SDIF)',/)"};
constexpr recordio::layout overall_titles{
    "(5X,'SR',5X,'SRA',5X,'SRI',6X,'AI',7X,'M',6X,'MA',6X,'MI',5X,'DIF',/,8X,'SM',5X,'SMA',5X,"
    "'SMI',4X,'SDIF')"};
constexpr recordio::layout majority_explanation{
    "(/,'For each majority selection ratio (SRA) the ','corresponding',/,'minority group SR "
    "(SRI), ','the adverse ','impact (AI), the average',/,'quality of the majority group "
    "selected (MA) and the',/,'minority group selected (MI)',/)"};
constexpr recordio::layout majority_titles{"(4X,'SRA',5X,'SRI',6X,'AI',6X,'MA',6X,'MI',/)"};

constexpr recordio::layout overall_minimum_heading{
    "('Details for minimum possible overall SR without AI')"};
constexpr recordio::layout majority_minimum_heading{
    "('Details for minimum possible majority SR without AI')"};
constexpr recordio::layout overall_requested_heading{
    "('Details for requested overall selection ratios')"};
constexpr recordio::layout majority_requested_heading{
    "('Details for requested majority selection ratios')"};

constexpr recordio::layout overall_row{"(9(F7.3,1X))"};
constexpr recordio::layout overall_standardized_row{"(3X,8(F7.3,1X))"};
constexpr recordio::layout majority_row{"(6(F7.3,1X))"};

}  // namespace

std::optional<double> srmax_search(recordio::session& s, const problem& p) {
  double b = 0;
  double c = 0;
  if (!solved(solve_cut_score(fun1, b, c))) {
    recordio::write(s, srmax_failed);
    return std::nullopt;
  }
  // The group ratios are those of the last evaluation of fun1.
  const double sra = block.sra;
  const double sri = block.sri;
  if (p.iosr == 1) {
    const double srmax = p.pa * sra + p.pmin * sri;
    recordio::write(s, srmax_overall, srmax, sra, sri);
    return srmax;
  }
  recordio::write(s, srmax_majority, sra, sri);
  return sra;
}

namespace {

void write_entry(recordio::session& s, const selection_model& model, double ratio) {
  outcome out;
  if (!selout(s, model, ratio, out)) return;
  if (model.iosr == 1) {
    recordio::write(s, overall_row, ratio, out.sra, out.sri, out.ai, out.m, out.ma, out.mi,
                    out.dif);
    recordio::write(s, overall_standardized_row, out.sm, out.sma, out.smi, out.sdif);
  } else {
    recordio::write(s, majority_row, out.sra, out.sri, out.ai, out.ma, out.mi, out.dif);
  }
}

}  // namespace

void write_result_tables(recordio::session& s, const problem& p, const selection_model& model,
                         std::optional<double> srmax) {
  const bool overall = p.iosr == 1;
  if (overall) {
    recordio::write(s, overall_explanation);
    recordio::write(s, overall_titles);
  } else {
    recordio::write(s, majority_explanation);
    recordio::write(s, majority_titles);
  }

  for (double ratio : sr1) write_entry(s, model, ratio);

  // Without a minimum there is no entry 22 at all: "Error in srmax" has
  // already said why.
  if (srmax) {
    if (overall) {
      recordio::write(s, overall_minimum_heading);
    } else {
      recordio::write(s, majority_minimum_heading);
    }
    write_entry(s, model, *srmax);
  }

  const int nsr = p.requested();
  if (nsr == 0) return;
  if (overall) {
    recordio::write(s, overall_requested_heading);
  } else {
    recordio::write(s, majority_requested_heading);
  }
  for (int k = 1; k <= nsr; ++k) write_entry(s, model, p.rsr(k));
}

}  // namespace analysis
