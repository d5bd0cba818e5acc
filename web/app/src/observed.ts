// The page's second part: observed hiring counts, typed, pasted or opened
// from a file, and the explorer's analysis of them (fourfifths-explore
// observed): each group's rate against the reference's per unit or step and
// for all units together (or the bottom line), the four-fifths rule, the
// one-person checks, the tests, Mantel-Haenszel across units and the
// explorer's warnings, with its chart. Every number and warning is the
// engine's; this file only lays them out and says what the statuses mean.
import type { Engine } from '@engine';

import type { ObservedAnswer, Row } from './answers';
import { download, element, error_line } from './dom';
import { draw_chart, shown } from './results';

const examples = import.meta.glob('@examples/observed_{hiring,steps}.csv',
  { query: '?raw', import: 'default', eager: true }) as Record<string, string>;
const example = (name: string) => Object.entries(examples).find(([path]) => path.endsWith(name))?.[1] ?? '';

/** A p value: four decimals, two significant digits below 0.001. */
export function p_shown(v: number): string {
  return v >= 0.001 || v === 0 ? shown(v, 4) : v.toPrecision(2);
}

/** The explorer's statuses (present/observed_names.h) in words. */
const status_words: Record<string, string> = {
  compared: 'compared',
  reference: 'the reference',
  no_applicants: 'no applicants',
  no_reference: 'the reference has no applicants here',
  no_selections: 'neither selected anyone: no ratio, nothing to judge',
  all_selected: 'both selected everyone',
  reference_rate_zero: 'the reference selected no one',
  group_rate_zero: 'the group selected no one',
  no_shared_unit: 'no unit shared with the reference: not compared',
};

const mh_status_words: Record<string, string> = {
  tested: 'tested',
  no_shared_unit: 'no unit shared with the reference: not tested',
  no_variation: 'no test: in every unit everyone or no one was selected',
};

/** Why a one-person answer is missing (one_person_note), in words. */
const note_words: Record<string, string> = {
  group_selected_no_one: 'no move: the group selected no one',
  reference_selected_everyone: 'no move: the reference selected everyone',
  rate_not_lower: 'rate not lower: nothing to reverse',
};

type Kind = 'text' | 'count' | 'number' | 'p' | 'verdict' | 'flip' | 'reversal' | 'status';

/** The table's columns: key, title, how a value is shown, decimals. */
const columns: [string, string, Kind, number][] = [
  ['unit', 'Unit', 'text', 0],
  ['step', 'Step', 'text', 0],
  ['group', 'Group', 'text', 0],
  ['applicants', 'Applicants', 'count', 0],
  ['selected', 'Selected', 'count', 0],
  ['rate', 'Selection rate', 'number', 3],
  ['reference', 'Reference', 'text', 0],
  ['impact_ratio', 'Impact ratio', 'number', 3],
  ['passes_four_fifths', 'Four-fifths rule', 'verdict', 0],
  ['shortfall_four_fifths', 'Selections short of four fifths', 'count', 0],
  ['one_person_flip', 'Verdict changes if one selection moves', 'flip', 0],
  ['one_person_reversal', 'Guidelines\u2019 one-person rule: one job moved ends the gap', 'reversal', 0],
  ['z', 'z', 'number', 2],
  ['p_z', 'p (z test)', 'p', 0],
  ['p_fisher', 'p (Fisher)', 'p', 0],
  ['ci_low', 'Interval, low', 'number', 3],
  ['ci_high', 'Interval, high', 'number', 3],
  ['status', 'Status', 'status', 0],
];

/** The Mantel-Haenszel table's columns, from the rows of all units together. */
const mh_columns: [string, string, Kind, number][] = [
  ['group', 'Group', 'text', 0],
  ['reference', 'Against', 'text', 0],
  ['mh_units', 'Units pooled', 'count', 0],
  ['mh_odds_ratio', 'Odds ratio', 'number', 3],
  ['mh_ci_low', 'Interval, low', 'number', 3],
  ['mh_ci_high', 'Interval, high', 'number', 3],
  ['p_mh', 'p', 'p', 0],
  ['significant_mh', 'Significant', 'text', 0],
  ['mh_status', 'Status', 'status', 0],
];

/** Whether a row is of all units together or the bottom line. */
const pooled = (r: Row, steps: boolean) => (steps ? r.step === null || r.step === '' : r.unit === null || r.unit === '');

