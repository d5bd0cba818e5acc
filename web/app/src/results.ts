// The answers drawn into the page: the four-fifths minimum, the outcomes
// at the chosen ratio, the plot across ratios, and the Pareto front with
// the best weighting for a minimum impact ratio. Every number shown keeps
// the engine's value in data-value (shortest round-trip form).
import type { Evaluation, FrontAnswer, GroupMinimum, Minimum, Row, Weighting } from './answers';
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
  not_positive_definite: 'No outcomes: the correlations are not a possible correlation matrix (not positive definite), so any number would describe no population.',
};

/**
 * The SVG document of a chart, drawn inline (it is the engine's own,
 * escaped there), named for screen readers by its figure's caption, and
 * laid out at its own size, so that its text keeps the size it was drawn at.
 */
export function draw_chart(box: HTMLElement, svg: string | undefined, separate = false): void {
  box.innerHTML = svg ?? '';
  const picture = box.querySelector('svg');
  if (!picture) return;
  picture.setAttribute('role', 'img');
  const caption = box.closest('figure')?.querySelector('figcaption')?.textContent?.trim().replace(/\s+/g, ' ') ?? 'Chart';
  if (!picture.querySelector(':scope > title')) {
    const title = document.createElementNS('http://www.w3.org/2000/svg', 'title');
    title.textContent = caption;
    picture.prepend(title);
  }
  picture.setAttribute('aria-label', caption);
  const view = picture.getAttribute('viewBox')?.split(/\s+/).map(Number);
  if (view && view.length === 4) picture.style.maxWidth = `${view[2]}px`;
  picture.removeAttribute('width');
  picture.removeAttribute('height');
  if (separate) separate_labels(picture);
}

/**
 * Moves the labels of markers and lines (the small text, 11 units) that
 * overlap another such label below it, on screen only (a download stays
 * the engine's file). Their boxes are estimated from the text's length, as
 * measuring them would make the browser lay out the whole page.
 */
function separate_labels(picture: SVGSVGElement): void {
  const labels = Array.from(picture.querySelectorAll<SVGTextElement>('text[font-size="11"]'));
  const boxes = labels.map((t) => {
    const size = 11;
    const width = (t.textContent ?? '').length * size * 0.56;
    const x = Number(t.getAttribute('x'));
    const anchor = t.getAttribute('text-anchor');
    const left = anchor === 'middle' ? x - width / 2 : anchor === 'end' ? x - width : x;
    return { left, top: Number(t.getAttribute('y')) - size * 0.8, width, height: size * 1.05 };
  });
  const overlap = (a: typeof boxes[0], b: typeof boxes[0]) =>
    a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height && b.top < a.top + a.height;
  for (let i = 0; i < labels.length; i += 1) {
    for (let j = 0; j < labels.length; j += 1) {
      if (i === j || !overlap(boxes[i], boxes[j])) continue;
      if (j > i && boxes[j].top >= boxes[i].top) continue;
      // The later (or lower) label moves below the other.
      const shift = boxes[j].top + boxes[j].height - boxes[i].top + 1;
      boxes[i].top += shift;
      labels[i].setAttribute('y', String(Number(labels[i].getAttribute('y')) + shift));
      j = -1;
    }
  }
}

/** What the four-fifths rule says of an impact ratio, read in both directions. */
export interface Direction {
  /** Whether every group's rate is at least four fifths of the highest. */
  holds: boolean;
  /** The group the rule protects at this ratio: the one selected less often. */
  protects: 'minority' | 'majority' | 'neither';
  /** The lower rate over the higher. */
  lower_over_higher: number;
}

export function direction_of(ai: number): Direction {
  if (ai === 1) return { holds: true, protects: 'neither', lower_over_higher: 1 };
  const lower = ai < 1 ? ai : 1 / ai;
  return { holds: lower >= 0.8, protects: ai < 1 ? 'minority' : 'majority', lower_over_higher: lower };
}

