// A pinned scenario to compare with: its numbers beside the current ones,
// with the difference; the engine draws its curves into the current chart
// (the request's "baseline").
import type { Engine } from '@engine';

import type { Evaluation, Fault, GroupMinimum, Minimum, Row } from './answers';
import { element } from './dom';
import { all_faults } from './faults';
import { shown } from './results';

interface Pinned {
  doc: Record<string, unknown>;
  title: string;
  evaluation: Evaluation;
}

/** The numbers compared, each from an evaluation at its own selection ratio. */
function figures(e: Evaluation): [string, number | null][] {
  const row: Row | undefined = e.several_groups ? undefined : e.rows?.[0];
  const num = (v: unknown) => (typeof v === 'number' ? v : null);
  const minimum = e.several_groups
    ? (e.four_fifths_minimum as GroupMinimum | null | undefined)?.sr ?? null
    : (e.four_fifths_minimum as Minimum | null | undefined)?.target ?? null;
  const list: [string, number | null][] = [['Four-fifths minimum selection ratio', minimum]];
  if (row) {
    list.push(['Impact ratio at the selection ratio', num(row.ai_ratio)],
      ['Minority selection rate', num(row.sr_minority)],
      ['Majority selection rate', num(row.sr_majority)],
      ['Mean quality of those selected (majority SD)', num(row.mean)]);
  } else {
    const at = (e.rows ?? []).filter((r) => r.kind === 'requested');
    const lowest = at.length ? Math.min(...at.map((r) => Number(r.ratio_to_highest))) : null;
    list.push(['Lowest ratio to the highest rate', lowest]);
  }
  // With groups, each group's own: the composites' is the first group's.
  if (e.several_groups && e.group_effects) {
    for (const g of e.group_effects) list.push([`Composite effect size of ${g.name}`, g.predictor_effect]);
  } else {
    list.push(['Composite effect size', e.composites?.predictor_effect ?? null]);
  }
  if (e.composites?.validity !== undefined) list.push(['Validity', e.composites.validity]);
  return list;
}

export class Baseline {
  private pinned: Pinned | null = null;
  private readonly section = element<HTMLElement>('baseline');

  constructor(private readonly engine: Engine) {}

  /** Pins a scenario; its faults, when it has any (then nothing is pinned). */
  pin(doc: Record<string, unknown>, title: string): Fault[] {
    const ratio = Array.isArray(doc.requested_ratios) && typeof doc.requested_ratios[0] === 'number'
      ? doc.requested_ratios[0] : null;
    const evaluation = JSON.parse(this.engine.evaluate(JSON.stringify({ scenario: doc, ratio }))) as Evaluation;
    // Every fault at once, and the page's own check of the selection ratio.
    const errors = all_faults(this.engine, doc, ratio, evaluation.errors);
    if (errors.length > 0) return errors;
    this.pinned = { doc: structuredClone(doc), title, evaluation };
    element<HTMLButtonElement>('clear-baseline').hidden = false;
    return [];
  }

  /** The pinned scenario, which the engine draws into the current chart. */
  document(): Record<string, unknown> | null {
    return this.pinned?.doc ?? null;
  }

  clear(): void {
    this.pinned = null;
    this.section.hidden = true;
    element<HTMLButtonElement>('clear-baseline').hidden = true;
  }

  /** Nothing computed now: no numbers of an earlier scenario stay beside the errors. */
  hide(): void {
    this.section.hidden = true;
  }

  /** Shows the differences from the pinned scenario, when there is one. */
  compare(now: Evaluation): void {
    if (!this.pinned) return;
    this.section.hidden = false;
    const base = figures(this.pinned.evaluation);
    const current = new Map(figures(now));
    element<HTMLElement>('baseline-note').textContent =
      `The baseline is ${this.pinned.title ? `“${this.pinned.title}”` : 'the scenario'} as pinned; each at its own selection ratio.`;
    const body = element<HTMLTableElement>('baseline-table').tBodies[0];
    body.replaceChildren(...base.map(([label, b]) => {
      const n = current.get(label) ?? null;
      const tr = document.createElement('tr');
      const th = document.createElement('th');
      th.scope = 'row';
      th.textContent = label;
      tr.append(th);
      for (const [column, v] of [['baseline', b], ['now', n], ['difference', b !== null && n !== null ? n - b : null]] as const) {
        const td = document.createElement('td');
        td.dataset.column = column;
        if (v !== null) td.dataset.value = String(v);
        td.textContent = v === null ? '—' : column === 'difference' && v > 0 ? `+${shown(v, 4)}` : shown(v, 4);
        tr.append(td);
      }
      return tr;
    }));
  }
}