function cell(row: Row, key: string, kind: Kind, decimals: number): HTMLTableCellElement {
  const td = document.createElement('td');
  td.dataset.column = key;
  const v = row[key];
  if (v !== null && v !== undefined) td.dataset.value = String(v);
  const note = typeof row.one_person_note === 'string' ? row.one_person_note : '';
  let text = '—';
  if (kind === 'verdict') {
    if (row.status === 'reference') text = 'the reference';
    else if (v === true) text = 'holds';
    else if (v === false) text = 'adverse impact';
    else if (row.status === 'no_selections') text = 'not judged';
  } else if (kind === 'flip' || kind === 'reversal') {
    if (typeof v === 'boolean') text = v ? 'yes' : 'no';
    else if (note && (kind === 'reversal') === (note === 'rate_not_lower')) text = note_words[note] ?? note;
  } else if (kind === 'status') {
    if (typeof v === 'string') text = (key === 'mh_status' ? mh_status_words : status_words)[v] ?? v;
  } else if (typeof v === 'boolean') text = v ? 'yes' : 'no';
  else if (typeof v === 'number') text = kind === 'p' ? p_shown(v) : kind === 'number' ? shown(v, decimals) : String(v);
  else if (typeof v === 'string' && v !== '') text = v;
  td.textContent = text;
  return td;
}

/** Fills a table's head and body; `label` may rewrite a row's cells. */
function fill(table: HTMLTableElement, shown_columns: typeof columns, rows: Row[],
  each: (r: Row, tr: HTMLTableRowElement) => void = () => {}): void {
  table.tHead!.rows[0].replaceChildren(...shown_columns.map(([key, title]) => {
    const th = document.createElement('th');
    th.scope = 'col';
    th.dataset.column = key;
    th.textContent = title;
    return th;
  }));
  table.tBodies[0].replaceChildren(...rows.map((r) => {
    const tr = document.createElement('tr');
    for (const [key, , kind, decimals] of shown_columns) tr.append(cell(r, key, kind, decimals));
    each(r, tr);
    return tr;
  }));
}

/** "women (clerk)", "women (bottom line)", "women (all units together)", "women". */
function place(r: Row, steps: boolean, units: boolean): string {
  const where = steps ? (r.step ? String(r.step) : 'bottom line')
    : units ? (r.unit ? String(r.unit) : 'all units together') : '';
  return `${r.group}${where ? ` (${where})` : ''}`;
}

export class Observed {
  private readonly text = element<HTMLTextAreaElement>('observed-text');
  private readonly reference = element<HTMLInputElement>('observed-reference');
  private readonly alpha = element<HTMLInputElement>('observed-alpha');
  private readonly errors = element<HTMLElement>('observed-errors');
  private readonly warnings = element<HTMLElement>('observed-warnings');
  private readonly table = element<HTMLTableElement>('observed-table');
  private readonly note = element<HTMLElement>('observed-note');
  private readonly mh = element<HTMLElement>('observed-mh');
  private readonly mh_table = element<HTMLTableElement>('observed-mh-table');
  private readonly chart = element<HTMLElement>('observed-chart');
  private readonly csv_button = element<HTMLButtonElement>('observed-csv');
  private answer: ObservedAnswer | null = null;
  private timer = 0;

  constructor(private readonly engine: Engine, private readonly width: () => number) {
    for (const field of [this.text, this.reference, this.alpha]) {
      field.addEventListener('input', () => this.later());
    }
    for (const [id, name] of [['observed-example', 'observed_hiring.csv'], ['observed-example-steps', 'observed_steps.csv']]) {
      element<HTMLButtonElement>(id).addEventListener('click', () => {
        this.text.value = example(name);
        this.update();
      });
    }
    const file = element<HTMLInputElement>('observed-file');
    file.addEventListener('change', async () => {
      const f = file.files?.[0];
      if (!f) return;
      this.text.value = await f.text();
      file.value = '';
      this.update();
    });
    this.csv_button.addEventListener('click', () => {
      if (this.answer?.csv) download(this.answer.csv, 'observed.csv', 'text/csv');
    });
    this.update();
  }

  private later(): void {
    window.clearTimeout(this.timer);
    this.timer = window.setTimeout(() => this.update(), 120);
  }

  /** The counts as the engine reads them: a spreadsheet's tabs become commas. */
  private data(): string {
    const text = this.text.value;
    if (text.trimStart().startsWith('{') || !text.includes('\t')) return text;
    return text.split(/\r?\n/).map((line) => line.split('\t').map((c) => c.trim()).join(',')).join('\n');
  }

