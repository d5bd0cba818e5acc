// The report to hand on: a title, when it was made and by which version,
// the verdict in one sentence, the inputs, the tables and charts, what each
// number means, the baseline when one is pinned, and the model's caveats,
// on two pages at most, without the page's controls. Printing shows it
// alone (the print style sheet); saving gives it as one self-contained HTML
// file. Every number is the engine's: the report only words and arranges.
import type { Evaluation, FrontAnswer, GroupMinimum, Minimum, Row } from './answers';
import { type Scenario, ratio_of, variable_names } from './model';
import { direction_of, shown } from './results';

/** What a report is made from. */
export interface ReportInput {
  scenario: Scenario;
  /** The answers at the scenario's ratio, with the charts laid out for paper; null when nothing is computed. */
  evaluation: Evaluation | null;
  front: FrontAnswer | null;
  /** The engine's version (its version request). */
  version: string;
  made: Date;
}

/**
 * The charts' size on paper, in CSS pixels: an A4 page's width inside its
 * margins, and about a third of its height, so that both charts and the
 * tables fit two pages with the charts' text at the size it is drawn. The
 * plot's panels need the height for their axis titles; the front, one
 * wide panel, less.
 */
export const report_chart_width = 700;
export const report_plot_heights = [300, 340, 380, 420, 460, 500];
export const report_front_heights = [250, 300, 350, 400];

/** Whether every text of an SVG chart lies inside the picture, as laid out at its own size. */
function whole(svg: string): boolean {
  const box = document.createElement('div');
  box.style.cssText = 'position: absolute; left: -10000px; top: 0; visibility: hidden;';
  box.innerHTML = svg;
  // Beside the body, which the print style sheet empties but for the report.
  document.documentElement.append(box);
  try {
    const picture = box.querySelector('svg');
    const view = picture?.viewBox.baseVal;
    if (!picture || !view || view.width === 0) return true;
    picture.style.width = `${view.width}px`;
    picture.style.height = `${view.height}px`;
    const frame = picture.getBoundingClientRect();
    return Array.from(picture.querySelectorAll('text')).every((text) => {
      const b = text.getBoundingClientRect();
      return b.top >= frame.top - 0.5 && b.bottom <= frame.bottom + 0.5 && b.left >= frame.left - 0.5 && b.right <= frame.right + 0.5;
    });
  } finally {
    box.remove();
  }
}

/**
 * The engine's answer with its chart drawn at the lowest of `heights` at
 * which no text sticks out of it (an axis title longer than its panel, the
 * legend's rows taking the panels' height), else at the highest.
 */
export function drawn_whole<T>(heights: number[], answer: (height: number) => T, svg: (a: T) => string | undefined): T {
  let last = answer(heights[0]);
  for (const height of heights.slice(1)) {
    const drawn = svg(last);
    if (!drawn || whole(drawn)) return last;
    last = answer(height);
  }
  return last;
}

function el<K extends keyof HTMLElementTagNameMap>(tag: K, text?: string, cls?: string): HTMLElementTagNameMap[K] {
  const e = document.createElement(tag);
  if (text !== undefined) e.textContent = text;
  if (cls) e.className = cls;
  return e;
}

function table(head: string[], rows: string[][], cls = ''): HTMLTableElement {
  const t = el('table', undefined, cls);
  const tr = el('tr');
  for (const h of head) {
    const th = el('th', h);
    th.scope = 'col';
    tr.append(th);
  }
  t.createTHead().append(tr);
  const body = t.createTBody();
  for (const row of rows) {
    const r = el('tr');
    row.forEach((c, i) => r.append(i === 0 ? Object.assign(el('th', c), { scope: 'row' }) : el('td', c)));
    body.append(r);
  }
  return t;
}

/** A copy of a part of the page, without its controls and identifiers. */
function copy_of(id: string): HTMLElement | null {
  const original = document.getElementById(id);
  if (!original) return null;
  const copy = original.cloneNode(true) as HTMLElement;
  for (const e of [copy, ...copy.querySelectorAll<HTMLElement>('[id]')]) e.removeAttribute('id');
  for (const e of copy.querySelectorAll('button, input, select')) e.remove();
  copy.removeAttribute('data-testid');
  return copy;
}