/**
 * What the four-fifths rule says of one group's row, from its rate's ratio
 * to the highest group's: the group at the highest rate is the one the
 * others are compared with, never one with adverse impact.
 */
export function group_verdict(ratio_to_highest: unknown): string {
  if (typeof ratio_to_highest !== 'number' || Number.isNaN(ratio_to_highest)) return '—';
  if (ratio_to_highest >= 1) return 'highest rate';
  return ratio_to_highest >= 0.8 ? 'within four fifths' : 'below four fifths: adverse impact';
}

const kind_words: Record<string, string> = {
  builtin: 'built-in',
  minimum: 'four-fifths minimum',
  requested: 'requested',
};

/** A table's head from column titles. */
function head_row(table: HTMLTableElement, titles: string[]): void {
  const head = table.tHead!.rows[0];
  head.replaceChildren(...titles.map((text) => {
    const th = document.createElement('th');
    th.scope = 'col';
    th.textContent = text;
    return th;
  }));
}

function text_cell(text: string, column?: string): HTMLTableCellElement {
  const td = document.createElement('td');
  if (column) td.dataset.column = column;
  td.textContent = text;
  return td;
}

/** Why there is no front, in plain words. */
export function front_words(message: string): string {
  if (/not positive definite/.test(message)) {
    return 'No front: the correlations among the predictors are not positive definite (no group of people ' +
      'could have them), so weightings cannot be compared. Mend the correlation matrix.';
  }
  if (/criteri/.test(message)) {
    return 'No front: it needs at least one criterion, whose quality the weightings trade against the impact ratio. Add a criterion.';
  }
  const text = message.replace(/^pareto: /, '');
  return `${text.charAt(0).toUpperCase()}${text.slice(1)}.`;
}

export class Results {
  private readonly minimum = element<HTMLElement>('minimum');
  private readonly minimum_note = element<HTMLElement>('minimum-note');
  private readonly composite = element<HTMLElement>('composite');
  private readonly direction = element<HTMLElement>('direction');
  private readonly verdict = element<HTMLElement>('verdict-text');
  private readonly table = element<HTMLTableElement>('outcomes');
  private readonly table_note = element<HTMLElement>('outcomes-note');
  private readonly one_group = element<HTMLElement>('one-group-results');
  private readonly groups = element<HTMLElement>('groups-results');
  private readonly group_table = element<HTMLTableElement>('group-table');
  private readonly group_note = element<HTMLElement>('group-note');
  private readonly across = element<HTMLTableElement>('across-table');
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
    this.direction.textContent = '';
    this.verdict.textContent = 'Nothing computed: the input has errors.';
    this.table.tBodies[0].replaceChildren();
    this.table.caption!.textContent = 'Outcomes at the selection ratio';
    this.table_note.textContent = reason;
    this.group_table.tBodies[0].replaceChildren();
    this.group_note.textContent = reason;
    this.across.tBodies[0].replaceChildren();
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

  private enable(kind: string, on: boolean): void {
    for (const b of this.downloads) if (b.dataset.download === kind) b.disabled = !on;
  }

