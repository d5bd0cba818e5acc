// The page's second part: observed hiring counts, typed, pasted or opened
// from a file, and the explorer's analysis of them (fourfifths-explore
// observed): each group's rate against the reference's, the four-fifths
// rule, the one-person check and the tests, with its chart.
import type { Engine } from '@engine';

import type { ObservedAnswer, Row } from './answers';
import { download, element, error_line } from './dom';
import { draw_chart, shown } from './results';

const example = import.meta.glob('@examples/observed_hiring.csv', { query: '?raw', import: 'default', eager: true }) as Record<string, string>;

/** The table's columns: key, title, decimals (null: as it is). */
const columns: [string, string, number | null][] = [
  ['unit', 'Unit', null],
  ['group', 'Group', null],
  ['applicants', 'Applicants', null],
  ['selected', 'Selected', null],
  ['rate', 'Selection rate', 3],
  ['reference', 'Reference', null],
  ['impact_ratio', 'Impact ratio', 3],
  ['passes_four_fifths', 'Four-fifths rule', null],
  ['shortfall_four_fifths', 'Selections short of four fifths', null],
  ['one_person_flip', 'One person changes the verdict', null],
  ['z', 'z', 2],
  ['p_z', 'p (z test)', 4],
  ['p_fisher', 'p (Fisher)', 4],
  ['ci_low', 'Interval, low', 3],
  ['ci_high', 'Interval, high', 3],
];

function cell(row: Row, key: string, decimals: number | null): HTMLTableCellElement {
  const td = document.createElement('td');
  td.dataset.column = key;
  const v = row[key];
  if (v === null || v === undefined) td.textContent = '—';
  else if (typeof v === 'boolean') {
    td.textContent = key === 'passes_four_fifths' ? (v ? 'holds' : 'adverse impact') : v ? 'yes' : 'no';
    td.dataset.value = String(v);
  } else if (typeof v === 'number') {
    td.dataset.value = String(v);
    td.textContent = decimals === null ? String(v) : shown(v, decimals);
  } else td.textContent = v;
  return td;
}

export class Observed {
  private readonly text = element<HTMLTextAreaElement>('observed-text');
  private readonly reference = element<HTMLInputElement>('observed-reference');
  private readonly alpha = element<HTMLInputElement>('observed-alpha');
  private readonly errors = element<HTMLElement>('observed-errors');
  private readonly table = element<HTMLTableElement>('observed-table');
  private readonly note = element<HTMLElement>('observed-note');
  private readonly chart = element<HTMLElement>('observed-chart');
  private readonly csv_button = element<HTMLButtonElement>('observed-csv');
  private answer: ObservedAnswer | null = null;
  private timer = 0;

  constructor(private readonly engine: Engine, private readonly width: () => number) {
    for (const field of [this.text, this.reference, this.alpha]) {
      field.addEventListener('input', () => this.later());
    }
    element<HTMLButtonElement>('observed-example').addEventListener('click', () => {
      this.text.value = Object.values(example)[0] ?? '';
      this.update();
    });
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
      this.show(a);
      this.csv_button.disabled = false;
    }
    document.documentElement.dataset.observed = 'settled';
  }

  private show(a: ObservedAnswer | null): void {
    const rows = a?.analysis?.rows ?? [];
    const units = rows.some((r) => r.unit !== '' && r.unit !== null);
    const shown_columns = columns.filter(([key]) => key !== 'unit' || units);
    const head = this.table.tHead!.rows[0];
    head.replaceChildren(...shown_columns.map(([, title]) => {
      const th = document.createElement('th');
      th.scope = 'col';
      th.textContent = title;
      return th;
    }));
    this.table.tBodies[0].replaceChildren(...rows.map((r) => {
      const tr = document.createElement('tr');
      for (const [key, , decimals] of shown_columns) {
        const td = cell(r, key, decimals);
        if (key === 'unit' && (r.unit === '' || r.unit === null)) td.textContent = 'all units';
        tr.append(td);
      }
      return tr;
    }));
    draw_chart(this.chart, a ? a.chart_screen ?? a.chart : undefined);
    if (!a?.analysis) return;
    const failing = rows.filter((r) => r.passes_four_fifths === false);
    const flips = failing.filter((r) => r.one_person_flip === true);
    this.note.textContent = `${failing.length === 0 ? 'Every group has at least four fifths of its reference\'s rate.'
      : `Below four fifths of the reference's rate: ${failing.map((r) => `${r.group}${r.unit ? ` (${r.unit})` : ''}`).join(', ')}.`}` +
      (flips.length > 0 ? ` For ${flips.map((r) => r.group).join(', ')} one person more selected would change the verdict: a verdict that thin is weak evidence.` : '') +
      ` Tests at the ${a.analysis.alpha} level; intervals cover ${Math.round(a.analysis.confidence * 100)}%.`;
  }
}