/** An SVG chart for the report: the engine's drawing, named for readers. */
function chart(svg: string | undefined, label: string): HTMLElement | null {
  if (!svg) return null;
  const figure = el('figure', undefined, 'report-chart');
  figure.innerHTML = svg;
  const picture = figure.querySelector('svg');
  picture?.setAttribute('role', 'img');
  picture?.setAttribute('aria-label', label);
  picture?.removeAttribute('width');
  picture?.removeAttribute('height');
  figure.append(el('figcaption', label));
  return figure;
}

/** A list of terms and what they mean; the terms carry the numbers they explain. */
function definitions(items: [string, string][]): HTMLDListElement {
  const list = el('dl', undefined, 'report-terms');
  for (const [term, meaning] of items) {
    const pair = el('div');
    pair.append(el('dt', term), ' ', el('dd', meaning));
    list.append(pair);
  }
  return list;
}

const two_digits = (n: number) => String(n).padStart(2, '0');

/** The day in ISO 8601 (local time), the time and the offset from UTC. */
export function made_words(made: Date): { date: string; time: string } {
  const date = `${made.getFullYear()}-${two_digits(made.getMonth() + 1)}-${two_digits(made.getDate())}`;
  const offset = -made.getTimezoneOffset();
  const zone = `UTC${offset < 0 ? '\u2212' : '+'}${two_digits(Math.floor(Math.abs(offset) / 60))}:${two_digits(Math.abs(offset) % 60)}`;
  return { date, time: `${two_digits(made.getHours())}:${two_digits(made.getMinutes())} ${zone}` };
}

const num = (v: unknown): number | null => (typeof v === 'number' && Number.isFinite(v) ? v : null);

/** The applicants a selection ratio is a share of. */
const of_whom = (mode: string) => (mode === 'majority' ? 'the majority group\'s applicants' : 'all applicants');

/** Names as a list in words: "a", "a and b", "a, b and c". */
function listed(names: string[]): string {
  return names.length <= 1 ? names.join('') : `${names.slice(0, -1).join(', ')} and ${names[names.length - 1]}`;
}

/** At the four-fifths minimum of one minority group, whose rate reaches four fifths of whose. */
function lower_of(m: Minimum): string {
  return m.sr_minority <= m.sr_majority ? 'the minority\'s rate reaches four fifths of the majority\'s'
    : 'the majority\'s rate reaches four fifths of the minority\'s';
}

/** What the four-fifths minimum of one minority group is, or why there is none: the end of the verdict. */
function one_group_minimum(e: Evaluation): string {
  const m = e.four_fifths_minimum as Minimum | null | undefined;
  if (m) return `the smallest selection ratio at which ${lower_of(m)}, the four-fifths minimum, is ${shown(m.target, 3)}`;
  const effect = e.composites?.predictor_effect;
  if (effect === null || effect === undefined) return 'no selection ratio can be worked out, as the predictor composite has no proper variance';
  if (effect === 0) return 'the groups do not differ on the composite, so the rule holds at every selection ratio';
  const across = (e.across ?? []).filter((r) => r.status === 'solved');
  return across.length > 0 && across.every((r) => r.passes_four_fifths === true)
    ? 'the rule holds at every selection ratio, so there is no four-fifths minimum'
    : 'no selection ratio meets the rule, so there is no four-fifths minimum';
}