  show_evaluation(e: Evaluation, ratio: number | null, mode: string, names: string[]): void {
    const several = e.several_groups === true;
    this.one_group.hidden = several;
    this.groups.hidden = !several;
    const c = e.composites;
    const proper = c?.predictor_effect !== null && c?.predictor_effect !== undefined;
    if (several) this.show_group_minimum(e, mode);
    else this.show_minimum(e, mode);
    const weights = (e.weights ?? []).map((w, i) => `${names[i]} ${shown(w, 3)}`).join(', ');
    this.composite.textContent = !c ? ''
      : several
        ? `${e.regression ? 'Regression weights' : 'Weights'}: ${weights}. Composite effect size by group: ` +
          `${(e.group_effects ?? []).map((g) => `${g.name} ${shown(g.predictor_effect, 3)}`).join(', ')}.`
        : `${e.regression ? 'Regression weights' : 'Weights'}: ${weights}. Composite effect size ${shown(c.predictor_effect, 3)}` +
          (c.validity !== undefined ? `, validity ${shown(c.validity, 3)}.` : '.');

    if (several) this.show_groups(e.rows ?? [], ratio, mode);
    else this.show_table(e.rows?.[0], ratio, mode, proper);
    this.show_across(e.across ?? [], several);
    element<HTMLElement>('ai-caption').textContent = several
      ? 'Each group\'s rate as a share of the highest group\'s with the four-fifths line and the four-fifths ' +
        'minimum, each group\'s selection rate, and the mean quality of those selected, against the selection ratio.'
      : 'The impact ratio with the four-fifths line and the four-fifths minimum, the selection rates of both ' +
        'groups, and the mean quality of those selected, against the selection ratio.';
    // Without a proper composite there is nothing to draw.
    draw_chart(this.ai_chart, proper ? e.ai_chart_screen ?? e.ai_chart : undefined);
    if (!proper) {
      const p = document.createElement('p');
      p.className = 'note';
      p.textContent = 'No chart: the predictor composite has no proper variance under these correlations.';
      this.ai_chart.replaceChildren(p);
    }
    for (const button of this.downloads) button.disabled = false;
    this.enable('ai-svg', proper);
    this.enable('group-csv', several);
    this.enable('csv', !several);
    this.enable('front-svg', false);
    this.enable('front-csv', false);
  }

  private show_minimum(e: Evaluation, mode: string): void {
    const minimum = e.four_fifths_minimum as Minimum | null | undefined;
    const effect = e.composites?.predictor_effect;
    if (minimum) {
      this.minimum.textContent = shown(minimum.target, 3);
      this.minimum.dataset.value = String(minimum.target);
      // The rule protects whichever group is selected less often: where the
      // minority scores higher, the minimum is the majority's.
      const [lower, higher, lower_rate, higher_rate] = minimum.sr_minority <= minimum.sr_majority
        ? ['minority', 'majority', minimum.sr_minority, minimum.sr_majority]
        : ['majority', 'minority', minimum.sr_majority, minimum.sr_minority];
      this.minimum_note.textContent = `Select at least this share of ${mode === 'majority' ? 'the majority group' : 'all applicants'}: ` +
        `there the ${lower}'s selection rate is four fifths of the ${higher}'s (${shown(lower_rate, 3)} ` +
        `against ${shown(higher_rate, 3)}); selecting fewer shows adverse impact against the ${lower}, selecting more keeps within the rule.`;
      return;
    }
    this.minimum.textContent = 'none';
    this.minimum.removeAttribute('data-value');
    const across = (e.across ?? []).filter((r) => r.status === 'solved');
    if (effect === null || effect === undefined) {
      // A composite without a proper variance (regression weights from a
      // predictor block that is not positive definite) has no outcomes at all.
      this.minimum_note.textContent = 'The predictor composite has no proper variance under these correlations, so no selection ratio can be worked out: mend the correlation matrix.';
    } else if (effect === 0) {
      this.minimum_note.textContent = 'The groups do not differ on the predictor composite (its effect size is 0): both are selected at the same rate at every selection ratio, so the rule holds everywhere.';
    } else if (across.length > 0 && across.every((r) => r.passes_four_fifths === true)) {
      this.minimum_note.textContent = 'Each group\'s rate is at least four fifths of the other\'s at every selection ratio: the rule holds everywhere.';
    } else if (effect > 0) {
      this.minimum_note.textContent = 'The minority scores higher on the predictor composite, so the rule protects the majority, and no selection ratio keeps the majority\'s rate at four fifths of the minority\'s: adverse impact against the majority at every ratio.';
    } else {
      this.minimum_note.textContent = 'No selection ratio keeps the minority\'s rate at four fifths of the majority\'s: adverse impact against the minority at every ratio.';
    }
  }

