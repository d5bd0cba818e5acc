// The population's numbers in a real sample and a real pool: what the
// front's weightings give in new applicants when they are estimated from a
// calibration sample of N (fourfifths-explore pareto --calibration-n), and
// how often a real pool of M applicants fails the four-fifths rule or shows
// a significant difference by chance alone (table --applicants). Nothing
// here is computed on every edit: the pool's chances after the typing
// pauses, the calibration samples when asked for, as they take a moment.
import type { Engine } from '@engine';

import type { Columns, Fault } from './answers';
import { element, error_line } from './dom';
import { draw_chart, shown } from './results';

/** What the sample's requests are made of, from the page's current state. */
export interface SampleInputs {
  scenario: Record<string, unknown>;
  ratio: number | null;
  front: { objective: string; signs: string };
  width: number;
  narrow: boolean;
}

interface Answer {
  errors: Fault[];
  front_errors?: Fault[];
  pool_errors?: Fault[];
  columns?: Columns;
  front_chart_screen?: string;
  front?: { calibration?: { calibration_n: number; replications: number; failed: number } };
}

/** A column of a frame by name (null where the frame has none). */
function column(c: Columns, name: string): (number | boolean | string | null)[] | null {
  const i = c.names.indexOf(name);
  return i < 0 ? null : c.columns[i];
}

/** The largest pool the page takes, and the most scores a simulation of pools draws. */
const most_pool = 100_000;
const pool_scores = 20_000_000;

const num = (v: unknown): number | null => (typeof v === 'number' && Number.isFinite(v) ? v : null);

/** A whole number from a field, or the field's fault. */
function whole(text: string, label: string, least: number, most: number): number | string | null {
  const t = text.trim();
  if (t === '') return null;
  if (!/^\d+$/.test(t)) return `${label}: must be a whole number of applicants, not "${t}".`;
  const v = Number(t);
  if (v < least || v > most) return `${label}: must lie between ${least} and ${most.toLocaleString('en')}.`;
  return v;
}

function cell(tag: 'td' | 'th', text: string, value?: number | null): HTMLTableCellElement {
  const c = document.createElement(tag);
  c.textContent = text;
  if (tag === 'th') c.scope = 'row';
  if (value !== undefined && value !== null) c.dataset.value = String(value);
  return c;
}

export class Sample {
  private readonly calibration_n = element<HTMLInputElement>('calibration-n');
  private readonly replications = element<HTMLSelectElement>('calibration-replications');
  private readonly simulate = element<HTMLButtonElement>('simulate');
  private readonly applicants = element<HTMLInputElement>('pool-applicants');
  private readonly errors = element<HTMLElement>('sample-errors');
  private readonly status = element<HTMLElement>('sample-status');
  private readonly chart = element<HTMLElement>('calibration-chart');
  private readonly calibration_table = element<HTMLTableElement>('calibration-table');
  private readonly pool_table = element<HTMLTableElement>('pool-table');
  private inputs: SampleInputs | null = null;
  private pool_timer = 0;
  /** What the shown answers were computed for. */
  private key = '';

  constructor(private readonly engine: Engine) {
    this.simulate.addEventListener('click', () => this.run_calibration());
    this.calibration_n.addEventListener('keydown', (event) => {
      if (event.key === 'Enter') this.run_calibration();
    });
    this.calibration_n.addEventListener('input', () => this.clear_calibration('Press “Simulate” to draw the calibration samples.'));
    this.replications.addEventListener('change', () => this.clear_calibration('Press “Simulate” to draw the calibration samples.'));
    this.applicants.addEventListener('input', () => this.pool_later());
  }

  /**
   * The scenario or its settings changed: what was computed for the old one
   * goes (never shown beside the new one), the pool's chances come again.
   */
  changed(inputs: SampleInputs | null): void {
    this.inputs = inputs;
    this.simulate.disabled = inputs === null || inputs.ratio === null;
    // A new width, say, recomputes the page but changes nothing here.
    const key = inputs === null ? '' : JSON.stringify([inputs.scenario, inputs.ratio, inputs.front]);
    if (key === this.key) return;
    this.key = key;
    if (this.calibration_table.tBodies[0].rows.length > 0 || this.chart.innerHTML !== '') {
      this.clear_calibration('The scenario or the front\'s settings changed: press “Simulate” again.');
    }
    this.pool_later();
  }