/** The verdict in one sentence, for one minority group. */
function one_group_verdict(s: Scenario, e: Evaluation): string {
  const row = e.rows?.[0];
  const ai = row && row.status === 'solved' ? num(row.ai_ratio) : null;
  const ratio = ratio_of(s);
  const minimum = one_group_minimum(e);
  if (ratio === null || ai === null) {
    return `No selection ratio is given to judge; ${minimum}.`;
  }
  const d = direction_of(ai);
  const at = `Selecting ${shown(ratio, 3).replace(/0+$/, '').replace(/\.$/, '')} of ${of_whom(s.mode)}`;
  let how: string;
  if (d.protects === 'neither') how = 'meets the four-fifths rule: both groups are selected at the same rate';
  else if (d.protects === 'minority') {
    how = d.holds
      ? `meets the four-fifths rule: the minority is selected at ${shown(ai, 3)} times the majority's rate, at least four fifths`
      : `does not meet the four-fifths rule: the minority is selected at ${shown(ai, 3)} times the majority's rate, below four fifths (adverse impact against the minority)`;
  } else {
    how = d.holds
      ? `meets the four-fifths rule: the minority is selected more often, and the majority's rate is ${shown(d.lower_over_higher, 3)} of the minority's, at least four fifths`
      : `does not meet the four-fifths rule: the minority is selected more often, and the majority's rate is only ${shown(d.lower_over_higher, 3)} of the minority's (adverse impact against the majority)`;
  }
  return `${at} ${how}; ${minimum}.`;
}

/** The rows of several groups at the requested ratio. */
const requested_rows = (e: Evaluation) => (e.rows ?? []).filter((r) => r.kind === 'requested');

/** The verdict in one sentence, for several minority groups. */
function groups_verdict(s: Scenario, e: Evaluation): string {
  const m = e.four_fifths_minimum as GroupMinimum | null | undefined;
  const minimum = m
    ? `every group reaches four fifths of the highest rate from a selection ratio of ${shown(m.sr, 3)}, the four-fifths minimum (${m.lowest_group} against ${m.highest_group})`
    : (e.group_effects ?? []).every((g) => g.predictor_effect === 0)
      ? 'no group differs from the majority on the composite, so the rule holds at every selection ratio'
      : 'no selection ratio keeps every group at four fifths of the highest rate';
  const at = requested_rows(e);
  const ratio = ratio_of(s);
  if (ratio === null || at.length === 0 || at[0].status !== 'solved') return `No selection ratio is given to judge; ${minimum}.`;
  const highest = at.find((r) => r.ratio_to_highest === 1)?.group ?? '';
  const failing = at.filter((r) => (num(r.ratio_to_highest) ?? 1) < 0.8);
  const selecting = `Selecting ${shown(ratio, 3).replace(/0+$/, '').replace(/\.$/, '')} of ${of_whom(s.mode)}`;
  const how = failing.length === 0
    ? `meets the four-fifths rule: every group's rate is at least four fifths of the highest (${highest}'s)`
    : `does not meet the four-fifths rule: ${listed(failing.map((r) => `${String(r.group)} (${shown(num(r.ratio_to_highest), 3)})`))} ` +
      `${failing.length === 1 ? 'is' : 'are'} selected at less than four fifths of the rate of ${highest}, the group selected most often (adverse impact)`;
  return `${selecting} ${how}; ${minimum}.`;
}

/** The verdict of a computed scenario in one plain sentence. */
export function verdict_sentence(s: Scenario, e: Evaluation): string {
  return e.several_groups ? groups_verdict(s, e) : one_group_verdict(s, e);
}

const quality_words = (s: Scenario, names: string[]) => (s.quality === 'predictor'
  ? 'the predictor composite'
  : `the criterion composite (${listed(names.slice(s.predictors.length))})`);