  private show_group_minimum(e: Evaluation, mode: string): void {
    const m = e.four_fifths_minimum as GroupMinimum | null | undefined;
    if (m) {
      this.minimum.textContent = shown(m.sr, 3);
      this.minimum.dataset.value = String(m.sr);
      this.minimum_note.textContent = `Select at least this share of ${mode === 'majority' ? 'the majority group' : 'all applicants'}: ` +
        `there the group selected least often (${m.lowest_group}) reaches four fifths of the rate of the group selected ` +
        `most often (${m.highest_group}); every other group is nearer. Selecting fewer shows adverse impact.`;
    } else {
      this.minimum.textContent = 'none';
      this.minimum.removeAttribute('data-value');
      const effects = (e.group_effects ?? []).map((g) => g.predictor_effect);
      this.minimum_note.textContent = effects.every((d) => d === 0)
        ? 'No group differs from the majority on the predictor composite: every group is selected at the same rate, so the rule holds everywhere.'
        : 'No selection ratio that the method resolves keeps every group at four fifths of the highest rate: the rule holds nowhere.';
    }
  }

  private show_table(row: Row | undefined, ratio: number | null, mode: string, proper: boolean): void {
    const body = this.table.tBodies[0];
    const group = mode === 'majority' ? 'a majority-group' : 'an overall';
    this.table.caption!.textContent = ratio === null
      ? 'Outcomes at the selection ratio'
      : `Outcomes at ${group} selection ratio of ${ratio}`;
    this.direction.textContent = '';
    if (!row) {
      body.replaceChildren();
      this.table_note.textContent = 'Give a selection ratio to see the outcomes there.';
      this.verdict.textContent = `${this.minimum_words()}`;
      return;
    }
    this.table_note.textContent = !proper
      ? 'No outcomes: the predictor composite has no proper variance under these correlations (the correlation matrix, not the cut score, is at fault).'
      : status_words[String(row.status)] ?? String(row.status);
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
    const ai = typeof row.ai_ratio === 'number' ? row.ai_ratio : null;
    const d = ai === null ? null : direction_of(ai);
    const verdict = d === null ? ''
      : d.protects === 'majority'
        ? d.holds ? '(minority selected more often; the majority is within four fifths)'
          : '(minority selected more often: the majority is below four fifths, adverse impact against the majority)'
        : d.holds ? '(meets the four-fifths rule)' : '(below four fifths: adverse impact against the minority)';
    body.replaceChildren(
      line('Selection rate', ['sr', 'sr_majority', 'sr_minority']),
      line('Mean quality (majority SD)', ['mean', 'mean_majority', 'mean_minority']),
      line('Mean quality (standardized)', ['std_mean', 'std_mean_majority', 'std_mean_minority']),
      wide('Impact ratio (minority ÷ majority)', 'ai_ratio', verdict),
      wide('Majority − minority mean quality (majority SD)', 'mean_difference'),
      wide('Majority − minority mean quality (standardized)', 'std_mean_difference'),
      wide('Cut score (majority SD)', 'cut_score'),
    );
    if (d !== null && ai !== null) {
      const at = `At this selection ratio the minority's selection rate is ${shown(ai, 3)} times the majority's.`;
      this.direction.textContent = d.protects === 'majority'
        ? `${at} The minority is selected more often, so the four-fifths rule protects the majority here: its rate is ` +
          `${shown(d.lower_over_higher, 3)} of the minority's, ${d.holds ? 'within four fifths: the rule holds.' : 'below four fifths: adverse impact against the majority.'}`
        : `${at} ${d.holds ? 'That is at least four fifths: the rule holds.' : 'That is below four fifths: adverse impact against the minority.'}`;
      this.verdict.textContent = `${this.minimum_words()} · At ${ratio}: impact ratio ${shown(ai, 2)}, ` +
        (d.holds ? 'the rule holds' : `adverse impact against the ${d.protects}`);
    } else {
      this.verdict.textContent = `${this.minimum_words()} · At ${ratio}: no outcome`;
    }
  }

