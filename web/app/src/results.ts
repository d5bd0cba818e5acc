// The answers drawn into the page: the four-fifths minimum, the outcomes
// at the chosen ratio, the plot across ratios, and the Pareto front with
// the best weighting for a minimum impact ratio. Every number shown keeps
// the engine's value in data-value (shortest round-trip form).
import type { Evaluation, FrontAnswer, Row, Weighting } from './answers';
import { element, error_line } from './dom';


/** A number as shown: fixed decimals, a true minus sign, "—" when there is none. */
export function shown(value: number | null | undefined, decimals: number): string {
  if (value === null || value === undefined || Number.isNaN(value)) return '—';
  const text = value.toFixed(decimals);
  return /^-0\.?0*$/.test(text) ? text.slice(1) : text.replace('-', '\u2212');
}

function number_cell(row: Row, column: string, decimals = 4): HTMLTableCellElement {
  const td = document.createElement('td');
  const value = row[column];
  td.dataset.column = column;
  if (typeof value === 'number') {
    td.dataset.value = String(value);
    td.textContent = shown(value, decimals);
  } else {
    td.textContent = '—';
  }
  return td;
}

function heading_cell(text: string): HTMLTableCellElement {
  const th = document.createElement('th');
  th.scope = 'row';
  th.textContent = text;
  return th;
}

const status_words: Record<string, string> = {
  solved: '',
  no_cut_score: 'No cut score gives this selection ratio.',
  ratio_outside_0_1: 'The selection ratio must lie strictly between 0 and 1.',
};

/** The SVG document of a chart, drawn inline (it is the engine's own, escaped there). */
function draw_chart(box: HTMLElement, svg: string | undefined): void {
  box.innerHTML = svg ?? '';
  const picture = box.querySelector('svg');
  if (picture) {
    picture.setAttribute('role', 'img');
    picture.removeAttribute('width');
    picture.removeAttribute('height');
  }
}

export class Results {
  private readonly minimum = element<HTMLElement>('minimum');
  private readonly minimum_note = element<HTMLElement>('minimum-note');
  private readonly composite = element<HTMLElement>('composite');
  private readonly table = element<HTMLTableElement>('outcomes');
  private readonly table_note = element<HTMLElement>('outcomes-note');
  private readonly ai_chart = element<HTMLElement>('ai-chart');
  private readonly front_chart = element<HTMLElement>('front-chart');
  private readonly answer = element<HTMLElement>('min-ai-answer');
  private readonly front_errors = element<HTMLElement>('front-errors');
  private readonly points = element<HTMLTableElement>('front-points');
  private readonly downloads = Array.from(document.querySelectorAll<HTMLButtonElement>('[data-download]'));

  /** Nothing computed: the input has errors (or the engine is not there yet). */
  clear(reason: string): void {
    this.minimum.textContent = '—';
    this.minimum.removeAttribute('data-value');
    this.minimum_note.textContent = reason;
    this.composite.textContent = '';
    this.table.tBodies[0].replaceChildren();
    this.table.caption!.textContent = 'Outcomes at the selection ratio';
    this.table_note.textContent = reason;
    draw_chart(this.ai_chart, undefined);
    this.clear_front(reason);
    for (const button of this.downloads) button.disabled = true;
  }

  private clear_front(reason: string): void {
    draw_chart(this.front_chart, undefined);
    this.answer.textContent = reason;
    this.front_errors.replaceChildren();
    this.points.tBodies[0].replaceChildren();
  }

  show_evaluation(e: Evaluation, ratio: number | null, mode: string, names: string[], narrow: boolean): void {
    const minimum = e.four_fifths_minimum;
    if (minimum) {
      this.minimum.textContent = shown(minimum.target, 3);
      this.minimum.dataset.value = String(minimum.target);
      this.minimum_note.textContent = `At this ${mode === 'majority' ? 'majority-group' : 'overall'} selection ratio ` +
        `the minority's selection rate is four fifths of the majority's (${shown(minimum.sr_minority, 3)} ` +
        `against ${shown(minimum.sr_majority, 3)}); selecting more keeps within the rule.`;
    } else {
      this.minimum.textContent = 'none';
      this.minimum.removeAttribute('data-value');
      // A composite without a proper variance (regression weights from a
      // predictor block that is not positive definite) has no outcomes at all.
      this.minimum_note.textContent = e.composites?.predictor_effect === null
        ? 'The predictor composite has no proper variance under these correlations, so no selection ratio can be worked out.'
        : 'No selection ratio has an impact ratio of exactly 0.8: the rule holds everywhere, or nowhere.';
    }
    const c = e.composites;
    const weights = (e.weights ?? []).map((w, i) => `${names[i]} ${shown(w, 3)}`).join(', ');
    this.composite.textContent = c
      ? `${e.regression ? 'Regression weights' : 'Weights'}: ${weights}. Composite effect size ${shown(c.predictor_effect, 3)}` +
        (c.validity !== undefined ? `, validity ${shown(c.validity, 3)}.` : '.')
      : '';

    this.show_table(e.rows?.[0], ratio, mode);
    draw_chart(this.ai_chart, narrow && e.ai_chart_screen ? e.ai_chart_screen : e.ai_chart);
    for (const button of this.downloads) button.disabled = false;
  }