  private say(faults: string[]): void {
    this.errors.replaceChildren(...faults.map((f) => error_line(f)));
  }

  private clear_calibration(message: string): void {
    this.chart.replaceChildren();
    this.calibration_table.tBodies[0].replaceChildren();
    this.calibration_table.hidden = true;
    this.status.textContent = this.calibration_n.value.trim() === '' ? '' : message;
  }

  private run_calibration(): void {
    const inputs = this.inputs;
    if (!inputs || inputs.ratio === null) return;
    const n = whole(this.calibration_n.value, 'Applicants in the calibration sample', 2, 10_000_000);
    this.clear_calibration('');
    this.calibration_n.removeAttribute('aria-invalid');
    if (typeof n === 'string' || n === null) {
      this.say([typeof n === 'string' ? n : 'Applicants in the calibration sample: give a number to simulate.']);
      this.calibration_n.setAttribute('aria-invalid', 'true');
      return;
    }
    this.say([]);
    const replications = Number(this.replications.value);
    this.status.textContent = `Drawing ${replications} calibration samples of ${n} applicants…`;
    document.documentElement.dataset.sample = 'busy';
    // After the message is painted: the samples hold the page for a moment.
    requestAnimationFrame(() => setTimeout(() => {
      const a = JSON.parse(this.engine.front(JSON.stringify({
        scenario: inputs.scenario, ratio: inputs.ratio, ...inputs.front, narrow: inputs.narrow,
        width: inputs.width, downloads: false, calibration_n: n, replications, seed: 1,
      }))) as Answer;
      this.show_calibration(a, n, replications);
      document.documentElement.dataset.sample = 'settled';
    }, 0));
  }

  private show_calibration(a: Answer, n: number, replications: number): void {
    const faults = [...a.errors.map((f) => f.message),
      ...(a.front_errors ?? []).map((f) => (f.path === 'calibration' ? `Applicants in the calibration sample: ${f.message}` : f.message))];
    if (faults.length > 0 || !a.columns) {
      this.say(faults.length > 0 ? faults : ['The calibration could not be computed.']);
      this.calibration_n.setAttribute('aria-invalid', 'true');
      this.status.textContent = '';
      return;
    }
    draw_chart(this.chart, a.front_chart_screen);
    const c = a.columns;
    const level = column(c, 'cv_level') ?? [];
    const validity = column(c, 'validity');
    const mean = column(c, 'mean');
    const quality = (this.inputs?.front.objective ?? 'validity') === 'validity' ? 'validity' : 'mean';
    const population = quality === 'validity' ? validity : mean;
    const get = (name: string) => column(c, name) ?? [];
    const cv = { mean: get(`cv_${quality}`), q05: get(`cv_${quality}_q05`), q95: get(`cv_${quality}_q95`) };
    const ratio = { mean: get('cv_lowest_ratio'), q05: get('cv_lowest_ratio_q05'), q95: get('cv_lowest_ratio_q95') };
    const below = get('p_below_level');
    const formula = get('formula_validity');
    const with_formula = quality === 'validity' && formula.some((v) => num(v) !== null);
    const head = this.calibration_table.tHead!.rows[0];
    const titles = ['Point', 'Lowest ratio asked of the sample', quality === 'validity' ? 'Validity in the population' : 'Mean quality in the population',
      'In new applicants: mean', '5 % quantile', '95 % quantile', 'Lowest ratio in new applicants: mean', '5 % quantile', '95 % quantile', 'Chance below the level asked',
      ...(with_formula ? ['Validity by the shrinkage formula'] : [])];
    head.replaceChildren(...titles.map((t) => {
      const th = document.createElement('th');
      th.scope = 'col';
      th.textContent = t;
      return th;
    }));
    const rows: HTMLTableRowElement[] = [];
    for (let i = 0; i < level.length; i += 1) {
      const tr = document.createElement('tr');
      const values: [string, unknown, number][] = [
        ['cv_level', level[i], 3], [quality, population?.[i], 4], [`cv_${quality}`, cv.mean[i], 4], [`cv_${quality}_q05`, cv.q05[i], 4],
        [`cv_${quality}_q95`, cv.q95[i], 4], ['cv_lowest_ratio', ratio.mean[i], 3], ['cv_lowest_ratio_q05', ratio.q05[i], 3],
        ['cv_lowest_ratio_q95', ratio.q95[i], 3], ['p_below_level', below[i], 3],
        ...(with_formula ? [['formula_validity', formula[i], 4] as [string, unknown, number]] : []),
      ];
      tr.append(cell('th', String(i + 1)));
      for (const [key, v, decimals] of values) {
        const td = cell('td', num(v) === null ? '—' : shown(num(v), decimals), num(v));
        td.dataset.column = key;
        tr.append(td);
      }
      rows.push(tr);
    }
    this.calibration_table.tBodies[0].replaceChildren(...rows);
    this.calibration_table.hidden = false;
    const failed = a.front?.calibration?.failed ?? 0;
    this.status.textContent = `${replications} calibration samples of ${n} applicants` +
      (failed > 0 ? ` (${failed} allowed no front and are left out)` : '') +
      '. Each point\'s weights were found again in every sample, at the point\'s level, and applied to new applicants.';
  }