  private minimum_words(): string {
    return `Four-fifths minimum ${this.minimum.textContent ?? '—'}`;
  }

  private show_groups(rows: Row[], ratio: number | null, mode: string): void {
    const group = mode === 'majority' ? 'a majority-group' : 'an overall';
    this.group_table.caption!.textContent = ratio === null
      ? 'Groups at the selection ratio' : `Groups at ${group} selection ratio of ${ratio}`;
    const at = rows.filter((r) => r.kind === 'requested');
    this.group_table.tBodies[0].replaceChildren(...at.map((r) => {
      const tr = document.createElement('tr');
      tr.append(heading_cell(String(r.group)));
      for (const column of ['sr_group', 'ai_vs_majority', 'ratio_to_highest']) tr.append(number_cell(r, column));
      tr.append(text_cell(group_verdict(r.ratio_to_highest), 'verdict'));
      tr.append(number_cell(r, 'mean_group'));
      return tr;
    }));
    this.direction.textContent = '';
    if (at.length === 0 || at[0].status !== 'solved') {
      this.group_note.textContent = at.length === 0 ? 'Give a selection ratio to see the groups there.'
        : status_words[String(at[0].status)] ?? String(at[0].status);
      this.verdict.textContent = `${this.minimum_words()} · At ${ratio}: no outcome`;
      return;
    }
    const highest = at.find((r) => r.ratio_to_highest === 1)?.group ?? '';
    const failing = at.filter((r) => typeof r.ratio_to_highest === 'number' && r.ratio_to_highest < 0.8);
    const lowest = at.reduce((a, b) => (Number(b.ratio_to_highest) < Number(a.ratio_to_highest) ? b : a));
    this.group_note.textContent = failing.length === 0
      ? `Every group's rate is at least four fifths of the highest (${highest}'s): the rule holds.`
      : `Below four fifths of ${highest}'s rate: ${failing.map((r) => `${r.group} (${shown(Number(r.ratio_to_highest), 3)})`).join(', ')}: adverse impact.`;
    // The majority comes first; the rule protects the groups below the highest rate.
    const group_name = (r: Row, k: number) => (k === 0 ? 'the majority' : String(r.group));
    const below = at.map((r, k) => ({ r, name: group_name(r, k) })).filter(({ r }) => Number(r.ratio_to_highest) < 1);
    const top = at.map((r, k) => ({ r, name: group_name(r, k) })).filter(({ r }) => Number(r.ratio_to_highest) >= 1);
    const list = (names: string[]) => (names.length < 2 ? names.join('')
      : `${names.slice(0, -1).join(', ')} and ${names[names.length - 1]}`);
    const tops = list(top.map((t) => t.name));
    this.direction.textContent = below.length === 0
      ? 'Every group is selected at the same rate here: none is below another.'
      : `${tops.charAt(0).toUpperCase()}${tops.slice(1)} ${top.length === 1 ? 'is' : 'are'} selected most often here; ` +
        `the rule protects the ${below.length === 1 ? 'group' : 'groups'} selected less often: ${list(below.map((b) => b.name))}.`;
    this.verdict.textContent = `${this.minimum_words()} · At ${ratio}: lowest ratio to the highest rate ${shown(Number(lowest.ratio_to_highest), 2)} ` +
      `(${lowest.group}), ${failing.length === 0 ? 'the rule holds' : 'adverse impact'}`;
  }

  private across_rows: Row[] = [];
  private across_several = false;

  /**
   * The table across ratios: built when it is open (on every edit then),
   * else when it is opened, as a closed table costs an edit for nothing.
   */
  private show_across(rows: Row[], several: boolean): void {
    this.across_rows = rows;
    this.across_several = several;
    const details = this.across.closest('details');
    if (details && !details.open && !this.across_listening) {
      this.across_listening = true;
      details.addEventListener('toggle', () => {
        if (details.open) this.build_across(this.across_rows, this.across_several);
      });
    }
    if (!details || details.open) this.build_across(rows, several);
    else this.across.tBodies[0].replaceChildren();
  }