  update(): void {
    window.clearTimeout(this.timer);
    const data = this.data();
    document.documentElement.dataset.observed = 'busy';
    this.answer = null;
    this.csv_button.disabled = true;
    this.text.removeAttribute('aria-invalid');
    this.warnings.replaceChildren();
    if (data.trim() === '') {
      this.errors.replaceChildren();
      this.show(null);
      this.note.textContent = 'Type, paste or open counts to see them analysed.';
      document.documentElement.dataset.observed = 'settled';
      return;
    }
    const alpha = Number(this.alpha.value);
    const a = JSON.parse(this.engine.observed(JSON.stringify({
      data,
      reference: this.reference.value.trim() || null,
      alpha: this.alpha.value.trim() === '' || !Number.isFinite(alpha) ? null : alpha,
      width: this.width(),
    }))) as ObservedAnswer;
    this.errors.replaceChildren(...a.errors.map((f) => error_line(f.path ? `${f.path}: ${f.message}` : f.message)));
    if (a.errors.length > 0) {
      this.text.setAttribute('aria-invalid', 'true');
      this.show(null);
      this.note.textContent = 'Nothing is analysed while the counts have errors: see the messages under them.';
    } else {
      this.answer = a;
      this.warnings.replaceChildren(...(a.warnings ?? []).map((w) => {
        const p = document.createElement('p');
        p.className = 'warning';
        p.dataset.testid = 'observed-warning';
        p.textContent = `Warning: ${w.message}.`;
        return p;
      }));
      this.show(a);
      this.csv_button.disabled = false;
    }
    document.documentElement.dataset.observed = 'settled';
  }

  private show(a: ObservedAnswer | null): void {
    const analysis = a?.analysis;
    const rows = analysis?.rows ?? [];
    const steps = (analysis?.steps?.length ?? 0) > 0;
    const units = !steps && (analysis?.units.length ?? 0) > 0;
    const shown_columns = columns.filter(([key]) => (key !== 'unit' || units) && (key !== 'step' || steps));
    fill(this.table, shown_columns, rows, (r, tr) => {
      if (!(units || steps) || !pooled(r, steps)) return;
      // The rows of all units together, or the bottom line, as the
      // explorer's table labels them.
      tr.dataset.kind = 'pooled';
      const td = tr.querySelector(`td[data-column="${steps ? 'step' : 'unit'}"]`);
      if (td) td.textContent = steps ? '(bottom line)' : '(all units together)';
    });
    const across = rows.filter((r) => r.mh_status !== null && r.mh_status !== undefined);
    this.mh.hidden = across.length === 0;
    fill(this.mh_table, mh_columns, across);
    draw_chart(this.chart, a ? a.chart_screen ?? a.chart : undefined);
    if (!analysis) return;
    this.note.textContent = this.summary(rows, steps, units, analysis);
  }

  /** What the table says, in sentences, from the explorer's columns and statuses. */
  private summary(rows: Row[], steps: boolean, units: boolean, analysis: NonNullable<ObservedAnswer['analysis']>): string {
    const said: string[] = [];
    if (steps && analysis.steps) {
      said.push(`Steps: ${analysis.steps.join(', ')}; each among those who reached it${analysis.steps.length > 1
        ? ', then the bottom line (selected at the last step of applicants at the first)' : ''}.`);
    }
    const names = (list: Row[]) => list.map((r) => place(r, steps, units)).join(', ');
    const judged = rows.filter((r) => r.status !== 'reference' && typeof r.passes_four_fifths === 'boolean');
    const not_judged = rows.filter((r) => r.status === 'no_selections');
    const failing = judged.filter((r) => r.passes_four_fifths === false);
    if (new Set(rows.map((r) => r.group)).size < 2) {
      said.push('There is nothing to compare: the data have one group only, and the four-fifths rule compares a group with another.');
    } else if (judged.length === 0 && not_judged.length === 0) {
      said.push('There is nothing to compare: no group has applicants where its reference has (see the status column).');
    } else if (failing.length > 0) {
      said.push(`Below four fifths of the reference's rate: ${names(failing)}.`);
    } else if (judged.length > 0) {
      said.push(`Every group ${not_judged.length > 0 ? 'judged' : 'compared'} has at least four fifths of its reference's rate.`);
    }
    if (not_judged.length > 0) {
      said.push(`Not judged by the rule: ${names(not_judged)}: neither the group nor its reference selected anyone, so there is no ratio to judge.`);
    }
    const flips = failing.filter((r) => r.one_person_flip === true);
    if (flips.length > 0) {
      said.push(`For ${names(flips)} one person more selected would change the verdict: a verdict that thin is weak evidence.`);
    }
    const reversed = failing.filter((r) => r.one_person_reversal === true);
    if (reversed.length > 0) {
      said.push(`By the Guidelines' one-person rule adverse impact is not shown for ${names(reversed)}: one job given to the group instead of the reference would end the gap.`);
    }
    said.push(`Tests at the ${analysis.alpha} level; intervals cover ${Math.round(analysis.confidence * 100)}%.`);
    return said.join(' ');
  }
}