/** What the numbers shown mean, each with its value, for one minority group. */
function one_group_terms(s: Scenario, e: Evaluation, f: FrontAnswer | null): [string, string][] {
  const names = variable_names(s);
  const row = e.rows?.[0];
  const solved = row?.status === 'solved';
  const ai = solved ? num(row.ai_ratio) : null;
  const terms: [string, string][] = [];
  if (solved) {
    terms.push([`Selection ratio ${ratio_of(s)}`, `The share of ${of_whom(s.mode)} selected, those scoring highest on the weighted ` +
      `predictor composite (cut score ${shown(num(row.cut_score), 3)} on the majority's scale); a group's selection rate is the share ` +
      `of its own applicants selected (majority ${shown(num(row.sr_majority), 3)}, minority ${shown(num(row.sr_minority), 3)}).`]);
  }
  terms.push([ai === null ? 'Impact ratio' : `Impact ratio ${shown(ai, 3)}`,
    'The minority\'s selection rate divided by the majority\'s. The four-fifths rule asks that the lower rate be at least ' +
    '0.8 of the higher: below 0.8 the minority is adversely impacted, above 1.25 (1 ÷ 0.8) the majority.']);
  if (ai !== null) {
    const d = direction_of(ai);
    terms.push(['Direction of impact', d.protects === 'majority'
      ? `The minority scores higher on the composite and is selected more often, so the rule protects the majority: its rate ` +
        `is ${shown(d.lower_over_higher, 3)} of the minority's, ` +
        `${d.holds ? 'within four fifths.' : 'below four fifths, so the majority is the group adversely impacted.'}`
      : d.protects === 'minority'
        ? 'The minority scores lower on the composite and is selected less often, so the rule protects the minority: ' +
          `${d.holds ? 'its rate is within four fifths of the majority\'s.' : 'it is the group adversely impacted.'}`
        : 'Both groups are selected at the same rate: neither is adversely impacted.']);
  }
  const m = e.four_fifths_minimum as Minimum | null | undefined;
  terms.push([m ? `Four-fifths minimum ${shown(m.target, 3)}` : 'Four-fifths minimum: none',
    m ? `The smallest selection ratio at which the lower rate is four fifths of the higher: there ${lower_of(m)} ` +
      `(minority ${shown(m.sr_minority, 3)}, majority ${shown(m.sr_majority, 3)}). Rates draw together as more are selected: ` +
      'selecting fewer shows adverse impact, selecting more keeps within the rule.'
      : `The smallest selection ratio that meets the rule does not exist here: ${one_group_minimum(e)}.`]);
  if (solved) {
    terms.push([`Mean quality ${shown(num(row.mean), 3)}`, `The average score of those selected on ${quality_words(s, names)}, in ` +
      'the majority\'s standard deviations above the average majority applicant (majority ' +
      `${shown(num(row.mean_majority), 3)}, minority ${shown(num(row.mean_minority), 3)}); "standardized": over all applicants.`]);
  }
  terms.push(...composite_terms(e, f));
  return terms;
}

/** What the composite's and the front's numbers mean, for one group or several. */
function composite_terms(e: Evaluation, f: FrontAnswer | null): [string, string][] {
  const terms: [string, string][] = [];
  const c = e.composites;
  if (!e.several_groups && c && c.predictor_effect !== null) {
    terms.push([`Composite effect size ${shown(c.predictor_effect, 3)}`, 'The minority\'s mean on the predictor composite ' +
      'minus the majority\'s, in within-group standard deviations (negative: the minority scores lower); the further from 0, ' +
      'the further apart the groups\' rates.']);
  }
  if (c?.validity !== undefined && c.validity !== null) {
    terms.push([`Validity ${shown(c.validity, 3)}`, 'The correlation of the predictor composite with the criterion composite: how ' +
      'well the ranking predicts the criterion (0 not at all, 1 perfectly); the higher, the better those selected.']);
  }
  if (f?.front) {
    const quality = f.front.objective === 'mean' ? 'mean criterion score of those selected' : 'validity';
    const ratio = f.several_groups ? 'lowest ratio to the highest rate' : 'impact ratio';
    terms.push([`The Pareto front (${f.front.points.length} weightings)`, 'Weightings of the predictors that no other weighting ' +
      `beats on both ${ratio} and ${quality} at this selection ratio: moving along it trades quality for ${ratio}. ` +
      `The unit${f.front.given ? ', regression and given' : ' and regression'} weightings are marked.`]);
  }
  return terms;
}