  private across_listening = false;

  /** Fills the table across ratios whether or not it is open (for the report). */
  fill_across(): void {
    this.build_across(this.across_rows, this.across_several);
  }

  private build_across(rows: Row[], several: boolean): void {
    if (several) {
      head_row(this.across, ['Ratio', 'Selection ratio', 'Group', 'Selection rate', 'Impact ratio (÷ majority)',
        'Ratio to the highest rate', 'Four-fifths rule', 'Mean quality']);
    } else {
      head_row(this.across, ['Ratio', 'Selection ratio', 'Overall rate', 'Majority rate', 'Minority rate',
        'Impact ratio', 'Four-fifths rule', 'Cut score', 'Mean quality']);
    }
    this.across.tBodies[0].replaceChildren(...rows.map((r) => {
      const tr = document.createElement('tr');
      tr.dataset.kind = String(r.kind);
      tr.append(heading_cell(kind_words[String(r.kind)] ?? String(r.kind)));
      tr.append(number_cell(r, 'target'));
      const columns = several
        ? ['group', 'sr_group', 'ai_vs_majority', 'ratio_to_highest', 'passes_four_fifths', 'mean_group']
        : ['sr', 'sr_majority', 'sr_minority', 'ai_ratio', 'passes_four_fifths', 'cut_score', 'mean'];
      for (const column of columns) {
        if (column === 'group') tr.append(text_cell(String(r.group), 'group'));
        else if (column === 'passes_four_fifths') {
          // With groups, each row's own verdict: the explorer's column says
          // whether the rule holds at the ratio for every group at once.
          let words = several ? group_verdict(r.ratio_to_highest)
            : r[column] === null ? '—' : r[column] ? 'holds' : 'adverse impact';
          if (!several && typeof r.ai_ratio === 'number') {
            const d = direction_of(r.ai_ratio);
            words = d.holds ? 'holds' : `adverse impact (${d.protects})`;
          }
          tr.append(text_cell(words, column));
        } else tr.append(number_cell(r, column));
      }
      return tr;
    }));
  }

  show_front(f: FrontAnswer, names: string[]): void {
    if (!f.front) this.clear_front('');
    // Why there is no front, or no answer for the minimum impact ratio, in
    // the page's words where the library's are its own.
    this.front_errors.replaceChildren(...(f.front_errors ?? []).map((fault) => {
      const line = error_line(front_words(fault.message));
      line.classList.add('front-error');
      return line;
    }));
    this.enable('front-svg', f.front !== undefined);
    this.enable('front-csv', f.front !== undefined);
    if (!f.front) return;
    draw_chart(this.front_chart, f.front_chart_screen ?? f.front_chart, true);
    const quality = f.front.objective === 'mean' ? 'mean criterion score' : 'validity';
    const weights = (w: Weighting) => names.map((name, j) => `${name} ${shown(w.weight_list[j], 3)}`).join(', ');
    const a = f.min_ai;
    if (a) {
      const w = a.weighting;
      const value = f.front.objective === 'mean' ? w.mean : w.validity;
      // With several groups the front trades quality against the lowest
      // ratio of any group's rate to the highest group's.
      const ratio = f.several_groups ? 'lowest ratio to the highest rate' : 'impact ratio';
      const a_ratio = f.several_groups ? `a ${ratio}` : `an ${ratio}`;
      this.answer.textContent = a.reached
        ? `The best weighting with ${a_ratio} of at least ${shown(a.min_ai, 2)}: ${weights(w)}. ` +
          `Its ${ratio} is ${shown(w.ai_ratio, 3)}, its ${quality} ${shown(value, 3)}.`
        : `No weighting reaches ${a_ratio} of ${shown(a.min_ai, 2)} at this selection ratio. ` +
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