  private show_table(row: Row | undefined, ratio: number | null, mode: string): void {
    const body = this.table.tBodies[0];
    const group = mode === 'majority' ? 'a majority-group' : 'an overall';
    this.table.caption!.textContent = ratio === null
      ? 'Outcomes at the selection ratio'
      : `Outcomes at ${group} selection ratio of ${ratio}`;
    if (!row) {
      body.replaceChildren();
      this.table_note.textContent = 'Give a selection ratio to see the outcomes there.';
      return;
    }
    this.table_note.textContent = status_words[String(row.status)] ?? String(row.status);
    const line = (label: string, columns: (string | null)[]) => {
      const tr = document.createElement('tr');
      tr.append(heading_cell(label));
      for (const column of columns) tr.append(column === null ? document.createElement('td') : number_cell(row, column));
      return tr;
    };
    const wide = (label: string, column: string, after = '') => {
      const tr = document.createElement('tr');
      const td = number_cell(row, column);
      td.colSpan = 3;
      if (after) td.append(` ${after}`);
      tr.append(heading_cell(label), td);
      return tr;
    };
    const passes = row.passes_four_fifths;
    body.replaceChildren(
      line('Selection rate', ['sr', 'sr_majority', 'sr_minority']),
      line('Mean quality (majority SD)', ['mean', 'mean_majority', 'mean_minority']),
      line('Mean quality (standardized)', ['std_mean', 'std_mean_majority', 'std_mean_minority']),
      wide('Impact ratio (minority ÷ majority)', 'ai_ratio',
        passes === null ? '' : passes ? '(meets the four-fifths rule)' : '(below four fifths: adverse impact)'),
      wide('Majority − minority mean quality (majority SD)', 'mean_difference'),
      wide('Majority − minority mean quality (standardized)', 'std_mean_difference'),
      wide('Cut score (majority SD)', 'cut_score'),
    );
  }

  show_front(f: FrontAnswer, names: string[], narrow: boolean): void {
    if (!f.front) this.clear_front('');
    // Why there is no front, or no answer for the minimum impact ratio.
    this.front_errors.replaceChildren(...(f.front_errors ?? []).map((fault) =>
      error_line(`${fault.message.charAt(0).toUpperCase()}${fault.message.slice(1)}.`)));
    if (!f.front) return;
    draw_chart(this.front_chart, narrow && f.front_chart_screen ? f.front_chart_screen : f.front_chart);
    const quality = f.front.objective === 'mean' ? 'mean criterion score' : 'validity';
    const weights = (w: Weighting) => names.map((name, j) => `${name} ${shown(w.weight_list[j], 3)}`).join(', ');
    const a = f.min_ai;
    if (a) {
      const w = a.weighting;
      const value = f.front.objective === 'mean' ? w.mean : w.validity;
      this.answer.textContent = a.reached
        ? `The best weighting with an impact ratio of at least ${shown(a.min_ai, 2)}: ${weights(w)}. ` +
          `Its impact ratio is ${shown(w.ai_ratio, 3)}, its ${quality} ${shown(value, 3)}.`
        : `No weighting reaches an impact ratio of ${shown(a.min_ai, 2)} at this selection ratio. ` +
          `The highest reachable is ${shown(w.ai_ratio, 3)}, with ${weights(w)} (${quality} ${shown(value, 3)}).`;
      this.answer.dataset.reached = String(a.reached);
    } else {
      this.answer.textContent = '';
    }
    this.show_points(f, names);
  }

  private show_points(f: FrontAnswer, names: string[]): void {
    const front = f.front!;
    const head = this.points.tHead!.rows[0];
    const columns = ['ai_ratio', front.objective === 'mean' ? 'mean' : 'validity'];
    head.replaceChildren(...['Point', 'Impact ratio', front.objective === 'mean' ? 'Mean criterion score' : 'Validity', ...names]
      .map((text) => {
        const th = document.createElement('th');
        th.scope = 'col';
        th.textContent = text;
        return th;
      }));
    this.points.tBodies[0].replaceChildren(...front.points.map((w, k) => {
      const tr = document.createElement('tr');
      tr.append(heading_cell(String(k + 1)));
      const row: Row = { ai_ratio: w.ai_ratio, validity: w.validity, mean: w.mean };
      for (const column of columns) tr.append(number_cell(row, column, 3));
      w.weight_list.forEach((x, j) => tr.append(number_cell({ [`w${j + 1}`]: x }, `w${j + 1}`, 3)));
      return tr;
    }));
  }
}