/** What the numbers shown mean, each with its value, for several minority groups. */
function groups_terms(s: Scenario, e: Evaluation, f: FrontAnswer | null): [string, string][] {
  const names = variable_names(s);
  const at = requested_rows(e).filter((r) => r.status === 'solved');
  const highest = at.find((r) => r.ratio_to_highest === 1)?.group;
  const lowest = at.length ? at.reduce((a, b) => ((num(b.ratio_to_highest) ?? 1) < (num(a.ratio_to_highest) ?? 1) ? b : a)) : null;
  const above_majority = at.filter((r) => r.group !== 'majority' && (num(r.ai_vs_majority) ?? 0) > 1).map((r) => String(r.group));
  const terms: [string, string][] = [];
  if (at.length > 0) {
    terms.push([`Selection ratio ${ratio_of(s)}`, `The share of ${of_whom(s.mode)} selected, those with the highest scores on the ` +
      'weighted composite of the predictors. A group\'s selection rate is the share of its own applicants selected.']);
  }
  terms.push([lowest ? `Ratio to the highest rate (lowest ${shown(num(lowest.ratio_to_highest), 3)}, ${String(lowest.group)})` : 'Ratio to the highest rate',
    `Each group's selection rate divided by the highest rate of any group${highest ? ` (here ${String(highest)}'s)` : ''}. ` +
    'The four-fifths rule compares this with 0.8: a group below it is adversely impacted.']);
  terms.push(['Impact ratio (÷ majority)', 'Each group\'s rate divided by the majority\'s. It is the ratio to the highest rate ' +
    'unless a minority group is selected more often than the majority' +
    (above_majority.length ? ` (here ${listed(above_majority)}): then the majority too is measured against that group.` : '.')]);
  // The page's own words, which name every group at the highest rate.
  const direction = document.getElementById('direction')?.textContent?.trim();
  if (highest !== undefined) {
    terms.push(['Direction of impact', direction || (highest === 'majority'
      ? 'Here the majority is selected most often: the rule protects the minority groups selected less often.'
      : `Here ${String(highest)} is selected most often: the rule protects every group selected less often, the majority ` +
        `among them, which is adversely impacted when its rate is below four fifths of ${String(highest)}'s.`)]);
  }
  const m = e.four_fifths_minimum as GroupMinimum | null | undefined;
  terms.push([m ? `Four-fifths minimum ${shown(m.sr, 3)}` : 'Four-fifths minimum: none',
    m ? `The smallest selection ratio at which every group's rate is at least four fifths of the highest; it is decided by ${m.lowest_group} ` +
      `against ${m.highest_group}. Rates draw together as more applicants are selected: selecting fewer shows adverse impact.`
      : 'No selection ratio keeps every group at four fifths of the highest rate, or every one does (no group differs).']);
  if (at.length > 0) {
    terms.push([`Mean quality ${shown(num(at[0].mean), 3)}`, `The average score of those selected on ${quality_words(s, names)}, ` +
      'in standard deviations of the majority group above the average majority applicant; each group\'s own in its row.']);
  }
  const effects = (e.group_effects ?? []).map((g) => `${g.name} ${shown(g.predictor_effect, 3)}`);
  if (effects.length) {
    terms.push(['Composite effect sizes', `Each group's mean on the predictor composite minus the majority's, in within-group ` +
      `standard deviations (${effects.join(', ')}): negative for a group that scores lower.`]);
  }
  terms.push(...composite_terms(e, f));
  return terms;
}

/**
 * The table across ratios as two tables side by side (half of the rows
 * each), one row a selection ratio in increasing order (the built-in ones,
 * the four-fifths minimum and the requested ones, each once), with the
 * columns a reader of the verdict needs, so that it takes a fifth of a
 * page (the page's own table, and its CSV, have them all). One minority
 * group: the rates, the impact ratio, the mean quality and the group
 * adversely impacted; several: each group's ratio to the highest rate and
 * the groups below four fifths of it.
 */
function across_tables(rows: Row[], several: boolean): HTMLElement | null {
  type Line = { kind: string; target: number; cells: string[]; verdict: string };
  let head: string[];
  let lines: Line[];
  if (several) {
    const groups = [...new Set(rows.map((r) => String(r.group)))];
    const by_ratio = new Map<string, Row[]>();
    for (const r of rows) {
      const key = `${String(r.kind)} ${String(r.target)}`;
      by_ratio.set(key, [...(by_ratio.get(key) ?? []), r]);
    }
    head = [...groups.map((g) => `${g} ÷ highest`), 'Below four fifths'];
    lines = [...by_ratio.values()].map((list) => {
      const below = list.filter((r) => (num(r.ratio_to_highest) ?? 1) < 0.8).map((r) => String(r.group));
      return {
        kind: String(list[0].kind),
        target: num(list[0].target) ?? Number.NaN,
        cells: groups.map((g) => shown(num(list.find((x) => String(x.group) === g)?.ratio_to_highest), 3)),
        verdict: list.some((r) => r.status !== 'solved') ? '—' : below.length ? below.join(', ') : 'none',
      };
    });
  } else {
    head = ['Majority rate', 'Minority rate', 'Impact ratio', 'Mean quality', 'Adverse impact against'];
    lines = rows.map((r) => {
      const ai = r.status === 'solved' ? num(r.ai_ratio) : null;
      const d = ai === null ? null : direction_of(ai);
      return {
        kind: String(r.kind),
        target: num(r.target) ?? Number.NaN,
        cells: [shown(num(r.sr_majority), 4), shown(num(r.sr_minority), 4), shown(ai, 4), shown(num(r.mean), 4)],
        verdict: d === null ? '—' : d.holds ? 'none' : d.protects,
      };
    });
  }
  // A requested ratio that is also a built-in one is listed once, as requested.
  const requested = new Set(lines.filter((l) => l.kind === 'requested').map((l) => l.target));
  lines = lines.filter((l) => l.kind !== 'builtin' || !requested.has(l.target)).sort((a, b) => a.target - b.target);
  if (lines.length === 0) return null;
  // One table, whose rows hold a line of each half, so that it may break
  // between rows at the foot of a page.
  const t = el('table', undefined, 'report-small report-across');
  const heading = el('tr');
  for (const side of [0, 1]) {
    if (side === 1) heading.append(el('td', undefined, 'report-gap'));
    for (const h of ['Selection ratio', ...head]) {
      const th = el('th', h);
      th.scope = 'col';
      heading.append(th);
    }
  }
  t.createTHead().append(heading);
  const body = t.createTBody();
  const middle = Math.ceil(lines.length / 2);
  for (let i = 0; i < middle; i += 1) {
    const r = el('tr');
    for (const [side, line] of [lines[i], lines[middle + i]].entries()) {
      if (side === 1) r.append(el('td', undefined, 'report-gap'));
      if (!line) continue;
      const ratio = el('th', shown(line.target, 3));
      ratio.scope = 'row';
      if (line.kind !== 'builtin') {
        ratio.classList.add('report-special');
        ratio.append(el('span', ` ${line.kind}`, 'report-kind'));
      }
      const cells = [...line.cells, line.verdict].map((c) => el('td', c, line.kind === 'builtin' ? undefined : 'report-special'));
      cells[cells.length - 1].classList.add('report-verdict-cell');
      r.append(ratio, ...cells);
    }
    body.append(r);
  }
  return t;
}

/** The model's caveats: what the numbers rest on, and what they do not show. */
function caveats(): HTMLElement {
  const list = el('ul', undefined, 'report-caveats');
  for (const text of [
    'The model assumes normally distributed scores, with the same correlations and standard deviations in every group; ' +
      'the groups differ only in their means (the d values). Skewed scores, or groups that differ in spread, give other ' +
      'rates, most of all at small selection ratios.',
    'The inputs are taken as population values. Estimated from a sample, they carry its error: weights and a Pareto front ' +
      'computed from a sample promise more than they give in new applicants (the validity shrinks, the groups\' difference ' +
      'comes back); fourfifths-explore estimates that shrinkage for a calibration sample.',
    'The four-fifths rule is a rule of thumb, not a test of significance: a ratio below 0.8 in a small pool may be chance, ' +
      'one above it in a large pool may still be a real difference (the page\'s observed data part tests observed counts).',
    'These are the rates expected in a very large pool of applicants, not the counts of a real one: in a pool of a few ' +
      'dozen the numbers selected scatter around them, and one person more or fewer can change the verdict.',
  ]) list.append(el('li', text));
  return list;
}

export function build_report(root: HTMLElement, input: ReportInput): void {
  const { scenario: s, evaluation: e, front: f } = input;
  const names = variable_names(s);
  const several = s.groups.length > 0;
  const parts: HTMLElement[] = [];
  parts.push(el('h1', `Report: ${s.title || 'a selection scenario'}`));
  const made = made_words(input.made);
  const meta = el('p', undefined, 'report-lead');
  meta.dataset.testid = 'report-made';
  meta.append(`Made on ${made.date} at ${made.time} by fourfifths ${input.version}, in the browser.`);
  parts.push(meta);

  const verdict = el('p', e ? verdict_sentence(s, e) : 'Nothing is computed: the scenario has errors.', 'report-verdict');
  verdict.dataset.testid = 'report-verdict';
  parts.push(verdict);

  parts.push(el('h2', 'Inputs'));
  const mix = several ? 'given by the groups\' shares'
    : s.mix_kind === 'none' ? 'not given'
      : s.mix_kind === 'minority_share' ? `minority share ${s.mix}` : `${s.mix} majority applicants per minority applicant`;
  parts.push(el('p', `Selection ratio ${s.ratio} of ${s.mode === 'majority' ? 'the majority group' : 'all applicants'}` +
    `${s.more_ratios ? ` (also requested: ${s.more_ratios})` : ''}; applicant mix ${mix}; quality on the ` +
    `${s.quality} composite; ${s.regression ? 'regression weights on the criterion composite' : 'weights as given'}.`));
  const variables = [...s.predictors.map((v, i) => ['predictor', names[i], several ? '' : v.d, s.regression ? 'regression' : v.weight]),
    ...s.criteria.map((v, k) => ['criterion', names[s.predictors.length + k], several ? '' : v.d, v.weight])];
  const inputs = el('div', undefined, 'report-side');
  inputs.append(table(['Name', 'Kind', 'd', 'Weight'], variables.map(([kind, name, d, w]) => [name, kind, d, w]), 'report-small'));
  inputs.append(table(['', ...names.map((_, j) => String(j + 1))],
    s.correlations.map((row, i) => [`${i + 1} ${names[i]}`, ...row]), 'report-small report-matrix'));
  if (several) {
    inputs.append(table(['Group', 'Share', ...names.map((_, j) => `d${j + 1}`)], s.groups.map((g) => [g.name, g.share, ...g.d]), 'report-small'));
  }
  parts.push(inputs);
  const composite = document.getElementById('composite')?.textContent?.trim();
  if (e && composite) parts.push(el('p', composite));

  if (e) {
    parts.push(el('h2', 'At the selection ratio'));
    const at = copy_of(several ? 'group-table' : 'outcomes');
    if (at) {
      at.classList.add('report-small');
      parts.push(at);
    }
    const note = document.getElementById(several ? 'group-note' : 'outcomes-note')?.textContent?.trim();
    if (note) parts.push(el('p', note));

    const pinned = document.getElementById('baseline');
    const pinned_words = pinned && !pinned.hidden ? '; the baseline\'s dotted' : '';
    if (pinned_words) {
      const section = el('section', undefined, 'report-baseline');
      section.dataset.testid = 'report-baseline';
      section.append(el('h2', 'Against the baseline'));
      const note = document.getElementById('baseline-note')?.textContent?.trim();
      if (note) section.append(el('p', note));
      const compared = copy_of('baseline-table');
      if (compared) {
        compared.classList.add('report-small');
        section.append(compared);
      }
      parts.push(section);
    }

    // The explanation and the table across ratios, which may break between
    // their items and rows, fill the first page; the charts come whole, on
    // the next when there is no room.
    const meaning = el('section', undefined, 'report-meaning');
    meaning.dataset.testid = 'report-meaning';
    meaning.append(el('h2', 'What the numbers mean'),
      definitions(several ? groups_terms(s, e, f) : one_group_terms(s, e, f)));
    parts.push(meaning);

    const across = across_tables(e.across ?? [], several);
    if (across) {
      parts.push(el('h2', 'Across selection ratios'));
      parts.push(across);
    }

    const plot = chart(e.ai_chart_screen ?? e.ai_chart, several
      ? `Across selection ratios: each group's rate as a share of the highest, the rates and the mean quality${pinned_words}`
      : `Across selection ratios: the impact ratio with the four-fifths line and minimum, the rates and the mean quality${pinned_words}`);
    if (plot && e.composites?.predictor_effect !== null) parts.push(plot);

    const front = chart(f?.front_chart_screen ?? f?.front_chart, `The Pareto front at the selection ratio ${s.ratio}${pinned_words}`);
    if (front) parts.push(front);
    const answer = document.getElementById('min-ai-answer')?.textContent?.trim();
    if (answer && f?.front) parts.push(el('p', answer));
    for (const line of document.querySelectorAll('#front-errors p')) parts.push(el('p', line.textContent ?? ''));
  }

  const caveat = el('section', undefined, 'report-caveat');
  caveat.dataset.testid = 'report-caveats';
  caveat.append(el('h2', 'Caveats'), caveats());
  parts.push(caveat);
  root.replaceChildren(...parts);
}

/** Text for HTML: the characters that would start markup, written as references. */
const escaped = (text: string) => text.replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;');

/** The report as a self-contained HTML document: its own styles, no scripts. */
export function report_document(root: HTMLElement, page: Document): string {
  const title = root.querySelector('h1')?.textContent ?? page.title;
  return `<!doctype html>
<html lang="en"><head><meta charset="utf-8" /><meta name="viewport" content="width=device-width, initial-scale=1" />
<title>${escaped(title)}</title>
<style>${report_style}</style></head>
<body><main class="report">${root.innerHTML}</main></body></html>
`;
}

/** The report's look, on paper and in the saved file alike. */
export const report_style = `
.report { font-family: system-ui, sans-serif; color: #111; line-height: 1.25; font-size: 9pt; max-width: 60rem; margin: 0 auto; }
.report h1 { font-size: 13pt; margin: 0 0 0.1rem; }
.report h2 { font-size: 11pt; margin: 0.35rem 0 0.1rem; break-after: avoid; }
.report p { margin: 0.12rem 0; font-size: 8.5pt; }
.report p.report-lead { color: #333; }
.report p.report-verdict { font-size: 10pt; font-weight: 600; margin: 0.3rem 0; padding: 0.2rem 0.4rem; border-left: 3px solid #333; background: #f4f4f4; }
.report table { border-collapse: collapse; margin: 0.15rem 0; font-variant-numeric: tabular-nums; }
.report th, .report td { padding: 0.02rem 0.3rem; text-align: right; border-bottom: 1px solid #ddd; }
.report th[scope="row"], .report thead th:first-child { text-align: left; }
.report th[scope="colgroup"] { text-align: center; }
.report caption { text-align: left; font-weight: 600; }
.report .report-small { font-size: 7.5pt; }
.report .report-small th, .report .report-small td { white-space: nowrap; max-width: none; }
.report .report-side { display: flex; flex-wrap: wrap; gap: 0 1.2rem; align-items: flex-start; }
.report figure { margin: 0; break-inside: avoid; }
.report figure svg { display: block; width: 100%; max-width: 700px; height: auto; }
.report figcaption { font-size: 7.5pt; color: #444; }
.report tr { break-inside: avoid; }
.report table.report-across { font-size: 7pt; }
.report .report-across thead th { white-space: normal; vertical-align: bottom; max-width: 2.5rem; }
.report .report-across th, .report .report-across td { padding: 0.02rem 0.15rem; }
.report .report-across .report-special { font-weight: 600; }
.report .report-across .report-gap { border: none; width: 1rem; }
.report .report-kind { display: block; font-weight: normal; }
.report .report-across .report-verdict-cell { text-align: left; }
.report .report-terms { margin: 0; font-size: 7.5pt; }
.report .report-terms > div { margin: 0.08rem 0; break-inside: avoid; }
.report .report-terms dt { display: inline; font-weight: 600; }
.report .report-terms dt::after { content: ":"; }
.report .report-terms dd { display: inline; margin: 0; }
.report .report-caveats { margin: 0; padding-left: 1.1rem; font-size: 7.5pt; }
.report .report-caveats li { margin: 0.05rem 0; }
.report .report-caveats li { break-inside: avoid; }
`;
