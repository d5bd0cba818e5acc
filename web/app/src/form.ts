// The scenario's form: drawn from the model, and written back to it as the
// reader types. Every field carries the JSON path of its value
// (data-path), which is how the engine's messages find their field.
import type { Fault } from './answers';
import { error_line } from './dom';
import { fault_text } from './labels';
import { paste_matrix, read_grid } from './paste';
import {
  add_criterion, add_group, add_predictor, can_add, max_groups, type MixKind, remove_criterion,
  remove_group, remove_predictor, type Scenario, variable_names,
} from './model';

/** What the form tells the page. */
export interface FormEvents {
  /** A value changed: recompute. */
  changed(): void;
  /** The variables changed: draw the form again, then recompute. */
  restructured(): void;
  /** Something was typed or changed by the reader (not by opening a scenario). */
  edited?(): void;
}

const escape = (text: string): string =>
  text.replace(/[&<>"']/g, (c) => `&#${c.charCodeAt(0)};`);

/** An element id from a JSON path: "predictors[2].d" -> "f-predictors-2-d". */
export const field_id = (path: string): string => `f-${path.replace(/[^A-Za-z0-9]+/g, '-').replace(/-$/, '')}`;
/** The id of the place where the messages of a path go. */
const slot_id = (path: string): string => `e${field_id(path).slice(1)}`;

function slot(path: string): string {
  return `<div class="errors" id="${slot_id(path)}" data-slot="${escape(path)}"></div>`;
}

function text_field(path: string, label: string, value: string, extra = ''): string {
  const id = field_id(path);
  return `<label for="${id}">${label}</label>
    <input id="${id}" data-path="${escape(path)}" type="text" value="${escape(value)}"
      spellcheck="false" ${extra} />`;
}

/**
 * A field for a number that is never negative: the phone's decimal keypad.
 * Signed numbers (effect sizes, weights, correlations) keep the full
 * keyboard, as decimal keypads have no minus sign.
 */
function number_field(path: string, label: string, value: string): string {
  return text_field(path, label, value, 'inputmode="decimal" class="number"');
}

function choices(path: string, legend: string, current: string, options: [string, string][]): string {
  const name = field_id(path);
  const radios = options
    .map(([value, label]) => `<label class="choice"><input type="radio" name="${name}" data-path="${path}"
      value="${value}" ${value === current ? 'checked' : ''} /> ${label}</label>`)
    .join('');
  return `<fieldset id="${field_id(path)}"><legend>${legend}</legend>${radios}${slot(path)}</fieldset>`;
}

function variable_rows(s: Scenario, list: 'predictors' | 'criteria'): string {
  const variables = s[list];
  const weighted = list === 'criteria' || !s.regression;
  const noun = list === 'predictors' ? 'predictor' : 'criterion';
  const names = variable_names(s);
  const offset = list === 'predictors' ? 0 : s.predictors.length;
  const by_group = s.groups.length > 0;
  // A scenario needs a predictor: the last one stays.
  const last = list === 'predictors' && variables.length === 1;
  return variables.map((v, i) => {
    const base = `${list}[${i}]`;
    const shown = names[offset + i];
    const cell = (key: string, value: string, label: string, number: boolean) => {
      const path = `${base}.${key}`;
      const id = field_id(path);
      return `<td><input id="${id}" data-path="${path}" type="text" value="${escape(value)}"
        aria-label="${escape(label)}" spellcheck="false" ${number ? 'class="number"' : ''}
        ${key === 'name' ? `placeholder="${escape(shown)}"` : ''} />${slot(path)}</td>`;
    };
    return `<tr data-row="${base}">
      <th scope="row">${offset + i + 1}</th>
      ${cell('name', v.name, `Name of ${noun} ${i + 1}`, false)}
      ${by_group ? '<td class="regression">by group</td>' : cell('d', v.d, `Effect size d of ${shown}`, true)}
      ${weighted ? cell('weight', v.weight, `Weight of ${shown}`, true) : '<td class="regression">regression</td>'}
      <td><button type="button" data-remove="${list}" data-index="${i}"
        aria-label="Remove ${escape(shown)}" ${last ? 'disabled title="A scenario needs at least one predictor"' : ''}>Remove</button>${slot(base)}</td>
    </tr>`;
  }).join('');
}

function variable_table(s: Scenario, list: 'predictors' | 'criteria'): string {
  const title = list === 'predictors' ? 'Predictors' : 'Criteria';
  const full = !can_add(s, list);
  return `<section class="variables" aria-labelledby="h-${list}">
    <h3 id="h-${list}">${title}</h3>
    <div class="scroll"><table>
      <thead><tr><th scope="col">#</th><th scope="col">Name</th>
        <th scope="col"><abbr title="effect size: the minority group's mean minus the majority group's, in standard deviations">d</abbr></th>
        <th scope="col">Weight</th><th scope="col"><span class="visually-hidden">Remove</span></th></tr></thead>
      <tbody>${variable_rows(s, list)}</tbody>
    </table></div>
    ${slot(list)}
    <button type="button" data-add="${list}" ${full ? 'disabled' : ''}>Add ${list === 'predictors' ? 'a predictor' : 'a criterion'}</button>
    ${full ? '<span class="hint">The engine takes at most 30 variables (30 predictors, 10 criteria).</span>' : ''}
  </section>`;
}

function matrix(s: Scenario): string {
  const names = variable_names(s);
  const n = names.length;
  // Columns by number, rows by number and name: names do not fit above
  // narrow cells. The columns' names are there for screen readers.
  const head = names.map((name, j) => `<th scope="col" title="${escape(name)}"><span aria-hidden="true">${j + 1}</span>
    <span class="visually-hidden" data-name="${j}">${escape(name)}</span></th>`).join('');
  const rows = s.correlations.map((row, i) => {
    const cells = row.map((value, j) => {
      const path = `correlations[${i}][${j}]`;
      return `<td><input id="${field_id(path)}" data-path="${path}" type="text" tabindex="${i === 0 && j === 0 ? 0 : -1}"
        class="number cell${i === j ? ' diagonal' : ''}" value="${escape(value)}" spellcheck="false"
        aria-label="Correlation of ${escape(names[i])} with ${escape(names[j])}"
        aria-describedby="${slot_id('correlations')} matrix-hint" /></td>`;
    }).join('');
    return `<tr><th scope="row"><span class="index">${i + 1}</span> <span class="name" data-name="${i}">${escape(names[i])}</span></th>${cells}</tr>`;
  }).join('');
  return `<section aria-labelledby="h-correlations">
    <h3 id="h-correlations">Correlations</h3>
    <p class="hint" id="matrix-hint">Predictors, then criteria. Editing a cell sets its mirror image too.
      The matrix is one stop for the Tab key: the arrow keys move between its cells. Paste a matrix
      copied from a spreadsheet into any cell (tab- or comma-separated, whole or lower triangle; decimal
      commas too, with tabs or semicolons between the cells).</p>
    <div class="scroll"><table class="matrix" data-size="${n}">
      <thead><tr><td></td>${head}</tr></thead><tbody>${rows}</tbody>
    </table></div>
    ${slot('correlations')}
    <div id="paste-status" role="status" class="note"></div>
    <details class="paste-box"><summary>Paste the whole matrix as text</summary>
      <label for="paste-text">The matrix, rows on lines, cells apart by tabs, commas or spaces</label>
      <textarea id="paste-text" rows="5" spellcheck="false"></textarea>
      <button type="button" id="paste-apply">Put it into the matrix</button>
    </details>
    <div class="warnings" id="matrix-warnings" role="status"></div>
  </section>`;
}

function groups_section(s: Scenario): string {
  const names = variable_names(s);
  const full = s.groups.length >= max_groups;
  if (s.groups.length === 0) {
    return `<section class="groups" aria-labelledby="h-groups">
      <h3 id="h-groups">Minority groups</h3>
      <p class="hint">One minority group: its effect sizes are the <var>d</var> column above. With several
        groups, each has its share of the applicants and its own column of effect sizes, and the
        four-fifths rule compares every group with the one selected most often.</p>
      ${slot('groups')}
      <button type="button" data-add="groups">Add a minority group</button>
    </section>`;
  }
  const head = s.groups.map((g, k) => {
    const base = `groups[${k}]`;
    const shown = g.name || `group ${k + 1}`;
    return `<th scope="col">
      <input id="${field_id(`${base}.name`)}" data-path="${base}.name" type="text" value="${escape(g.name)}"
        aria-label="Name of group ${k + 1}" spellcheck="false" class="group-name" />${slot(`${base}.name`)}
      <label class="share">share <input id="${field_id(`${base}.share`)}" data-path="${base}.share" type="text"
        inputmode="decimal" class="number" value="${escape(g.share)}" spellcheck="false"
        aria-label="Share of the applicants in ${escape(shown)}" /></label>${slot(`${base}.share`)}
      <button type="button" data-remove="groups" data-index="${k}" aria-label="Remove ${escape(shown)}">Remove</button>
      ${slot(base)}${slot(`${base}.d`)}
    </th>`;
  }).join('');
  const rows = names.map((name, j) => `<tr><th scope="row">${escape(name)}</th>${s.groups.map((g, k) => {
    const path = `groups[${k}].d[${j}]`;
    return `<td><input id="${field_id(path)}" data-path="${path}" type="text" class="number"
      value="${escape(g.d[j] ?? '')}" spellcheck="false"
      aria-label="Effect size d of ${escape(g.name || `group ${k + 1}`)} on ${escape(name)}" />${slot(path)}</td>`;
  }).join('')}</tr>`).join('');
  return `<section class="groups" aria-labelledby="h-groups">
    <h3 id="h-groups">Minority groups</h3>
    <p class="hint">Each group's share of all applicants (the majority has what they leave) and its
      effect sizes: the group's mean minus the majority's, in standard deviations.</p>
    <div class="scroll" tabindex="0" role="region" aria-label="Effect sizes and shares of the minority groups"><table class="group-inputs">
      <thead><tr><td>Variable</td>${head}</tr></thead><tbody>${rows}</tbody>
    </table></div>
    ${slot('groups')}
    <button type="button" data-add="groups" ${full ? 'disabled' : ''}>Add a minority group</button>
  </section>`;
}

const mix_labels: [MixKind, string][] = [
  ['majority_per_minority', 'Majority applicants per minority applicant'],
  ['minority_share', 'Minority share of the applicants'],
  ['none', 'Not given'],
];

function draw(s: Scenario): string {
  const mix_options = mix_labels
    .map(([value, label]) => `<option value="${value}" ${value === s.mix_kind ? 'selected' : ''}>${label}</option>`)
    .join('');
  return `${slot('')}
    <div class="field">${text_field('title', 'Title', s.title)}${slot('title')}</div>
    <div class="ratio field">
      ${number_field('requested_ratios[0]', 'Selection ratio', s.ratio)}
      <input id="ratio-slider" type="range" min="0.01" max="0.99" step="0.01" aria-label="Selection ratio"
        value="${Number.isFinite(Number(s.ratio)) ? s.ratio : '0.1'}" />
      ${slot('requested_ratios[0]')}
    </div>
    ${choices('mode', 'A selection ratio is the share selected of', s.mode, [
      ['overall', 'all applicants'], ['majority', 'the majority group']])}
    <fieldset id="${field_id('mix')}" ${s.groups.length > 0 ? 'hidden' : ''}><legend>Applicant mix</legend>
      <label for="mix-kind" class="visually-hidden">Applicant mix given as</label>
      <select id="mix-kind" data-path="mix_kind">${mix_options}</select>
      <label for="${field_id('mix')}-value" class="visually-hidden">Applicant mix value</label>
      <input id="${field_id('mix')}-value" data-path="mix" type="text" inputmode="decimal" class="number"
        value="${escape(s.mix)}" ${s.mix_kind === 'none' ? 'disabled' : ''} spellcheck="false" />
      ${slot('majority_per_minority')}${slot('minority_share')}
    </fieldset>
    ${choices('quality', 'Quality of those selected is measured on', s.quality, [
      ['criterion', 'the criterion composite'], ['predictor', 'the predictor composite']])}
    ${choices('weights', 'Predictor weights', s.regression ? 'regression' : 'given', [
      ['given', 'as given'], ['regression', 'regression weights on the criterion composite']])}
    <p class="hint"><var>d</var> is an effect size: the minority group's mean minus the majority
      group's, in standard deviations (negative where the minority scores lower).</p>
    ${variable_table(s, 'predictors')}
    ${variable_table(s, 'criteria')}
    ${groups_section(s)}
    ${matrix(s)}
    <div class="field">${text_field('requested_ratios', 'Further requested ratios (rows of the table across ratios)', s.more_ratios)}
      ${slot('requested_ratios')}</div>
    ${slot('id')}`;
}

const path_pattern = /^(predictors|criteria)\[(\d+)\]\.(name|d|weight)$/;
const group_pattern = /^groups\[(\d+)\]\.(name|share)$/;
const group_d_pattern = /^groups\[(\d+)\]\.d\[(\d+)\]$/;
const cell_pattern = /^correlations\[(\d+)\]\[(\d+)\]$/;

/** Writes a field's value into the scenario; returns the path of a mirror cell set too. */
function write(s: Scenario, path: string, value: string): string | null {
  const variable = path_pattern.exec(path);
  if (variable) {
    const list = variable[1] as 'predictors' | 'criteria';
    s[list][Number(variable[2])][variable[3] as 'name' | 'd' | 'weight'] = value;
    return null;
  }
  const group = group_pattern.exec(path);
  if (group) {
    s.groups[Number(group[1])][group[2] as 'name' | 'share'] = value;
    return null;
  }
  const group_d = group_d_pattern.exec(path);
  if (group_d) {
    s.groups[Number(group_d[1])].d[Number(group_d[2])] = value;
    return null;
  }
  const cell = cell_pattern.exec(path);
  if (cell) {
    const i = Number(cell[1]);
    const j = Number(cell[2]);
    s.correlations[i][j] = value;
    if (i === j) return null;
    s.correlations[j][i] = value;
    return `correlations[${j}][${i}]`;
  }
  switch (path) {
    case 'title': s.title = value; break;
    case 'mode': s.mode = value; break;
    case 'quality': s.quality = value; break;
    case 'weights': s.regression = value === 'regression'; break;
    case 'mix_kind': s.mix_kind = value as MixKind; break;
    case 'mix': s.mix = value; break;
    case 'requested_ratios[0]': s.ratio = value; break;
    case 'requested_ratios': s.more_ratios = value; break;
    default: break;
  }
  return null;
}

export class ScenarioForm {
  private scenario!: Scenario;

  constructor(private readonly form: HTMLFormElement, private readonly events: FormEvents) {
    form.addEventListener('submit', (event) => event.preventDefault());
    form.addEventListener('input', (event) => this.on_input(event));
    form.addEventListener('change', (event) => this.on_change(event));
    form.addEventListener('click', (event) => this.on_click(event));
    form.addEventListener('keydown', (event) => this.on_key(event));
    form.addEventListener('paste', (event) => this.on_paste(event));
    form.addEventListener('focusin', (event) => {
      // The matrix keeps one cell in the Tab order: the last one visited.
      const target = event.target;
      if (!(target instanceof HTMLInputElement) || !target.classList.contains('cell')) return;
      for (const cell of this.form.querySelectorAll<HTMLInputElement>('input.cell[tabindex="0"]')) {
        if (cell !== target) cell.tabIndex = -1;
      }
      target.tabIndex = 0;
    });
  }

  /** The arrow keys (and Enter) move between the matrix's cells. */
  private on_key(event: KeyboardEvent): void {
    const target = event.target;
    if (!(target instanceof HTMLInputElement) || !target.classList.contains('cell')) return;
    if (event.altKey || event.ctrlKey || event.metaKey || event.shiftKey) return;
    const [, i, j] = (cell_pattern.exec(target.dataset.path ?? '') ?? []).map(Number);
    const n = this.scenario.correlations.length;
    const at_start = target.selectionStart === 0 && target.selectionEnd === 0;
    const at_end = target.selectionStart === target.value.length && target.selectionEnd === target.value.length;
    const all = target.selectionStart === 0 && target.selectionEnd === target.value.length;
    let next: [number, number] | null = null;
    switch (event.key) {
      case 'ArrowUp': next = [i - 1, j]; break;
      case 'ArrowDown': case 'Enter': next = [i + 1, j]; break;
      case 'ArrowLeft': if (at_start || all) next = [i, j - 1]; break;
      case 'ArrowRight': if (at_end || all) next = [i, j + 1]; break;
      case 'Home': if (all) next = [i, 0]; break;
      case 'End': if (all) next = [i, n - 1]; break;
      default: break;
    }
    if (!next) return;
    event.preventDefault();
    const [r, c] = next;
    if (r < 0 || c < 0 || r >= n || c >= n) return;
    const cell = document.getElementById(field_id(`correlations[${r}][${c}]`)) as HTMLInputElement | null;
    if (!cell) return;
    cell.focus();
    cell.select();
  }

  /** A matrix (or block) pasted into a cell fills the matrix from there. */
  private on_paste(event: ClipboardEvent): void {
    const target = event.target;
    if (!(target instanceof HTMLInputElement) || !target.classList.contains('cell')) return;
    const text = event.clipboardData?.getData('text/plain') ?? '';
    // One value is pasted into the cell as the browser does it.
    if (!/[\t\n;,]|\S\s+\S/.test(text.trim())) return;
    event.preventDefault();
    const [, i, j] = (cell_pattern.exec(target.dataset.path ?? '') ?? []).map(Number);
    this.paste(text, i, j);
  }

  /** Pastes a text into the matrix at a cell, says what happened, and recomputes. */
  private paste(text: string, i: number, j: number): void {
    const result = paste_matrix(this.scenario, read_grid(text), i, j);
    if (result.cells > 0) {
      for (const input of this.form.querySelectorAll<HTMLInputElement>('input.cell')) {
        const [, r, c] = (cell_pattern.exec(input.dataset.path ?? '') ?? []).map(Number);
        input.value = this.scenario.correlations[r][c];
      }
      this.events.changed();
      this.events.edited?.();
    }
    const status = document.getElementById('paste-status');
    if (status) status.textContent = result.message;
  }

  /** Draws the form for a scenario (the form edits it in place from then on). */
  show(s: Scenario): void {
    this.scenario = s;
    const focused = document.activeElement instanceof HTMLElement ? document.activeElement.id : '';
    this.form.innerHTML = draw(s);
    if (focused) document.getElementById(focused)?.focus();
  }

  private on_input(event: Event): void {
    const target = event.target;
    if (!(target instanceof HTMLInputElement || target instanceof HTMLSelectElement)) return;
    if (target.id === 'ratio-slider') {
      const field = document.getElementById(field_id('requested_ratios[0]')) as HTMLInputElement;
      field.value = target.value;
      write(this.scenario, 'requested_ratios[0]', target.value);
      this.events.changed();
      return;
    }
    const path = target.dataset.path;
    if (path === undefined || (target instanceof HTMLInputElement && target.type === 'radio')) return;
    const mirror = write(this.scenario, path, target.value);
    if (mirror !== null) {
      const other = document.getElementById(field_id(mirror)) as HTMLInputElement | null;
      if (other) other.value = target.value;
    }
    if (path === 'requested_ratios[0]') {
      const slider = document.getElementById('ratio-slider') as HTMLInputElement;
      if (Number.isFinite(Number(target.value))) slider.value = target.value;
    }
    if (path_pattern.exec(path)?.[3] === 'name') this.rename();
    if (path === 'mix_kind') {
      const value = document.getElementById(`${field_id('mix')}-value`) as HTMLInputElement;
      value.disabled = target.value === 'none';
    }
    this.events.changed();
    this.events.edited?.();
  }

  private on_change(event: Event): void {
    const target = event.target;
    if (!(target instanceof HTMLInputElement) || target.type !== 'radio' || !target.dataset.path) return;
    write(this.scenario, target.dataset.path, target.value);
    if (target.dataset.path === 'weights') {
      // From regression weights to given ones: unit weights to start from.
      if (target.value === 'given') {
        for (const v of this.scenario.predictors) if (v.weight.trim() === '') v.weight = '1';
      }
      this.events.restructured();
    } else this.events.changed();
  }

  private on_click(event: Event): void {
    const button = (event.target as Element).closest('button');
    if (!button) return;
    const s = this.scenario;
    if (button.dataset.add === 'predictors') add_predictor(s);
    else if (button.dataset.add === 'criteria') add_criterion(s);
    else if (button.dataset.remove === 'predictors') remove_predictor(s, Number(button.dataset.index));
    else if (button.dataset.remove === 'criteria') remove_criterion(s, Number(button.dataset.index));
    else if (button.dataset.add === 'groups') add_group(s);
    else if (button.dataset.remove === 'groups') remove_group(s, Number(button.dataset.index));
    else if (button.id === 'paste-apply') {
      this.paste((document.getElementById('paste-text') as HTMLTextAreaElement).value, 0, 0);
      return;
    } else return;
    this.events.restructured();
    // Keyboard users stay where they were: on the add button, or on the
    // list's add button after a removal.
    const list = button.dataset.add ?? button.dataset.remove;
    (this.form.querySelector(`button[data-add="${list}"]`) as HTMLButtonElement | null)?.focus();
    this.events.edited?.();
  }

  /** A name changed: the matrix's headings and the cells' labels follow. */
  private rename(): void {
    const names = variable_names(this.scenario);
    for (const span of this.form.querySelectorAll<HTMLElement>('[data-name]')) {
      span.textContent = names[Number(span.dataset.name)];
      span.closest('th[title]')?.setAttribute('title', names[Number(span.dataset.name)]);
    }
    for (const input of this.form.querySelectorAll<HTMLInputElement>('input.cell')) {
      const [, i, j] = cell_pattern.exec(input.dataset.path ?? '') ?? [];
      input.setAttribute('aria-label', `Correlation of ${names[Number(i)]} with ${names[Number(j)]}`);
    }
  }

  /** Puts each message beside its field, the field marked; clears the rest. */
  show_faults(errors: Fault[], warnings: Fault[]): void {
    for (const box of this.form.querySelectorAll('.errors')) box.replaceChildren();
    for (const field of this.form.querySelectorAll('[aria-invalid]')) {
      field.removeAttribute('aria-invalid');
      if (!field.classList.contains('cell')) field.removeAttribute('aria-describedby');
    }
    const names = variable_names(this.scenario);
    for (const fault of errors) {
      const { slot_path, text, fields } = this.place(fault, names);
      const box = this.form.querySelector(`[data-slot="${CSS.escape(slot_path)}"]`) ?? this.form.querySelector('[data-slot=""]');
      box?.append(error_line(text));
      for (const field of fields) {
        field.setAttribute('aria-invalid', 'true');
        if (!field.classList.contains('cell') && box) {
          const ids = new Set((field.getAttribute('aria-describedby') ?? '').split(' ').filter((x) => x));
          ids.add(box.id);
          field.setAttribute('aria-describedby', [...ids].join(' '));
        }
      }
    }
    const warning_box = this.form.querySelector('#matrix-warnings');
    warning_box?.replaceChildren(...warnings.map((w) => {
      const p = document.createElement('p');
      p.className = 'warning';
      p.dataset.testid = 'warning';
      p.textContent = `Warning: ${w.message}`;
      return p;
    }));
  }

  /** Where a message goes and how it reads there. */
  private place(fault: Fault, names: string[]): { slot_path: string; text: string; fields: Element[] } {
    const placed = this.place_one(fault, names);
    const { path } = fault;
    const fields: Element[] = placed.field ? [placed.field] : [];
    // Fields whose message has a path of its own: the mix's value, the
    // further ratios' one field, every weight of a list.
    if (path === 'majority_per_minority' || path === 'minority_share') {
      fields.push(...this.form.querySelectorAll('[data-path="mix"]'));
    } else if (/^requested_ratios\[[1-9]\d*\]$/.test(path)) {
      fields.push(...this.form.querySelectorAll('[data-path="requested_ratios"]'));
    } else if ((path === 'predictors' || path === 'criteria') && /weight/.test(fault.message)) {
      fields.push(...this.form.querySelectorAll(`[data-path^="${path}["][data-path$="].weight"]`));
    } else if (/^groups\[\d+\]\.d$/.test(path)) {
      fields.push(...this.form.querySelectorAll(`[data-path^="${path}["]`));
    }
    return { ...placed, fields };
  }

  private place_one(fault: Fault, names: string[]): { slot_path: string; text: string; field: Element | null } {
    const { path, message } = fault;
    const field = path === '' ? null : this.form.querySelector(`[data-path="${CSS.escape(path)}"]`)
      ?? document.getElementById(field_id(path));
    const context = {
      names, predictors: this.scenario.predictors.length, groups: this.scenario.groups.map((g) => g.name),
    };
    const said = (text_path: string) => fault_text(text_path, message, context);
    if (path.startsWith('correlations')) return { slot_path: 'correlations', text: said(path), field };
    // A field of its own: the message alone, beside it.
    if (this.form.querySelector(`[data-slot="${CSS.escape(path)}"]`)) {
      return { slot_path: path, text: said(''), field };
    }
    // Inside a predictor or criterion, or a further requested ratio: by
    // the row or field, with what it is about.
    const row = /^((?:predictors|criteria)\[\d+\])/.exec(path);
    if (row && this.form.querySelector(`[data-slot="${CSS.escape(row[1])}"]`)) {
      return { slot_path: row[1], text: said(path), field };
    }
    if (path.startsWith('requested_ratios')) return { slot_path: 'requested_ratios', text: said(path), field };
    const group_d = /^groups\[(\d+)\]\.d\[(\d+)\]$/.exec(path);
    if (group_d) return { slot_path: `groups[${group_d[1]}].d`, text: said(path), field };
    return { slot_path: '', text: said(path), field };
  }
}