  private pool_later(): void {
    window.clearTimeout(this.pool_timer);
    this.pool_table.tBodies[0].replaceChildren();
    this.pool_table.hidden = true;
    this.pool_timer = window.setTimeout(() => this.run_pool(), 300);
  }

  private run_pool(): void {
    const inputs = this.inputs;
    this.applicants.removeAttribute('aria-invalid');
    const m = whole(this.applicants.value, 'Applicants in a real pool', 1, most_pool);
    if (!inputs || inputs.ratio === null || m === null) {
      if (m === null) this.say([]);
      return;
    }
    if (typeof m === 'string') {
      this.say([m]);
      this.applicants.setAttribute('aria-invalid', 'true');
      return;
    }
    // Where the chances are simulated, the pools drawn are bounded so that
    // the page answers within a few seconds whatever the pool's size.
    const replications = Math.max(200, Math.min(10_000, Math.floor(pool_scores / m)));
    const a = JSON.parse(this.engine.pool(JSON.stringify({
      scenario: inputs.scenario, ratio: inputs.ratio, applicants: m, replications, seed: 1,
    }))) as Answer;
    const faults = [...a.errors, ...(a.pool_errors ?? [])].map((f) => f.message);
    if (faults.length > 0 || !a.columns) {
      this.say(faults.length > 0 ? faults.map((f) => `Applicants in a real pool: ${f}`) : ['The pool could not be computed.']);
      this.applicants.setAttribute('aria-invalid', 'true');
      return;
    }
    this.say([]);
    const get = (name: string) => num(column(a.columns!, name)?.[0]);
    const method = column(a.columns, 'pool_method')?.[0];
    const rows: [string, string, string][] = [
      ['Selected from the pool', 'pool_selected', ''],
      ['Chance the pool fails the four-fifths rule', 'p_fail_four_fifths', 'p_fail_four_fifths_se'],
      ['Chance of a significant difference (Fisher\'s exact test)', 'p_fisher', 'p_fisher_se'],
      ['Chance of a significant difference (z test)', 'p_z', 'p_z_se'],
      ['Chance a group has no applicant in the pool', 'p_group_absent', 'p_group_absent_se'],
    ];
    this.pool_table.tBodies[0].replaceChildren(...rows.map(([label, key, se]) => {
      const tr = document.createElement('tr');
      tr.append(cell('th', label));
      const v = get(key);
      const td = cell('td', v === null ? '—' : key === 'pool_selected' ? String(v) : shown(v, 4), v);
      td.dataset.column = key;
      const e = se ? get(se) : null;
      const std = cell('td', e === null ? '' : `± ${shown(e, 4)}`, e);
      std.dataset.column = se;
      tr.append(td, std);
      return tr;
    }));
    this.pool_table.hidden = false;
    element<HTMLElement>('pool-method').textContent = method === 'exact'
      ? `Exact, for pools of ${m} applicants drawn from the scenario's population and selected top-down at ${inputs.ratio}.`
      : `Simulated (the ± figures are Monte Carlo standard errors), for pools of ${m} applicants drawn from the scenario's population and selected top-down at ${inputs.ratio}.`;
  }
}
